#include <gtest/gtest.h>

#include "KestreluneStudio/InteractiveLookDevView.h"
#include "PlatformKit/Ui/UiDriver.h"
#include "StudioFakes.h"

using namespace kestrelune;
using kestrelune::testing::FakeEngine;

namespace {

TEST(ViewportInputMapper, DragOrbitsByTheMovementInViewCoordinates) {
    ViewportInputMapper input;
    EXPECT_EQ(input.mouseDown({100, 100}, 1), ViewportCommand{});
    EXPECT_EQ(input.mouseDragged({110, 105}), ViewportCommand(OrbitCommand{10, -5}));
    EXPECT_EQ(input.mouseDragged({110, 105}), ViewportCommand(OrbitCommand{0, -0.0f}));
    // Differences are taken before the conversion to single precision.
    input.mouseDown({16777216.0, 0}, 1);
    EXPECT_EQ(input.mouseDragged({16777217.0, 0}), ViewportCommand(OrbitCommand{1, -0.0f}));
    input.mouseUp();
    EXPECT_FALSE(input.lastDragPoint());
    EXPECT_EQ(input.mouseDragged({5, 5}), ViewportCommand{}) << "a drag without a press orbits from its second event";
    EXPECT_EQ(input.mouseDragged({6, 5}), ViewportCommand(OrbitCommand{1, -0.0f}));
}

TEST(ViewportInputMapper, WindowPointsTurnYUpOnce) {
    // SDL and ImGui count y downwards: moving the pointer down the screen is a negative
    // view movement, which orbits with a positive deltaY.
    const ViewRect area{20, 40, 800, 600};
    EXPECT_EQ(viewPoint(20, 640, area), (ViewPoint{0, 0}));
    EXPECT_EQ(viewPoint(820, 40, area), (ViewPoint{800, 600}));
    ViewportInputMapper input;
    input.mouseDown(viewPoint(300, 300, area), 1);
    EXPECT_EQ(input.mouseDragged(viewPoint(310, 305, area)), ViewportCommand(OrbitCommand{10, 5}));
}

TEST(ViewportInputMapper, OnlyAClickCountOfTwoResets) {
    ViewportInputMapper input;
    input.mouseDown({1, 1}, 1);
    input.mouseUp();
    EXPECT_EQ(input.mouseDown({1, 1}, 2), ViewportCommand(ResetCameraCommand{}));
    EXPECT_FALSE(input.lastDragPoint()) << "the second press neither sets nor clears the point";
    EXPECT_EQ(input.mouseDragged({4, 1}), ViewportCommand{}) << "the first drag after a double-click does not orbit";
    EXPECT_EQ(input.mouseDragged({6, 1}), ViewportCommand(OrbitCommand{2, -0.0f}));
    input.mouseUp();
    EXPECT_EQ(input.mouseDown({7, 7}, 3), ViewportCommand{});
    EXPECT_EQ(input.lastDragPoint(), (ViewPoint{7, 7})) << "a triple-click's third press starts a drag";
    input.mouseDown({8, 8}, 2);
    EXPECT_EQ(input.lastDragPoint(), (ViewPoint{7, 7}));
}

TEST(ViewportInputMapper, ScrollZoomsByAQuarterAndAWheelNotchIsThirtySixPoints) {
    EXPECT_EQ(ViewportInputMapper::scroll(4), ViewportCommand(ZoomCommand{1.0f}));
    EXPECT_EQ(ViewportInputMapper::scroll(0), ViewportCommand(ZoomCommand{0.0f}));
    EXPECT_EQ(ViewportInputMapper::scroll(-0.5), ViewportCommand(ZoomCommand{-0.125f}));
    EXPECT_EQ(ViewportInputMapper::wheel(1), ViewportCommand(ZoomCommand{9.0f}));
    EXPECT_EQ(ViewportInputMapper::wheel(-2), ViewportCommand(ZoomCommand{-18.0f}));
    EXPECT_EQ(ViewportInputMapper::wheel(0.125), ViewportCommand(ZoomCommand{1.125f})) << "a trackpad's fraction";
}

TEST(ViewportDrop, TakesTheFirstFileWhenItsExtensionIsListed) {
    using Items = std::vector<DroppedItem>;
    struct Case {
        Items items;
        std::optional<std::filesystem::path> taken;
    };
    const std::vector<Case> cases = {
        {{{true, "/m/Model.OBJ"}}, "/m/Model.OBJ"},
        {{{true, "/m/scan.ply"}, {true, "/m/readme.txt"}, {true, "/m/b.obj"}}, "/m/scan.ply"},
        {{{true, "/m/readme.txt"}, {true, "/m/b.obj"}}, std::nullopt},
        {{{true, "/m/photo.JPEG"}}, "/m/photo.JPEG"},
        {{{true, "/e/sky.hdr"}}, "/e/sky.hdr"},
        {{{true, "/m/x.fbx"}}, std::nullopt},
        {{{true, "/m/x.tiff"}}, std::nullopt},
        {{{true, "/m/noextension"}}, std::nullopt},
        {{{true, "/m/.obj"}}, std::nullopt},
        {{{true, "/m/a.obj"}, {false, "some text"}}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto taken = acceptedDropFile(c.items);
        EXPECT_EQ(taken, c.taken) << (c.items.empty() ? "(empty)" : c.items.front().path.string());
    }
    for (const auto ext : kViewportDropExtensions)
        EXPECT_TRUE(acceptedDropFile({{true, "/f/a." + std::string(ext)}})) << ext;
}

// The view drawn headless at 4 frames per second, as llvmpipe draws the studio: ImGui's
// mouse reaches the engine's camera.
struct ViewFixture : ::testing::Test {
    pk::ui::UiContext ctx;
    std::shared_ptr<FakeEngine> engine = std::make_shared<FakeEngine>();
    InteractiveLookDevView view;
    std::vector<std::filesystem::path> dropped;
    std::function<void(const std::filesystem::path&)> onDrop = [this](const std::filesystem::path& p) {
        dropped.push_back(p);
    };
    pk::ui::UiDriver driver{ctx, [this] {
                                ImGui::SetNextWindowPos(ImVec2(0, 0));
                                ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
                                ImGui::Begin("root", nullptr, ImGuiWindowFlags_NoDecoration);
                                ImGui::SetCursorScreenPos(ImVec2(100, 50));
                                LookDevViewportView{engine, onDrop}.draw(view, ImVec2(600, 400));
                                ImGui::End();
                            },
                            pk::ui::FrameInput{1180, 740, 0.25f}};
};

TEST_F(ViewFixture, DragScrollAndDoubleClickSteerTheCamera) {
    driver.frame(2);
    const auto rect = driver.require("viewport").rect;
    EXPECT_EQ(rect, (pk::ui::ProbeRect{100, 50, 600, 400}));
    EXPECT_GE(engine->viewportFrames, 2);

    driver.drag(300, 200, 330, 210, 3);
    ASSERT_EQ(engine->cameraCalls.size(), 3u);
    EXPECT_EQ(engine->cameraCalls[0], "orbit 10.000000 3.000000");
    EXPECT_FALSE(view.input().lastDragPoint()) << "released";

    engine->cameraCalls.clear();
    driver.scroll(400, 300, 1);
    EXPECT_EQ(engine->cameraCalls, std::vector<std::string>{"zoom 9.000000"});
    driver.scroll(20, 20, 4);  // outside the view
    EXPECT_EQ(engine->cameraCalls.size(), 1u);

    engine->cameraCalls.clear();
    driver.doubleClick("viewport");
    EXPECT_EQ(engine->cameraCalls, std::vector<std::string>{"reset"});

    // Both clicks between two frames, as at a few frames per second: the platform's
    // count still makes the second press a double-click.
    engine->cameraCalls.clear();
    driver.moveTo(400, 300);
    for (int clicks : {1, 2}) {
        driver.input().mouseButton(0, true, clicks);
        driver.input().mouseButton(0, false);
    }
    driver.settle();
    EXPECT_EQ(engine->cameraCalls, std::vector<std::string>{"reset"});
}

TEST_F(ViewFixture, ALostReleaseEndsTheDragAndAGoneEngineOnlyRecordsPoints) {
    driver.frame();
    // Frames by hand: the button stays down across them, as when its release is lost.
    bool held = false;
    auto frameWith = [&](float x, float y, bool down) {
        driver.input().mouseMoved(x, y);
        if (down != held) driver.input().mouseButton(0, down);
        held = down;
        driver.frame();
    };
    frameWith(300, 200, false);
    frameWith(300, 200, true);
    frameWith(305, 200, true);
    ASSERT_EQ(engine->cameraCalls.size(), 1u);
    view.cancelDrag();  // focus lost
    EXPECT_FALSE(view.input().lastDragPoint());
    frameWith(310, 200, true);
    EXPECT_EQ(engine->cameraCalls.size(), 1u) << "the first drag after the loss does not orbit";
    frameWith(310, 200, false);  // the button is seen up: whatever was pending ends
    EXPECT_FALSE(view.input().lastDragPoint());

    // The view never keeps the engine alive; without one it still records points.
    std::weak_ptr<FakeEngine> weak = engine;
    engine.reset();
    EXPECT_TRUE(weak.expired());
    frameWith(300, 200, true);
    frameWith(320, 220, true);
    EXPECT_EQ(view.input().lastDragPoint(), (ViewPoint{220, 230}));
    frameWith(320, 220, false);
}

TEST_F(ViewFixture, DropsReachTheLatestCallbackAndTheEngineStays) {
    driver.frame();
    EXPECT_TRUE(view.performDrop({{true, "/m/a.obj"}}));
    EXPECT_FALSE(view.performDrop({{true, "/m/a.fbx"}}));
    std::vector<std::filesystem::path> second;
    onDrop = [&](const std::filesystem::path& p) { second.push_back(p); };
    driver.frame();  // the window re-evaluates with a new callback
    EXPECT_TRUE(view.performDrop({{true, "/m/b.stl"}, {true, "/m/c.obj"}}));
    EXPECT_EQ(dropped, std::vector<std::filesystem::path>{"/m/a.obj"});
    EXPECT_EQ(second, std::vector<std::filesystem::path>{"/m/b.stl"});
    EXPECT_EQ(view.lookDevEngine.lock(), engine);

    view.onDropFileURL = nullptr;
    EXPECT_TRUE(view.performDrop({{true, "/m/d.usdz"}})) << "taken even without a callback";
}

}  // namespace
