// Reading a one-million-triangle model: an OBJ and a PLY (binary and ascii) through the
// model importer and the same grid as a hero mesh file, each beside a plain read of the
// same bytes from disk.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "PlatformKit/Foundation/ByteIO.h"
#include "PlatformKit/Foundation/Files.h"
#include "MarblewickLookDevKit/StudioMeshLoader.h"

namespace fs = std::filesystem;

namespace {

constexpr int kColumns = 128;  // vertices per strip row: a strip fits 8-bit local indices
constexpr int kStrips = 3938;  // 3938 strips x 254 triangles = 1,000,252 triangles

fs::path benchDir() {
    const auto d = pk::temporaryDirectory() / "kestrelune-bench-meshes";
    fs::create_directories(d);
    return d;
}

// With normals, as exporters write them; without, the importer generates them.
fs::path writeObj(bool withNormals) {
        const auto p = benchDir() / (withNormals ? "grid.obj" : "grid-nonormals.obj");
        std::string text;
        text.reserve(80u << 20);
        char line[96];
        for (int s = 0; s <= kStrips; ++s)
            for (int c = 0; c < kColumns; ++c) {
                std::snprintf(line, sizeof line, "v %d %d 0.5\n", c, s);
                text += line;
            }
        if (withNormals) text += "vn 0 0 1\n";
        for (int s = 0; s < kStrips; ++s)
            for (int c = 0; c + 1 < kColumns; ++c) {
                const int a = s * kColumns + c + 1, b = a + 1, d = a + kColumns, e = d + 1;
                if (withNormals)
                    std::snprintf(line, sizeof line, "f %d//1 %d//1 %d//1\nf %d//1 %d//1 %d//1\n", a, d, b, b, d, e);
                else
                    std::snprintf(line, sizeof line, "f %d %d %d\nf %d %d %d\n", a, d, b, b, d, e);
                text += line;
            }
        pk::atomicWrite(p, text);
        return p;
}

const fs::path& objFile() {
    static const fs::path path = writeObj(true);
    return path;
}

const fs::path& objFileWithoutNormals() {
    static const fs::path path = writeObj(false);
    return path;
}

// The grid as a scanner writes it: positions only, one shared vertex per grid point.
fs::path writePly(bool binary) {
    const auto p = benchDir() / (binary ? "grid-binary.ply" : "grid-ascii.ply");
    const int vertices = (kStrips + 1) * kColumns;
    const int faces = kStrips * (kColumns - 1) * 2;
    std::string text = std::string("ply\nformat ") + (binary ? "binary_little_endian" : "ascii") +
                       " 1.0\nelement vertex " + std::to_string(vertices) +
                       "\nproperty float x\nproperty float y\nproperty float z\nelement face " +
                       std::to_string(faces) + "\nproperty list uchar int vertex_indices\nend_header\n";
    pk::ByteWriter w;
    char line[96];
    for (int s = 0; s <= kStrips; ++s)
        for (int c = 0; c < kColumns; ++c) {
            if (binary) {
                for (float f : {float(c), float(s), 0.5f}) w.f32(f);
            } else {
                std::snprintf(line, sizeof line, "%d %d 0.5\n", c, s);
                text += line;
            }
        }
    for (int s = 0; s < kStrips; ++s)
        for (int c = 0; c + 1 < kColumns; ++c) {
            const int a = s * kColumns + c, b = a + 1, d = a + kColumns, e = d + 1;
            for (const auto& t : {std::array{a, d, b}, std::array{b, d, e}}) {
                if (binary) {
                    w.u8(3);
                    for (int i : t) w.u32(uint32_t(i));
                } else {
                    std::snprintf(line, sizeof line, "3 %d %d %d\n", t[0], t[1], t[2]);
                    text += line;
                }
            }
        }
    const auto& body = w.bytes();
    text.append(reinterpret_cast<const char*>(body.data()), body.size());
    pk::atomicWrite(p, text);
    return p;
}

const fs::path& plyBinaryFile() {
    static const fs::path path = writePly(true);
    return path;
}

const fs::path& plyAsciiFile() {
    static const fs::path path = writePly(false);
    return path;
}

const fs::path& mwmsFile() {
    static const fs::path path = [] {
        const auto p = benchDir() / "grid.mwmesh";
        pk::ByteWriter w;
        w.append(std::string("MWMS"));
        const uint32_t vertsPerStrip = 2 * kColumns;
        const uint32_t trisPerStrip = 2 * (kColumns - 1);
        w.u32(2);
        w.u32(kStrips);
        w.u32(kStrips * vertsPerStrip);
        w.u32(kStrips * trisPerStrip * 3);
        for (uint32_t s = 0; s < kStrips; ++s) {
            w.u32(s * vertsPerStrip);
            w.u32(0);
            w.u32(s * trisPerStrip * 3);
            w.u32(trisPerStrip);
            w.zeros(16);
        }
        for (int s = 0; s < kStrips; ++s)
            for (int row = 0; row < 2; ++row)
                for (int c = 0; c < kColumns; ++c) {
                    const float f[12] = {float(c), float(s + row), 0.5f, 0, 0, 1, 0, 0, 0.5f, 0.5f, 0.5f, 3};
                    for (float x : f) w.f32(x);
                }
        for (int s = 0; s < kStrips; ++s)
            for (int c = 0; c + 1 < kColumns; ++c) {
                const uint8_t a = uint8_t(c), b = uint8_t(c + 1), d = uint8_t(c + kColumns), e = uint8_t(d + 1);
                for (uint8_t i : {a, d, b, b, d, e}) w.u8(i);
            }
        pk::atomicWrite(p, w.bytes());
        return p;
    }();
    return path;
}

void readBytes(benchmark::State& state, const fs::path& path) {
    for (auto _ : state) {
        auto bytes = pk::readFile(path);
        benchmark::DoNotOptimize(bytes);
        state.SetBytesProcessed(state.bytes_processed() + int64_t(bytes ? bytes->size() : 0));
    }
}

void BM_ObjReadBytes(benchmark::State& state) { readBytes(state, objFile()); }

void loadObj(benchmark::State& state, const fs::path& path) {
    for (auto _ : state) {
        auto mesh = lookdev::readModelFile(path);
        if (!mesh) state.SkipWithError("model did not load");
        benchmark::DoNotOptimize(mesh);
        if (mesh) state.counters["triangles"] = double(mesh->mesh.audit.triangleCount);
    }
}

void BM_ObjLoad(benchmark::State& state) { loadObj(state, objFile()); }
void BM_ObjNoNormalsReadBytes(benchmark::State& state) { readBytes(state, objFileWithoutNormals()); }
void BM_ObjNoNormalsLoad(benchmark::State& state) { loadObj(state, objFileWithoutNormals()); }

void BM_PlyBinaryReadBytes(benchmark::State& state) { readBytes(state, plyBinaryFile()); }
void BM_PlyBinaryLoad(benchmark::State& state) { loadObj(state, plyBinaryFile()); }
void BM_PlyAsciiReadBytes(benchmark::State& state) { readBytes(state, plyAsciiFile()); }
void BM_PlyAsciiLoad(benchmark::State& state) { loadObj(state, plyAsciiFile()); }

void BM_MwmsReadBytes(benchmark::State& state) { readBytes(state, mwmsFile()); }

void BM_MwmsLoad(benchmark::State& state) {
    const auto& path = mwmsFile();
    for (auto _ : state) {
        auto mesh = lookdev::readMWMeshV2(path);
        if (!mesh) state.SkipWithError("MWMS did not load");
        benchmark::DoNotOptimize(mesh);
        if (mesh) state.counters["triangles"] = double(mesh->audit.triangleCount);
    }
}

}  // namespace

BENCHMARK(BM_ObjReadBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ObjLoad)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ObjNoNormalsReadBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ObjNoNormalsLoad)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PlyBinaryReadBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlyBinaryLoad)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PlyAsciiReadBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlyAsciiLoad)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_MwmsReadBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MwmsLoad)->Unit(benchmark::kMillisecond);
