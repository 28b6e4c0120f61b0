#pragma once
// The audio end of live co-op voice: microphone blocks are thinned to 16 kHz, gated,
// encoded as voice packets and handed to a callback; received packets are decoded,
// spatialised for the listener and queued for playback. Also the voice self-test.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "MarblewickCreatorStudio/VelIMAADPCMVoiceCodecV1170.h"
#include "PlatformKit/Audio/Microphone.h"
#include "PlatformKit/Audio/QueuePlayer.h"
#include "PlatformKit/Math/Math.h"

namespace creator {

class VelLive3DProximityVoiceEngineV1170 {
public:
    // Called on the audio capture thread with each encoded packet and its level (0..1).
    using PacketCallback = std::function<void(const std::vector<uint8_t>& packet, float level)>;

    static constexpr double voiceSampleRate = 16000;
    // Capture is asked at a rate the thinning step divides exactly, so packets labelled
    // 16 kHz really are 16 kHz; SDL converts from the device's own rate.
    static constexpr double captureSampleRate = 48000;
    static constexpr int captureBlockFrames = 1024;
    static constexpr float gateLevel = 0.012f;
    // Playback latency bound: every speaker shares one queue, which never holds more than
    // 250 ms; what a packet brings beyond that is cut instead of letting delay grow.
    static constexpr int64_t maxQueuedFrames = 4000;

    struct EncodedBlock {
        std::vector<uint8_t> packet;
        float level = 0;  // min(rms × 6, 1)
        bool operator==(const EncodedBlock&) const = default;
    };

    VelLive3DProximityVoiceEngineV1170();
    virtual ~VelLive3DProximityVoiceEngineV1170();
    VelLive3DProximityVoiceEngineV1170(const VelLive3DProximityVoiceEngineV1170&) = delete;
    VelLive3DProximityVoiceEngineV1170& operator=(const VelLive3DProximityVoiceEngineV1170&) = delete;

    // Starts capture and playback once; a failed audio start leaves it stopped and
    // silent, and a later call tries again.
    virtual void startLiveCaptureAndPlayback();
    virtual void stop();
    virtual bool isRunning() const { return isRunning_.load(); }

    void setOnEncodedVoicePacket(PacketCallback callback);
    // Hands one encoded packet to the callback (what the capture thread does per block).
    void deliverEncodedPacket(const std::vector<uint8_t>& packet, float level);

    // Plays a received packet for the listener; ignored while stopped, undecodable or of
    // rate 0, for a position that is not finite, or when the playback queue is full.
    virtual void ingestRemoteVoicePacket(std::span<const uint8_t> packet, pk::float3 listenerPos, pk::float3 listenerRight,
                                 pk::float3 speakerPos, int64_t occludingWalls);

    static VelLiveVoiceLoopbackAuditV1170 runSelfTestLoopbackVerification();

    // One microphone block (channel 0 of `interleaved`): every step-th sample, step =
    // round(rate / 16000) (at least 1); quieter than the gate gives nothing.
    static size_t thinningStep(double inputSampleRate);
    static std::optional<EncodedBlock> processMicrophoneBlock(std::span<const float> interleaved, int channels,
                                                              int frames, double inputSampleRate);

    // Stereo frames waiting to be played.
    int64_t queuedPlaybackFrames() const { return player_->queuedFrames(); }
    bool isCapturing() const { return microphone_.isRunning(); }

private:
    void onMicrophoneBlock(const pk::audio::Microphone::Block& block);

    std::shared_ptr<pk::audio::QueuePlayer> player_;
    pk::audio::Microphone microphone_;
    std::atomic<bool> isRunning_{false};
    std::mutex callbackMutex_;
    std::shared_ptr<const PacketCallback> onEncodedVoicePacket_;
};

}  // namespace creator
