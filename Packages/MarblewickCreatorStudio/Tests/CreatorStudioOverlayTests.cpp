// The creator overlay through the Ui probe and driver: toolbar states, the bubble's shapes,
// sizes and borders, scale buttons, pinch and drag with their clamps, the clip toast, and
// its lifetime under the facecam flag.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "CreatorTestCameras.h"
#include "MarblewickCreatorStudio/VelCreatorStudioOverlayModifierV1045.h"
#include "PlatformKit/Capture/SyntheticFrameSource.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Ui/UiContext.h"
#include "PlatformKit/Ui/UiDriver.h"
#include "PlatformKit/Ui/UiPinchGesture.h"
#include "RefusedThreadStarts.h"

using namespace creator;
using Overlay = VelCreatorStudioOverlayModifierV1045;
using Mode = VelFacecamBackgroundModeV1045;
using Shape = VelFacecamShapeV1045;
using pk::ui::ProbeRecord;
namespace fs = std::filesystem;

namespace {

constexpr float kW = 800, kH = 600;

struct OverlayRig {
    std::shared_ptr<pk::ManualClock> clock = std::make_shared<pk::ManualClock>();
    pk::MainQueue queue{clock};
    pk::capture::CameraAccess access = pk::capture::CameraAccess::noDevice;
    std::shared_ptr<VelCreatorCameraFeedV1045> feed;
    Overlay::Environment env;
    std::atomic<int> clipCalls{0};
    std::function<std::optional<VelViralClipReceiptV1030>(const pk::CancelToken&)> clipResult =
        [](const pk::CancelToken&) { return VelViralClipReceiptV1030{}; };

    pk::ui::UiContext ctx;
    std::unique_ptr<Overlay> overlay;
    bool enabled = true;
    int contentPresses = 0;
    pk::ui::UiDriver driver{ctx, [this] { view(); }, pk::ui::FrameInput{kW, kH}};

    OverlayRig() {
        feed = creator_test::syntheticCameraFeed(access);
        const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "creator-overlay";
        pk::media::ScreenRecorder::Options ro;
        ro.stagingDirectory = dir / "staging";
        env.studio.queue = &queue;
        env.studio.cameraFeed = feed;
        env.studio.recorder = std::make_shared<pk::media::ScreenRecorder>(ro);
        env.studio.clipsDirectory = [dir] { return dir / "clips"; };
        env.studio.revealFile = [](const fs::path&) {};
        env.exportClip = [this](const std::string&, const std::string&, const std::string&,
                                const pk::CancelToken& cancel) {
            ++clipCalls;
            return clipResult(cancel);
        };
        driver.frame(3);  // fonts settle
    }

    // The viewport pane: content that takes presses itself, then the overlay over it.
    void view() {
        queue.drain();  // the app's main loop drains the main queue every iteration
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImVec2(kW, kH));
        ImGui::Begin("viewport", nullptr, ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoSavedSettings);
        ImGui::SetCursorScreenPos(ImVec2(0, 0));
        ImGui::InvisibleButton("##orbit", ImVec2(kW, kH));
        if (ImGui::IsItemActivated()) ++contentPresses;
        velCreatorStudioOverlay(overlay, enabled, ImVec2(0, 0), ImVec2(kW, kH), "Kestrelune Studio",
                                "STUDIO LOOKDEV SHOWCASE", "LOCAL SILICON RENDER", &env);
        ImGui::End();
    }

    VelCreatorStudioControllerV1045& studio() { return *overlay->studio(); }
    const ProbeRecord* find(const std::string& id) const { return driver.probe().find("creatorOverlay/" + id); }
    const ProbeRecord& need(const std::string& id) const { return driver.require("creatorOverlay/" + id); }
    void click(const std::string& id) { driver.click("creatorOverlay/" + id); }
    void cameraOn() {
        if (!find("toolbar/camera")) click("toolbar/toggle");
        click("toolbar/camera");
        feed->waitForQueue();
        driver.frame(2);
    }
    // Advances the main queue's clock, drawing a frame after each step.
    void wait(double seconds) {
        for (double t = 0; t < seconds; t += 0.25) {
            clock->advance(0.25);
            driver.frame();
        }
    }
};

}  // namespace

TEST(CreatorStudioOverlay, ToolbarCollapsesToOneButtonAndOpensToTheGroup) {
    OverlayRig rig;
    ASSERT_NE(rig.overlay, nullptr);
    auto toolbarIds = [&] {
        std::vector<std::string> ids;
        for (const auto* r : rig.driver.probe().withPrefix("creatorOverlay/toolbar/"))
            if (r->id != "creatorOverlay/toolbar/capsule") ids.push_back(r->id.substr(std::string("creatorOverlay/toolbar/").size()));
        return ids;
    };
    EXPECT_EQ(toolbarIds(), (std::vector<std::string>{"toggle"}));
    EXPECT_EQ(rig.need("toolbar/toggle").symbol, "record.circle");
    EXPECT_FALSE(rig.find("bubble")) << "no bubble while the camera is off";
    const auto& bar = rig.need("toolbar/capsule").rect;
    EXPECT_FLOAT_EQ(bar.x, 14);
    EXPECT_NEAR(bar.centerY(), kH / 2, 0.5) << "at the leading edge, centred";

    rig.click("toolbar/toggle");
    EXPECT_EQ(toolbarIds(), (std::vector<std::string>{"camera", "mic", "record", "clip", "toggle"}));
    EXPECT_EQ(rig.need("toolbar/camera").text, "Facecam");
    EXPECT_EQ(rig.need("toolbar/camera").symbol, "video");
    EXPECT_EQ(rig.need("toolbar/mic").symbol, "mic.fill");
    EXPECT_EQ(rig.need("toolbar/record").text, "REC");
    EXPECT_EQ(rig.need("toolbar/clip").text, "Clip 9:16");
    EXPECT_EQ(rig.need("toolbar/clip").symbol, "sparkles.tv.fill");
    EXPECT_EQ(rig.need("toolbar/toggle").symbol, "chevron.right.circle.fill");
    rig.click("toolbar/mic");
    EXPECT_EQ(rig.need("toolbar/mic").symbol, "mic.slash.fill");
    EXPECT_FALSE(rig.studio().isMicIncluded.get());

    // The camera keeps the group open after the toolbar is closed.
    rig.click("toolbar/camera");
    rig.click("toolbar/toggle");
    EXPECT_EQ(toolbarIds(), (std::vector<std::string>{"camera", "cutout", "mic", "record", "clip", "toggle"}));
    EXPECT_EQ(rig.need("toolbar/camera").text, "Cam ON");
    EXPECT_EQ(rig.need("toolbar/camera").symbol, "video.fill");
    EXPECT_EQ(rig.contentPresses, 0) << "the viewport under the toolbar saw none of these clicks";
}

TEST(CreatorStudioOverlay, BubbleShapesModesAndBordersFollowTheirRules) {
    OverlayRig rig;
    rig.cameraOn();
    const ProbeRecord* b = &rig.need("bubble");
    EXPECT_FLOAT_EQ(b->rect.width, 176);
    EXPECT_FLOAT_EQ(b->rect.height, 132);
    EXPECT_FLOAT_EQ(b->rect.centerX(), kW / 2 - 16);
    EXPECT_FLOAT_EQ(b->rect.centerY(), kH / 2 - 96);
    EXPECT_EQ(b->text, "BG OCCLUDED");
    EXPECT_EQ(b->value, "shape=Cutout border=none shadow=none backdrop=no");
    EXPECT_EQ(rig.need("pill/mode").text, "BG Occlusion");

    struct ShapeStep {
        const char* value;
        float w, h;
    };
    for (const ShapeStep& s : {ShapeStep{"shape=Circle border=white/2 shadow=black/0.45 backdrop=yes", 148, 148},
                               ShapeStep{"shape=Rounded border=white/2 shadow=black/0.45 backdrop=yes", 176, 132},
                               ShapeStep{"shape=Cutout border=none shadow=none backdrop=no", 176, 132}}) {
        rig.click("pill/shape");
        EXPECT_EQ(rig.need("bubble").value, s.value);
        EXPECT_FLOAT_EQ(rig.need("bubble").rect.width, s.w);
        EXPECT_FLOAT_EQ(rig.need("bubble").rect.height, s.h);
    }

    for (const char* next : {"BG Blur", "Full Cam", "BG Occlusion"}) {
        rig.click("pill/mode");
        EXPECT_EQ(rig.need("pill/mode").text, next);
    }
    rig.click("pill/mode");
    EXPECT_EQ(rig.studio().backgroundMode.get(), Mode::studioBlur);
    EXPECT_EQ(rig.feed->backgroundMode(), Mode::studioBlur) << "the mode reaches the feed";
    EXPECT_EQ(rig.need("bubble").text, "LIVE CAM");
    EXPECT_EQ(rig.need("bubble").value, "shape=Cutout border=white/2 shadow=black/0.45 backdrop=yes") << "a blurred room gets a frame";
    rig.click("toolbar/cutout");
    EXPECT_EQ(rig.studio().backgroundMode.get(), Mode::cutoutNoBackground) << "from blur the cut-out button cuts out";
    EXPECT_TRUE(rig.need("toolbar/cutout").selected);
    rig.click("toolbar/cutout");
    EXPECT_EQ(rig.studio().backgroundMode.get(), Mode::fullCamera);

    // Border: red and 3 while recording whatever the meter; else the meter picks cyan or white.
    rig.studio().frameShape = Shape::circle;
    struct BorderCase {
        bool recording;
        double level;
        const char* value;
    };
    for (const BorderCase& c : {BorderCase{true, 0.1, "border=red/3"}, BorderCase{true, 0.9, "border=red/3"},
                                BorderCase{false, 0.36, "border=cyan/2"}, BorderCase{false, 0.35, "border=white/2"}}) {
        rig.studio().isRecording = c.recording;
        rig.studio().micActivityLevel = c.level;
        rig.driver.frame();
        EXPECT_NE(rig.need("bubble").value.find(c.value), std::string::npos) << rig.need("bubble").value;
    }
    rig.studio().isRecording = true;
    rig.studio().recordingElapsedSeconds = 250;
    rig.driver.frame();
    EXPECT_EQ(rig.need("toolbar/record").text, "STOP 01:02");
    EXPECT_TRUE(rig.need("toolbar/record").selected);
    rig.studio().isRecording = false;
}

TEST(CreatorStudioOverlay, ScaleButtonsPinchesAndDragsAreClamped) {
    OverlayRig rig;
    rig.cameraOn();
    auto& s = rig.studio();
    s.scale = 0.6;
    rig.click("pill/smaller");
    EXPECT_DOUBLE_EQ(s.scale.get(), 0.55);
    s.scale = 2.1;
    rig.click("pill/larger");
    EXPECT_DOUBLE_EQ(s.scale.get(), 2.2);
    s.scale = 1.0;
    rig.driver.frame();

    // A touch pinch of 3 shows 2.2× while it lasts and stores 2.2 at its end.
    auto& touch = pk::ui::TouchPinchInput::shared();
    const auto centre = rig.need("bubble").rect;
    rig.driver.moveTo(centre.centerX(), centre.centerY());
    touch.gesture(0.6f);  // from the nominal 0.3 to 0.9: three times as far
    rig.driver.frame();
    EXPECT_NEAR(rig.overlay->pinchScale(), 3.0, 1e-5);
    EXPECT_FLOAT_EQ(rig.need("bubble").rect.width, float(176 * 2.2));
    EXPECT_DOUBLE_EQ(s.scale.get(), 1.0) << "stored only at the end";
    touch.lift();
    rig.driver.frame(2);
    EXPECT_NEAR(s.scale.get(), 2.2, 1e-9);
    EXPECT_DOUBLE_EQ(rig.overlay->pinchScale(), 1.0);
    s.scale = 1.0;
    rig.driver.frame();
    touch.gesture(-0.24f);  // 0.2
    rig.driver.frame();
    touch.lift();
    rig.driver.frame(2);
    EXPECT_NEAR(s.scale.get(), 0.55, 1e-9);

    // Ctrl + wheel over the bubble is a pinch that commits shortly after the last notch.
    s.scale = 1.0;
    rig.driver.frame();
    const auto r = rig.need("bubble").rect;
    rig.driver.scroll(r.centerX(), r.centerY(), 2, true);
    EXPECT_DOUBLE_EQ(s.scale.get(), 1.0);
    rig.driver.frame(30);
    EXPECT_NEAR(s.scale.get(), 1.21, 1e-5);
    s.scale = 1.0;
    rig.driver.frame();

    // Drags: clamped to 0.44 of the width; shorter than 10 points they do nothing.
    const auto start = rig.need("bubble").rect;
    rig.driver.drag(start.centerX(), start.centerY(), start.centerX() + 10000, start.centerY());
    EXPECT_EQ(s.offset.get(), (VelFacecamSize{352, -96}));
    const auto moved = rig.need("bubble").rect;
    EXPECT_FLOAT_EQ(moved.centerX(), kW / 2 + 352);
    rig.driver.drag(moved.centerX(), moved.centerY(), moved.centerX() - 6, moved.centerY() + 5);
    EXPECT_EQ(s.offset.get(), (VelFacecamSize{352, -96}));
    EXPECT_EQ(rig.overlay->dragDelta(), (VelFacecamSize{0, 0}));
    // Dragging by the pill moves the group and is no click of the button under it.
    const auto pill = rig.need("pill/mode").rect;
    rig.driver.drag(pill.centerX(), pill.centerY(), pill.centerX() - 100, pill.centerY() + 40);
    EXPECT_EQ(s.offset.get(), (VelFacecamSize{252, -56}));
    EXPECT_EQ(s.backgroundMode.get(), Mode::cutoutNoBackground);
    EXPECT_EQ(rig.contentPresses, 0) << "the viewport under the bubble never saw the drags";
}

TEST(CreatorStudioOverlay, ClipButtonShowsItsToastForThreeSecondsAndNeverRunsTwice) {
    OverlayRig rig;
    rig.click("toolbar/toggle");
    auto toastAfterClip = [&] {
        rig.click("toolbar/clip");
        for (int i = 0; i < 500 && !rig.find("toast"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            rig.driver.frame();
        }
        return rig.find("toast") ? rig.find("toast")->text : std::string();
    };
    EXPECT_EQ(toastAfterClip(), "Saved 9:16 Viral Clip!");
    const auto toast = rig.need("toast").rect;
    EXPECT_FLOAT_EQ(toast.x, 14);
    EXPECT_NEAR(toast.y, rig.need("toolbar/capsule").rect.maxY() + 6, 0.01) << "directly under the toolbar";
    rig.wait(2.75);
    EXPECT_TRUE(rig.find("toast"));
    rig.wait(0.25);
    EXPECT_FALSE(rig.find("toast")) << "gone 3 s later";

    rig.clipResult = [](const pk::CancelToken&) -> std::optional<VelViralClipReceiptV1030> {
        throw pk::StudioError("MarblewickClipper", 2, "AVAssetWriter failed");
    };
    EXPECT_EQ(toastAfterClip(), "Clip export failed");
    rig.wait(3);

    // A second press while the export runs is ignored.
    std::promise<void> release;
    auto gate = release.get_future().share();
    rig.clipResult = [gate](const pk::CancelToken&) {
        gate.wait();
        return std::optional<VelViralClipReceiptV1030>(VelViralClipReceiptV1030{});
    };
    const int before = rig.clipCalls.load();
    rig.click("toolbar/clip");
    for (int i = 0; i < 200 && rig.clipCalls.load() == before; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(Overlay::isExportingClip());
    rig.click("toolbar/clip");
    release.set_value();
    for (int i = 0; i < 500 && Overlay::isExportingClip(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    rig.driver.frame(2);
    EXPECT_EQ(rig.clipCalls.load(), before + 1);
    EXPECT_EQ(rig.need("toast").text, "Saved 9:16 Viral Clip!");
}

TEST(CreatorStudioOverlay, AClipWhoseThreadCannotStartFailsLikeAnyOtherAndTheNextPressExports) {
    OverlayRig rig;
    rig.click("toolbar/toggle");
    {
        pk::test::RefusedThreadStarts refused;
        rig.click("toolbar/clip");
        EXPECT_EQ(refused.refused(), 1);
    }
    rig.driver.frame();
    EXPECT_FALSE(Overlay::isExportingClip());
    EXPECT_EQ(rig.clipCalls.load(), 0);
    ASSERT_TRUE(rig.find("toast"));
    EXPECT_EQ(rig.find("toast")->text, "Clip export failed");
    rig.wait(3);
    EXPECT_FALSE(rig.find("toast")) << "gone 3 s later";

    rig.click("toolbar/clip");
    for (int i = 0; i < 500 && !rig.find("toast"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        rig.driver.frame();
    }
    ASSERT_TRUE(rig.find("toast"));
    EXPECT_EQ(rig.find("toast")->text, "Saved 9:16 Viral Clip!");
}

// Quitting tears the window's content down, and the overlay with it: a clip being written
// then is cancelled and waited for, and leaves no truncated file behind.
TEST(CreatorStudioOverlay, TearDownDuringAClipExportCancelsItAndLeavesNoFile) {
    OverlayRig rig;
    const fs::path clip = fs::path(KS_TEST_OUTPUT_DIR) / "creator-overlay" / "teardown" / "clip.mp4";
    fs::remove_all(clip.parent_path());
    // The real exporter, long enough to be caught writing.
    rig.clipResult = [clip](const pk::CancelToken& cancel) {
        return std::optional<VelViralClipReceiptV1030>(
            VelViralAutoClipper9x16V1030::exportVerticalViralClip("T", "H", "S", nullptr, clip, 60, 30, &cancel));
    };
    rig.click("toolbar/toggle");
    rig.click("toolbar/clip");
    std::error_code ec;
    for (int i = 0; i < 2000 && !(fs::exists(clip) && fs::file_size(clip, ec) > 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GT(fs::file_size(clip, ec), 0u) << "the export had begun writing";
    ASSERT_TRUE(Overlay::isExportingClip());

    rig.overlay.reset();
    EXPECT_FALSE(Overlay::isExportingClip()) << "the export was waited for";
    EXPECT_FALSE(fs::exists(clip)) << "no half-written clip is left";
    rig.enabled = false;
    rig.queue.drain();  // the export's report finds no overlay, and does nothing
}

TEST(CreatorStudioOverlay, FlagOffTearsDownAndOnAgainStartsFresh) {
    OverlayRig rig;
    rig.access = pk::capture::CameraAccess::granted;
    rig.cameraOn();
    auto* textures = dynamic_cast<pk::ui::HeadlessTextureFactory*>(&rig.ctx.textures());
    ASSERT_NE(textures, nullptr);
    for (int i = 0; i < 400 && !(rig.find("bubble") && rig.find("bubble")->kind == pk::ui::ControlKind::image); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        rig.driver.frame();
    }
    ASSERT_EQ(rig.need("bubble").kind, pk::ui::ControlKind::image) << "live frames replace the placeholder";
    EXPECT_TRUE(rig.need("bubble").text.empty());
    rig.driver.frame(5);
    EXPECT_EQ(textures->liveCount(), 1u) << "one texture, replaced frame by frame";
    rig.studio().offset = VelFacecamSize{100, 100};
    rig.studio().isToolbarExpanded = true;
    EXPECT_TRUE(rig.studio().hasClockTimer());

    rig.enabled = false;
    rig.driver.frame();
    EXPECT_EQ(rig.overlay, nullptr);
    EXPECT_FALSE(rig.find("toolbar/toggle"));
    EXPECT_EQ(textures->liveCount(), 0u);
    rig.feed->waitForQueue();
    EXPECT_FALSE(rig.feed->isRunning()) << "the camera stops with the overlay";

    rig.enabled = true;
    rig.driver.frame(2);
    ASSERT_NE(rig.overlay, nullptr);
    EXPECT_EQ(rig.studio().offset.get(), (VelFacecamSize{-16, -96}));
    EXPECT_FALSE(rig.studio().isToolbarExpanded.get() || rig.studio().isCameraEnabled.get());
    EXPECT_EQ(rig.need("toolbar/toggle").symbol, "record.circle");
}
