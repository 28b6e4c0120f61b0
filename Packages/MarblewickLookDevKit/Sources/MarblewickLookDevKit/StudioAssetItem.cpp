#include "MarblewickLookDevKit/StudioAssetItem.h"

namespace lookdev {

namespace {
size_t combine(size_t seed, size_t v) { return seed ^ (v + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2)); }
}  // namespace

size_t StudioAssetItem::SourceKind::hash() const {
    size_t h = std::hash<size_t>{}(value.index());
    // Paths compare element by element ("a//b" equals "a/b"), and so hash_value hashes.
    if (const auto* url = fileURL()) h = combine(h, std::filesystem::hash_value(*url));
    return h;
}

size_t StudioAssetItem::hash() const {
    size_t h = std::hash<std::string>{}(id);
    h = combine(h, std::hash<std::string>{}(displayName));
    h = combine(h, std::hash<std::string>{}(subtitle));
    h = combine(h, std::hash<std::string>{}(category));
    return combine(h, kind.hash());
}

}  // namespace lookdev
