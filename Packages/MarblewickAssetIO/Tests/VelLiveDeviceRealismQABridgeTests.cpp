#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

#include "MarblewickAssetIO/VelLiveDeviceRealismQABridgeV1340.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "RealismTestFrames.h"

using namespace assetio;
using namespace realism_test;
using Bridge = VelLiveDeviceRealismQABridgeV1340;
using pk::vision::FakeTextRecognizer;
namespace fs = std::filesystem;

namespace {

VelLiveDeviceTelemetryV1340 telemetry(double fps = 60, std::string thermal = "nominal") {
    return {"Quartzfall", "com.marblewick.quartzfall", "Mac15,8", "15.2", fps, std::move(thermal), 412.5,
            "2025-01-02T03:04:05Z"};
}

const std::vector<VelAnatomicalEventRecordV1310> kCleanEvents{{1, "severedHead", 1.6f, 5, 0.24f}};

// HOME pointed at a fresh folder for the test's lifetime.
struct TemporaryHome {
    fs::path root;
    std::string saved;
    bool had = false;
    explicit TemporaryHome(const std::string& name) : root(fs::path(KS_TEST_OUTPUT_DIR) / name) {
        fs::remove_all(root);
        fs::create_directories(root);
        if (const char* h = std::getenv("HOME")) {
            saved = h;
            had = true;
        }
        setenv("HOME", root.c_str(), 1);
    }
    ~TemporaryHome() {
        if (had) setenv("HOME", saved.c_str(), 1);
        else unsetenv("HOME");
    }
};

}  // namespace

TEST(VelLiveDeviceRealismQABridge, FilesInTheDocumentsFolderAndSummaryLine) {
    const TemporaryHome home("live_bridge_home");
    const RgbaImage frame = texturedFrame(320, 180, 4);
    const auto s = Bridge::evaluateAndPersistLiveFrame(frame, telemetry(), kCleanEvents, std::nullopt, 60,
                                                       FakeTextRecognizer());
    const fs::path qa = home.root / "Documents" / "MarblewickRealismQA";
    EXPECT_EQ(Bridge::qaDirectoryURL(), qa);
    EXPECT_TRUE(s.passedAllLiveDeviceGates);
    EXPECT_EQ(s.summaryLine,
              "[Quartzfall] Mac15,8 | 60.0 FPS (nominal) | Blowout=0.0% | Detail=" +
                  pk::formatC("%.3f", s.photorealReport.microTextureGradientScore) +
                  " | OCR(overlaps=0,leaks=0) | Anat=CLEAN -> PASS");
    EXPECT_EQ(s.ocrReport.imageName, "vel_live_device_realism_frame.png");
    EXPECT_EQ(s.photorealReport.imageName, "vel_live_device_realism_frame.png");

    const auto png = pk::image::decodeFile(qa / "vel_live_device_realism_frame.png");
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(*png, frame);
    const auto text = pk::readTextFile(qa / "vel_live_device_realism_report.json");
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->rfind("{\n  \"anatomicalReport\": {", 0), 0u);
    EXPECT_EQ(VelLiveDeviceRealismScorecardV1340::fromJson(pk::json::parse(*text)), s);

    // A second run replaces both files.
    const RgbaImage second = texturedFrame(64, 36, 9);
    const auto s2 = Bridge::evaluateAndPersistLiveFrame(second, telemetry(30, "serious"), kCleanEvents, qa, 60,
                                                        FakeTextRecognizer());
    EXPECT_EQ(*pk::image::decodeFile(qa / "vel_live_device_realism_frame.png"), second);
    EXPECT_EQ(VelLiveDeviceRealismScorecardV1340::fromJson(
                  pk::json::parse(*pk::readTextFile(qa / "vel_live_device_realism_report.json"))),
              s2);
}

TEST(VelLiveDeviceRealismQABridge, Gates) {
    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "live_bridge_gates";
    const RgbaImage frame = texturedFrame(160, 90, 4);
    struct Case {
        const char* name;
        double fps, minFPS;
        std::string thermal;
        bool fpsGate, thermalGate;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Case> cases = {
        {"equal_fps", 60, 60, "nominal", true, true},
        {"below_min", 60, 60.1, "nominal", false, true},
        {"fair", 120, 60, "fair", true, true},
        {"serious", 120, 60, "serious", true, false},
        {"capitalised", 120, 60, "Nominal", true, false},
        {"unknown", 120, 60, "unknown", true, false},
        {"nan_fps", nan, 60, "nominal", false, true},
        {"nan_min", 60, nan, "nominal", false, true},
    };
    for (const Case& c : cases) {
        const auto s = Bridge::evaluateAndPersistLiveFrame(frame, telemetry(c.fps, c.thermal), kCleanEvents, dir,
                                                           c.minFPS, FakeTextRecognizer());
        EXPECT_EQ(s.fpsGatePassed, c.fpsGate) << c.name;
        EXPECT_EQ(s.thermalGatePassed, c.thermalGate) << c.name;
        EXPECT_EQ(s.passedAllLiveDeviceGates, c.fpsGate && c.thermalGate) << c.name;
        EXPECT_EQ(s.summaryLine.substr(s.summaryLine.size() - 4), c.fpsGate && c.thermalGate ? "PASS" : "FAIL")
            << c.name;
    }
}

TEST(VelLiveDeviceRealismQABridge, FailuresStayInTheScorecard) {
    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "live_bridge_failures";
    fs::remove_all(dir);
    // A failed anatomical audit and a blown-out frame with a jargon leak.
    RgbaImage frame = solid(100, 100, 255, 255, 255);
    fillRect(frame, 0, 0, 100, 96, 40, 40, 40);
    for (int x = 0; x < 100; x += 2) fillRect(frame, x, 0, 1, 96, 200, 200, 200);
    const auto s = Bridge::evaluateAndPersistLiveFrame(
        frame, telemetry(), {{1, "severedHead", 1, 5, 0.24f}, {1, "cranialShard", 1, 5, 0.1f}}, dir, 30,
        FakeTextRecognizer({{"FPS NaN", 0.1, 0.1, 0.3, 0.1}}));
    EXPECT_NEAR(s.photorealReport.blownOutWhiteFraction, 0.04, 1e-12);
    EXPECT_EQ(s.summaryLine.substr(s.summaryLine.find("| Blowout=")), "| Blowout=4.0% | Detail=" +
              pk::formatC("%.3f", s.photorealReport.microTextureGradientScore) +
              " | OCR(overlaps=0,leaks=1) | Anat=FAIL -> FAIL");

    // A non-finite frame rate: the gate fails, the line says nan, and no report with a
    // null in it is written; an older report does not stay behind.
    ASSERT_TRUE(fs::exists(dir / "vel_live_device_realism_report.json"));
    const auto n = Bridge::evaluateAndPersistLiveFrame(frame, telemetry(-std::numeric_limits<double>::quiet_NaN()),
                                                       kCleanEvents, dir, 30, FakeTextRecognizer());
    EXPECT_FALSE(n.fpsGatePassed);
    EXPECT_EQ(n.summaryLine.rfind("[Quartzfall] Mac15,8 | nan FPS (nominal) |", 0), 0u) << n.summaryLine;
    EXPECT_FALSE(fs::exists(dir / "vel_live_device_realism_report.json"));
    EXPECT_TRUE(fs::exists(dir / "vel_live_device_realism_frame.png"));
    // A frame without pixels has no PNG: the older one goes, the new report is written.
    const auto empty = Bridge::evaluateAndPersistLiveFrame(RgbaImage{}, telemetry(), kCleanEvents, dir, 30,
                                                           FakeTextRecognizer());
    EXPECT_FALSE(empty.photorealReport.passed);
    EXPECT_FALSE(fs::exists(dir / "vel_live_device_realism_frame.png"));
    EXPECT_TRUE(fs::exists(dir / "vel_live_device_realism_report.json"));

    // A folder that cannot be made still gives a complete scorecard, with no files.
    std::ofstream(dir / "a_file") << "x";
    const auto blocked = Bridge::evaluateAndPersistLiveFrame(texturedFrame(160, 90, 4), telemetry(), kCleanEvents,
                                                             dir / "a_file" / "qa", 60, FakeTextRecognizer());
    EXPECT_TRUE(blocked.passedAllLiveDeviceGates);
    EXPECT_FALSE(fs::exists(dir / "a_file" / "qa"));
}

TEST(VelLiveDeviceRealismQABridge, ThermalStateWords) {
    const fs::path base = fs::path(KS_TEST_OUTPUT_DIR) / "live_bridge_thermal";
    struct Case {
        const char* name;
        const char* temp;
        const char* word;
    };
    // One zone with a passive trip at 95 C and a critical one at 105 C.
    const std::vector<Case> cases = {{"cool", "40000", "nominal"},    {"warm", "90000", "fair"},
                                     {"throttled", "96000", "serious"}, {"hot", "106000", "critical"},
                                     {"no_zone", nullptr, "unknown"}};
    for (const Case& c : cases) {
        const fs::path root = base / c.name;
        fs::remove_all(root);
        fs::create_directories(root);
        if (c.temp) {
            const fs::path z = root / "thermal_zone0";
            fs::create_directories(z);
            std::ofstream(z / "temp") << c.temp << "\n";
            std::ofstream(z / "trip_point_0_temp") << "95000\n";
            std::ofstream(z / "trip_point_0_type") << "passive\n";
            std::ofstream(z / "trip_point_1_temp") << "105000\n";
            std::ofstream(z / "trip_point_1_type") << "critical\n";
        }
        EXPECT_EQ(Bridge::currentThermalStateString(root), c.word) << c.name;
    }
}

// A file size limit stands in for a full disk: the frame's write fails part way.
[[noreturn]] void persistIntoATooSmallDisk(const fs::path& dir) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{};
    lim.rlim_cur = lim.rlim_max = 4096;
    setrlimit(RLIMIT_FSIZE, &lim);
    Bridge::evaluateAndPersistLiveFrame(texturedFrame(400, 300, 4), telemetry(), kCleanEvents, dir, 60,
                                        FakeTextRecognizer());
    // Neither a cut-off frame nor its temporary file is left; the older frame, which would
    // not describe this one, is gone too.
    size_t left = 0;
    for (const auto& f : fs::directory_iterator(dir)) left += f.path().extension() != ".json";
    std::_Exit(left == 0 ? 0 : 2);
}

TEST(VelLiveDeviceRealismQABridgeDeathTest, AFrameThatDoesNotFitLeavesNoCutOffFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "live_bridge_full";
    fs::remove_all(dir);
    Bridge::evaluateAndPersistLiveFrame(solid(8, 8, 90, 90, 90), telemetry(), kCleanEvents, dir, 60, FakeTextRecognizer());
    ASSERT_TRUE(fs::exists(dir / "vel_live_device_realism_frame.png"));
    EXPECT_EXIT(persistIntoATooSmallDisk(dir), testing::ExitedWithCode(0), "");
}
