#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "MarblewickAssetIO/VelVisionPoseToMWAnimCompilerV1265.h"
#include "PlatformKit/Foundation/ByteIO.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"

using namespace assetio;
namespace fs = std::filesystem;
using Compiler = VelVisionPoseToMWAnimCompilerV1265;
using Frame = VelVision3DPoseFrameV1265;

namespace {

fs::path freshDir(const char* name) {
    const auto d = fs::path(KS_TEST_OUTPUT_DIR) / "assetio_animbake" / name;
    fs::remove_all(d);
    return d;
}

std::vector<uint8_t> fileBytes(const fs::path& p) { return pk::readFile(p).value(); }

void header(pk::ByteWriter& w, uint32_t frames, float fps) {
    w.append(std::string("MWAN"));
    w.u32(1);
    w.u32(16);
    w.u32(frames);
    w.f32(fps);
    w.u32(0);
}

}  // namespace

TEST(PoseToMWAnim, TwoFrameClipBytes) {
    // Three joints pad with zeros, twenty are cut at sixteen, times and fps pass unchecked.
    Frame a{.timeSec = 0.5f, .pelvisPos = {1.0f, 2.0f, 3.0f}, .jointEulerRad16 = {{0.1f, 0.2f, 0.3f}, {-1, -2, -3}, {4, 5, 6}}};
    Frame b{.timeSec = 0.25f, .pelvisPos = {-0.5f, 0.94f, 0.0f}, .jointEulerRad16 = {}};
    for (int i = 0; i < 20; ++i) b.jointEulerRad16.push_back({float(i), float(i) + 0.5f, -float(i)});
    const std::vector<Frame> frames = {a, b};
    const auto path = freshDir("two") / "nested" / "clip.mwanim";

    const auto r = Compiler::compilePoseFramesToMWAnim("walk", frames, -12.5f, path);

    pk::ByteWriter w;
    header(w, 2, -12.5f);
    for (float f : {0.5f, 1.0f, 2.0f, 3.0f, 0.1f, 0.2f, 0.3f, -1.0f, -2.0f, -3.0f, 4.0f, 5.0f, 6.0f}) w.f32(f);
    w.zeros(13 * 12);
    for (float f : {0.25f, -0.5f, 0.94f, 0.0f}) w.f32(f);
    for (int i = 0; i < 16; ++i) {
        w.f32(float(i));
        w.f32(float(i) + 0.5f);
        w.f32(-float(i));
    }
    const auto expected = w.take();
    ASSERT_EQ(expected.size(), 24u + 2 * 208);
    EXPECT_EQ(fileBytes(path), expected);
    EXPECT_EQ(Compiler::encodeClip(frames, -12.5f), expected);

    EXPECT_EQ(r, (VelMWAnimBakeReceiptV1265{.clipName = "walk",
                                            .boneCount = 16,
                                            .frameCount = 2,
                                            .fps = -12.5f,
                                            .fileBytes = 440,
                                            .magicValid = true,
                                            .outputPath = path.string()}));
}

TEST(PoseToMWAnim, EmptyClipIsTheHeaderAlone) {
    const auto path = freshDir("empty") / "empty.mwanim";
    const auto r = Compiler::compilePoseFramesToMWAnim("none", {}, 0.0f, path);
    const uint8_t expected[24] = {'M', 'W', 'A', 'N', 1, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(fileBytes(path), std::vector<uint8_t>(expected, expected + 24));
    EXPECT_EQ(r.frameCount, 0);
    EXPECT_EQ(r.fileBytes, 24);
    EXPECT_TRUE(r.magicValid);
    uint32_t m;
    std::memcpy(&m, "MWAN", 4);
    EXPECT_EQ(Compiler::magic, m);

    // Replacing an existing clip leaves only the new one.
    const Frame one{.timeSec = 1, .pelvisPos = {0, 1, 0}, .jointEulerRad16 = {}};
    EXPECT_EQ(Compiler::compilePoseFramesToMWAnim("one", std::vector<Frame>{one}, 24, path).fileBytes, 232);
    EXPECT_EQ(fs::file_size(path), 232u);
}

TEST(PoseToMWAnim, SelfTestReceiptAndMotion) {
    const auto path = freshDir("selftest") / "reload.mwanim";
    const auto r = Compiler::runSelfTestMoCapBake(path);
    EXPECT_EQ(r, (VelMWAnimBakeReceiptV1265{.clipName = "mocap_tactical_reload_v1265",
                                            .boneCount = 16,
                                            .frameCount = 30,
                                            .fps = 30,
                                            .fileBytes = 6264,
                                            .magicValid = true,
                                            .outputPath = path.string()}));

    const auto bytes = fileBytes(path);
    pk::ByteReader rd(bytes);
    rd.seek(16);
    EXPECT_EQ(rd.f32(), 30.0f);
    auto at = [&](size_t frame, size_t field) {
        pk::ByteReader fr(bytes);
        fr.seek(24 + 208 * frame + 4 * field);
        return *fr.f32();
    };
    // First frame: time 0, pelvis at 0.94, joint 4 (field 4 + 3*4) at its rest pose.
    EXPECT_EQ(at(0, 0), 0.0f);
    EXPECT_EQ(at(0, 2), 0.94f);
    EXPECT_EQ(at(0, 16), -0.45f);
    EXPECT_EQ(at(0, 17), 0.15f);
    EXPECT_EQ(at(0, 18), -0.2f);
    for (size_t i = 0; i < 30; ++i) {
        const double s = std::sin(2.0 * M_PI * double(i) / 30.0);
        EXPECT_NEAR(at(i, 0), i / 30.0, 1e-6);
        EXPECT_NEAR(at(i, 2), 0.94 + 0.04 * std::fabs(s), 1e-5) << i;
        EXPECT_NEAR(at(i, 4 + 3 * 8), 0.22 * s, 1e-5) << i;    // joint 8 x
        EXPECT_NEAR(at(i, 4 + 3 * 9), -0.22 * s, 1e-5) << i;   // joint 9 x
        EXPECT_EQ(at(i, 4 + 3 * 2), 0.0f);                     // untouched joint
    }
}

TEST(PoseToMWAnim, OversizedClipsAndBadFoldersFail) {
    EXPECT_EQ(Compiler::clipByteCount(20648881), 4294967272u);  // the last length below 4 GiB
    for (uint64_t n : {uint64_t(20648882), uint64_t(1) << 32, uint64_t(1) << 40}) {
        try {
            Compiler::clipByteCount(n);
            ADD_FAILURE() << n;
        } catch (const pk::StudioError& e) {
            EXPECT_EQ(e.domain, Compiler::kErrorDomain);
            EXPECT_EQ(e.code, Compiler::clipTooLarge);
        }
    }
    // A file standing where the folder should be: the folder error is thrown.
    const auto dir = freshDir("blocked");
    fs::create_directories(dir);
    std::ofstream(dir / "file") << "x";
    EXPECT_THROW(Compiler::compilePoseFramesToMWAnim("c", {}, 30, dir / "file" / "clip.mwanim"), pk::StudioError);
}

// A clip that is written but cannot be read back (made unreadable by the umask, baked by
// a user who may not read it): the bake throws the platform's error, errno and all.
TEST(PoseToMWAnimDeathTest, FailedReadBackPassesOnThePlatformError) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const fs::path dir = fs::temp_directory_path() / ("assetio-animbake-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::all);
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && setuid(65534) != 0) _exit(200);  // root reads anything
            umask(0777);
            try {
                Compiler::compilePoseFramesToMWAnim("c", {}, 30, dir / "clip.mwanim");
            } catch (const pk::StudioError& e) {
                std::fprintf(stderr, "%s %d %s\n", e.domain.c_str(), e.code, e.description.c_str());
                _exit(e.domain == "POSIX" ? e.code : 201);
            }
            _exit(0);
        },
        ::testing::ExitedWithCode(EACCES), "POSIX 13 Could not read .*clip.mwanim: Permission denied");
    fs::remove_all(dir);
}

TEST(PoseToMWAnim, JsonRecords) {
    const Frame f{.timeSec = 0.1f, .pelvisPos = {0, 0.94f, -1}, .jointEulerRad16 = {{0.22f, 0, 0}, {1, 2, 3}}};
    const auto text = pk::json::dump(f.toJson());
    EXPECT_EQ(text, R"({"jointEulerRad16":[[0.22,0,0],[1,2,3]],"pelvisPos":[0,0.94,-1],"timeSec":0.1})");
    EXPECT_EQ(Frame::fromJson(pk::json::parse(text)), f);

    // A position that is not three numbers is refused rather than padded or cut.
    for (const char* bad : {
             R"({"timeSec":0,"pelvisPos":[0,1],"jointEulerRad16":[]})",
             R"({"timeSec":0,"pelvisPos":[0,1,2,3],"jointEulerRad16":[]})",
             R"({"timeSec":0,"pelvisPos":{"x":0,"y":1,"z":2},"jointEulerRad16":[]})",
             R"({"timeSec":0,"pelvisPos":[0,"1",2],"jointEulerRad16":[]})",
             R"({"timeSec":0,"pelvisPos":[0,1,2],"jointEulerRad16":[[1,2]]})",
             R"({"timeSec":0,"pelvisPos":[0,1,2],"jointEulerRad16":{}})",
             R"({"timeSec":0,"pelvisPos":[0,1,2]})",
         })
        EXPECT_THROW(Frame::fromJson(pk::json::parse(bad)), pk::StudioError) << bad;

    const VelMWAnimBakeReceiptV1265 r{.clipName = "c", .frameCount = 2, .fps = 29.97f, .fileBytes = 440,
                                      .magicValid = true, .outputPath = "/tmp/c.mwanim"};
    const auto rt = pk::json::dump(r.toJson());
    EXPECT_EQ(rt, R"({"clipName":"c","boneCount":16,"frameCount":2,"fps":29.97,"fileBytes":440,)"
                  R"("magicValid":true,"outputPath":"/tmp/c.mwanim"})");
    EXPECT_EQ(VelMWAnimBakeReceiptV1265::fromJson(pk::json::parseOrdered(rt)), r);
}
