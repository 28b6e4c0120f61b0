#include "MarblewickCreatorStudio/VelSoundVel4AdaptiveMusicEngineV950.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "PlatformKit/Audio/AudioOutput.h"
#include "PlatformKit/Audio/LoopPlayer.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace creator {

namespace {

struct StateRow {
    const char* name;
    double bpm;
    VelStemGainsV950 gains;
};

constexpr StateRow kStates[6] = {
    {"ambientExploration", 88, {0.48f, 0.24f, 0.08f, 0.14f}},
    {"coastalSerene", 78, {0.42f, 0.14f, 0.00f, 0.18f}},
    {"tensionPulse", 108, {0.52f, 0.78f, 0.48f, 0.30f}},
    {"combatDrive", 128, {0.64f, 0.92f, 0.95f, 0.78f}},
    {"heroicBossBrass", 138, {0.78f, 1.00f, 1.00f, 1.00f}},
    {"victoryResolve", 104, {0.68f, 0.42f, 0.35f, 0.75f}},
};

inline float fract(float x) { return x - std::floor(x); }

}  // namespace

const std::array<VelMusicIntensityStateV950, 6> VelMusicIntensityStateV950::allCases = {
    ambientExploration, coastalSerene, tensionPulse, combatDrive, heroicBossBrass, victoryResolve};

const char* VelMusicIntensityStateV950::rawValue() const { return kStates[value].name; }

std::optional<VelMusicIntensityStateV950> VelMusicIntensityStateV950::fromRaw(std::string_view raw) {
    for (auto s : allCases)
        if (raw == s.rawValue()) return s;
    return std::nullopt;
}

double VelMusicIntensityStateV950::bpm() const { return kStates[value].bpm; }

VelMusicIntensityStateV950 VelMusicIntensityStateV950::fromJson(const pk::json::Json& j) {
    const auto s = fromRaw(pk::json::asString(j, "VelMusicIntensityStateV950"));
    if (!s) pk::json::failDecode(pk::json::dataCorrupted, "Cannot initialize VelMusicIntensityStateV950 from invalid String value");
    return *s;
}

VelSoundVel4AdaptiveMusicEngineV950::~VelSoundVel4AdaptiveMusicEngineV950() {
    if (playerNode_) {
        playerNode_->stop();
        pk::audio::AudioOutput::shared().detach(playerNode_.get());
    }
}

VelSoundVel4AdaptiveMusicEngineV950& VelSoundVel4AdaptiveMusicEngineV950::shared() {
    static auto* engine = new VelSoundVel4AdaptiveMusicEngineV950();  // lives to process exit
    return *engine;
}

VelMusicIntensityStateV950 VelSoundVel4AdaptiveMusicEngineV950::currentState() const {
    std::lock_guard lock(lock_);
    return currentState_;
}

double VelSoundVel4AdaptiveMusicEngineV950::targetBPM() const {
    std::lock_guard lock(lock_);
    return targetBPM_;
}

void VelSoundVel4AdaptiveMusicEngineV950::setIntensity(VelMusicIntensityStateV950 state) {
    std::lock_guard lock(lock_);
    currentState_ = state;
    targetBPM_ = state.bpm();
}

VelStemGainsV950 VelSoundVel4AdaptiveMusicEngineV950::stemGains(VelMusicIntensityStateV950 state) const {
    return kStates[state.value].gains;
}

namespace {

// Frames first..first+count-1 of a state's score (a frame's time is its index over the
// rate, so negative indices continue the score backwards from its start) into L and R.
// Returns the sum over the frames of 0.5 × (left² + right²).
double renderFrames(VelMusicIntensityStateV950 state, const VelStemGainsV950& g, int64_t first, int64_t count,
                    float sr, float* L, float* Rr) {
    const bool fMajor = state.isFMajor();
    const float R = fMajor ? 174.61f : 146.83f;
    const float T = fMajor ? 220.0f : 174.61f;
    const float F = fMajor ? 261.63f : 220.0f;
    const float b = float(state.bpm() / 60.0);
    constexpr float twoPi = 6.2831855f;

    double acc = 0;
    for (int64_t j = 0; j < count; ++j) {
        const float t = float(first + j) / sr;
        const float padL = g.pad * (0.45f * std::sin(twoPi * R * t) + 0.30f * std::sin(twoPi * T * t) +
                                    0.25f * std::sin(twoPi * 1.003f * F * t));
        const float padR = g.pad * (0.45f * std::sin(twoPi * 0.998f * R * t) + 0.30f * std::sin(twoPi * 1.002f * T * t) +
                                    0.25f * std::sin(twoPi * F * t));
        const float bass = std::sin(twoPi * (R / 2.0f) * t) * std::exp(-4.5f * fract(2.0f * b * t)) * g.bass * 0.55f;
        const float k = fract(b * t);
        const float kick = std::sin(twoPi * k * (55.0f + 95.0f * std::exp(-24.0f * k))) * std::exp(-9.0f * k) * g.perc * 0.5f;
        const float lead = (std::sin(twoPi * 2.0f * F * t) + 0.42f * std::sin(twoPi * 4.0f * F * t)) *
                           (0.62f + 0.38f * std::sin(2.2f * t)) * g.lead * 0.46f;
        const float l = std::clamp(0.55f * (padL + bass + kick + lead), -0.95f, 0.95f);
        const float r = std::clamp(0.55f * (padR + bass + kick + lead), -0.95f, 0.95f);
        L[j] = l;
        Rr[j] = r;
        acc += 0.5 * (double(l) * l + double(r) * r);
    }
    return acc;
}

}  // namespace

VelStemBufferV950 VelSoundVel4AdaptiveMusicEngineV950::synthesizeStemBuffer(VelMusicIntensityStateV950 state,
                                                                             double durationSec, double sampleRate) {
    auto refuse = [] {
        throw pk::StudioError("MarblewickCreatorStudio", 1,
                              "Score length must be a finite number of frames below 2^31 at a positive sample rate.");
    };
    const double product = durationSec * sampleRate;
    if (!(sampleRate > 0) || !(sampleRate <= double(std::numeric_limits<float>::max())) || !std::isfinite(product) ||
        product >= 2147483648.0)
        refuse();
    const int64_t n = std::max<int64_t>(int64_t(product), 1024);
    // Frame times are single precision: a rate whose float is 0, or so small that the last
    // frame's time overflows, would give infinite times and NaN samples.
    if (!std::isfinite(float(n - 1) / float(sampleRate))) refuse();
    setIntensity(state);
    // The tempo comes from the state itself: reading targetBPM back could see another
    // thread's state set in between.
    const VelStemGainsV950 g = stemGains(state);

    VelStemBufferV950 out;
    out.samplesL.assign(size_t(n), 0.0f);
    out.samplesR.assign(size_t(n), 0.0f);
    const double acc = renderFrames(state, g, 0, n, float(sampleRate), out.samplesL.data(), out.samplesR.data());
    out.snapshot = VelAdaptiveMusicMixSnapshotV950{state,  state.bpm(), g.pad, g.bass, g.perc,
                                                   g.lead, sampleRate,  float(std::sqrt(acc / double(n)))};
    return out;
}

VelStemBufferV950 VelSoundVel4AdaptiveMusicEngineV950::synthesizePreviewLoop(VelMusicIntensityStateV950 state) {
    constexpr double rate = 44100.0;
    VelStemBufferV950 loop = synthesizeStemBuffer(state, 4.0, rate);
    auto& L = loop.samplesL;
    auto& R = loop.samplesR;
    const size_t n = L.size();

    // No state fits a whole number of beats (nor its sines whole cycles) into 4 s. The
    // last 50 ms fade into the score as it sounds just before its start, so the loop's
    // end runs on into its first frame as smoothly as the score itself does.
    constexpr size_t fade = 2205;
    std::vector<float> leadInL(fade), leadInR(fade);
    renderFrames(state, stemGains(state), -int64_t(fade), int64_t(fade), float(rate), leadInL.data(), leadInR.data());
    for (size_t j = 0; j < fade; ++j) {
        const float x = float(j + 1) / float(fade);
        const float w = x * x * (3.0f - 2.0f * x);
        L[n - fade + j] += (leadInL[j] - L[n - fade + j]) * w;
        R[n - fade + j] += (leadInR[j] - R[n - fade + j]) * w;
    }

    // The score starts with every sine rising through zero together, its steepest moment.
    // The buffer is turned to begin up to 10 ms earlier, in the lead-in, on its gentlest
    // step, which the buffer's wrap from last frame to first then is.
    size_t turn = 1;
    float gentlest = std::numeric_limits<float>::infinity();
    for (size_t d = 1; d <= 441; ++d) {
        const size_t i = n - d;
        const float step = std::max(std::fabs(L[i] - L[i - 1]), std::fabs(R[i] - R[i - 1]));
        if (step < gentlest) gentlest = step, turn = d;
    }
    std::rotate(L.begin(), L.end() - long(turn), L.end());
    std::rotate(R.begin(), R.end() - long(turn), R.end());
    return loop;
}

void VelSoundVel4AdaptiveMusicEngineV950::startAdaptiveScore(VelMusicIntensityStateV950 state, bool dryRun) {
    setIntensity(state);
    if (dryRun) return;
    VelStemBufferV950 loop;
    try {
        loop = synthesizePreviewLoop(state);
    } catch (const std::exception&) {
        return;  // cannot happen for 4 s at 44.1 kHz; nothing plays
    }
    std::lock_guard lock(playbackMutex_);
    auto& output = pk::audio::AudioOutput::shared();
    if (!playerNode_) {
        playerNode_ = std::make_shared<pk::audio::LoopPlayer>();
        output.attach(playerNode_);
    }
    try {
        output.start();
    } catch (const pk::StudioError&) {
        // No sound device: the loop stays scheduled and the next start opens it again.
    }
    playerNode_->stop();
    playerNode_->scheduleLoop(std::move(loop.samplesL), std::move(loop.samplesR));
    playerNode_->setVolume(0.24f);
    playerNode_->play();
    isPlaying_.store(true);
}

void VelSoundVel4AdaptiveMusicEngineV950::stopAdaptiveScore() {
    std::lock_guard lock(playbackMutex_);
    if (playerNode_) playerNode_->stop();
    isPlaying_.store(false);
}

const pk::audio::LoopPlayer* VelSoundVel4AdaptiveMusicEngineV950::playerNode() const {
    std::lock_guard lock(playbackMutex_);
    return playerNode_.get();
}

}  // namespace creator
