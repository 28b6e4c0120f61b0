#pragma once
// The co-op manager's voice engine for tests: runs without a sound device and records
// every packet it is asked to play.
#include <cstdint>
#include <span>
#include <vector>

#include "MarblewickCreatorStudio/VelLive3DProximityVoiceEngineV1170.h"

class RecordingVoiceEngine : public creator::VelLive3DProximityVoiceEngineV1170 {
public:
    struct Ingest {
        std::vector<uint8_t> packet;
        pk::float3 listenerPos, listenerRight, speakerPos;
        int64_t walls;
    };
    void startLiveCaptureAndPlayback() override {
        if (!running) ++starts;
        running = true;
    }
    void stop() override { running = false; }
    bool isRunning() const override { return running; }
    void ingestRemoteVoicePacket(std::span<const uint8_t> p, pk::float3 lp, pk::float3 lr, pk::float3 sp,
                                 int64_t walls) override {
        ingested.push_back({{p.begin(), p.end()}, lp, lr, sp, walls});
    }
    bool running = false;
    int starts = 0;
    std::vector<Ingest> ingested;
};
