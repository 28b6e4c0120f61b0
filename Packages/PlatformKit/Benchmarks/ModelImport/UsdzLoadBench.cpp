// Import of a usdz holding a 1 M-triangle usdc mesh (a wavy 708 x 708 quad grid with
// face-varying indexed UVs and no normals, as exporters often write them), beside a
// plain read of the same file's bytes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "../../Tests/ModelImport/UsdTestFiles.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/ModelImport/UsdStage.h"

using namespace pk::modelimport;
namespace fs = std::filesystem;

namespace {

constexpr int kQuads = 708;  // 708^2 quads = 1,002,528 triangles

UsdValue texts(std::vector<std::string> items, UsdValue::Kind kind = UsdValue::Kind::textArray) {
    UsdValue v;
    v.kind = kind;
    v.texts = std::move(items);
    return v;
}

UsdLayer gridLayer() {
    UsdLayer layer;
    UsdSpec& root = layer.specs["/"];
    root.type = UsdSpecType::pseudoRoot;
    root.set("defaultPrim", UsdValue::makeText("Grid"));
    root.set("metersPerUnit", UsdValue::makeNumbers({1.0}));
    root.set("primChildren", texts({"Grid"}));
    UsdSpec& grid = layer.specs["/Grid"];
    grid.type = UsdSpecType::prim;
    grid.set("specifier", UsdValue::makeText("def"));
    grid.set("typeName", UsdValue::makeText("Mesh"));
    grid.set("properties", texts({"points", "faceVertexCounts", "faceVertexIndices", "primvars:st", "primvars:st:indices"}));

    const int n = kQuads + 1;
    UsdValue points, counts, indices, st, stIndices;
    points.kind = counts.kind = indices.kind = st.kind = stIndices.kind = UsdValue::Kind::numberArray;
    points.components = 3;
    st.components = 2;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            points.floats.insert(points.floats.end(),
                                 {float(x) / kQuads, 0.05f * std::sin(float(x) * 0.1f) * std::cos(float(y) * 0.07f),
                                  float(y) / kQuads});
            st.floats.insert(st.floats.end(), {float(x) / kQuads, float(y) / kQuads});
        }
    }
    for (int y = 0; y < kQuads; ++y) {
        for (int x = 0; x < kQuads; ++x) {
            const int a = y * n + x;
            counts.ints.push_back(4);
            for (int v : {a, a + 1, a + n + 1, a + n}) {
                indices.ints.push_back(v);
                stIndices.ints.push_back(v);
            }
        }
    }
    auto attribute = [&](const std::string& name, const std::string& type, UsdValue value, const char* interpolation) {
        UsdSpec& s = layer.specs["/Grid." + name];
        s.type = UsdSpecType::attribute;
        s.set("typeName", UsdValue::makeText(type));
        s.set("default", std::move(value));
        if (interpolation) s.set("interpolation", UsdValue::makeText(interpolation));
    };
    attribute("points", "point3f[]", std::move(points), nullptr);
    attribute("faceVertexCounts", "int[]", std::move(counts), nullptr);
    attribute("faceVertexIndices", "int[]", std::move(indices), nullptr);
    attribute("primvars:st", "texCoord2f[]", std::move(st), "faceVarying");
    attribute("primvars:st:indices", "int[]", std::move(stIndices), nullptr);
    return layer;
}

const fs::path& packagePath() {
    static const fs::path path = [] {
        const fs::path p = fs::temp_directory_path() / "ks_bench_grid.usdz";
        const auto crate = usdtest::CrateWriter().write(gridLayer());
        const auto zip = usdtest::writeZip({{"Grid.usdc", crate}});
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(zip.data()), std::streamsize(zip.size()));
        return p;
    }();
    return path;
}

void BM_ReadBytes(benchmark::State& state) {
    const fs::path& p = packagePath();
    for (auto _ : state) {
        auto bytes = pk::readFile(p);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(p)));
}
BENCHMARK(BM_ReadBytes)->Unit(benchmark::kMillisecond);

void BM_ImportUsdz1MTriangles(benchmark::State& state) {
    const fs::path& p = packagePath();
    size_t triangles = 0;
    for (auto _ : state) {
        auto model = importModel(p);
        if (!model || model->meshes.empty()) {
            state.SkipWithError("import failed");
            return;
        }
        triangles = model->meshes[0].submeshes[0].indices.size() / 3;
        benchmark::DoNotOptimize(model);
    }
    state.counters["triangles"] = double(triangles);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(p)));
}
BENCHMARK(BM_ImportUsdz1MTriangles)->Unit(benchmark::kMillisecond);

}  // namespace
