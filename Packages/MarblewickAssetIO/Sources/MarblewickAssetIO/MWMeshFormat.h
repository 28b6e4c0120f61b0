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

    // Calls visit(meshlet, globalIndex) for every index kept, in file order: meshlet by
    // meshlet, 3 x triangleCount positions each; a position at or past the end of the
    // file is skipped, a global index (vertexBase + byte, no wrap-around) not below V is
    // dropped, and later indices move up. Stops once indexPositionBudget() positions
    // were visited. Returns the number of indices kept.
    template <class Visit>
    uint64_t forEachIndex(Visit&& visit) const {
        const uint64_t end = fileSize();
        const uint64_t block = indexBlockOffset();
        const uint8_t* data = bytes_.data();
        uint64_t budget = indexPositionBudget();
        uint64_t kept = 0;
        for (uint32_t m = 0; m < meshletCount_ && budget > 0; ++m) {
            const Meshlet rec = meshlet(m);
            const uint64_t first = block + rec.indexByteOffset;
            if (first >= end || rec.vertexBase >= vertexCount_) continue;  // nothing of it can be kept
            // Positions past the end are all skipped, so stop at the end of the file.
            uint64_t count = std::min<uint64_t>(3ull * rec.triangleCount, end - first);
            count = std::min(count, budget);
            budget -= count;
            const uint64_t base = rec.vertexBase;
            const uint8_t* p = data + first;
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
