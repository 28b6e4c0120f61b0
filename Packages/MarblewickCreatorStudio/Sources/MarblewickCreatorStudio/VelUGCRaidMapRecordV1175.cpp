#include "MarblewickCreatorStudio/VelUGCRaidMapRecordV1175.h"

namespace creator {

template <class J>
J VelUGCPropPlacementV1175::toJson() const {
    using pk::json::floatNumber;
    J j = J::object();
    j["id"] = id;
    j["label"] = label;
    j["meshKind"] = meshKind;
    j["x"] = floatNumber(x);
    j["y"] = floatNumber(y);
    j["z"] = floatNumber(z);
    j["yawRad"] = floatNumber(yawRad);
    j["scale"] = floatNumber(scale);
    return j;
}

template <class J>
VelUGCPropPlacementV1175 VelUGCPropPlacementV1175::fromJson(const J& j) {
    using namespace pk::json;
    VelUGCPropPlacementV1175 p;
    p.id = readString(j, "id");
    p.label = readString(j, "label");
    p.meshKind = readString(j, "meshKind");
    p.x = readFloat(j, "x");
    p.y = readFloat(j, "y");
    p.z = readFloat(j, "z");
    p.yawRad = readFloat(j, "yawRad");
    p.scale = readFloat(j, "scale");
    return p;
}

template <class J>
J VelUGCRaidMapRecordV1175::toJson() const {
    J j = J::object();
    j["id"] = id;
    j["title"] = title;
    j["authorCallsign"] = authorCallsign;
    j["district"] = district;
    j["summary"] = summary;
    J list = J::array();
    for (const auto& p : placements) list.push_back(p.template toJson<J>());
    j["placements"] = std::move(list);
    j["likes"] = likes;
    j["syncedToCloudKit"] = syncedToCloudKit;
    j["createdISO"] = createdISO;
    return j;
}

template <class J>
VelUGCRaidMapRecordV1175 VelUGCRaidMapRecordV1175::fromJson(const J& j) {
    using namespace pk::json;
    VelUGCRaidMapRecordV1175 m;
    m.id = readString(j, "id");
    m.title = readString(j, "title");
    m.authorCallsign = readString(j, "authorCallsign");
    m.district = readString(j, "district");
    m.summary = readString(j, "summary");
    const J& list = field(j, "placements");
    if (!list.is_array()) failDecode(typeMismatch, "Expected an array for placements.");
    for (const auto& p : list) m.placements.push_back(VelUGCPropPlacementV1175::fromJson(p));
    m.likes = readInteger<int64_t>(j, "likes");
    m.syncedToCloudKit = readBool(j, "syncedToCloudKit");
    m.createdISO = readString(j, "createdISO");
    return m;
}

template pk::json::Json VelUGCPropPlacementV1175::toJson() const;
template pk::json::OrderedJson VelUGCPropPlacementV1175::toJson() const;
template VelUGCPropPlacementV1175 VelUGCPropPlacementV1175::fromJson(const pk::json::Json&);
template VelUGCPropPlacementV1175 VelUGCPropPlacementV1175::fromJson(const pk::json::OrderedJson&);
template pk::json::Json VelUGCRaidMapRecordV1175::toJson() const;
template pk::json::OrderedJson VelUGCRaidMapRecordV1175::toJson() const;
template VelUGCRaidMapRecordV1175 VelUGCRaidMapRecordV1175::fromJson(const pk::json::Json&);
template VelUGCRaidMapRecordV1175 VelUGCRaidMapRecordV1175::fromJson(const pk::json::OrderedJson&);

}  // namespace creator
