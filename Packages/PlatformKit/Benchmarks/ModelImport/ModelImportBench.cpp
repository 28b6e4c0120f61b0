// Model import at about one million triangles in every format beside a plain parser of
// the same file written here (one read, parse, index, area-weighted smooth normals; no
// crease rule, no joining, no checks), with the heap's peak during each import against
// the bytes of the finished studio mesh (80 bytes a vertex, 4 an index). Also the file
// of positions aimed at one slot of the welding hash the readers used to have, beside a
// control of the same size.
#include <benchmark/benchmark.h>

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "../../Tests/ModelImport/CollidingPositions.h"
#include "../../Tests/ModelImport/UsdTestFiles.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/ModelImport/MeshFinish.h"
#include "PlatformKit/ModelImport/ModelImport.h"
#include "PlatformKit/ModelImport/PlyReader.h"
#include "PlatformKit/ModelImport/UsdcReader.h"

// The heap's current and peak bytes, for the memory counters.
namespace heap {
std::atomic<int64_t> current{0}, peak{0};
void add(int64_t n) {
    const int64_t now = current.fetch_add(n) + n;
    int64_t p = peak.load();
    while (now > p && !peak.compare_exchange_weak(p, now)) {
    }
}
void resetPeak() { peak.store(current.load()); }
}  // namespace heap

void* operator new(size_t n) {
    auto* p = static_cast<size_t*>(std::malloc(n + 16));
    if (!p) throw std::bad_alloc();
    *p = n;
    heap::add(int64_t(n));
    return reinterpret_cast<char*>(p) + 16;
}
void operator delete(void* p) noexcept {
    if (!p) return;
    auto* base = reinterpret_cast<size_t*>(static_cast<char*>(p) - 16);
    heap::add(-int64_t(*base));
    std::free(base);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

using namespace pk::modelimport;
namespace fs = std::filesystem;

namespace {

constexpr int kQuads = 708;  // 708^2 quads = 1,002,528 triangles
constexpr int kSide = kQuads + 1;

pk::float3 gridPoint(int x, int y) {
    return {float(x) / kQuads, 0.05f * std::sin(float(x) * 0.1f) * std::cos(float(y) * 0.07f), float(y) / kQuads};
}

template <class Each>
void forEachTriangle(Each&& each) {
    for (int y = 0; y < kQuads; ++y)
        for (int x = 0; x < kQuads; ++x) {
            const uint32_t a = uint32_t(y * kSide + x), b = a + 1, c = a + kSide + 1, d = a + kSide;
            each(a, b, c);
            each(a, c, d);
        }
}

fs::path benchFile(const char* name, const std::string& bytes) {
    const fs::path p = pk::temporaryDirectory() / (std::string("ks_bench_import_") + name);
    std::ofstream(p, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return p;
}

void appendFloat(std::string& s, float v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    s.append(buf, r.ptr);
}

std::string plyHeader(const char* format) {
    return std::string("ply\nformat ") + format + " 1.0\nelement vertex " + std::to_string(kSide * kSide) +
           "\nproperty float x\nproperty float y\nproperty float z\nelement face " + std::to_string(2 * kQuads * kQuads) +
           "\nproperty list uchar int vertex_indices\nend_header\n";
}

const fs::path& plyBinary() {
    static const fs::path p = [] {
        std::string s = plyHeader("binary_little_endian");
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                const pk::float3 v = gridPoint(x, y);
                s.append(reinterpret_cast<const char*>(&v), 12);
            }
        forEachTriangle([&](uint32_t a, uint32_t b, uint32_t c) {
            s.push_back(3);
            const uint32_t t[3] = {a, b, c};
            s.append(reinterpret_cast<const char*>(t), 12);
        });
        return benchFile("grid_bin.ply", s);
    }();
    return p;
}

const fs::path& plyAscii() {
    static const fs::path p = [] {
        std::string s = plyHeader("ascii");
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                const pk::float3 v = gridPoint(x, y);
                appendFloat(s, v.x), s += ' ', appendFloat(s, v.y), s += ' ', appendFloat(s, v.z), s += '\n';
            }
        forEachTriangle([&](uint32_t a, uint32_t b, uint32_t c) {
            s += "3 " + std::to_string(a) + ' ' + std::to_string(b) + ' ' + std::to_string(c) + '\n';
        });
        return benchFile("grid_ascii.ply", s);
    }();
    return p;
}

const fs::path& obj() {
    static const fs::path p = [] {
        std::string s;
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                const pk::float3 v = gridPoint(x, y);
                s += "v ", appendFloat(s, v.x), s += ' ', appendFloat(s, v.y), s += ' ', appendFloat(s, v.z), s += '\n';
            }
        forEachTriangle([&](uint32_t a, uint32_t b, uint32_t c) {
            s += "f " + std::to_string(a + 1) + ' ' + std::to_string(b + 1) + ' ' + std::to_string(c + 1) + '\n';
        });
        return benchFile("grid.obj", s);
    }();
    return p;
}

const fs::path& stl() {
    static const fs::path p = [] {
        std::string s(80, '\0');
        const uint32_t n = 2 * kQuads * kQuads;
        s.append(reinterpret_cast<const char*>(&n), 4);
        std::vector<pk::float3> points;
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) points.push_back(gridPoint(x, y));
        forEachTriangle([&](uint32_t a, uint32_t b, uint32_t c) {
            const pk::float3 f = glm::normalize(glm::cross(points[b] - points[a], points[c] - points[a]));
            for (const pk::float3& v : {f, points[a], points[b], points[c]}) s.append(reinterpret_cast<const char*>(&v), 12);
            s.append(2, '\0');
        });
        return benchFile("grid.stl", s);
    }();
    return p;
}

const fs::path& usdc() {
    static const fs::path p = [] {
        UsdLayer layer;
        auto texts = [](std::vector<std::string> items) {
            UsdValue v;
            v.kind = UsdValue::Kind::textArray;
            v.texts = std::move(items);
            return v;
        };
        UsdSpec& root = layer.specs["/"];
        root.type = UsdSpecType::pseudoRoot;
        root.set("defaultPrim", UsdValue::makeText("Grid"));
        root.set("metersPerUnit", UsdValue::makeNumbers({1.0}));
        root.set("primChildren", texts({"Grid"}));
        UsdSpec& grid = layer.specs["/Grid"];
        grid.type = UsdSpecType::prim;
        grid.set("specifier", UsdValue::makeText("def"));
        grid.set("typeName", UsdValue::makeText("Mesh"));
        grid.set("properties", texts({"points", "faceVertexCounts", "faceVertexIndices"}));
        UsdValue points, counts, indices;
        points.kind = counts.kind = indices.kind = UsdValue::Kind::numberArray;
        points.components = 3;
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                const pk::float3 v = gridPoint(x, y);
                points.floats.insert(points.floats.end(), {v.x, v.y, v.z});
            }
        forEachTriangle([&](uint32_t a, uint32_t b, uint32_t c) {
            counts.ints.push_back(3);
            indices.ints.insert(indices.ints.end(), {int32_t(a), int32_t(b), int32_t(c)});
        });
        auto attribute = [&](const std::string& name, const std::string& type, UsdValue value) {
            UsdSpec& s = layer.specs["/Grid." + name];
            s.type = UsdSpecType::attribute;
            s.set("typeName", UsdValue::makeText(type));
            s.set("default", std::move(value));
        };
        attribute("points", "point3f[]", std::move(points));
        attribute("faceVertexCounts", "int[]", std::move(counts));
        attribute("faceVertexIndices", "int[]", std::move(indices));
        const auto crate = usdtest::CrateWriter().write(layer);
        return benchFile("grid.usdc", std::string(crate.begin(), crate.end()));
    }();
    return p;
}

// ---- the plain parsers ----

struct PlainMesh {
    std::vector<pk::float3> positions, normals;
    std::vector<uint32_t> indices;
};

void smoothNormals(PlainMesh& m) {
    m.normals.assign(m.positions.size(), pk::float3(0.0f));
    for (size_t i = 0; i + 2 < m.indices.size(); i += 3) {
        const uint32_t a = m.indices[i], b = m.indices[i + 1], c = m.indices[i + 2];
        const pk::float3 n = glm::cross(m.positions[b] - m.positions[a], m.positions[c] - m.positions[a]);
        m.normals[a] += n, m.normals[b] += n, m.normals[c] += n;
    }
    for (auto& n : m.normals) {
        const float len = glm::length(n);
        if (len > 0) n /= len;
    }
}

std::string_view afterHeader(const std::vector<uint8_t>& bytes) {
    const std::string_view all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return all.substr(all.find("end_header\n") + 11);
}

PlainMesh plainPlyBinary(const fs::path& p) {
    const auto bytes = *pk::readFile(p);
    const std::string_view body = afterHeader(bytes);
    PlainMesh m;
    const size_t vertices = size_t(kSide) * kSide, faces = size_t(2) * kQuads * kQuads;
    m.positions.resize(vertices);
    std::memcpy(m.positions.data(), body.data(), vertices * 12);
    const char* f = body.data() + vertices * 12;
    m.indices.resize(faces * 3);
    for (size_t i = 0; i < faces; ++i, f += 13) std::memcpy(&m.indices[i * 3], f + 1, 12);
    smoothNormals(m);
    return m;
}

const char* skipBlank(const char* p) {
    while (*p == ' ' || *p == '\n' || *p == '\r') ++p;
    return p;
}

template <class T>
const char* number(const char* p, const char* end, T& out) {
    p = skipBlank(p);
    return std::from_chars(p, end, out).ptr;
}

PlainMesh plainPlyAscii(const fs::path& p) {
    const auto bytes = *pk::readFile(p);
    const std::string_view body = afterHeader(bytes);
    const char *at = body.data(), *end = body.data() + body.size();
    PlainMesh m;
    const size_t vertices = size_t(kSide) * kSide, faces = size_t(2) * kQuads * kQuads;
    m.positions.resize(vertices);
    for (auto& v : m.positions) at = number(number(number(at, end, v.x), end, v.y), end, v.z);
    m.indices.resize(faces * 3);
    for (size_t i = 0; i < faces; ++i) {
        int n = 0;
        at = number(at, end, n);
        at = number(number(number(at, end, m.indices[i * 3]), end, m.indices[i * 3 + 1]), end, m.indices[i * 3 + 2]);
    }
    smoothNormals(m);
    return m;
}

PlainMesh plainObj(const fs::path& p) {
    const auto bytes = *pk::readFile(p);
    const char *at = reinterpret_cast<const char*>(bytes.data()), *end = at + bytes.size();
    PlainMesh m;
    while (at < end) {
        at = skipBlank(at);
        if (at >= end) break;
        if (at[0] == 'v' && at[1] == ' ') {
            pk::float3 v;
            at = number(number(number(at + 2, end, v.x), end, v.y), end, v.z);
            m.positions.push_back(v);
        } else if (at[0] == 'f' && at[1] == ' ') {
            uint32_t t[3];
            at = number(number(number(at + 2, end, t[0]), end, t[1]), end, t[2]);
            for (uint32_t i : t) m.indices.push_back(i - 1);
        } else {
            while (at < end && *at != '\n') ++at;
        }
    }
    smoothNormals(m);
    return m;
}

struct Key {
    pk::float3 p;
    bool operator==(const Key& o) const { return std::memcmp(&p, &o.p, 12) == 0; }
};
struct KeyHash {
    size_t operator()(const Key& k) const {
        uint32_t b[3];
        std::memcpy(b, &k.p, 12);
        return std::hash<uint64_t>()((uint64_t(b[0]) << 32 | b[1]) ^ (uint64_t(b[2]) * 0x9E3779B97F4A7C15ull));
    }
};

PlainMesh plainStl(const fs::path& p) {
    const auto bytes = *pk::readFile(p);
    uint32_t facets = 0;
    std::memcpy(&facets, bytes.data() + 80, 4);
    PlainMesh m;
    std::unordered_map<Key, uint32_t, KeyHash> welded;
    welded.reserve(facets);
    m.indices.reserve(size_t(facets) * 3);
    for (uint32_t f = 0; f < facets; ++f) {
        const uint8_t* r = bytes.data() + 84 + size_t(f) * 50 + 12;
        for (int c = 0; c < 3; ++c) {
            Key k;
            std::memcpy(&k.p, r + c * 12, 12);
            const auto [it, added] = welded.try_emplace(k, uint32_t(m.positions.size()));
            if (added) m.positions.push_back(k.p);
            m.indices.push_back(it->second);
        }
    }
    smoothNormals(m);
    return m;
}

// The crate's own decoding is the parse here: what is measured beside it is the stage.
PlainMesh plainUsdc(const fs::path& p) {
    const auto bytes = *pk::readFile(p);
    const UsdLayer layer = parseUsdc(bytes);
    PlainMesh m;
    const auto& points = layer.specs.at("/Grid.points").field("default")->floats;
    const auto& indices = layer.specs.at("/Grid.faceVertexIndices").field("default")->ints;
    m.positions.resize(points.size() / 3);
    std::memcpy(m.positions.data(), points.data(), m.positions.size() * 12);
    m.indices.assign(indices.begin(), indices.end());
    smoothNormals(m);
    return m;
}

// ---- the benchmarks ----

void reportMemory(benchmark::State& state, size_t vertices, size_t indices) {
    const double finished = double(vertices) * 80 + double(indices) * 4;
    state.counters["peak_MB"] = double(heap::peak.load() - heap::current.load()) / 1e6;
    state.counters["finished_MB"] = finished / 1e6;
    state.counters["peak_per_finished"] = double(heap::peak.load() - heap::current.load()) / finished;
    state.counters["vertices"] = double(vertices);
}

void importing(benchmark::State& state, const fs::path& (*file)()) {
    const fs::path& p = file();
    size_t vertices = 0, indices = 0;
    for (auto _ : state) {
        heap::resetPeak();
        auto model = importModel(p);
        if (!model) {
            state.SkipWithError("import failed");
            return;
        }
        vertices = indices = 0;
        for (const auto& m : model->meshes) {
            vertices += m.positions.size();
            for (const auto& s : m.submeshes) indices += s.indices.size();
        }
        benchmark::DoNotOptimize(model);
        model.reset();
        state.PauseTiming();
        reportMemory(state, vertices, indices);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(p)));
}

void plain(benchmark::State& state, PlainMesh (*parse)(const fs::path&), const fs::path& (*file)()) {
    const fs::path& p = file();
    for (auto _ : state) {
        heap::resetPeak();
        PlainMesh m = parse(p);
        benchmark::DoNotOptimize(m);
        const size_t vertices = m.positions.size(), indices = m.indices.size();
        m = {};
        state.PauseTiming();
        reportMemory(state, vertices, indices);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(p)));
}

BENCHMARK_CAPTURE(plain, PlyBinary, plainPlyBinary, plyBinary)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(importing, PlyBinary, plyBinary)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(plain, PlyAscii, plainPlyAscii, plyAscii)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(importing, PlyAscii, plyAscii)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(plain, Obj, plainObj, obj)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(importing, Obj, obj)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(plain, StlBinary, plainStl, stl)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(importing, StlBinary, stl)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(plain, Usdc, plainUsdc, usdc)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(importing, Usdc, usdc)->Unit(benchmark::kMillisecond);

// Where an import's time goes: the grid's welding alone, and its finishing (welding,
// normals with creases, joining) from the parsed arrays.
Mesh gridMesh() {
    Mesh m;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) m.positions.push_back(gridPoint(x, y));
    auto& idx = m.submeshes.emplace_back(Submesh{GeometryType::triangles, 0, {}}).indices;
    forEachTriangle([&](uint32_t a, uint32_t b, uint32_t c) { idx.insert(idx.end(), {a, b, c}); });
    return m;
}

void stageWeld(benchmark::State& state) {
    const Mesh m = gridMesh();
    for (auto _ : state) benchmark::DoNotOptimize(groupByPosition(m.positions));
}
BENCHMARK(stageWeld)->Unit(benchmark::kMillisecond);

void stageFinish(benchmark::State& state) {
    const Mesh m = gridMesh();
    for (auto _ : state) {
        state.PauseTiming();
        Mesh copy = m;
        state.ResumeTiming();
        finishMesh(copy, 0.45f);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(stageFinish)->Unit(benchmark::kMillisecond);

// 80 k positions in one slot of the former hash, beside a grid of the same size.
const std::string& collidingFile(bool colliding) {
    static const std::string files[2] = {
        fixtures::collidingPly([] {
            std::vector<pk::float3> grid;
            for (int i = 0; i < 80000; ++i) grid.emplace_back(float(i % 300), float(i / 300), 1.0f);
            return grid;
        }()),
        fixtures::collidingPly(fixtures::formerHashCollisions(80000)),
    };
    return files[colliding ? 1 : 0];
}

void weldingPly(benchmark::State& state, bool colliding) {
    const std::string& bytes = collidingFile(colliding);
    for (auto _ : state) {
        auto model = readPly(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
        if (!model) {
            state.SkipWithError("read failed");
            return;
        }
        benchmark::DoNotOptimize(model);
    }
}
BENCHMARK_CAPTURE(weldingPly, Control80k, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(weldingPly, FormerHashCollisions80k, true)->Unit(benchmark::kMillisecond);

}  // namespace
