#include "KestreluneStudio/StudioScorePreview.h"

namespace kestrelune {

namespace {

class LiveScorePreview final : public StudioScorePreview {
public:
    void start(creator::VelMusicIntensityStateV950 mood) override {
        creator::VelSoundVel4AdaptiveMusicEngineV950::shared().startAdaptiveScore(mood, false);
    }
    void stop() override { creator::VelSoundVel4AdaptiveMusicEngineV950::shared().stopAdaptiveScore(); }
};

}  // namespace

std::shared_ptr<StudioScorePreview> StudioScorePreview::live() { return std::make_shared<LiveScorePreview>(); }

}  // namespace kestrelune
