#include "MarblewickAssetIO/VelAnatomicalRealismAuditorV1310.h"

#include <cmath>
#include <map>
#include <set>

#include "PlatformKit/Foundation/Numbers.h"

namespace assetio {

using namespace pk::json;

Json VelAnatomicalEventRecordV1310::toJson() const {
    Json j = Json::object();
    j["actorID"] = actorID;
    j["partKind"] = partKind;
    j["originY"] = floatNumber(originY);
    j["speedMPS"] = floatNumber(speedMPS);
    j["approximateDiameterM"] = floatNumber(approximateDiameterM);
    return j;
}

VelAnatomicalEventRecordV1310 VelAnatomicalEventRecordV1310::fromJson(const Json& j) {
    requireObject(j, "VelAnatomicalEventRecordV1310");
    return {readInteger<int64_t>(j, "actorID"), readString(j, "partKind"), readFloat(j, "originY"),
            readFloat(j, "speedMPS"), readFloat(j, "approximateDiameterM")};
}

Json VelAnatomicalAuditReportV1310::toJson() const {
    Json j = Json::object();
    j["totalEventsAudited"] = totalEventsAudited;
    j["uniqueActorsAudited"] = uniqueActorsAudited;
    j["maxWholeHeadsForAnyActor"] = maxWholeHeadsForAnyActor;
    j["maxShardsForAnyActor"] = maxShardsForAnyActor;
    j["violations"] = violations;
    j["passed"] = passed;
    return j;
}

VelAnatomicalAuditReportV1310 VelAnatomicalAuditReportV1310::fromJson(const Json& j) {
    requireObject(j, "VelAnatomicalAuditReportV1310");
    VelAnatomicalAuditReportV1310 r;
    r.totalEventsAudited = readInteger<int64_t>(j, "totalEventsAudited");
    r.uniqueActorsAudited = readInteger<int64_t>(j, "uniqueActorsAudited");
    r.maxWholeHeadsForAnyActor = readInteger<int64_t>(j, "maxWholeHeadsForAnyActor");
    r.maxShardsForAnyActor = readInteger<int64_t>(j, "maxShardsForAnyActor");
    r.violations = readStringList(j, "violations");
    r.passed = readBool(j, "passed");
    return r;
}

VelAnatomicalAuditReportV1310 VelAnatomicalRealismAuditorV1310::audit(
    const std::vector<VelAnatomicalEventRecordV1310>& events) {
    std::map<int64_t, int64_t> heads, shards, arms, legs;
    std::set<int64_t> actors;
    VelAnatomicalAuditReportV1310 report;
    auto& out = report.violations;
    for (const auto& e : events) {
        const bool hasActor = e.actorID >= 1;
        const std::string actor = std::to_string(e.actorID);
        if (hasActor) actors.insert(e.actorID);
        if (!std::isfinite(e.originY) || e.originY < 0.0f)
            out.push_back("SUBTERRANEAN_OR_NAN_ORIGIN_Y_" + pk::shortestText(e.originY) + "_ACTOR_" + actor);
        if (!std::isfinite(e.speedMPS) || e.speedMPS < 0.2f || e.speedMPS > 25.0f)
            out.push_back("UNPHYSICAL_BALLISTIC_SPEED_" + pk::formatFinite("%.2f", e.speedMPS) + "_ACTOR_" + actor);
        const float d = e.approximateDiameterM;
        if (e.partKind == "severedHead") {
            if (hasActor) ++heads[e.actorID];
            if (d < 0.14f || d > 0.42f) out.push_back("UNREALISTIC_HEAD_SCALE_" + pk::formatFinite("%.2f", d) + "M");
        } else if (e.partKind == "cranialShard") {
            if (hasActor) ++shards[e.actorID];
            if (d > 0.16f)
                out.push_back("OVERSIZED_SHARD_LOOKS_LIKE_WHOLE_HEAD_" + pk::formatFinite("%.2f", d) + "M_ACTOR_" + actor);
        } else if (e.partKind == "severedArm") {
            if (hasActor) ++arms[e.actorID];
        } else if (e.partKind == "severedLeg") {
            if (hasActor) ++legs[e.actorID];
        }
    }
    auto tally = [](const std::map<int64_t, int64_t>& m, int64_t a) {
        auto it = m.find(a);
        return it == m.end() ? int64_t(0) : it->second;
    };
    for (int64_t a : actors) {
        const int64_t h = tally(heads, a), s = tally(shards, a), ar = tally(arms, a), l = tally(legs, a);
        const std::string id = std::to_string(a);
        report.maxWholeHeadsForAnyActor = std::max(report.maxWholeHeadsForAnyActor, h);
        report.maxShardsForAnyActor = std::max(report.maxShardsForAnyActor, s);
        if (h > 1) out.push_back("ANATOMICAL_DUPLICATION_HEADS_" + std::to_string(h) + "_FOR_1_ACTOR_" + id);
        if (h >= 1 && s >= 1) out.push_back("ANATOMICAL_MUTUAL_EXCLUSION_WHOLE_HEAD_AND_SHARDS_ACTOR_" + id);
        if (s > 8) out.push_back("EXCESSIVE_CRANIAL_SHARD_SPAM_" + std::to_string(s) + "_ACTOR_" + id);
        if (ar > 2) out.push_back("ANATOMICAL_DUPLICATION_ARMS_" + std::to_string(ar) + "_FOR_1_ACTOR_" + id);
        if (l > 2) out.push_back("ANATOMICAL_DUPLICATION_LEGS_" + std::to_string(l) + "_FOR_1_ACTOR_" + id);
    }
    report.totalEventsAudited = static_cast<int64_t>(events.size());
    report.uniqueActorsAudited = static_cast<int64_t>(actors.size());
    report.passed = out.empty();
    return report;
}

VelAnatomicalHeadTrapResultV1310 VelAnatomicalRealismAuditorV1310::runHeadDuplicationTrapSelfTest() {
    auto contains = [](const VelAnatomicalAuditReportV1310& r, const std::string& needle) {
        for (const auto& v : r.violations)
            if (v.find(needle) != std::string::npos) return true;
        return false;
    };
    const auto a = audit({{42, "severedHead", 1.62f, 5.4f, 0.24f},
                          {42, "severedHead", 1.63f, 6.1f, 0.24f},
                          {42, "severedHead", 1.61f, 4.8f, 0.24f}});
    const auto b = audit({{99, "severedHead", 1.60f, 5.0f, 0.24f}, {99, "cranialShard", 1.61f, 6.2f, 0.11f}});
    VelAnatomicalHeadTrapResultV1310 r;
    r.caughtMultiHeadBug = !a.passed && contains(a, "ANATOMICAL_DUPLICATION_HEADS_3_FOR_1_ACTOR");
    r.caughtMutualExclusionBug = !b.passed && contains(b, "ANATOMICAL_MUTUAL_EXCLUSION");
    r.summary = std::string("multiHeadTrap=") + (r.caughtMultiHeadBug ? "true" : "false") + " (" +
                (a.violations.empty() ? "none" : a.violations.front()) + ") | mutualExclTrap=" +
                (r.caughtMutualExclusionBug ? "true" : "false") + " (" +
                (b.violations.empty() ? "none" : b.violations.front()) + ")";
    return r;
}

}  // namespace assetio
