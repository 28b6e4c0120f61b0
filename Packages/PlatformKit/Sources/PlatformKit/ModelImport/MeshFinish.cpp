#include "PlatformKit/ModelImport/MeshFinish.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace pk::modelimport {

namespace {

pk::float3 normalizedOrZero(pk::float3 v) {
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
    uint64_t k0, k1, k2;
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
    return {splitmix(state), splitmix(state), splitmix(state) | 1};
}

uint64_t keyedHash(const uint32_t (&bits)[3], const HashKey& key) {
    const uint64_t lo = (uint64_t(bits[0]) << 32 | bits[1]) ^ key.k0;
    const uint64_t hi = uint64_t(bits[2]) ^ key.k1;
    return fold(fold(lo, hi ^ 0xE7037ED1A0B428DBull), key.k2);
}

// Past this many slots from home a probe is a sign the key was unlucky (or guessed):
// the table is rebuilt under a new key, so no input pays more than this per lookup.
constexpr uint32_t kMaxProbe = 64;

struct Slot {
    uint32_t bits[3];
    uint32_t group = kNone;
};

class PositionTable {
public:
    explicit PositionTable(WeldStats* stats) : stats_(stats) { reset(1024); }

    // The group of `bits`, or kNone with `slot` set to where it belongs.
    uint32_t find(const uint32_t (&bits)[3], size_t& slot) {
        while (true) {
            size_t at = static_cast<size_t>(keyedHash(bits, key_)) & mask_;
            for (uint32_t step = 0; step <= kMaxProbe; ++step, at = (at + 1) & mask_) {
                ++probes_;
                const Slot& s = table_[at];
                if (s.group == kNone) {
                    slot = at;
                    return kNone;
                }
                if (std::memcmp(s.bits, bits, sizeof s.bits) == 0) return s.group;
            }
            rebuild(table_.size());
        }
    }

    void insert(size_t slot, const uint32_t (&bits)[3], uint32_t group) {
        Slot& s = table_[slot];
        std::memcpy(s.bits, bits, sizeof s.bits);
        s.group = group;
        if (++count_ * 2 > table_.size()) rebuild(table_.size() * 2, false);
    }

    ~PositionTable() {
        if (stats_) {
            stats_->probes += probes_;
            stats_->rebuilds += rebuilds_;
        }
    }

private:
    void reset(size_t size) {
        table_.assign(size, Slot{});
        mask_ = size - 1;
    }

    // Places every entry again; a new key when asked, or when the placement itself runs long.
    void rebuild(size_t size, bool newKey = true) {
        std::vector<Slot> old;
        old.swap(table_);
        while (true) {
            if (newKey) {
                key_ = keyFor(++attempt_);
                ++rebuilds_;
            }
            reset(size);
            bool placed = true;
            for (const Slot& e : old) {
                if (e.group == kNone) continue;
                size_t at = static_cast<size_t>(keyedHash(e.bits, key_)) & mask_;
                uint32_t step = 0;
                for (; table_[at].group != kNone && step <= kMaxProbe; ++step) {
                    ++probes_;
                    at = (at + 1) & mask_;
                }
                ++probes_;
                if (step > kMaxProbe) {
                    placed = false;
                    break;
                }
                table_[at] = e;
            }
            if (placed) return;
            newKey = true;
        }
    }

    std::vector<Slot> table_;
    size_t mask_ = 0;
    size_t count_ = 0;
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

    // Whole triangles with every corner inside the vertices, their unit normals, and each
    // corner's triangle (kNone for line and point corners and the rest of a triangle list).
    std::vector<pk::float3> faceNormal;
    std::vector<uint32_t> triangleOf(corners, kNone);
    faceNormal.reserve(corners / 3);
    size_t at = 0;
    for (const auto& sub : mesh.submeshes) {
        if (sub.geometryType == GeometryType::triangles) {
            for (size_t f = 0; f + 3 <= sub.indices.size(); f += 3) {
                const uint32_t a = sub.indices[f], b = sub.indices[f + 1], c = sub.indices[f + 2];
                if (a >= vertexCount || b >= vertexCount || c >= vertexCount) continue;
                const pk::float3 p = mesh.positions[a];
                const auto t = static_cast<uint32_t>(faceNormal.size());
                faceNormal.push_back(normalizedOrZero(glm::cross(mesh.positions[b] - p, mesh.positions[c] - p)));
                triangleOf[at + f] = triangleOf[at + f + 1] = triangleOf[at + f + 2] = t;
            }
        }
        at += sub.indices.size();
    }

    // The triangle corners at each position, in corner order (offsets into `members`).
    std::vector<uint32_t> start(size_t(groups.count) + 1, 0);
    auto groupOfCorner = [&](size_t c, uint32_t v) { return triangleOf[c] == kNone ? kNone : groups.of[v]; };
    at = 0;
    for (const auto& sub : mesh.submeshes) {
        for (size_t i = 0; i < sub.indices.size(); ++i, ++at)
            if (const uint32_t g = groupOfCorner(at, sub.indices[i]); g != kNone) ++start[g + 1];
    }
    for (uint32_t g = 0; g < groups.count; ++g) start[g + 1] += start[g];
    std::vector<uint32_t> members(start.back());
    std::vector<uint32_t> slotOf(corners, kNone);  // each triangle corner's place in `members`
    {
        std::vector<uint32_t> fill(start.begin(), start.end() - 1);
        at = 0;
        for (const auto& sub : mesh.submeshes) {
            for (size_t i = 0; i < sub.indices.size(); ++i, ++at) {
                const uint32_t g = groupOfCorner(at, sub.indices[i]);
                if (g == kNone) continue;
                slotOf[at] = fill[g];
                members[fill[g]++] = triangleOf[at];
            }
        }
    }

    // Per position one normal when every pair of its faces is within the crease (the
    // usual case), else one per corner. normalAt[slot] names the normal of a member.
    std::vector<pk::float3> normals;
    normals.reserve(groups.count);
    std::vector<uint32_t> normalAt(members.size());
    constexpr size_t kCreaseTestLimit = 64;
    for (uint32_t g = 0; g < groups.count; ++g) {
        const uint32_t first = start[g], n = start[g + 1] - first;
        if (n == 0) continue;
        bool uniform = n > kCreaseTestLimit;
        if (!uniform) {
            uniform = true;
            for (uint32_t i = 0; i < n && uniform; ++i)
                for (uint32_t j = i + 1; j < n && uniform; ++j)
                    uniform = glm::dot(faceNormal[members[first + i]], faceNormal[members[first + j]]) >= creaseCosine;
            // A face whose normal is zero fails a positive crease against itself.
            for (uint32_t i = 0; i < n && uniform; ++i) {
                const pk::float3 own = faceNormal[members[first + i]];
                uniform = glm::dot(own, own) >= creaseCosine;
            }
        }
        if (uniform) {
            pk::float3 sum(0.0f);
            for (uint32_t i = 0; i < n; ++i) sum += faceNormal[members[first + i]];
            const auto id = static_cast<uint32_t>(normals.size());
            normals.push_back(normalizedOrZero(sum));
            std::fill_n(normalAt.begin() + first, n, id);
            continue;
        }
        for (uint32_t i = 0; i < n; ++i) {
            const pk::float3 own = faceNormal[members[first + i]];
            pk::float3 sum(0.0f);
            for (uint32_t j = 0; j < n; ++j) {
                const pk::float3 other = faceNormal[members[first + j]];
                if (glm::dot(own, other) >= creaseCosine) sum += other;
            }
            normalAt[first + i] = static_cast<uint32_t>(normals.size());
            normals.push_back(normalizedOrZero(sum));
        }
    }
    std::vector<uint32_t>().swap(members);
    std::vector<pk::float3>().swap(faceNormal);
    std::vector<uint32_t>().swap(triangleOf);

    // Output vertices in corner order: a source vertex and a normal each (kNone: zero,
    // for line and point corners). An index past the vertices (which readers should not
    // leave) becomes a zero vertex of its own rather than a read outside the arrays.
    const uint32_t zeroNormal = static_cast<uint32_t>(normals.size());
    normals.emplace_back(0.0f);
    const uint32_t outsideGroup = groups.count;
    uint32_t extraGroups = 0;
    for (const auto& sub : mesh.submeshes)
        for (uint32_t v : sub.indices) extraGroups += v >= vertexCount;
    Joiner joiner(groups.count + extraGroups);
    std::vector<uint32_t> keptNormal;
    joiner.kept.reserve(vertexCount);
    keptNormal.reserve(vertexCount);
    uint32_t nextOutside = outsideGroup;
    at = 0;
    for (auto& sub : mesh.submeshes) {
        for (auto& index : sub.indices) {
            const uint32_t v = index;
            const uint32_t normal = slotOf[at] == kNone ? zeroNormal : normalAt[slotOf[at]];
            ++at;
            const size_t before = joiner.kept.size();
            if (v >= vertexCount) {
                index = joiner.join(nextOutside++, kNone, [](uint32_t) { return false; });
            } else {
                index = joiner.join(groups.of[v], v, [&](uint32_t kept) {
                    const uint32_t k = joiner.kept[kept], kn = keptNormal[kept];
                    if (k == v && kn == normal) return true;
                    if (k == kNone) return false;
                    return close(normals[kn], normals[normal]) &&
                           (!hasUVs || close(mesh.textureCoordinates[k], mesh.textureCoordinates[v]));
                });
            }
            if (joiner.kept.size() != before) keptNormal.push_back(normal);
        }
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
    PositionTable table(stats);
    for (size_t v = 0; v < positions.size(); ++v) {
        uint32_t bits[3];
        std::memcpy(bits, &positions[v].x, sizeof bits);
        size_t slot = 0;
        uint32_t g = table.find(bits, slot);
        if (g == kNone) {
            g = groups.count++;
            table.insert(slot, bits, g);
        }
        groups.of[v] = g;
    }
    return groups;
}

void joinIdenticalVertices(Mesh& mesh) { joinGrouped(mesh, groupByPosition(mesh.positions)); }

void finishMesh(Mesh& mesh, float creaseCosine) {
    if (!generateNormals(mesh, std::clamp(creaseCosine, -1.0f, 1.0f))) joinIdenticalVertices(mesh);
}

}  // namespace pk::modelimport
