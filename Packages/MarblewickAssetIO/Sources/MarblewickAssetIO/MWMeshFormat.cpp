#include "MarblewickAssetIO/MWMeshFormat.h"

#include <bit>

namespace assetio {

static_assert(std::endian::native == std::endian::little, "the format is read in place on little-endian hosts");

std::optional<MWMeshFileView> MWMeshFileView::parse(std::span<const uint8_t> bytes) {
    if (bytes.size() <= kHeaderBytes) return std::nullopt;
    if (std::memcmp(bytes.data(), "MWMS", 4) != 0) return std::nullopt;
    MWMeshFileView view(bytes);
    const uint32_t version = view.u32(4);
    view.meshletCount_ = view.u32(8);
    view.vertexCount_ = view.u32(12);
    view.indexByteCount_ = view.u32(16);
    if (version != kVersion || view.meshletCount_ == 0 || view.vertexCount_ == 0 || view.indexByteCount_ < 3)
        return std::nullopt;
    // At most 20 + 32 * 2^32 + 48 * 2^32 + 2^32: far from overflowing 64 bits.
    const uint64_t needed = view.indexBlockOffset() + view.indexByteCount_;
    if (bytes.size() < needed) return std::nullopt;
    return view;
}

}  // namespace assetio
