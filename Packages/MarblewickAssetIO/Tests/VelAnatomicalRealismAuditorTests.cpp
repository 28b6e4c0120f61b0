#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "MarblewickAssetIO/VelAnatomicalRealismAuditorV1310.h"

using namespace assetio;
using E = VelAnatomicalEventRecordV1310;
using V = std::vector<std::string>;

TEST(VelAnatomicalRealismAuditor, EdgeCaseTable) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Case { const char* name; std::vector<E> events; V want; };
    const std::vector<Case> cases = {
        {"empty", {}, {}},
        {"head_042_passes", {{1, "severedHead", 1, 5, 0.42f}}, {}},
        {"head_043", {{1, "severedHead", 1, 5, 0.43f}}, {"UNREALISTIC_HEAD_SCALE_0.43M"}},
        {"speed_bounds", {{1, "severedArm", 1, 0.2f, 0}, {1, "severedArm", 1, 25, 0}}, {}},
        {"speed_out", {{3, "x", 1, 25.01f, 0}, {3, "x", 1, -nan, 0}},
         {"UNPHYSICAL_BALLISTIC_SPEED_25.01_ACTOR_3", "UNPHYSICAL_BALLISTIC_SPEED_nan_ACTOR_3"}},
        {"negative_zero_origin", {{1, "other", -0.0f, 5, 0}}, {}},
        {"origins", {{7, "other", -0.01f, 5, 0}, {7, "other", -nan, 5, 0}, {7, "other", -inf, 5, 0}},
         {"SUBTERRANEAN_OR_NAN_ORIGIN_Y_-0.01_ACTOR_7", "SUBTERRANEAN_OR_NAN_ORIGIN_Y_nan_ACTOR_7",
          "SUBTERRANEAN_OR_NAN_ORIGIN_Y_-inf_ACTOR_7"}},
        {"nan_diameter_passes", {{1, "severedHead", 1, 5, nan}}, {}},
        {"inf_shard", {{2, "cranialShard", 1, 5, inf}}, {"OVERSIZED_SHARD_LOOKS_LIKE_WHOLE_HEAD_infM_ACTOR_2"}},
        {"actor0_heads", {{0, "severedHead", 1, 5, 0.1f}, {0, "severedHead", 1, 5, 0.24f}}, {"UNREALISTIC_HEAD_SCALE_0.10M"}},
        {"eight_shards", std::vector<E>(8, E{5, "cranialShard", 1, 5, 0.1f}), {}},
        {"nine_shards", std::vector<E>(9, E{5, "cranialShard", 1, 5, 0.1f}), {"EXCESSIVE_CRANIAL_SHARD_SPAM_9_ACTOR_5"}},
        {"limbs_sorted_by_actor",
         {{9, "severedArm", 1, 5, 0}, {9, "severedArm", 1, 5, 0}, {9, "severedArm", 1, 5, 0},
          {4, "severedLeg", 1, 5, 0}, {4, "severedLeg", 1, 5, 0}, {4, "severedLeg", 1, 5, 0},
          {4, "severedHead", 1, 5, 0.2f}, {4, "cranialShard", 1, 5, 0.1f}},
         {"ANATOMICAL_MUTUAL_EXCLUSION_WHOLE_HEAD_AND_SHARDS_ACTOR_4", "ANATOMICAL_DUPLICATION_LEGS_3_FOR_1_ACTOR_4",
          "ANATOMICAL_DUPLICATION_ARMS_3_FOR_1_ACTOR_9"}},
    };
    for (const Case& c : cases) {
        const auto r = VelAnatomicalRealismAuditorV1310::audit(c.events);
        EXPECT_EQ(r.violations, c.want) << c.name;
        EXPECT_EQ(r.passed, c.want.empty()) << c.name;
        EXPECT_EQ(r.totalEventsAudited, static_cast<int64_t>(c.events.size())) << c.name;
    }
    const auto counts = VelAnatomicalRealismAuditorV1310::audit(
        {{0, "severedHead", 1, 5, 0.2f}, {3, "cranialShard", 1, 5, 0.1f}, {3, "cranialShard", 1, 5, 0.1f}, {8, "severedHead", 1, 5, 0.2f}});
    EXPECT_EQ(counts.uniqueActorsAudited, 2);
    EXPECT_EQ(counts.maxWholeHeadsForAnyActor, 1);
    EXPECT_EQ(counts.maxShardsForAnyActor, 2);
    EXPECT_EQ(VelAnatomicalAuditReportV1310::fromJson(counts.toJson()), counts);
}

TEST(VelAnatomicalRealismAuditor, TrapSummaryIsExact) {
    const auto t = VelAnatomicalRealismAuditorV1310::runHeadDuplicationTrapSelfTest();
    EXPECT_TRUE(t.caughtMultiHeadBug);
    EXPECT_TRUE(t.caughtMutualExclusionBug);
    EXPECT_EQ(t.summary,
              "multiHeadTrap=true (ANATOMICAL_DUPLICATION_HEADS_3_FOR_1_ACTOR_42) | "
              "mutualExclTrap=true (ANATOMICAL_MUTUAL_EXCLUSION_WHOLE_HEAD_AND_SHARDS_ACTOR_99)");
}
