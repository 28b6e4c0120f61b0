// Controls floated over content that handles the mouse itself, and pinches (Ctrl + wheel,
// touch) through the driver.
#include <gtest/gtest.h>

#include "PlatformKit/Ui/UiContext.h"
#include "PlatformKit/Ui/UiDriver.h"
#include "PlatformKit/Ui/UiFloatingRegion.h"
#include "PlatformKit/Ui/UiPinchGesture.h"
#include "PlatformKit/Ui/UiWidgets.h"

using namespace pk::ui;

namespace {

struct Host {
    int contentClicks = 0, floatClicks = 0;
    float afterY = 0;
    PinchState pinch;
    std::vector<float> ends;

    void draw() {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImVec2(800, 600));
        ImGui::Begin("root", nullptr, ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoSavedSettings);
        ImGui::SetCursorScreenPos(ImVec2(0, 0));
        // The content: one big button over the whole area, submitted first (a viewport).
        if (ImGui::InvisibleButton("##content", ImVec2(800, 500))) ++contentClicks;
        {
            FloatingRegion region("float", ImVec2(100, 100), ImVec2(300, 200));
            ImGui::SetCursorScreenPos(ImVec2(120, 120));
            LabelStyle style;
            style.paddingH = 10;
            style.paddingV = 6;
            if (labelButton("floated", "Floated", {}, style)) ++floatClicks;
            pinch = pinchGesture("pinch", region.min(), region.max());
            if (pinch.ended) ends.push_back(*pinch.ended);
        }
        text("after", "after", FontSpec{12});
        afterY = ImGui::GetItemRectMin().y;
        ImGui::End();
    }
};

}  // namespace

TEST(FloatingRegion, FloatedControlsGetThePointerFirstAndLeaveTheLayoutAlone) {
    UiContext ctx;
    Host host;
    UiDriver d(ctx, [&] { host.draw(); }, FrameInput{800, 600});
    d.frame(2);
    EXPECT_NEAR(host.afterY, 500 + ImGui::GetStyle().ItemSpacing.y, 1) << "the item after the region stays below the content";
    d.click("floated");
    EXPECT_EQ(host.floatClicks, 1);
    EXPECT_EQ(host.contentClicks, 0) << "the content under the floated control sees nothing";
    d.clickAt(500, 400);
    EXPECT_EQ(host.contentClicks, 1);
    d.clickAt(250, 180);  // inside the region, beside its button: the region holds the pointer
    EXPECT_EQ(host.contentClicks, 1);
}

TEST(PinchGesture, CtrlWheelAndTouchPinchesEndOnceWithTheirMagnification) {
    UiContext ctx;
    Host host;
    UiDriver d(ctx, [&] { host.draw(); }, FrameInput{800, 600, 0.05f});
    d.frame(2);
    d.scroll(200, 150, 1, true);
    d.scroll(200, 150, 1, true);
    EXPECT_TRUE(host.pinch.active);
    EXPECT_NEAR(host.pinch.magnification, 1.21, 1e-4);
    EXPECT_TRUE(host.ends.empty()) << "not committed while the wheel still turns";
    d.frame(10);  // 0.5 s later
    ASSERT_EQ(host.ends.size(), 1u);
    EXPECT_NEAR(host.ends[0], 1.21, 1e-4);
    EXPECT_FALSE(host.pinch.active);

    d.scroll(200, 150, -1, false);  // a plain wheel is not a pinch
    d.scroll(600, 400, 1, true);    // nor a Ctrl + wheel elsewhere
    d.frame(10);
    EXPECT_EQ(host.ends.size(), 1u);

    auto& touch = TouchPinchInput::shared();
    d.moveTo(200, 150);
    touch.gesture(0.15f);
    d.frame();
    touch.gesture(0.15f);
    d.frame();
    EXPECT_TRUE(host.pinch.active);
    EXPECT_NEAR(host.pinch.magnification, 2.0, 1e-4) << "fingers twice as far apart";
    touch.lift();
    d.frame(2);
    ASSERT_EQ(host.ends.size(), 2u);
    EXPECT_NEAR(host.ends[1], 2.0, 1e-4);

    d.moveTo(600, 400);  // a pinch that starts elsewhere is not this region's
    touch.gesture(-0.1f);
    d.frame();
    EXPECT_FALSE(host.pinch.active);
    touch.lift();
    d.frame(2);
    EXPECT_EQ(host.ends.size(), 2u);
}
