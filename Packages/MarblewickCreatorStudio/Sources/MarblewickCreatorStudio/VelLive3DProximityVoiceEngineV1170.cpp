#include "MarblewickCreatorStudio/VelLive3DProximityVoiceEngineV1170.h"

#include <cmath>

#include "MarblewickCreatorStudio/VelCoopPlayerStatePacketV1170.h"
#include "MarblewickCreatorStudio/VelSpatialProximityVoiceDSPV1020.h"
#include "PlatformKit/Audio/AudioOutput.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace creator {

using Engine = VelLive3DProximityVoiceEngineV1170;
using Codec = VelIMAADPCMVoiceCodecV1170;
using DSP = VelSpatialProximityVoiceDSPV1020;

Engine::VelLive3DProximityVoiceEngineV1170() : player_(std::make_shared<pk::audio::QueuePlayer>(voiceSampleRate)) {}

Engine::~VelLive3DProximityVoiceEngineV1170() { stop(); }

size_t Engine::thinningStep(double inputSampleRate) {
    const double step = pk::roundHalfAway(inputSampleRate / 16000.0);
    if (!(step >= 2)) return 1;
    return static_cast<size_t>(std::min(step, 1e6));
}

std::optional<Engine::EncodedBlock> Engine::processMicrophoneBlock(std::span<const float> interleaved, int channels,
                                                                   int frames, double inputSampleRate) {
    if (channels <= 0 || frames <= 0) return std::nullopt;
    const uint64_t usable = std::min<uint64_t>(static_cast<uint64_t>(frames), interleaved.size() / static_cast<uint64_t>(channels));
    if (usable == 0) return std::nullopt;
    const size_t step = thinningStep(inputSampleRate);
    std::vector<float> kept;
    kept.reserve(static_cast<size_t>(usable / step + 1));
    double sum = 0;
    for (uint64_t i = 0; i < usable; i += step) {
        const float x = interleaved[static_cast<size_t>(i * static_cast<uint64_t>(channels))];
        kept.push_back(x);
        sum += static_cast<double>(x) * x;
    }
    const float level = static_cast<float>(std::sqrt(sum / static_cast<double>(kept.size())));
    if (!(level > gateLevel)) return std::nullopt;
    // The label stays 16000 whatever the step gave.
    return EncodedBlock{Codec::encodeFloat32Packet(kept, 16000), std::min(level * 6.0f, 1.0f)};
}

void Engine::setOnEncodedVoicePacket(PacketCallback callback) {
    auto next = callback ? std::make_shared<const PacketCallback>(std::move(callback)) : nullptr;
    std::lock_guard<std::mutex> lock(callbackMutex_);
    onEncodedVoicePacket_ = std::move(next);
}

void Engine::onMicrophoneBlock(const pk::audio::Microphone::Block& block) {
    auto encoded = processMicrophoneBlock(block.interleaved, block.format.channels, block.frames, block.format.sampleRate);
    if (encoded) deliverEncodedPacket(encoded->packet, encoded->level);
}

void Engine::deliverEncodedPacket(const std::vector<uint8_t>& packet, float level) {
    std::shared_ptr<const PacketCallback> cb;
    {
        std::lock_guard<std::mutex> lock(callbackMutex_);
        cb = onEncodedVoicePacket_;
    }
    if (cb && *cb) (*cb)(packet, level);
}

void Engine::startLiveCaptureAndPlayback() {
    if (isRunning_.load()) return;
    auto& output = pk::audio::AudioOutput::shared();
    output.attach(player_);
    const auto input = pk::audio::Microphone::defaultInputFormat();
    if (input && input->sampleRate > 0 && input->channels >= 1) {
        try {
            // Restarting replaces the earlier capture: there is never a second tap.
            microphone_.start({captureSampleRate, 0}, captureBlockFrames,
                              [this](const pk::audio::Microphone::Block& b) { onMicrophoneBlock(b); });
        } catch (const pk::StudioError&) {
            // No usable microphone: playback still starts.
        }
    }
    try {
        output.start();
    } catch (const pk::StudioError&) {
        microphone_.stop();
        output.detach(player_.get());
        return;
    }
    player_->play();
    isRunning_.store(true);
}

void Engine::stop() {
    if (!isRunning_.load()) return;
    microphone_.stop();
    player_->stop();
    pk::audio::AudioOutput::shared().detach(player_.get());
    isRunning_.store(false);
}

void Engine::ingestRemoteVoicePacket(std::span<const uint8_t> packet, pk::float3 listenerPos, pk::float3 listenerRight,
                                     pk::float3 speakerPos, int64_t occludingWalls) {
    if (!isRunning_.load()) return;
    // A speaker (or listener) that is nowhere has nothing to say.
    if (!pk::isFinite(speakerPos) || !pk::isFinite(listenerPos)) return;
    auto decoded = Codec::decodeToFloat32(packet);
    if (!decoded) return;
    // A rate of 0 would divide by zero in the low-pass; such a packet has nothing to play.
    if (!(decoded->sampleRate > 0)) return;
    // Only ingest, on the main thread, adds to the queue and the audio thread only takes
    // from it, so what fits now still fits when it is added.
    const int64_t room = maxQueuedFrames - player_->queuedFrames();
    if (room <= 0) return;
    // Live voice has no Doppler shift, so the first frames of the mix depend only on the
    // first samples: spatialising just those trims the block to the bound.
    const auto samples = std::span(decoded->samples).first(std::min<size_t>(decoded->samples.size(), room));
    const auto mix = DSP::spatializeMonoVoice(samples, static_cast<float>(decoded->sampleRate), listenerPos,
                                              listenerRight, speakerPos, {0, 0, 0}, occludingWalls, 0.24f, 32);
    if (mix.stereoInterleavedPCM.size() < 2) return;
    const size_t frames = mix.stereoInterleavedPCM.size() / 2;
    std::vector<float> left(frames), right(frames);
    for (size_t i = 0; i < frames; ++i) {
        left[i] = mix.stereoInterleavedPCM[2 * i];
        right[i] = mix.stereoInterleavedPCM[2 * i + 1];
    }
    player_->enqueue(left, right);
}

VelLiveVoiceLoopbackAuditV1170 Engine::runSelfTestLoopbackVerification() {
    const auto wave = DSP::generateTestVoiceWave(420, 0.06f, 16000);
    const auto packet = Codec::encodeFloat32Packet(wave, 16000);
    const auto decoded = Codec::decodeToFloat32(packet);
    const std::vector<float> samples = decoded ? decoded->samples : std::vector<float>{};
    const double snr = Codec::measureSNRDB(wave, samples);

    const pk::float3 listener{0, 0, 0};
    const auto spatial = DSP::spatializeMonoVoice(samples, 16000, listener, {1, 0, 0}, listener + pk::float3(5.2f, -1.0f, 0),
                                                  {0, 0, 0}, 0, 0.24f, 32);
    const float cutoff = DSP::wallCutoffHz(2);

    const VelCoopPlayerStatePacketV1170 state(42, {-17.5f, 5.5f, -71.2f}, 1.42f, 0.64f, true, true, 1, "ORVEN-M6");
    const auto stateBytes = state.encodeBinary();
    const auto stateBack = VelCoopPlayerStatePacketV1170::decodeBinary(stateBytes);
    const bool roundTrip = stateBack && *stateBack == state && stateBytes.size() == 48;

    VelLiveVoiceLoopbackAuditV1170 a;
    a.rawPCMBytes = static_cast<int64_t>(2 * wave.size());
    a.adpcmPacketBytes = static_cast<int64_t>(packet.size());
    const double ratio = static_cast<double>(a.rawPCMBytes) / static_cast<double>(std::max<int64_t>(a.adpcmPacketBytes, 1));
    a.compressionRatio = pk::roundTo(ratio, 2);
    a.decodedSNRDB = pk::roundTo(snr, 1);
    a.spatialLeftRMS = spatial.leftRMS;
    a.spatialRightRMS = spatial.rightRMS;
    a.wallOccludedCutoffHz = cutoff;
    a.packetRoundTripOK = roundTrip;
    a.passed = roundTrip && snr >= 18.0 && ratio >= 3.4 && 2.0f * spatial.leftRMS < spatial.rightRMS;
    return a;
}

}  // namespace creator
