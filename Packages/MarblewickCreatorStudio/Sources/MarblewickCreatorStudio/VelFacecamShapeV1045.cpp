#include "MarblewickCreatorStudio/VelFacecamShapeV1045.h"

namespace creator {

namespace {
constexpr const char* kRaw[] = {
    "Cutout",
    "Circle",
    "Rounded",
};
}  // namespace

const std::array<VelFacecamShapeV1045, 3> VelFacecamShapeV1045::allCases = {VelFacecamShapeV1045::freeCutout, VelFacecamShapeV1045::circle, VelFacecamShapeV1045::rounded};

const char* VelFacecamShapeV1045::rawValue() const { return kRaw[value]; }

std::optional<VelFacecamShapeV1045> VelFacecamShapeV1045::fromRaw(std::string_view raw) {
    for (auto c : allCases)
        if (raw == c.rawValue()) return c;
    return std::nullopt;
}

VelFacecamShapeV1045 VelFacecamShapeV1045::next() const { return allCases[(size_t(value) + 1) % allCases.size()]; }

pk::json::Json VelFacecamShapeV1045::toJson() const { return rawValue(); }

VelFacecamShapeV1045 VelFacecamShapeV1045::fromJson(const pk::json::Json& j) {
    const std::string raw = pk::json::asString(j, "VelFacecamShapeV1045");
    auto v = fromRaw(raw);
    if (!v) pk::json::failDecode(pk::json::dataCorrupted, "Cannot initialize VelFacecamShapeV1045 from invalid String value " + raw);
    return *v;
}

}  // namespace creator
