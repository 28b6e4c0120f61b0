#include "PlatformKit/ModelImport/MeshFinish.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace pk::modelimport {

namespace {

[[gnu::always_inline]] inline pk::float3 normalizedOrZero(pk::float3 v) {
    const float len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (len > 0.0f) {
        const float inv = 1.0f / len;
        v *= inv;
    }
    return v;
}

constexpr uint32_t kNone = UINT32_MAX;

uint64_t fold(uint64_t a, uint64_t b) {
    const unsigned __int128 r = static_cast<unsigned __int128>(a) * b;
    return static_cast<uint64_t>(r) ^ static_cast<uint64_t>(r >> 64);
}

uint64_t splitmix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

struct HashKey {
    uint64_t k0, k1;
};

// Drawn once per process: a file cannot know it, so it cannot aim positions at one slot.
uint64_t processSeed() {
    static const uint64_t seed = [] {
        std::random_device device;
        return (uint64_t(device()) << 32) ^ device();
    }();
    return seed;
}

HashKey keyFor(uint64_t attempt) {
    uint64_t state = processSeed() ^ (attempt * 0xD6E8FEB86659FD93ull);
    return {splitmix(state), splitmix(state)};
}

uint64_t keyedHash(const uint32_t (&bits)[3], const HashKey& key) {
    // One keyed multiply-fold of the 96 bits, as short-key hashes do.
    return fold((uint64_t(bits[0]) << 32 | bits[1]) ^ key.k0, (uint64_t(bits[2]) << 32 | bits[2]) ^ key.k1);
}

// Past this many slots from home a probe is a sign the key was unlucky (or guessed):
// the table is rebuilt under a new key, so no input pays more than this per lookup.
constexpr uint32_t kMaxProbe = 64;

// Slots hold group numbers only; a group's bits are those of its first vertex, so the
// table stays a quarter of the size of one that copies them.
class PositionTable {
public:
    // Room for `expected` distinct positions at half load, so the usual mesh never grows it.
    PositionTable(std::span<const pk::float3> positions, WeldStats* stats) : positions_(positions), stats_(stats) {
        size_t size = 1024;
        while (size < positions.size() * 2) size *= 2;
        reset(size);
        firstOf_.reserve(positions.size());
    }

    // The group of vertex v's position, numbering a new one when it is the first.
    uint32_t groupOf(uint32_t v) {
        uint32_t bits[3];
        std::memcpy(bits, &positions_[v].x, sizeof bits);
        while (true) {
            size_t at = static_cast<size_t>(keyedHash(bits, key_)) & mask_;
            for (uint32_t step = 0; step <= kMaxProbe; ++step, at = (at + 1) & mask_) {
                ++probes_;
                const uint32_t g = table_[at];
                if (g == kNone) return insert(at, v);
                if (std::memcmp(&positions_[firstOf_[g]].x, bits, sizeof bits) == 0) return g;
            }
            rebuild(table_.size(), true);
        }
    }

    uint32_t count() const { return static_cast<uint32_t>(firstOf_.size()); }

    ~PositionTable() {
        if (stats_) {
            stats_->probes += probes_;
            stats_->rebuilds += rebuilds_;
        }
    }

private:
    uint32_t insert(size_t slot, uint32_t v) {
        const auto g = static_cast<uint32_t>(firstOf_.size());
        firstOf_.push_back(v);
        table_[slot] = g;
        if (firstOf_.size() * 2 > table_.size()) rebuild(table_.size() * 2, false);
        return g;
    }

    void reset(size_t size) {
        table_.assign(size, kNone);
        mask_ = size - 1;
    }

    // Places every group again; a new key when asked, or when the placement itself runs long.
    void rebuild(size_t size, bool newKey) {
        while (true) {
            if (newKey) {
                key_ = keyFor(++attempt_);
                ++rebuilds_;
            }
            reset(size);
            bool placed = true;
            for (uint32_t g = 0; g < firstOf_.size() && placed; ++g) {
                uint32_t bits[3];
                std::memcpy(bits, &positions_[firstOf_[g]].x, sizeof bits);
                size_t at = static_cast<size_t>(keyedHash(bits, key_)) & mask_;
                uint32_t step = 0;
                for (; table_[at] != kNone && step <= kMaxProbe; ++step) {
                    ++probes_;
                    at = (at + 1) & mask_;
                }
                ++probes_;
                placed = step <= kMaxProbe;
                if (placed) table_[at] = g;
            }
            if (placed) return;
            newKey = true;
        }
    }

    std::span<const pk::float3> positions_;
    std::vector<uint32_t> table_, firstOf_;
    size_t mask_ = 0;
    HashKey key_ = keyFor(0);
    uint64_t attempt_ = 0;
    uint64_t probes_ = 0;
    uint32_t rebuilds_ = 0;
    WeldStats* stats_;
};

// Each position's distinct vertices so far, as a list in order of first appearance;
// only the first few are compared, so a point shared by very many faces stays linear.
class Joiner {
public:
    explicit Joiner(uint32_t groups) : head_(groups, kNone), tail_(groups, kNone) {}

    // The kept vertex in group g that `same(kept number)` accepts, else a new one for `source`.
    template <class Same>
    uint32_t join(uint32_t g, uint32_t source, const Same& same) {
        constexpr size_t kCompareLimit = 32;
        size_t compared = 0;
        for (uint32_t k = head_[g]; k != kNone && compared < kCompareLimit; k = next_[k], ++compared)
            if (same(k)) return k;
        const auto k = static_cast<uint32_t>(kept.size());
        kept.push_back(source);
        next_.push_back(kNone);
        if (tail_[g] == kNone) head_[g] = k;
        else next_[tail_[g]] = k;
        tail_[g] = k;
        return k;
    }

    std::vector<uint32_t> kept;  // the source of each kept vertex, in order

private:
    std::vector<uint32_t> head_, tail_, next_;
};

// Normals and texture coordinates this close are one value written twice (a facet
// normal stored with different rounding); positions must match exactly.
constexpr float kSquareEpsilon = 1e-5f * 1e-5f;

template <class V>
bool close(const V& a, const V& b) {
    const V d = a - b;
    return glm::dot(d, d) <= kSquareEpsilon;
}

template <class T>
void gather(std::vector<T>& values, const std::vector<uint32_t>& kept) {
    std::vector<T> out;
    out.reserve(kept.size());
    for (uint32_t v : kept) out.push_back(values[v]);
    values = std::move(out);
}

void joinGrouped(Mesh& mesh, const PositionGroups& groups) {
    const size_t count = mesh.positions.size();
    const bool hasNormals = mesh.normals.size() == count;
    const bool hasUVs = mesh.textureCoordinates.size() == count;
    Joiner joiner(groups.count);
    joiner.kept.reserve(count);
    std::vector<uint32_t> remap(count);
    for (size_t v = 0; v < count; ++v) {
        remap[v] = joiner.join(groups.of[v], static_cast<uint32_t>(v), [&](uint32_t kept) {
            const uint32_t k = joiner.kept[kept];
            return (!hasNormals || close(mesh.normals[k], mesh.normals[v])) &&
                   (!hasUVs || close(mesh.textureCoordinates[k], mesh.textureCoordinates[v]));
        });
    }
    for (auto& sub : mesh.submeshes)
        for (auto& i : sub.indices)
            if (i < count) i = remap[i];
    gather(mesh.positions, joiner.kept);
    if (hasNormals) gather(mesh.normals, joiner.kept);
    if (hasUVs) gather(mesh.textureCoordinates, joiner.kept);
}

// Smooth normals on the indexed mesh, then the join, in one pass over the corners: the
// output is what giving every corner a vertex of its own and joining them would give.
//
// The crease rule compares every pair of faces at a position. Most positions need no
// pairs: when every face there is within half the crease angle of the first one, every
// pair is within the crease (the angles add up), so all corners share the mean normal.
// Only the other positions (real creases, or faces too near the bound to tell) have
// their faces listed and compared pair by pair.
bool generateNormals(Mesh& mesh, float creaseCosine) {
    if (!mesh.normals.empty()) return false;
    size_t corners = 0;
    bool anyTriangle = false;
    for (const auto& sub : mesh.submeshes) {
        corners += sub.indices.size();
        anyTriangle |= sub.geometryType == GeometryType::triangles && sub.indices.size() >= 3;
    }
    if (!anyTriangle || corners >= UINT32_MAX) return false;
    const auto vertexCount = static_cast<uint32_t>(mesh.positions.size());
    const bool hasUVs = mesh.textureCoordinates.size() == vertexCount;
    const PositionGroups groups = groupByPosition(mesh.positions);
    const uint32_t G = groups.count;

    // Whole triangles with every corner inside the vertices, in corner order, with their
    // unit normal; the rest of a triangle list, line and point corners are not smoothed.
    auto forEachTriangle = [&](auto&& each) {
        for (const auto& sub : mesh.submeshes) {
            if (sub.geometryType != GeometryType::triangles) continue;
            for (size_t f = 0; f + 3 <= sub.indices.size(); f += 3) {
                const uint32_t* t = sub.indices.data() + f;
                if (t[0] >= vertexCount || t[1] >= vertexCount || t[2] >= vertexCount) continue;
                const pk::float3 p = mesh.positions[t[0]];
                each(t, normalizedOrZero(glm::cross(mesh.positions[t[1]] - p, mesh.positions[t[2]] - p)));
            }
        }
    };

    // Per position: the sum of its faces' normals in corner order, their count, the first
    // one and how far the others stray from it (the smallest cosine), side by side so one
    // corner touches one cache line.
    struct Position {
        pk::float3 sum{0.0f};
        uint32_t faces = 0;
        pk::float3 first{0.0f};
        float leastCosine = 2.0f;
    };
    std::vector<Position> at(G);
    forEachTriangle([&](const uint32_t* t, const pk::float3& n) {
        for (int k = 0; k < 3; ++k) {
            Position& p = at[groups.of[t[k]]];
            if (p.faces++ == 0) p.first = n;
            p.sum += n;
            p.leastCosine = std::min(p.leastCosine, glm::dot(n, p.first));
        }
    });
    // Within half the crease angle of the first face, with room for rounding; a zero
    // face normal (a face of no area) is left to the exact test.
    const double halfAngle = std::acos(std::clamp(double(creaseCosine), -1.0, 1.0)) / 2;
    const float bound = static_cast<float>(std::cos(halfAngle) + 1e-5);
    constexpr uint32_t kCreaseTestLimit = 64;
    // Positions that need the pairwise test get their place among `listed`; kNone else.
    std::vector<uint32_t> listedAt(G, kNone), faces(G);
    std::vector<pk::float3> normals(G);
    uint32_t listedTotal = 0;
    for (uint32_t g = 0; g < G; ++g) {
        const Position& p = at[g];
        faces[g] = p.faces;
        normals[g] = normalizedOrZero(p.sum);
        if (p.faces == 0 || p.faces > kCreaseTestLimit || p.leastCosine >= bound) continue;
        listedAt[g] = listedTotal;
        listedTotal += p.faces;
    }
    std::vector<Position>().swap(at);

    // The listed positions' faces in corner order, each given a normal of its own.
    std::vector<pk::float3> listed(listedTotal);
    if (listedTotal > 0) {
        std::vector<uint32_t> fill(listedAt);
        forEachTriangle([&](const uint32_t* t, const pk::float3& n) {
            for (int k = 0; k < 3; ++k)
                if (const uint32_t g = groups.of[t[k]]; listedAt[g] != kNone) listed[fill[g]++] = n;
        });
        std::vector<pk::float3> own(listedTotal);
        for (uint32_t g = 0; g < G; ++g) {
            if (listedAt[g] == kNone) continue;
            const pk::float3* face = listed.data() + listedAt[g];
            for (uint32_t i = 0; i < faces[g]; ++i) {
                pk::float3 sum(0.0f);
                for (uint32_t j = 0; j < faces[g]; ++j)
                    if (glm::dot(face[i], face[j]) >= creaseCosine) sum += face[j];
                own[listedAt[g] + i] = normalizedOrZero(sum);
            }
        }
        listed = std::move(own);
    }
    std::vector<uint32_t>().swap(faces);
    // One pool of normals: a position's shared one at its number, then the listed
    // corners' own, then zero (line and point corners).
    normals.insert(normals.end(), listed.begin(), listed.end());
    std::vector<pk::float3>().swap(listed);
    const auto zeroNormal = static_cast<uint32_t>(normals.size());
    normals.emplace_back(0.0f);

    // Output vertices in corner order: a source vertex and a normal each. An index past
    // the vertices (which readers should not leave) becomes a zero vertex of its own
    // rather than a read outside the arrays.
    uint32_t extraGroups = 0;
    for (const auto& sub : mesh.submeshes)
        for (uint32_t v : sub.indices) extraGroups += v >= vertexCount;
    Joiner joiner(G + extraGroups);
    std::vector<uint32_t> keptNormal;
    joiner.kept.reserve(vertexCount);
    keptNormal.reserve(vertexCount);
    // The vertex the last corner of each source vertex went to, and with which normal: a
    // corner with both the same goes there too, as the list below would find it first.
    std::vector<uint32_t> lastKept(vertexCount, kNone), lastNormal(vertexCount, kNone);
    // Listed positions hand out their corners' normals in the order they were listed.
    std::vector<uint32_t>& nextListed = listedAt;
    uint32_t nextOutside = G;
    auto emit = [&](uint32_t& index, bool onTriangle) {
        const uint32_t v = index;
        if (v >= vertexCount) {
            index = joiner.join(nextOutside++, kNone, [](uint32_t) { return false; });
            keptNormal.push_back(zeroNormal);
            return;
        }
        const uint32_t g = groups.of[v];
        const uint32_t normal = !onTriangle ? zeroNormal : nextListed[g] == kNone ? g : G + nextListed[g]++;
        if (lastNormal[v] == normal) {
            index = lastKept[v];
            return;
        }
        const size_t before = joiner.kept.size();
        index = joiner.join(g, v, [&](uint32_t kept) {
            const uint32_t k = joiner.kept[kept], kn = keptNormal[kept];
            if (k == v && kn == normal) return true;
            if (k == kNone) return false;
            return close(normals[kn], normals[normal]) &&
                   (!hasUVs || close(mesh.textureCoordinates[k], mesh.textureCoordinates[v]));
        });
        if (joiner.kept.size() != before) keptNormal.push_back(normal);
        lastKept[v] = index;
        lastNormal[v] = normal;
    };
    for (auto& sub : mesh.submeshes) {
        const bool triangles = sub.geometryType == GeometryType::triangles;
        const size_t whole = triangles ? sub.indices.size() / 3 * 3 : 0;
        for (size_t f = 0; f < whole; f += 3) {
            uint32_t* t = sub.indices.data() + f;
            const bool inside = t[0] < vertexCount && t[1] < vertexCount && t[2] < vertexCount;
            for (int k = 0; k < 3; ++k) emit(t[k], inside);
        }
        for (size_t i = whole; i < sub.indices.size(); ++i) emit(sub.indices[i], false);
    }
    std::vector<pk::float3> positions, outNormals;
    std::vector<pk::float2> uvs;
    positions.reserve(joiner.kept.size());
    outNormals.reserve(joiner.kept.size());
    if (hasUVs) uvs.reserve(joiner.kept.size());
    for (size_t k = 0; k < joiner.kept.size(); ++k) {
        const uint32_t v = joiner.kept[k];
        positions.push_back(v == kNone ? pk::float3(0.0f) : mesh.positions[v]);
        outNormals.push_back(normals[keptNormal[k]]);
        if (hasUVs) uvs.push_back(v == kNone ? pk::float2(0.0f) : mesh.textureCoordinates[v]);
    }
    mesh.positions = std::move(positions);
    mesh.normals = std::move(outNormals);
    mesh.textureCoordinates = std::move(uvs);
    return true;
}

}  // namespace

PositionGroups groupByPosition(std::span<const pk::float3> positions, WeldStats* stats) {
    PositionGroups groups;
    groups.of.resize(positions.size());
    PositionTable table(positions, stats);
    for (size_t v = 0; v < positions.size(); ++v) groups.of[v] = table.groupOf(static_cast<uint32_t>(v));
    groups.count = table.count();
    return groups;
}

void joinIdenticalVertices(Mesh& mesh) { joinGrouped(mesh, groupByPosition(mesh.positions)); }

void finishMesh(Mesh& mesh, float creaseCosine) {
    if (!generateNormals(mesh, std::clamp(creaseCosine, -1.0f, 1.0f))) joinIdenticalVertices(mesh);
}

}  // namespace pk::modelimport
