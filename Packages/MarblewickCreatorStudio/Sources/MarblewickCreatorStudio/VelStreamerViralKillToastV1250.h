#pragma once
// The kill toast a streamer overlay shows after a notable kill: an icon, the callout and,
// when the moment was bookmarked for a highlight clip, a red "CLIP READY" badge, on a
// capsule. Stateless; whoever shows it decides when and animates its transition.
#include <optional>
#include <string>

#include "PlatformKit/Ui/ImGui.h"

namespace creator {

struct VelStreamerViralKillToastV1250 {
    std::optional<std::string> callout;
    bool clipBookmarked = false;

    // Draws the toast at the cursor (probe scope "killToast"); nothing at all without a
    // callout. `presence` is where the insertion or removal transition stands, 0 (gone)
    // to 1 (shown): the toast scales from 0.88 about its centre and fades in with it.
    void body(float presence = 1.0f) const;
    // The toast's size before any transition scale; zero when it shows nothing.
    ImVec2 size() const;

    bool visible() const { return callout && !callout->empty(); }
};

}  // namespace creator
