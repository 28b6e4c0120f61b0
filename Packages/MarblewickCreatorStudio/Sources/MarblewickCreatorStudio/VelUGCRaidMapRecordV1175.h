#pragma once
// A user raid map: a small layout of tactical props (barrels, crates) for the co-op raid,
// and each placed prop. Both are JSON value records whose keys are their field names.
#include <cstdint>
#include <string>
#include <vector>

#include "PlatformKit/Foundation/Json.h"

namespace creator {

struct VelUGCPropPlacementV1175 {
    std::string id;
    std::string label;
    std::string meshKind;  // "barrel", "crate", ...
    float x = 0, y = 0, z = 0;
    float yawRad = 0;
    float scale = 0;

    // Floats compare exactly.
    bool operator==(const VelUGCPropPlacementV1175&) const = default;

    // Keys in declared order; a `Json` target sorts them.
    template <class J>
    J toJson() const;
    // Every key is required with its type; unknown keys are ignored.
    template <class J>
    static VelUGCPropPlacementV1175 fromJson(const J& j);
};

struct VelUGCRaidMapRecordV1175 {
    std::string id;  // also the vault file name
    std::string title;
    std::string authorCallsign;
    std::string district;
    std::string summary;
    std::vector<VelUGCPropPlacementV1175> placements;
    int64_t likes = 0;
    bool syncedToCloudKit = false;
    std::string createdISO;  // ISO 8601 internet date-time

    bool operator==(const VelUGCRaidMapRecordV1175&) const = default;

    template <class J>
    J toJson() const;
    template <class J>
    static VelUGCRaidMapRecordV1175 fromJson(const J& j);
};

extern template pk::json::Json VelUGCPropPlacementV1175::toJson() const;
extern template pk::json::OrderedJson VelUGCPropPlacementV1175::toJson() const;
extern template VelUGCPropPlacementV1175 VelUGCPropPlacementV1175::fromJson(const pk::json::Json&);
extern template VelUGCPropPlacementV1175 VelUGCPropPlacementV1175::fromJson(const pk::json::OrderedJson&);
extern template pk::json::Json VelUGCRaidMapRecordV1175::toJson() const;
extern template pk::json::OrderedJson VelUGCRaidMapRecordV1175::toJson() const;
extern template VelUGCRaidMapRecordV1175 VelUGCRaidMapRecordV1175::fromJson(const pk::json::Json&);
extern template VelUGCRaidMapRecordV1175 VelUGCRaidMapRecordV1175::fromJson(const pk::json::OrderedJson&);

}  // namespace creator
