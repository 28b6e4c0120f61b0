#include "KestreluneStudio/StudioScorePreview.h"

#include "PlatformKit/Audio/AudioOutput.h"

namespace kestrelune {

namespace {

class LiveScorePreview final : public StudioScorePreview {
public:
    void start(creator::VelMusicIntensityStateV950 mood) override {
        // The music engine plays on without a device; the preview must say there is none.
        pk::audio::AudioOutput::shared().start();
        creator::VelSoundVel4AdaptiveMusicEngineV950::shared().startAdaptiveScore(mood, false);
    }
    void stop() override { creator::VelSoundVel4AdaptiveMusicEngineV950::shared().stopAdaptiveScore(); }
};

}  // namespace

std::shared_ptr<StudioScorePreview> StudioScorePreview::live() { return std::make_shared<LiveScorePreview>(); }

}  // namespace kestrelune
