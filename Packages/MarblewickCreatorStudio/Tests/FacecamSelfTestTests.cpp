#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "MarblewickCreatorStudio/VelCreatorFacecamSelfTestV1045.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Image/Image.h"

using namespace creator;
namespace fs = std::filesystem;

namespace {

fs::path freshDir(const char* name) {
    fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "facecam-selftest" / name;
    fs::remove_all(dir);
    return dir;
}

// Subject area of the synthetic frame (head, bars and the body inside the frame).
constexpr double kSubjectShare = 28090.0 / 65536.0;

}  // namespace

TEST(FacecamSelfTest, MeasuresTheCutoutAndWritesTheProofIntoANewFolder) {
    fs::path png = freshDir("new") / "nested" / "proof.png";
    auto r = VelCreatorFacecamSelfTestV1045::runSelfTestAndRenderProof(png);
    EXPECT_EQ(r.proofPNGPath, png.string());
    EXPECT_NEAR(r.subjectOpaqueRatio, kSubjectShare, 0.01);
    EXPECT_NEAR(r.bgOcclusionTransparentRatio, 1 - kSubjectShare, 0.01);
    EXPECT_LT(r.subjectOpaqueRatio, kSubjectShare) << "anti-aliased edges count in neither";
    EXPECT_LE(r.subjectOpaqueRatio + r.bgOcclusionTransparentRatio, 1.0);
    EXPECT_TRUE(r.replayKitAvailable && r.dragAndScaleClampedOK && r.micLevelMeterWorking);

    auto img = pk::image::decodeFile(png);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, 1280);
    EXPECT_EQ(img->height, 720);
    auto px = [&](int x, int yUp) { return img->row(719 - yUp) + size_t(x) * 4; };
    // The dark canvas shows through the transparent room at the composite's corner …
    const uint8_t* corner = px(975, 44 + 250);
    EXPECT_NEAR(corner[0], 13, 2);
    EXPECT_NEAR(corner[1], 23, 2);
    EXPECT_NEAR(corner[2], 41, 2);
    // … while the head is there in its own colour, upright (head above the body).
    const uint8_t* head = px(970 + 128, 44 + 164);
    EXPECT_NEAR(head[0], 224, 2);
    EXPECT_NEAR(head[1], 179, 2);
    EXPECT_NEAR(head[2], 148, 2);
    const uint8_t* body = px(970 + 128, 44 + 20);
    EXPECT_NEAR(body[2], 235, 2);
    // REC dot, gold panel frame.
    EXPECT_NEAR(px(820, 672)[0], 255, 2);
    EXPECT_NEAR(px(425, 225)[1], 176, 3);
}

TEST(FacecamSelfTest, UnwritablePathsAreReported) {
    fs::path dir = freshDir("unwritable");
    fs::create_directories(dir);
    std::ofstream(dir / "file") << "x";
    try {
        VelCreatorFacecamSelfTestV1045::runSelfTestAndRenderProof(dir / "file" / "proof.png");
        FAIL() << "a regular file where the folder should be";
    } catch (const pk::StudioError& e) {
        EXPECT_NE(e.domain, "CreatorCam") << "the file system's own error";
    }
    fs::create_directories(dir / "taken.png");
    try {
        VelCreatorFacecamSelfTestV1045::runSelfTestAndRenderProof(dir / "taken.png");
        FAIL() << "a folder at the PNG's path";
    } catch (const pk::StudioError& e) {
        EXPECT_EQ(e.domain, "CreatorCam");
        EXPECT_EQ(e.code, 3);
        EXPECT_FALSE(e.description.empty());
    }
}

TEST(FacecamSelfTest, AlphaIsMeasuredWithTheImagesStrideAndSize) {
    // 3 × 2 pixels in rows of 20 bytes; the padding is opaque and must not count.
    auto b = pk::draw2d::Bitmap::create(3, 2, 20);
    ASSERT_TRUE(b);
    for (size_t i = 0; i < b->byteCount(); ++i) b->data()[i] = 255;
    uint8_t alphas[2][3] = {{0, 11, 12}, {240, 241, 255}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) b->data()[y * 20 + x * 4 + 3] = alphas[y][x];
    auto shares = VelCreatorFacecamSelfTestV1045::measureAlpha(b->view());
    EXPECT_DOUBLE_EQ(shares.transparent, 2.0 / 6.0);
    EXPECT_DOUBLE_EQ(shares.opaque, 2.0 / 6.0);
}

TEST(FacecamSelfTest, ReceiptJsonKeepsItsKeyOrderAndNeedsEveryKey) {
    VelCreatorFacecamSelfTestReceiptV1045 r{"/tmp/p.png", 0.5625, 0.4, true, true, true};
    auto j = r.toJson();
    std::vector<std::string> keys;
    for (auto it = j.begin(); it != j.end(); ++it) keys.push_back(it.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"proofPNGPath", "bgOcclusionTransparentRatio", "subjectOpaqueRatio",
                                              "replayKitAvailable", "dragAndScaleClampedOK", "micLevelMeterWorking"}));
    EXPECT_EQ(VelCreatorFacecamSelfTestReceiptV1045::fromJson(pk::json::parseOrdered(pk::json::dump(j))), r);
    for (const auto& key : keys) {
        auto missing = j;
        missing.erase(key);
        EXPECT_THROW(VelCreatorFacecamSelfTestReceiptV1045::fromJson(missing), pk::StudioError) << key;
    }
}

TEST(FacecamSelfTest, CallsOnSeveralThreadsAtOnceGiveTheSameResult) {
    fs::path dir = freshDir("threads");
    std::vector<VelCreatorFacecamSelfTestReceiptV1045> receipts(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < receipts.size(); ++i)
        threads.emplace_back([&, i] {
            receipts[i] = VelCreatorFacecamSelfTestV1045::runSelfTestAndRenderProof(dir / (std::to_string(i) + ".png"));
        });
    for (auto& t : threads) t.join();
    auto reference = pk::readFile(dir / "0.png");
    ASSERT_TRUE(reference);
    for (size_t i = 1; i < receipts.size(); ++i) {
        EXPECT_EQ(receipts[i].subjectOpaqueRatio, receipts[0].subjectOpaqueRatio);
        EXPECT_EQ(receipts[i].bgOcclusionTransparentRatio, receipts[0].bgOcclusionTransparentRatio);
        EXPECT_EQ(pk::readFile(dir / (std::to_string(i) + ".png")), reference) << "identical proof " << i;
    }
}
