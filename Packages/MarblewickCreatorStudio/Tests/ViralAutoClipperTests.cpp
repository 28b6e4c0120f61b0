#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "MarblewickCreatorStudio/VelViralAutoClipper9x16V1030.h"
#include "PlatformKit/Foundation/Clock.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Media/MediaProbe.h"

using namespace creator;
using Clipper = VelViralAutoClipper9x16V1030;
namespace fs = std::filesystem;
using pk::draw2d::Bitmap;
using pk::draw2d::Pixel;

namespace {

fs::path freshDir(const std::string& name) {
    fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "viral-clipper" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

int clipperCode(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const pk::StudioError& e) {
        return e.domain == Clipper::kErrorDomain ? e.code : -1;
    }
    return 0;
}

Bitmap drawnFrame(int64_t index, int64_t frames, const Bitmap* image = nullptr) {
    auto b = Bitmap::create(Clipper::kWidth, Clipper::kHeight);
    pk::draw2d::Canvas c(*b, pk::draw2d::Origin::bottomLeft);
    Clipper::drawFrame(c, index, frames, "NEON RUSH", "TRIPLE KILL", "+420 XP", image);
    c.flush();
    return std::move(*b);
}

// Pixel at canvas coordinates with y up.
Pixel at(const Bitmap& b, int x, int yUp) { return b.pixel(x, Clipper::kHeight - 1 - yUp); }

const Pixel kGold{35, 209, 255, 255};  // progress bar (1, 0.82, 0.14)

}  // namespace

TEST(ViralClipExport, FrameCountsKeyFramesAndTimesComeFromTheFile) {
    struct Case {
        double seconds;
        int fps;
        int64_t frames;
        std::vector<int64_t> keys;
    } cases[] = {
        {0.5, 30, 30, {0}},
        {3.0, 30, 90, {0, 30, 60}},
        {2.0, 24, 48, {0, 24}},
    };
    fs::path dir = freshDir("counts");
    for (const auto& c : cases) {
        fs::path out = dir / ("clip_" + std::to_string(c.frames) + ".mp4");
        auto r = Clipper::exportVerticalViralClip("neon rush", "Triple Kill", "+420 XP", nullptr, out, c.seconds, c.fps);
        EXPECT_EQ(r.outputPath, out.string());
        EXPECT_EQ(r.frameCount, c.frames);
        EXPECT_DOUBLE_EQ(r.durationSeconds, double(c.frames) / c.fps);
        EXPECT_EQ(r.width, 1080);
        EXPECT_EQ(r.height, 1920);
        EXPECT_EQ(r.fileSizeBytes, int64_t(fs::file_size(out)));
        EXPECT_EQ(r.gameTitle, "neon rush") << "receipt keeps the title as given";
        EXPECT_EQ(r.highlightHeadline, "Triple Kill");

        auto probe = pk::media::probeMedia(out);
        ASSERT_TRUE(probe);
        const auto* v = probe->first(pk::media::StreamProbe::Kind::video);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->codecName, "h264");
        EXPECT_EQ(v->width, 1080);
        EXPECT_EQ(v->height, 1920);
        EXPECT_EQ(v->packetCount, c.frames);
        EXPECT_EQ(v->keyFrames, c.keys);
        ASSERT_EQ(int64_t(v->presentationTimes.size()), c.frames);
        for (int64_t i = 0; i < c.frames; ++i)
            EXPECT_NEAR(v->presentationTimes[i] - v->presentationTimes[0], double(i) / c.fps, 1e-6) << i;
    }
    // The live dot sits at the top left of an upright first frame.
    auto first = pk::media::decodeFirstVideoFrameRGB(dir / "clip_30.mp4");
    ASSERT_TRUE(first);
    const uint8_t* dot = first->at(80, 1920 - 1816);
    EXPECT_GT(dot[0], 220);
    EXPECT_LT(dot[1], 100);
    const uint8_t* room = first->at(30, 1920 - 1000);
    EXPECT_NEAR(room[0], 13, 6);
    EXPECT_NEAR(room[2], 36, 6);
}

TEST(ViralClipExport, DefaultNameLandsInTheClipsFolderUnderHome) {
    fs::path home = freshDir("home");
    const char* oldHome = std::getenv("HOME");
    std::string saved = oldHome ? oldHome : "";
    setenv("HOME", home.c_str(), 1);

    fs::path clips = Clipper::defaultClipsDirectory();
    EXPECT_EQ(clips, home / "Movies" / "MarblewickClips");
    EXPECT_TRUE(fs::is_directory(clips)) << "created first";

    double before = pk::Clock::system()->wallSeconds();
    auto r = Clipper::exportVerticalViralClip("Neon Rush", "Ace", "1v5", nullptr, std::nullopt, 1.0, 30);
    double after = pk::Clock::system()->wallSeconds();
    fs::path out(r.outputPath);
    EXPECT_EQ(out.parent_path(), clips);
    std::string name = out.filename().string();
    ASSERT_EQ(name.rfind("Neon_Rush_Highlight_", 0), 0u) << name;
    ASSERT_EQ(name.substr(name.size() - 4), ".mp4");
    int64_t secs = std::stoll(name.substr(20, name.size() - 24));
    EXPECT_GE(secs, int64_t(before));
    EXPECT_LE(secs, int64_t(after));
    EXPECT_TRUE(fs::exists(out));

    auto escaped = Clipper::exportVerticalViralClip("../../Escape/x", "", "", nullptr, std::nullopt, 0.5, 30);
    EXPECT_EQ(fs::path(escaped.outputPath).parent_path(), clips) << "a title cannot leave the clips folder";
    EXPECT_TRUE(fs::exists(escaped.outputPath));
    EXPECT_FALSE(fs::exists(home / "Escape"));

    if (oldHome) setenv("HOME", saved.c_str(), 1);
    else unsetenv("HOME");
}

TEST(ViralClipExport, FileNamesKeepTitlesInsideTheFolder) {
    struct Case {
        std::string title;
        double seconds;
        const char* name;
    } cases[] = {
        {"Neon Rush", 1765000000.9, "Neon_Rush_Highlight_1765000000.mp4"},
        {"Été: Zéro!", 7, "Été:_Zéro!_Highlight_7.mp4"},
        {"a/b", 5, "a_b_Highlight_5.mp4"},
        {"../up", 1, ".._up_Highlight_1.mp4"},
        {"v2..final", 3, "v2..final_Highlight_3.mp4"},
        {"..", 2, ".._Highlight_2.mp4"},
        {std::string("a\0b", 3), 4, "a_b_Highlight_4.mp4"},
        {"", 0, "_Highlight_0.mp4"},
    };
    for (const auto& c : cases) EXPECT_EQ(Clipper::defaultFileName(c.title, c.seconds), c.name) << c.title;
}

TEST(ViralClipExport, ExistingFileIsReplacedAndMissingFoldersCreated) {
    fs::path dir = freshDir("replace");
    fs::path out = dir / "a" / "b" / "clip.mp4";
    fs::create_directories(out.parent_path());
    std::ofstream(out) << std::string(5'000'000, 'x');
    auto r = Clipper::exportVerticalViralClip("T", "H", "S", nullptr, out, 1.0, 30);
    EXPECT_EQ(r.fileSizeBytes, int64_t(fs::file_size(out)));
    EXPECT_LT(r.fileSizeBytes, 5'000'000);
    EXPECT_TRUE(pk::media::probeMedia(out));

    fs::path nested = dir / "new" / "deeper" / "clip.mp4";
    Clipper::exportVerticalViralClip("T", "H", "S", nullptr, nested, 0.5, 30);
    EXPECT_TRUE(fs::exists(nested));

    fs::create_directories(dir / "folder.mp4");
    EXPECT_THROW(Clipper::exportVerticalViralClip("T", "H", "S", nullptr, dir / "folder.mp4", 0.5, 30), pk::StudioError)
        << "a folder at the target is not removed";
    EXPECT_TRUE(fs::is_directory(dir / "folder.mp4"));

    // A folder that takes no new file: the writer's own error, and the old file untouched.
    const auto before = pk::readTextFile("/proc/version");
    try {
        Clipper::exportVerticalViralClip("T", "H", "S", nullptr, fs::path("/proc/version"), 0.5, 30);
        ADD_FAILURE() << "exported over /proc/version";
    } catch (const pk::StudioError& e) {
        EXPECT_EQ(e.domain, "FFmpeg");
        EXPECT_LT(e.code, 0);
    }
    EXPECT_EQ(pk::readTextFile("/proc/version"), before);
}

TEST(ViralClipExport, FrameRatesAndDurationsOutOfRangeAreRefused) {
    fs::path out = freshDir("guards") / "clip.mp4";
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double seconds;
        int64_t fps;
    } cases[] = {{3, 0}, {3, -30}, {3, 241}, {3, int64_t(1) << 40}, {nan, 30}, {inf, 30}, {-inf, 30}, {1e300, 30}};
    for (const auto& c : cases) {
        EXPECT_EQ(clipperCode([&] { Clipper::exportVerticalViralClip("T", "H", "S", nullptr, out, c.seconds, c.fps); }),
                  Clipper::badTiming)
            << c.seconds << " s at " << c.fps;
        EXPECT_FALSE(fs::exists(out));
    }
    // A negative duration still writes the minimum.
    EXPECT_EQ(Clipper::exportVerticalViralClip("T", "H", "S", nullptr, out, -2, 30).frameCount, 30);
}

TEST(ViralClipExport, CancellingLeavesNoPartialFileAndTheEarlierClipAsItWas) {
    const fs::path dir = freshDir("cancel");
    fs::path out = dir / "clip.mp4";
    pk::CancelToken token;
    token.cancel();
    EXPECT_EQ(clipperCode([&] { Clipper::exportVerticalViralClip("T", "H", "S", nullptr, out, 3, 30, &token); }),
              Clipper::cancelled);
    EXPECT_FALSE(fs::exists(out));

    // An earlier clip at the target stays byte for byte while a new one is written and cancelled.
    Clipper::exportVerticalViralClip("T", "H", "S", nullptr, out, 0.5, 30);
    const auto earlier = pk::readFile(out);
    ASSERT_TRUE(earlier && !earlier->empty());
    auto partFileBytes = [&] {
        uintmax_t n = 0;
        std::error_code ec;
        for (const auto& f : fs::directory_iterator(dir, ec))
            if (f.path() != out) n += f.file_size(ec);
        return n;
    };
    pk::CancelToken midway;
    std::atomic<int> code{-2};
    std::thread t([&] {
        code = clipperCode([&] { Clipper::exportVerticalViralClip("T", "H", "S", nullptr, out, 60, 30, &midway); });
    });
    for (int i = 0; i < 2000 && partFileBytes() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GT(partFileBytes(), 0u) << "the export had begun writing";
    EXPECT_EQ(pk::readFile(out), earlier);
    midway.cancel();
    t.join();
    EXPECT_EQ(code.load(), Clipper::cancelled);
    EXPECT_EQ(pk::readFile(out), earlier);
    EXPECT_EQ(partFileBytes(), 0u);
}

// A file size limit stands in for a full disk: the muxer's writes start failing.
[[noreturn]] void exportIntoATooSmallDisk(const fs::path& out) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{};
    lim.rlim_cur = lim.rlim_max = 200'000;
    setrlimit(RLIMIT_FSIZE, &lim);
    try {
        Clipper::exportVerticalViralClip("T", "H", "S", nullptr, out, 20, 30);
    } catch (const pk::StudioError& e) {
        // The writer's own error, passed on: FFmpeg's code and its words for the failed write;
        // the partial clip is gone.
        std::_Exit(e.domain == "FFmpeg" && e.code < 0 && !e.description.empty() && !fs::exists(out) ? 0 : 2);
    }
    std::_Exit(1);
}

TEST(ViralClipExportDeathTest, AFrameThatCannotBeWrittenFailsTheExportWithTheWritersOwnError) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    fs::path out = freshDir("full") / "clip.mp4";
    EXPECT_EXIT(exportIntoATooSmallDisk(out), testing::ExitedWithCode(0), "");
}

TEST(ViralClipFrame, ProgressBarGrowsFromEmptyToFullWidth) {
    Bitmap start = drawnFrame(0, 90);
    Bitmap end = drawnFrame(89, 90);
    EXPECT_NE(at(start, 58, 93), kGold) << "empty at p = 0";
    EXPECT_NE(at(start, 500, 93), kGold);
    EXPECT_EQ(at(end, 57, 93), kGold);
    EXPECT_EQ(at(end, 1022, 93), kGold) << "968 wide at p = 1";
    EXPECT_NE(at(end, 1025, 93), kGold);
    EXPECT_NE(at(end, 500, 101), kGold) << "14 high";
    EXPECT_EQ(at(end, 500, 86), kGold);
}

TEST(ViralClipFrame, FurnitureTextAndSceneAreWhereTheyBelong) {
    Bitmap f = drawnFrame(0, 90);
    EXPECT_EQ(at(f, 80, 1816), (Pixel{71, 64, 255, 255})) << "live dot, top left";
    auto accent = at(f, 500, 1628);
    EXPECT_GT(accent.g, 200);
    EXPECT_GT(accent.b, 230);
    // Some headline pixels are pure white just above its baseline; the stat badge is gold.
    auto count = [&](int y0, int y1, auto pred) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 64; x < 700; ++x) n += pred(at(f, x, y));
        return n;
    };
    EXPECT_GT(count(1712, 1750, [](Pixel p) { return p == Pixel{255, 255, 255, 255}; }), 200);
    EXPECT_GT(count(152, 185, [](Pixel p) { return p.r == 255 && p.g > 200 && p.b < 60; }), 200);
    EXPECT_EQ(count(1690, 1709, [](Pixel p) { return p == Pixel{255, 255, 255, 255}; }), 0)
        << "capitals sit on the baseline, not below it";

    auto red = Bitmap::create(8, 64);
    pk::draw2d::Canvas(*red).fill({0, 0, 8, 64});  // opaque black first
    {
        pk::draw2d::Canvas c(*red);
        c.setFillColor({1, 0, 0, 1});
        c.fill({0, 0, 8, 32});  // top half red
    }
    Bitmap withImage = drawnFrame(30, 90, &*red);
    EXPECT_EQ(at(withImage, 540, 960 + 100), (Pixel{0, 0, 255, 255})) << "upper half of the image is red";
    EXPECT_EQ(at(withImage, 540, 960 - 100), (Pixel{0, 0, 0, 255}));
}

TEST(ViralClipReceipt, JsonKeepsItsKeyOrderAndRoundTrips) {
    VelViralClipReceiptV1030 r{"/x/clip.mp4", 1080, 1920, 90, 3.0, 123456, "neon rush", "Ace"};
    auto j = r.toJson();
    std::vector<std::string> keys;
    for (auto it = j.begin(); it != j.end(); ++it) keys.push_back(it.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"outputPath", "width", "height", "frameCount", "durationSeconds",
                                              "fileSizeBytes", "gameTitle", "highlightHeadline"}));
    EXPECT_EQ(VelViralClipReceiptV1030::fromJson(pk::json::parseOrdered(pk::json::dump(j))), r);
    auto missing = j;
    missing.erase("frameCount");
    EXPECT_THROW(VelViralClipReceiptV1030::fromJson(missing), pk::StudioError);
}
