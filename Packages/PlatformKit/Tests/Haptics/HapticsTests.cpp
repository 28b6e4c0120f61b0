#include <gtest/gtest.h>

#include <cmath>

#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Haptics/Haptics.h"

using namespace pk::haptics;

TEST(Haptics, RumbleFromIntensityAndSharpness) {
    using T = HapticEvent::Type;
    struct Case {
        std::vector<HapticEvent> events;
        RumbleCommand expected;
    };
    const Case cases[] = {
        {{{T::transient, 0, 0.04, 1.0f, 0.0f}}, {65535, 0, 40}},
        {{{T::transient, 0, 0.04, 1.0f, 1.0f}}, {0, 65535, 40}},
        {{{T::continuous, 0, 0.11, 1.0f, 0.35f}}, {42598, 22937, 110}},
        {{{T::continuous, 0, 0, 0.5f, 0.5f}}, {16384, 16384, 1}},                    // never a zero duration
        {{{T::transient, 0, 0.01, 2.0f, -1.0f}}, {65535, 0, 10}},                     // clamped into 0..1
        {{{T::transient, 0, 0.01, NAN, 0.5f}}, {0, 0, 10}},
        {{{T::transient, 0, 0.05, 0.2f, 0.9f}, {T::continuous, 0.1, 0.2, 0.8f, 0.1f}}, {47185, 11796, 300}},
    };
    for (const auto& c : cases) EXPECT_EQ(rumbleFor(HapticPattern{c.events}), c.expected);
}

TEST(Haptics, RecordingEngineAndSystemEngine) {
    RecordingHapticEngine e;
    e.start();
    HapticPattern p{{{HapticEvent::Type::transient, 0, 0.04, 0.65f, 0.85f}}};
    e.playPattern(p);
    EXPECT_EQ(e.startCount(), 1);
    EXPECT_EQ(e.played(), std::vector<HapticPattern>{p});
    e.failPlay = true;
    EXPECT_THROW(e.playPattern(p), pk::StudioError);
    EXPECT_EQ(e.played().size(), 1u);

    // Headless machines have no rumble controller; when one is attached it must open.
    if (deviceSupportsHaptics()) {
        EXPECT_NE(makeSystemEngine(), nullptr);
    } else {
        try {
            makeSystemEngine();
            FAIL() << "an engine without a controller";
        } catch (const pk::StudioError& err) {
            EXPECT_EQ(err.code, engineUnavailable);
        }
    }
}
