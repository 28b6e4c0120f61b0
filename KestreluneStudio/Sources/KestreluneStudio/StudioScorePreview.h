#pragma once
// The soundtrack preview: the adaptive score looped for a mood, and silenced again.
// start() throws the sound system's error when no output device can be opened.
#include <memory>

#include "MarblewickCreatorStudio/VelSoundVel4AdaptiveMusicEngineV950.h"

namespace kestrelune {

class StudioScorePreview {
public:
    virtual ~StudioScorePreview() = default;
    virtual void start(creator::VelMusicIntensityStateV950 mood) = 0;
    virtual void stop() = 0;

    // The process's music engine (its shared instance).
    static std::shared_ptr<StudioScorePreview> live();
};

}  // namespace kestrelune
