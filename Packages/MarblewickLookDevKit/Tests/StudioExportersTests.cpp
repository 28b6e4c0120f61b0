// Still PNG and OBJ exporters.
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <locale>
#include <random>

#include "FileSizeLimit.h"
#include "MarblewickLookDevKit/StudioExporters.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Image/Image.h"

using namespace lookdev;
namespace fs = std::filesystem;

namespace {

fs::path outDir() {
    const fs::path d = fs::path(KS_TEST_OUTPUT_DIR) / "exporters";
    fs::create_directories(d);
    return d;
}

// Left half red, right half blue, in BGRA; records what it was asked to draw.
class HalvesRenderer : public LookDevOffscreenRenderer {
public:
    std::optional<std::vector<uint8_t>> renderOffscreenBGRA(int64_t w, int64_t h, std::optional<float> yaw,
                                                            const std::optional<LookDevSceneState>& state) override {
        lastYaw = yaw;
        lastState = state;
        if (fail) return std::nullopt;
        std::vector<uint8_t> px(size_t(w * h * 4));
        if (noisy) {
            std::mt19937 rng(5);
            for (auto& b : px) b = uint8_t(rng());
            return px;
        }
        for (int64_t y = 0; y < h; ++y)
            for (int64_t x = 0; x < w; ++x) {
                uint8_t* p = &px[size_t((y * w + x) * 4)];
                const bool left = x < w / 2;
                p[0] = left ? 10 : 230;   // B
                p[1] = y < h / 2 ? 20 : 120;  // G: top rows darker, catches a flip
                p[2] = left ? 240 : 30;   // R
                p[3] = 255;
            }
        return px;
    }
    LookDevSceneState currentSceneState() const override { return {}; }

    bool fail = false;
    bool noisy = false;  // incompressible pixels: a large file
    std::optional<float> lastYaw;
    std::optional<LookDevSceneState> lastState;
};

StudioVertex vertex(float x, float y, float z, float u, float v, float nx, float ny, float nz) {
    return StudioVertex({x, y, z}, {nx, ny, nz}, {u, v}, {1, 1, 1}, 0, 0);
}

}  // namespace

TEST(StillExporter, WritesTheRenderAsPngIntoANewFolder) {
    const fs::path dir = outDir() / "still-new";
    fs::remove_all(dir);
    HalvesRenderer r;
    LookDevSceneState s;
    s.distance = 3.0f;
    const int64_t size = StudioExporters::exportStillPNG(r, 64, 32, dir / "deep" / "still.png", 1.0f, s);
    EXPECT_EQ(size, int64_t(fs::file_size(dir / "deep" / "still.png")));
    EXPECT_EQ(r.lastYaw, 1.0f);
    ASSERT_TRUE(r.lastState.has_value());
    EXPECT_EQ(r.lastState->distance, 3.0f);
    const auto img = pk::image::decodeFile(dir / "deep" / "still.png");
    ASSERT_TRUE(img.has_value());
    ASSERT_EQ(img->width, 64);
    ASSERT_EQ(img->height, 32);
    const uint8_t* topLeft = img->row(0);
    const uint8_t* bottomRight = img->row(31) + 63 * 4;
    EXPECT_EQ(std::vector<uint8_t>(topLeft, topLeft + 4), (std::vector<uint8_t>{240, 20, 10, 255}));
    EXPECT_EQ(std::vector<uint8_t>(bottomRight, bottomRight + 4), (std::vector<uint8_t>{30, 120, 230, 255}));
}

TEST(StillExporter, RenderFailuresAndBadSizesAre101) {
    HalvesRenderer r;
    r.fail = true;
    for (auto [w, h] : {std::pair<int64_t, int64_t>{64, 32}, {0, 32}, {64, -1}}) {
        try {
            StudioExporters::exportStillPNG(r, w, h, outDir() / "never.png");
            ADD_FAILURE() << w << "x" << h;
        } catch (const pk::StudioError& e) {
            EXPECT_EQ(e.domain, "MarblewickLookDevKit");
            EXPECT_EQ(e.code, 101);
            EXPECT_EQ(e.description, "Failed to render snapshot.");
        }
        r.fail = false;
    }
    EXPECT_FALSE(fs::exists(outDir() / "never.png"));
}

TEST(StillExporter, AWriteThatFailsHalfwayLeavesTheEarlierStillWhole) {
    const fs::path file = outDir() / "still-earlier" / "still.png";
    fs::remove_all(file.parent_path());
    HalvesRenderer r;
    StudioExporters::exportStillPNG(r, 64, 32, file);
    const auto before = pk::readFile(file);
    ASSERT_TRUE(before.has_value());
    r.noisy = true;
    {
        FileSizeLimit full(4096);  // the new still is about 64 KiB
        try {
            StudioExporters::exportStillPNG(r, 128, 128, file);
            ADD_FAILURE() << "written past a full disk";
        } catch (const pk::StudioError& e) {
            EXPECT_EQ(e.code, 102);
        }
    }
    EXPECT_EQ(pk::readFile(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1)
        << "no temporary file left beside it";
}

namespace {
struct CommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};
}  // namespace

TEST(ObjExporter, ExactTextUnderACommaDecimalLocale) {
    // A process whose locale writes decimal commas must still get C-locale numbers.
    const std::locale saved = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
    const char* cLocale = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"})
        if ((cLocale = std::setlocale(LC_NUMERIC, name))) break;

    AssetAuditSummary audit;
    audit.name = "Iron Gate Left";
    LoadedStudioMesh mesh(nullptr, nullptr, 7, audit, {0, 0, 0}, 1, 1,
                          {vertex(0.5f, -1.25f, 2, 0, 1, 0, 1, 0), vertex(1.0f / 3.0f, 0, -0.000004f, 0.25f, 0.75f, 1, 0, 0),
                           vertex(-2, 100.123456f, 0.1f, 1, 0, 0, 0, -1)},
                          {0, 1, 2, 2, 1, 0, 1}, nullptr);
    const fs::path file = outDir() / "obj" / "gate.obj";
    const int64_t bytes = StudioExporters::exportOBJ(mesh, file);
    const std::string expected =
        "# Exported by MarblewickLookDevKit\n"
        "o Iron_Gate_Left\n"
        "v 0.50000 -1.25000 2.00000\n"
        "v 0.33333 0.00000 -0.00000\n"
        "v -2.00000 100.12346 0.10000\n"
        "vt 0.00000 1.00000\n"
        "vt 0.25000 0.75000\n"
        "vt 1.00000 0.00000\n"
        "vn 0.00000 1.00000 0.00000\n"
        "vn 1.00000 0.00000 0.00000\n"
        "vn 0.00000 0.00000 -1.00000\n"
        "f 1/1/1 2/2/2 3/3/3\n"
        "f 3/3/3 2/2/2 1/1/1";
    EXPECT_EQ(pk::readTextFile(file).value_or(""), expected);
    EXPECT_EQ(bytes, int64_t(expected.size()));

    // No vertices and fewer than three indices: the two header lines only.
    LoadedStudioMesh empty(nullptr, nullptr, 2, AssetAuditSummary{"Empty", "", 0, 0, 0, {}, 0, false, 0, false}, {0, 0, 0},
                           1, 1, {}, {0, 1}, nullptr);
    EXPECT_EQ(StudioExporters::exportOBJ(empty, outDir() / "obj" / "empty.obj"), 42);
    EXPECT_EQ(pk::readTextFile(outDir() / "obj" / "empty.obj").value_or(""),
              "# Exported by MarblewickLookDevKit\no Empty");

    if (cLocale) std::setlocale(LC_NUMERIC, "C");
    std::locale::global(saved);
}
