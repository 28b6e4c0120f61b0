#pragma once
// Audit of recorded gore-spawn events against anatomical and ballistic limits: one head
// per actor, never a head and shards together, bounded shard, arm and leg counts, sane
// origins, speeds and sizes. Never throws; findings are violation codes.
#include <cstdint>
#include <string>
#include <vector>

#include "PlatformKit/Foundation/Json.h"

namespace assetio {

struct VelAnatomicalEventRecordV1310 {
    int64_t actorID = 0;  // below 1: no actor
    std::string partKind;  // "severedHead", "cranialShard", "severedArm", "severedLeg"
    float originY = 0;
    float speedMPS = 0;
    float approximateDiameterM = 0;

    VelAnatomicalEventRecordV1310() = default;
    VelAnatomicalEventRecordV1310(int64_t actorID, std::string partKind, float originY, float speedMPS,
                                  float approximateDiameterM)
        : actorID(actorID), partKind(std::move(partKind)), originY(originY), speedMPS(speedMPS),
          approximateDiameterM(approximateDiameterM) {}
    bool operator==(const VelAnatomicalEventRecordV1310&) const = default;

    pk::json::Json toJson() const;
    static VelAnatomicalEventRecordV1310 fromJson(const pk::json::Json& j);
};

struct VelAnatomicalAuditReportV1310 {
    int64_t totalEventsAudited = 0;
    int64_t uniqueActorsAudited = 0;
    int64_t maxWholeHeadsForAnyActor = 0;
    int64_t maxShardsForAnyActor = 0;
    std::vector<std::string> violations;
    bool passed = false;
    bool operator==(const VelAnatomicalAuditReportV1310&) const = default;

    pk::json::Json toJson() const;
    static VelAnatomicalAuditReportV1310 fromJson(const pk::json::Json& j);
};

struct VelAnatomicalHeadTrapResultV1310 {
    bool caughtMultiHeadBug = false;
    bool caughtMutualExclusionBug = false;
    std::string summary;
};

struct VelAnatomicalRealismAuditorV1310 {
    VelAnatomicalRealismAuditorV1310() = delete;
    static VelAnatomicalAuditReportV1310 audit(const std::vector<VelAnatomicalEventRecordV1310>& events);
    static VelAnatomicalHeadTrapResultV1310 runHeadDuplicationTrapSelfTest();
};

}  // namespace assetio
