#include <gtest/gtest.h>

#include <thread>

#include "MarblewickCreatorStudio/VelWeaponCoreHapticsV1250.h"
#include "PlatformKit/Foundation/StudioError.h"

using namespace creator;
using Sig = VelWeaponHapticSignatureV1250;
using pk::haptics::HapticEvent;
using pk::haptics::RecordingHapticEngine;

namespace {
std::function<std::shared_ptr<pk::haptics::HapticEngine>()> giving(std::shared_ptr<RecordingHapticEngine> e) {
    return [e] { return e; };
}
}  // namespace

TEST(WeaponHaptics, SignaturesAndRawValues) {
    struct Row {
        const char* name;
        HapticEvent::Type type;
        double duration;
        float intensity, sharpness;
    };
    const auto T = HapticEvent::Type::transient, C = HapticEvent::Type::continuous;
    const Row rows[] = {{"mk18CrispSear", T, 0.04, 0.65f, 0.85f},          {"benelliM4HeavyThump", C, 0.11, 1.0f, 0.35f},
                        {"magnum50HandCannon", T, 0.08, 0.92f, 0.60f},     {"headshotSkullPopCrunch", T, 0.06, 0.95f, 0.95f},
                        {"wendmoorCoreElectricHum", C, 0.18, 0.32f, 0.72f}, {"substationPowerSurge", C, 0.35, 1.0f, 0.80f}};
    ASSERT_EQ(Sig::allCases.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        const Sig s = Sig::allCases[i];
        EXPECT_STREQ(s.rawValue(), rows[i].name);
        EXPECT_EQ(Sig::fromRaw(rows[i].name), s);
        EXPECT_EQ(s.event(), (HapticEvent{rows[i].type, 0.0, rows[i].duration, rows[i].intensity, rows[i].sharpness}));
    }
    for (const char* bad : {"", "MK18CrispSear", "mk18CrispSear ", "railgun"}) EXPECT_FALSE(Sig::fromRaw(bad)) << bad;
}

TEST(WeaponHaptics, PlaysOnePatternPerCall) {
    auto engine = std::make_shared<RecordingHapticEngine>();
    VelWeaponCoreHapticsV1250 player(true, giving(engine));
    EXPECT_EQ(engine->startCount(), 1);
    for (Sig s : Sig::allCases) player.play(s);
    EXPECT_EQ(player.triggeredCount(), 6);
    const auto played = engine->played();
    ASSERT_EQ(played.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        ASSERT_EQ(played[i].events.size(), 1u);
        EXPECT_EQ(played[i].events[0], Sig::allCases[i].event());  // transient ones keep their duration too
    }
}

TEST(WeaponHaptics, WithoutUsableHardware) {
    int made = 0;
    VelWeaponCoreHapticsV1250 none(false, [&] {
        ++made;
        return std::make_shared<RecordingHapticEngine>();
    });
    none.play(Sig::magnum50HandCannon);
    EXPECT_EQ(made, 0);
    EXPECT_FALSE(none.hasEngine());
    EXPECT_EQ(none.triggeredCount(), 1);

    VelWeaponCoreHapticsV1250 creationFails(true, []() -> std::shared_ptr<pk::haptics::HapticEngine> {
        throw pk::StudioError(pk::haptics::kErrorDomain, pk::haptics::engineUnavailable, "none");
    });
    EXPECT_FALSE(creationFails.hasEngine());
    creationFails.play(Sig::mk18CrispSear);
    EXPECT_EQ(creationFails.triggeredCount(), 1);

    auto stubborn = std::make_shared<RecordingHapticEngine>();
    stubborn->failStart = true;
    stubborn->failPlay = true;
    VelWeaponCoreHapticsV1250 startFails(true, giving(stubborn));
    EXPECT_TRUE(startFails.hasEngine());  // a failed start keeps the engine
    EXPECT_NO_THROW(startFails.play(Sig::substationPowerSurge));
    EXPECT_EQ(startFails.triggeredCount(), 1);
    EXPECT_TRUE(stubborn->played().empty());
}

TEST(WeaponHaptics, CounterIsThreadSafeAndSharedIsOne) {
    auto engine = std::make_shared<RecordingHapticEngine>();
    VelWeaponCoreHapticsV1250 player(true, giving(engine));
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) player.play(Sig::mk18CrispSear);
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(player.triggeredCount(), 4000);
    EXPECT_EQ(engine->played().size(), 4000u);

    auto& shared = VelWeaponCoreHapticsV1250::shared();
    EXPECT_EQ(&shared, &VelWeaponCoreHapticsV1250::shared());
    const int64_t before = shared.triggeredCount();
    shared.play(Sig::headshotSkullPopCrunch);
    EXPECT_EQ(shared.triggeredCount(), before + 1);
}
