#include "MarblewickCreatorStudio/VelFacecamBackgroundModeV1045.h"

namespace creator {

namespace {
constexpr const char* kRaw[] = {
    "BG Occlusion",
    "BG Blur",
    "Full Cam",
};
}  // namespace

const std::array<VelFacecamBackgroundModeV1045, 3> VelFacecamBackgroundModeV1045::allCases = {VelFacecamBackgroundModeV1045::cutoutNoBackground, VelFacecamBackgroundModeV1045::studioBlur, VelFacecamBackgroundModeV1045::fullCamera};

const char* VelFacecamBackgroundModeV1045::rawValue() const { return kRaw[value]; }

std::optional<VelFacecamBackgroundModeV1045> VelFacecamBackgroundModeV1045::fromRaw(std::string_view raw) {
    for (auto c : allCases)
        if (raw == c.rawValue()) return c;
    return std::nullopt;
}

VelFacecamBackgroundModeV1045 VelFacecamBackgroundModeV1045::next() const { return allCases[(size_t(value) + 1) % allCases.size()]; }

pk::json::Json VelFacecamBackgroundModeV1045::toJson() const { return rawValue(); }

VelFacecamBackgroundModeV1045 VelFacecamBackgroundModeV1045::fromJson(const pk::json::Json& j) {
    const std::string raw = pk::json::asString(j, "VelFacecamBackgroundModeV1045");
    auto v = fromRaw(raw);
    if (!v) pk::json::failDecode(pk::json::dataCorrupted, "Cannot initialize VelFacecamBackgroundModeV1045 from invalid String value " + raw);
    return *v;
}

}  // namespace creator
