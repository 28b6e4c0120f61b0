// The adaptive score: state table, buffer lengths and bounds, level, chord pitches and
// looped playback on the dummy audio driver.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <thread>

#include "MarblewickCreatorStudio/VelSoundVel4AdaptiveMusicEngineV950.h"
#include "PlatformKit/Audio/AudioOutput.h"
#include "PlatformKit/Audio/LoopPlayer.h"
#include "PlatformKit/Foundation/StudioError.h"

using namespace creator;
using S = VelMusicIntensityStateV950;

namespace {

struct DummyAudio : ::testing::Environment {
    void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 0); }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new DummyAudio);

// Amplitude of one frequency in a signal (Goertzel, normalised to a sine's amplitude).
double amplitudeAt(const std::vector<float>& x, double freq, double rate) {
    const double w = 2.0 * M_PI * freq / rate, c = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (float v : x) {
        const double s0 = v + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return 2.0 * std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - c * s1 * s2)) / double(x.size());
}

}  // namespace

TEST(MusicIntensityState, RawValuesTemposAndJson) {
    struct Row {
        S s;
        const char* raw;
        double bpm;
        VelStemGainsV950 g;
    };
    const Row rows[] = {
        {S::ambientExploration, "ambientExploration", 88, {0.48f, 0.24f, 0.08f, 0.14f}},
        {S::coastalSerene, "coastalSerene", 78, {0.42f, 0.14f, 0.0f, 0.18f}},
        {S::tensionPulse, "tensionPulse", 108, {0.52f, 0.78f, 0.48f, 0.30f}},
        {S::combatDrive, "combatDrive", 128, {0.64f, 0.92f, 0.95f, 0.78f}},
        {S::heroicBossBrass, "heroicBossBrass", 138, {0.78f, 1, 1, 1}},
        {S::victoryResolve, "victoryResolve", 104, {0.68f, 0.42f, 0.35f, 0.75f}},
    };
    VelSoundVel4AdaptiveMusicEngineV950 engine;
    ASSERT_EQ(S::allCases.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(S::allCases[i], rows[i].s);
        EXPECT_STREQ(rows[i].s.rawValue(), rows[i].raw);
        EXPECT_EQ(S::fromRaw(rows[i].raw), rows[i].s);
        EXPECT_EQ(rows[i].s.bpm(), rows[i].bpm);
        EXPECT_EQ(engine.stemGains(rows[i].s), rows[i].g);
        EXPECT_EQ(S::fromJson(rows[i].s.toJson()), rows[i].s);
        EXPECT_EQ(rows[i].s.toJson().get<std::string>(), rows[i].raw);
    }
    EXPECT_FALSE(S::fromRaw("AmbientExploration"));
    EXPECT_FALSE(S::fromRaw(""));
    EXPECT_THROW(S::fromJson(pk::json::Json("calm")), pk::StudioError);
    EXPECT_THROW(S::fromJson(pk::json::Json(2)), pk::StudioError);
}

TEST(AdaptiveMusicEngine, FreshEngineAndStateSetBySynthesisAndDryRun) {
    VelSoundVel4AdaptiveMusicEngineV950 engine;
    EXPECT_EQ(engine.targetBPM(), 92.0);
    EXPECT_EQ(engine.currentState(), S::ambientExploration);
    EXPECT_FALSE(engine.isPlaying());
    engine.synthesizeStemBuffer(S::combatDrive, 0.01, 44100);
    EXPECT_EQ(engine.currentState(), S::combatDrive);
    EXPECT_EQ(engine.targetBPM(), 128.0);
    engine.startAdaptiveScore(S::tensionPulse, true);
    EXPECT_EQ(engine.currentState(), S::tensionPulse);
    EXPECT_EQ(engine.targetBPM(), 108.0);
    EXPECT_EQ(engine.playerNode(), nullptr) << "a dry run makes no audio objects";
    EXPECT_FALSE(engine.isPlaying());
}

TEST(AdaptiveMusicEngine, FrameCountsAndRefusedLengths) {
    VelSoundVel4AdaptiveMusicEngineV950 engine;
    struct Case {
        double dur, rate;
        size_t frames;
    };
    for (const Case& c : {Case{0.01, 44100, 1024}, Case{0, 44100, 1024}, Case{-3, 44100, 1024},
                          Case{4.0, 44100, 176400}, Case{1.5, 22050, 33075}, Case{0.99999, 1000, 1024},
                          Case{2.00001, 1000, 2000}}) {
        const auto buf = engine.synthesizeStemBuffer(S::victoryResolve, c.dur, c.rate);
        EXPECT_EQ(buf.samplesL.size(), c.frames) << c.dur << " s at " << c.rate;
        EXPECT_EQ(buf.samplesR.size(), c.frames);
    }
    // Frame times are floats: a rate whose float is 0 or infinite, or one so small that
    // the last frame's time overflows, would give NaN samples.
    for (auto [dur, rate] : {std::pair{NAN, 44100.0}, {INFINITY, 44100.0}, {1e300, 44100.0}, {1e6, 44100.0},
                             {1.0, 0.0}, {1.0, -44100.0}, {1.0, NAN}, {1.0, 1e-50}, {1.0, 1e-40}, {1e-300, 1e300}}) {
        EXPECT_THROW(engine.synthesizeStemBuffer(S::combatDrive, dur, rate), pk::StudioError) << dur << " " << rate;
    }
}

TEST(AdaptiveMusicEngine, EveryStateStaysInBoundsAndReportsTheRmsOfItsSamples) {
    VelSoundVel4AdaptiveMusicEngineV950 engine;
    for (S s : S::allCases) {
        const auto buf = engine.synthesizeStemBuffer(s, 2.0, 44100);
        double acc = 0;
        float peak = 0;
        for (size_t i = 0; i < buf.samplesL.size(); ++i) {
            peak = std::max({peak, std::fabs(buf.samplesL[i]), std::fabs(buf.samplesR[i])});
            acc += 0.5 * (double(buf.samplesL[i]) * buf.samplesL[i] + double(buf.samplesR[i]) * buf.samplesR[i]);
        }
        EXPECT_LE(peak, 0.95f) << s.rawValue();
        if (s == S::heroicBossBrass) {
            EXPECT_GT(peak, 0.8f) << "the loudest state comes near the limit";
        }
        const float rms = float(std::sqrt(acc / double(buf.samplesL.size())));
        EXPECT_NEAR(buf.snapshot.synthesizedPeakRMS, rms, 1e-6f) << s.rawValue();
        EXPECT_GT(rms, 0.02f);
        const VelStemGainsV950 g = engine.stemGains(s);
        EXPECT_EQ(buf.snapshot, (VelAdaptiveMusicMixSnapshotV950{s, s.bpm(), g.pad, g.bass, g.perc, g.lead, 44100.0,
                                                                 buf.snapshot.synthesizedPeakRMS}));
    }
}

TEST(AdaptiveMusicEngine, LeadAndBassSitOnTheChordOfTheState) {
    VelSoundVel4AdaptiveMusicEngineV950 engine;
    struct Case {
        S state;
        double root;  // chord root; the other chord's root is the foil
        double fifth;
        double otherRoot, otherFifth;
    };
    const double dRoot = 146.83, dFifth = 220.0, fRoot = 174.61, fFifth = 261.63;
    for (const Case& c : {Case{S::ambientExploration, dRoot, dFifth, fRoot, fFifth},
                          Case{S::coastalSerene, fRoot, fFifth, dRoot, dFifth},
                          Case{S::victoryResolve, fRoot, fFifth, dRoot, dFifth}}) {
        const auto buf = engine.synthesizeStemBuffer(c.state, 4.0, 44100);
        const auto& x = buf.samplesL;
        const double lead = amplitudeAt(x, 2 * c.fifth, 44100), leadFoil = amplitudeAt(x, 2 * c.otherFifth, 44100);
        const double lead2 = amplitudeAt(x, 4 * c.fifth, 44100), lead2Foil = amplitudeAt(x, 4 * c.otherFifth, 44100);
        const double bass = amplitudeAt(x, c.root / 2, 44100), bassFoil = amplitudeAt(x, c.otherRoot / 2, 44100);
        const double pad = amplitudeAt(x, c.root, 44100);
        const VelStemGainsV950 g = engine.stemGains(c.state);
        // The lead's fundamental carries 0.55 × 0.46 × gain × the swell (0.62 on average).
        EXPECT_NEAR(lead, 0.55 * 0.46 * g.lead * 0.62, 0.3 * 0.55 * 0.46 * g.lead) << c.state.rawValue();
        EXPECT_GT(lead, 20 * leadFoil) << c.state.rawValue();
        EXPECT_GT(lead2, 10 * lead2Foil) << c.state.rawValue();
        EXPECT_GT(bass, 5 * bassFoil) << c.state.rawValue();
        EXPECT_NEAR(pad, 0.55 * 0.45 * g.pad, 0.05) << c.state.rawValue();
    }
}

TEST(AdaptiveMusicEngine, PlaysTheLoopAtVolumeReplacesItAndStops) {
    VelSoundVel4AdaptiveMusicEngineV950 engine;
    engine.startAdaptiveScore(S::tensionPulse);
    EXPECT_TRUE(engine.isPlaying());
    const pk::audio::LoopPlayer* player = engine.playerNode();
    ASSERT_NE(player, nullptr);
    EXPECT_FLOAT_EQ(player->volume(), 0.24f);
    EXPECT_TRUE(player->isPlaying());

    engine.startAdaptiveScore(S::victoryResolve);
    EXPECT_EQ(engine.playerNode(), player) << "the second start reuses the player";
    EXPECT_EQ(engine.currentState(), S::victoryResolve);

    auto& out = pk::audio::AudioOutput::shared();
    std::mutex m;
    std::condition_variable cv;
    std::vector<float> seen;
    const uint64_t tap = out.addTap([&](std::span<const float> s, int) {
        std::lock_guard lock(m);
        seen.insert(seen.end(), s.begin(), s.end());
        cv.notify_all();
    });
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return seen.size() >= 8192; }))
            << "the output runs on the dummy driver";
    }
    out.removeTap(tap);
    // What plays is the victory loop at 0.24, continuing from some point of the loop.
    VelSoundVel4AdaptiveMusicEngineV950 other;
    const auto loop = other.synthesizePreviewLoop(S::victoryResolve);
    const size_t n = loop.samplesL.size();
    size_t offset = n;
    for (size_t k = 0; k < n && offset == n; ++k) {
        bool match = true;
        for (size_t j = 0; j < 8 && match; ++j)
            match = std::fabs(seen[2 * j] - 0.24f * loop.samplesL[(k + j) % n]) < 1e-7f &&
                    std::fabs(seen[2 * j + 1] - 0.24f * loop.samplesR[(k + j) % n]) < 1e-7f;
        if (match) offset = k;
    }
    ASSERT_LT(offset, n) << "the tapped mix is not the victory loop";
    for (size_t j = 0; j < 4096; ++j) {
        ASSERT_FLOAT_EQ(seen[2 * j], 0.24f * loop.samplesL[(offset + j) % n]) << j;
    }

    engine.stopAdaptiveScore();
    EXPECT_FALSE(engine.isPlaying());
    EXPECT_FALSE(player->isPlaying());
    std::vector<float> block(512);
    out.render(block.data(), 256);
    EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](float v) { return v == 0.0f; }));
}

// The preview plays its 4 s loop over and over: the jump from its last frame back to its
// first must be no larger than the loop's own steps (its 99th percentile), in every state.
// Only the join changes: the loop holds the score's first 4 s but for their last 50 ms,
// starting at most 10 ms into the buffer.
TEST(AdaptiveMusicEngine, PreviewLoopJoinsWithoutAClickInEveryState) {
    VelSoundVel4AdaptiveMusicEngineV950 engine;
    for (S s : S::allCases) {
        const auto loop = engine.synthesizePreviewLoop(s);
        EXPECT_EQ(engine.currentState(), s);
        const auto score = engine.synthesizeStemBuffer(s, 4.0, 44100);
        const size_t n = loop.samplesL.size();
        ASSERT_EQ(n, 176400u);
        ASSERT_EQ(loop.samplesR.size(), n);
        const size_t kept = n - 2205;
        size_t start = 0;
        while (start <= 441 && !std::equal(score.samplesL.begin(), score.samplesL.begin() + long(kept),
                                           loop.samplesL.begin() + long(start)))
            ++start;
        ASSERT_LE(start, 441u) << s.rawValue() << ": the score is not in the loop";
        EXPECT_TRUE(std::equal(score.samplesR.begin(), score.samplesR.begin() + long(kept),
                               loop.samplesR.begin() + long(start)));
        std::vector<float> steps;
        float wrap = 0, peak = 0;
        for (const auto* ch : {&loop.samplesL, &loop.samplesR}) {
            for (size_t i = 0; i + 1 < n; ++i) steps.push_back(std::fabs((*ch)[i + 1] - (*ch)[i]));
            wrap = std::max(wrap, std::fabs((*ch)[0] - (*ch)[n - 1]));
            for (float v : *ch) peak = std::max(peak, std::fabs(v));
        }
        std::nth_element(steps.begin(), steps.begin() + long(steps.size() * 99 / 100), steps.end());
        const float p99 = steps[steps.size() * 99 / 100];
        EXPECT_LE(wrap, p99) << s.rawValue();
        EXPECT_LE(peak, 0.95f) << s.rawValue();
    }
}
