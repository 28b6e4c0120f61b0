#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

#include "MarblewickCreatorStudio/VelGameFeelJuiceControllerV1030.h"
#include "MarblewickCreatorStudio/VelJuicePhysicsKernelV1030.h"

using namespace creator;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
}  // namespace

TEST(JuiceImpact, IntensityIsClampedTheSameWayByKernelAndController) {
    struct Case {
        double intensity, trauma, sx, sy;
    } cases[] = {
        {0.0, 0.0425, 1.014, 0.988}, {-3.0, 0.0425, 1.014, 0.988}, {0.5, 0.425, 1.14, 0.88},
        {1.0, 0.85, 1.28, 0.76},     {2.0, 0.85, 1.28, 0.76},      {kNaN, 0.85, 1.28, 0.76},
    };
    for (const auto& c : cases) {
        VelJuicePhysicsKernelV1030 k;
        k.triggerImpact(c.intensity, 0.0);
        VelGameFeelJuiceControllerV1030 ctl;
        ctl.triggerImpact(c.intensity, 0.0, std::nullopt, 0, {0.5, 0.5});
        for (auto [t, sx, sy, n] : {std::tuple{k.trauma, k.squashScaleX, k.squashScaleY, k.totalImpactCount},
                                    std::tuple{*ctl.trauma, *ctl.squashScaleX, *ctl.squashScaleY, *ctl.totalImpactCount}}) {
            EXPECT_NEAR(t, c.trauma, 1e-12) << c.intensity;
            EXPECT_NEAR(sx, c.sx, 1e-12) << c.intensity;
            EXPECT_NEAR(sy, c.sy, 1e-12) << c.intensity;
            EXPECT_EQ(n, 1);
        }
        EXPECT_TRUE(ctl.popups->empty()) << "no popup without text";
    }
    VelJuicePhysicsKernelV1030 k;
    k.triggerImpact(1, 0);
    k.triggerImpact(1, 0);
    EXPECT_EQ(k.trauma, 1.0);
    EXPECT_EQ(k.totalImpactCount, 2);
}

TEST(JuiceStep, FrameTimeIsClampedAndNaNCountsAsTheSmallestStep) {
    struct Case {
        double dt, d;
    } cases[] = {
        {0.0, 1.0 / 240}, {-1.0, 1.0 / 240}, {0.001, 1.0 / 240}, {0.01, 0.01}, {0.05, 0.05},
        {1.0, 0.05},      {kNaN, 1.0 / 240}, {kInf, 0.05},       {-kInf, 1.0 / 240},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VelJuiceClampsV1030::frameTime(c.dt), c.d) << c.dt;
        VelJuicePhysicsKernelV1030 k;
        k.triggerImpact(1, 0);
        k.step(c.dt);
        EXPECT_DOUBLE_EQ(k.trauma, 0.85 - 1.9 * c.d) << c.dt;
        EXPECT_DOUBLE_EQ(k.squashScaleX, 1.28 + (1 - 1.28) * std::fmin(14 * c.d, 1)) << c.dt;

        VelGameFeelJuiceControllerV1030 ctl;
        ctl.triggerImpact(1, 0, "hit", 0xFFFFFFFF, {0.5, 0.5});
        ctl.step(c.dt);
        EXPECT_DOUBLE_EQ(ctl.elapsed(), c.d);
        EXPECT_DOUBLE_EQ(*ctl.trauma, 0.85 - 1.9 * c.d);
        EXPECT_TRUE(std::isfinite(ctl.shakeOffset->width) && std::isfinite(*ctl.squashScaleY));
        EXPECT_DOUBLE_EQ(ctl.popups->front().age, c.d);
    }
}

TEST(JuiceStep, HitStopRunsOutAndIsNeverCutShort) {
    VelJuicePhysicsKernelV1030 k;
    VelGameFeelJuiceControllerV1030 ctl;
    k.triggerImpact(1, 0.1);
    ctl.triggerImpact(1, 0.1, std::nullopt, 0, {});
    EXPECT_TRUE(k.step(0.05));
    EXPECT_TRUE(ctl.step(0.05));
    EXPECT_LT(k.trauma, 0.85) << "trauma relaxes during hit stop";
    EXPECT_LT(*ctl.squashScaleX, 1.28) << "squash relaxes during hit stop";
    k.triggerImpact(1, 0.02);
    ctl.triggerImpact(1, 0.02, std::nullopt, 0, {});
    EXPECT_DOUBLE_EQ(k.hitStopRemaining, 0.05);
    EXPECT_DOUBLE_EQ(*ctl.hitStopRemaining, 0.05);
    EXPECT_FALSE(k.step(0.05));
    EXPECT_FALSE(ctl.step(0.05));
    EXPECT_EQ(k.hitStopRemaining, 0.0);
    EXPECT_EQ(*ctl.hitStopRemaining, 0.0);
    k.triggerImpact(1, kNaN);
    EXPECT_EQ(k.hitStopRemaining, 0.0) << "a NaN hit stop changes nothing";
}

TEST(JuiceController, ShakeUsesTraumaBeforeDecayAndStaysWithinItsBounds) {
    VelGameFeelJuiceControllerV1030 ctl;
    ctl.triggerImpact(1, 0, std::nullopt, 0, {});
    ctl.step(0.05);
    const double k = 0.85 * 0.85;
    EXPECT_DOUBLE_EQ(ctl.shakeOffset->width, k * 18 * std::sin(78 * 0.05));
    EXPECT_DOUBLE_EQ(ctl.shakeOffset->height, k * 14 * std::cos(93 * 0.05));
    EXPECT_DOUBLE_EQ(*ctl.shakeAngleDeg, k * 2.6 * std::sin(64 * 0.05));

    for (int i = 0; i < 400; ++i) {
        if (i % 7 == 0) ctl.triggerImpact(1, 0, std::nullopt, 0, {});
        ctl.step(i % 3 == 0 ? 0.0 : 0.013);
        EXPECT_LE(std::fabs(ctl.shakeOffset->width), 18.0);
        EXPECT_LE(std::fabs(ctl.shakeOffset->height), 14.0);
        EXPECT_LE(std::fabs(*ctl.shakeAngleDeg), 2.6);
    }

    VelGameFeelJuiceControllerV1030 calm;
    calm.trauma = 0.001;
    calm.shakeOffset = VelJuiceSizeV1030{3, 4};
    calm.shakeAngleDeg = 1.0;
    calm.step(0.05);
    EXPECT_EQ(*calm.shakeOffset, (VelJuiceSizeV1030{0, 0}));
    EXPECT_EQ(*calm.shakeAngleDeg, 0.0);
    EXPECT_EQ(*calm.trauma, 0.001) << "small trauma left as it is";
}

TEST(JuicePopups, ThirteenthPopupDropsTheOldest) {
    VelGameFeelJuiceControllerV1030 ctl;
    for (int i = 0; i < 13; ++i) ctl.triggerImpact(0.3, 0, "p" + std::to_string(i), 0xFF00FF00u + i, {0.1 * i, 0.9});
    ASSERT_EQ(ctl.popups->size(), 12u);
    for (int i = 0; i < 12; ++i) EXPECT_EQ((*ctl.popups)[i].text(), "p" + std::to_string(i + 1));
    EXPECT_EQ(ctl.popups->back().colorHex(), 0xFF00FF00u + 12);
    EXPECT_DOUBLE_EQ(ctl.popups->back().normalizedX, 1.2);
    EXPECT_NE((*ctl.popups)[0].id(), (*ctl.popups)[1].id());
    EXPECT_EQ(ctl.popups->front().id()[6] >> 4, 4) << "version 4 UUID";
    EXPECT_EQ(*ctl.totalImpactCount, 13);
}

TEST(JuicePopups, PopupRisesFadesAndIsRemovedWhenItsAgeReachesItsLifetime) {
    VelGameFeelJuiceControllerV1030 ctl;
    ctl.triggerImpact(1, 0, "CRIT", 0xFFFFD700u, {0.5, 0.6});
    double lastOpacity = 1.0;
    for (int n = 1; n <= 26; ++n) {
        ctl.step(0.05);
        ASSERT_EQ(ctl.popups->size(), 1u) << "step " << n;
        const auto& p = ctl.popups->front();
        EXPECT_NEAR(p.opacity(), 1.0 - n * 0.05 / 1.35, 1e-9);
        EXPECT_LT(p.opacity(), lastOpacity);
        lastOpacity = p.opacity();
        EXPECT_NEAR(p.normalizedY, 0.6 - 0.085 * 0.05 * n, 1e-12);
    }
    ctl.step(0.05);
    EXPECT_TRUE(ctl.popups->empty()) << "gone on the 27th step";

    VelJuiceFloatingPopupV1030 instant("x", 0, 0, 0, 0);
    EXPECT_EQ(instant.opacity(), 1.0);
    instant.age = 0.005;
    EXPECT_NEAR(instant.opacity(), 0.5, 1e-12);
    instant.age = 0.01;
    EXPECT_EQ(instant.opacity(), 0.0);
    ctl.popups = {VelJuiceFloatingPopupV1030("y", 0, 0, 0, 0)};
    ctl.step(0.0);
    EXPECT_TRUE(ctl.popups->empty()) << "a popup without lifetime goes on the next step";
}

TEST(JuiceController, EveryWriteAnnouncesItselfOnTheCallersThread) {
    VelGameFeelJuiceControllerV1030 ctl;
    std::vector<std::string> order;
    std::vector<std::thread::id> threads;
    ctl.trauma.observe([&](double) { order.push_back("trauma"); });
    ctl.hitStopRemaining.observe([&](double) { order.push_back("hitStop"); });
    ctl.squashScaleX.observe([&](double) { order.push_back("squashX"); });
    ctl.squashScaleY.observe([&](double) { order.push_back("squashY"); });
    ctl.totalImpactCount.observe([&](int64_t) { order.push_back("count"); });
    ctl.popups.observe([&](const auto&) { order.push_back("popups"); });
    int willChange = 0;
    ctl.observeWillChange([&] {
        ++willChange;
        threads.push_back(std::this_thread::get_id());
    });
    std::thread::id worker;
    std::thread t([&] {
        worker = std::this_thread::get_id();
        ctl.triggerImpact(0.7, 0.1, "hit", 0, {});
    });
    t.join();
    EXPECT_EQ(order, (std::vector<std::string>{"trauma", "hitStop", "squashX", "squashY", "count", "popups"}));
    EXPECT_EQ(willChange, 6);
    for (auto id : threads) EXPECT_EQ(id, worker);
    EXPECT_EQ(*ctl.lastClipStatus, "");
}
