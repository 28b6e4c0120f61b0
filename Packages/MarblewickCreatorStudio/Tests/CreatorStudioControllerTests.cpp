// The creator controller on a hand-driven main queue and clock, with a fake camera and a
// real screen recorder fed by the test.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "CreatorTestCameras.h"
#include "MarblewickCreatorStudio/VelCreatorStudioControllerV1045.h"
#include "PlatformKit/Capture/SyntheticFrameSource.h"
#include "PlatformKit/Foundation/StudioError.h"

using namespace creator;
using Controller = VelCreatorStudioControllerV1045;
using Mode = VelFacecamBackgroundModeV1045;
using Shape = VelFacecamShapeV1045;
namespace fs = std::filesystem;

namespace {

struct Rig {
    std::shared_ptr<pk::ManualClock> clock = std::make_shared<pk::ManualClock>(1000.0, 1765000000.7);
    pk::MainQueue queue{clock};
    pk::capture::CameraAccess access = pk::capture::CameraAccess::granted;
    std::shared_ptr<VelCreatorCameraFeedV1045> feed;
    std::shared_ptr<pk::media::ScreenRecorder> recorder;
    fs::path dir, clips;
    std::vector<fs::path> revealed;

    explicit Rig(const std::string& name, bool recorderAvailable = true) {
        dir = fs::path(KS_TEST_OUTPUT_DIR) / "creator-controller" / name;
        fs::remove_all(dir);
        clips = dir / "clips";
        feed = creator_test::syntheticCameraFeed(access);
        pk::media::ScreenRecorder::Options o;
        o.stagingDirectory = dir / "staging";
        if (!recorderAvailable) o.encoderAvailable = [] { return false; };
        recorder = std::make_shared<pk::media::ScreenRecorder>(o);
    }

    std::unique_ptr<Controller> make() {
        Controller::Environment env;
        env.queue = &queue;
        env.cameraFeed = feed;
        env.recorder = recorder;
        env.clipsDirectory = [this] { return clips; };
        env.revealFile = [this](const fs::path& p) { revealed.push_back(p); };
        return std::make_unique<Controller>(env);
    }

    void ticks(int n) {
        for (int i = 0; i < n; ++i) {
            clock->advance(0.25);
            queue.drain();
        }
    }
    bool until(const std::function<bool()>& pred) { return queue.runUntil(pred, 20); }

    // The app's main loop handing its frames to the recorder.
    void drawFrames(int count) {
        std::vector<uint8_t> px(32 * 32 * 4, 90);
        for (int sent = 0, i = 0; sent < count && i < 500; ++i) {
            if (recorder->wantsFrame()) {
                recorder->submitFrame(px.data(), 32, 32, 32 * 4, pk::media::FrameLayout::rgbaBottomFirst);
                ++sent;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
};

}  // namespace

TEST(CreatorFacecamEnums, RawValuesOrderCyclesAndJson) {
    EXPECT_EQ(Mode::allCases.size(), 3u);
    const char* modes[] = {"BG Occlusion", "BG Blur", "Full Cam"};
    const char* shapes[] = {"Cutout", "Circle", "Rounded"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_STREQ(Mode::allCases[i].rawValue(), modes[i]);
        EXPECT_STREQ(Shape::allCases[i].rawValue(), shapes[i]);
        EXPECT_EQ(Mode::fromRaw(modes[i]), Mode::allCases[i]);
        EXPECT_EQ(Mode::fromJson(Mode::allCases[i].toJson()), Mode::allCases[i]);
        EXPECT_EQ(Shape::fromJson(pk::json::Json(shapes[i])), Shape::allCases[i]);
        EXPECT_EQ(Mode::allCases[i].next(), Mode::allCases[(i + 1) % 3]);
        EXPECT_EQ(Shape::allCases[i].next(), Shape::allCases[(i + 1) % 3]);
    }
    EXPECT_EQ(Mode(), Mode::cutoutNoBackground);
    EXPECT_EQ(Shape(), Shape::freeCutout);
    EXPECT_FALSE(Mode::fromRaw("bg occlusion"));
    EXPECT_EQ(std::hash<Mode>()(Mode::studioBlur), std::hash<std::string_view>()("BG Blur"));
    try {
        Shape::fromJson(pk::json::Json("Square"));
        ADD_FAILURE() << "an unknown shape decodes";
    } catch (const pk::StudioError& e) {
        EXPECT_EQ(e.domain, pk::json::kDecodingDomain);
        EXPECT_EQ(e.code, pk::json::dataCorrupted);
    }
}

TEST(CreatorStudioController, DefaultsClampsClockTextAndFileNames) {
    Rig rig("defaults");
    auto c = rig.make();
    EXPECT_EQ(c->statusMessage.get(), "Creator Cam Ready");
    EXPECT_EQ(c->micActivityLevel.get(), 0.25);
    EXPECT_EQ(c->offset.get(), (VelFacecamSize{-16, -96}));
    EXPECT_EQ(c->scale.get(), 1.0);
    EXPECT_EQ(c->backgroundMode.get(), Mode::cutoutNoBackground);
    EXPECT_EQ(c->frameShape.get(), Shape::freeCutout);
    EXPECT_TRUE(c->isMirrored.get() && c->isMicIncluded.get());
    EXPECT_FALSE(c->isCameraEnabled.get() || c->isRecording.get() || c->isToolbarExpanded.get());
    EXPECT_FALSE(c->hasClockTimer());
    EXPECT_EQ(rig.queue.pendingCount(), 0u) << "a new controller starts nothing";

    for (auto [in, out] : {std::pair{0.1, 0.55}, {5.0, 2.2}, {1.3, 1.3}, {0.55, 0.55}, {2.2, 2.2}})
        EXPECT_DOUBLE_EQ(Controller::clampScale(in), out) << in;
    struct OffsetCase {
        VelFacecamSize proposed, container, expected;
    };
    for (const auto& oc : {OffsetCase{{500, -500}, {400, 300}, {176, -126}}, OffsetCase{{500, -500}, {50, 50}, {40, -40}},
                           OffsetCase{{10000, 0}, {800, 600}, {352, 0}}, OffsetCase{{-12, 30}, {800, 600}, {-12, 30}}})
        EXPECT_EQ(Controller::clampOffset(oc.proposed, oc.container), oc.expected);

    for (auto [ticks, text] : {std::pair<int64_t, const char*>{0, "00:00"}, {10, "00:02"}, {239, "00:59"}, {240, "01:00"},
                               {14400, "60:00"}, {14640, "61:00"}})
        EXPECT_EQ(Controller::formatRecordingTime(ticks), text) << ticks;

    EXPECT_EQ(Controller::recordingFileName("Kestrelune Studio", 1765000000.7), "Kestrelune_Studio_CreatorRec_1765000000.mp4");
    EXPECT_EQ(Controller::recordingFileName("My Big Game", 12), "My_Big_Game_CreatorRec_12.mp4");
    EXPECT_EQ(Controller::recordingFileName("Épée #1!", 3), "Épée_#1!_CreatorRec_3.mp4") << "other characters stay";
    // A separator cannot reach out of the folder; ".." is harmless, as the name goes on.
    for (auto [hostile, expected] : {std::pair{"../../etc/passwd", ".._.._etc_passwd_CreatorRec_5.mp4"},
                                     {"a/../../b", "a_.._.._b_CreatorRec_5.mp4"},
                                     {"..", ".._CreatorRec_5.mp4"},
                                     {"/abs/path", "_abs_path_CreatorRec_5.mp4"}}) {
        const std::string name = Controller::recordingFileName(hostile, 5);
        EXPECT_EQ(name, expected) << hostile;
        EXPECT_EQ((fs::path("/clips") / name).parent_path(), fs::path("/clips")) << hostile;
    }
}

TEST(CreatorStudioController, CameraSwitchRunsTheClockAndPublishesFeedStatusAndFrames) {
    Rig rig("camera");
    rig.access = pk::capture::CameraAccess::restricted;
    auto c = rig.make();
    c->backgroundMode = Mode::studioBlur;  // while off: the feed already has it
    EXPECT_EQ(rig.feed->backgroundMode(), Mode::studioBlur);
    c->isMirrored = false;
    EXPECT_FALSE(rig.feed->isMirrored());

    c->toggleCamera();
    EXPECT_TRUE(c->hasClockTimer()) << "the clock starts before the camera answers";
    ASSERT_TRUE(rig.until([&] { return c->statusMessage.get() != "Creator Cam Ready"; }));
    EXPECT_EQ(c->statusMessage.get(), "Camera restricted \u2014 using Studio Preview");
    EXPECT_FALSE(c->isUsingLiveHardwareCamera.get());
    rig.ticks(1);
    const double t = rig.clock->wallSeconds();
    EXPECT_DOUBLE_EQ(c->micActivityLevel.get(), std::abs(std::sin(4.7 * t) * std::cos(2.3 * t)) * 0.55 + 0.18);
    c->isMicIncluded = false;
    rig.ticks(1);
    EXPECT_EQ(c->micActivityLevel.get(), 0.0);

    c->toggleCamera();
    EXPECT_FALSE(c->hasClockTimer());
    EXPECT_FALSE(c->isUsingLiveHardwareCamera.get());

    rig.access = pk::capture::CameraAccess::granted;
    c->toggleCamera();
    ASSERT_TRUE(rig.until([&] { return c->isUsingLiveHardwareCamera.get() && c->latestCameraFrame.get() != nullptr; }));
    EXPECT_EQ(c->statusMessage.get(), "Live Camera Active");
    EXPECT_EQ(c->latestCameraFrame.get()->width(), 640);
    c->toggleCamera();
    rig.feed->waitForQueue();
    EXPECT_FALSE(rig.feed->isRunning());
    EXPECT_NE(c->latestCameraFrame.get(), nullptr) << "the last frame is kept";

    // Switched off before the camera answered: the late answer does not make it live.
    c->toggleCamera();
    c->toggleCamera();
    rig.feed->waitForQueue();
    rig.queue.drain();
    EXPECT_EQ(c->statusMessage.get(), "Live Camera Active");
    EXPECT_FALSE(c->isUsingLiveHardwareCamera.get());
}

TEST(CreatorStudioController, RecordingStartsCountsStopsSavesAndIgnoresTogglesWhilePending) {
    Rig rig("record");
    auto c = rig.make();
    c->toggleRecording("Kestrelune Studio");
    EXPECT_TRUE(c->isRecordingTransitionPending());
    c->toggleRecording("Kestrelune Studio");  // still starting: ignored, no second start
    ASSERT_TRUE(rig.until([&] { return c->isRecording.get(); }));
    EXPECT_EQ(c->statusMessage.get(), "REC (Game + Mic + Cam)");
    EXPECT_TRUE(rig.recorder->isMicrophoneEnabled());
    EXPECT_TRUE(c->hasClockTimer());
    rig.ticks(10);
    EXPECT_EQ(c->formattedRecordingTime(), "00:02");
    rig.drawFrames(4);

    c->toggleCamera();
    c->toggleCamera();  // the camera going off while recording keeps the clock
    EXPECT_TRUE(c->hasClockTimer());
    rig.feed->waitForQueue();  // its answer lands now, not over the save's status
    rig.queue.drain();
    rig.ticks(2);
    EXPECT_EQ(c->recordingElapsedSeconds.get(), 12);

    const std::string name = "Kestrelune_Studio_CreatorRec_" + std::to_string(int64_t(rig.clock->wallSeconds())) + ".mp4";
    c->toggleRecording("Kestrelune Studio");
    EXPECT_TRUE(c->isRecording.get()) << "recording until the save is done";
    c->toggleRecording("Kestrelune Studio");  // still stopping: ignored, no second stop
    ASSERT_TRUE(rig.until([&] { return !c->isRecording.get(); }));
    EXPECT_EQ(c->statusMessage.get(), "Saved " + name);
    EXPECT_TRUE(fs::is_regular_file(rig.clips / name));
    ASSERT_EQ(rig.revealed.size(), 1u);
    EXPECT_EQ(rig.revealed[0], rig.clips / name);
    EXPECT_FALSE(c->hasClockTimer()) << "camera off and nothing recording: the clock goes";
    EXPECT_EQ(c->recordingElapsedSeconds.get(), 12) << "kept until the next start";

    // Without the microphone, and a stop before any frame: the save fails, nothing revealed.
    c->isMicIncluded = false;
    c->toggleRecording("Kestrelune Studio");
    ASSERT_TRUE(rig.until([&] { return c->isRecording.get(); }));
    EXPECT_EQ(c->statusMessage.get(), "REC (Game Audio)");
    EXPECT_FALSE(rig.recorder->isMicrophoneEnabled());
    EXPECT_EQ(c->recordingElapsedSeconds.get(), 0);
    c->toggleRecording("Kestrelune Studio");
    ASSERT_TRUE(rig.until([&] { return !c->isRecording.get(); }));
    EXPECT_EQ(c->statusMessage.get().rfind("Save note: ", 0), 0u) << c->statusMessage.get();
    EXPECT_EQ(rig.revealed.size(), 1u);
}

TEST(CreatorStudioController, UnavailableRecorderSaysWhyAndChangesNothingElse) {
    Rig rig("unavailable", false);
    auto c = rig.make();
    c->toggleRecording("X");
    EXPECT_EQ(c->statusMessage.get(), Controller::kRecorderUnavailableStatus);
    EXPECT_FALSE(c->isRecording.get() || c->isRecordingTransitionPending() || c->hasClockTimer());
}

TEST(CreatorStudioController, TeardownStopsTheCameraAndClockAndSavesTheRecording) {
    Rig rig("teardown");
    {
        auto c = rig.make();
        c->toggleCamera();
        c->toggleRecording("Take One");
        ASSERT_TRUE(rig.until([&] { return c->isRecording.get() && c->isUsingLiveHardwareCamera.get(); }));
        rig.drawFrames(3);
    }
    ASSERT_TRUE(rig.recorder->waitUntilIdle(20));
    EXPECT_FALSE(rig.recorder->isRecording());
    int saved = 0;
    for (const auto& e : fs::directory_iterator(rig.clips))
        saved += e.path().filename().string().rfind("Take_One_CreatorRec_", 0) == 0;
    EXPECT_EQ(saved, 1) << "the recording in progress was saved";
    rig.feed->waitForQueue();
    EXPECT_FALSE(rig.feed->isRunning());
    rig.ticks(2);
    EXPECT_EQ(rig.queue.pendingCount(), 0u) << "no clock outlives the controller";

    // Gone while the start is still pending: the recorder is left with nothing running.
    {
        auto c = rig.make();
        c->toggleRecording("Take Two");
    }
    ASSERT_TRUE(rig.recorder->waitUntilIdle(20));
    EXPECT_FALSE(rig.recorder->isRecording());
    rig.queue.drain();
}
