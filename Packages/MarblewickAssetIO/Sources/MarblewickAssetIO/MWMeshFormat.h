#pragma once
// The hero mesh file ("MWMS" version 2, extension .mwmesh): one bounds-checked parser
// shared by every reader of the format. Readers differ only in what they build from
// the vertex records and in their grounding rules.
//
// Layout (little-endian, no padding between blocks):
//   header   20 bytes: "MWMS", version, meshletCount M, vertexCount V, indexByteCount I
//   meshlets M x 32 bytes: vertexBase @0, indexByteOffset @8, triangleCount @12
//   vertices V x 48 bytes: twelve floats (position, normal, uv, colour, packedMat)
//   indices  I bytes, 8-bit indices local to their meshlet
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace assetio {

class MWMeshFileView {
public:
    static constexpr uint64_t kHeaderBytes = 20;
    static constexpr uint64_t kMeshletRecordBytes = 32;
    static constexpr uint64_t kVertexRecordBytes = 48;
    static constexpr uint32_t kVersion = 2;

    // Checks magic, version, non-zero counts, I >= 3 and that the file holds all
    // declared blocks (64-bit arithmetic). The view refers to `bytes`, which must outlive it.
    static std::optional<MWMeshFileView> parse(std::span<const uint8_t> bytes);

    uint32_t meshletCount() const { return meshletCount_; }
    uint32_t vertexCount() const { return vertexCount_; }
    uint32_t indexByteCount() const { return indexByteCount_; }
    uint64_t fileSize() const { return bytes_.size(); }
    uint64_t vertexBlockOffset() const { return kHeaderBytes + kMeshletRecordBytes * meshletCount_; }
    uint64_t indexBlockOffset() const { return vertexBlockOffset() + kVertexRecordBytes * vertexCount_; }

    // The V x 48 bytes of the vertex block.
    std::span<const uint8_t> vertexBlock() const {
        return bytes_.subspan(vertexBlockOffset(), kVertexRecordBytes * vertexCount_);
    }
    // The twelve floats of vertex v (v < vertexCount()).
    std::array<float, 12> vertexFloats(uint32_t v) const {
        std::array<float, 12> f;
        std::memcpy(f.data(), bytes_.data() + vertexBlockOffset() + kVertexRecordBytes * v, sizeof f);
        return f;
    }

    struct Meshlet {
        uint32_t vertexBase = 0;
        uint32_t indexByteOffset = 0;
        uint32_t triangleCount = 0;
    };
    Meshlet meshlet(uint32_t m) const {
        const uint64_t at = kHeaderBytes + kMeshletRecordBytes * m;
        return {u32(at), u32(at + 8), u32(at + 12)};
    }

    // Most index positions a file may make a reader visit (and so indices it may keep).
    // A well-formed file visits each index byte about once; the room beyond that leaves
    // meshlets free to share index bytes, while a small file can no longer make billions
    // of indices from overlapping meshlets.
    static constexpr uint64_t kSharedIndexAllowance = uint64_t(1) << 24;
    uint64_t indexPositionBudget() const { return 4 * (fileSize() - indexBlockOffset()) + kSharedIndexAllowance; }

    // The index positions a read visits: 3 x triangleCount per meshlet, less those past
    // the end of the file and those of meshlets that can keep nothing.
    uint64_t indexPositionCount() const {
        uint64_t total = 0;
        for (uint32_t m = 0; m < meshletCount_; ++m) total += positionsOf(meshlet(m));
        return total;
    }

    // Calls visit(meshlet, globalIndex) for every index kept, in file order: meshlet by
    // meshlet, 3 x triangleCount positions each; a position at or past the end of the
    // file is skipped, a global index (vertexBase + byte, no wrap-around) not below V is
    // dropped, and later indices move up. Returns the number of indices kept, or none
    // (having visited nothing) when the file asks for more positions than
    // indexPositionBudget(): such a file is refused whole, never read in part.
    template <class Visit>
    std::optional<uint64_t> forEachIndex(Visit&& visit) const {
        if (indexPositionCount() > indexPositionBudget()) return std::nullopt;
        const uint64_t block = indexBlockOffset();
        const uint8_t* data = bytes_.data();
        uint64_t kept = 0;
        for (uint32_t m = 0; m < meshletCount_; ++m) {
            const Meshlet rec = meshlet(m);
            const uint64_t count = positionsOf(rec);
            const uint64_t base = rec.vertexBase;
            const uint8_t* p = data + block + rec.indexByteOffset;
            for (uint64_t k = 0; k < count; ++k) {
                const uint64_t global = base + p[k];
                if (global < vertexCount_) {
                    visit(m, static_cast<uint32_t>(global));
                    ++kept;
                }
            }
        }
        return kept;
    }

private:
    explicit MWMeshFileView(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    // Positions past the end are all skipped, so a meshlet stops at the end of the file.
    uint64_t positionsOf(const Meshlet& rec) const {
        const uint64_t first = indexBlockOffset() + rec.indexByteOffset;
        if (first >= fileSize() || rec.vertexBase >= vertexCount_) return 0;  // nothing of it can be kept
        return std::min<uint64_t>(3ull * rec.triangleCount, fileSize() - first);
    }
    uint32_t u32(uint64_t at) const {
        uint32_t v;
        std::memcpy(&v, bytes_.data() + at, 4);
        return v;
    }

    std::span<const uint8_t> bytes_;
    uint32_t meshletCount_ = 0;
    uint32_t vertexCount_ = 0;
    uint32_t indexByteCount_ = 0;
};

}  // namespace assetio
