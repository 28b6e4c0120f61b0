#pragma once
// The co-op and raid maps sheet: one tab drives the local co-op lobby (room, live voice,
// squad), the other lists the community raid maps and deploys one live. It keeps only
// the selected tab and the room field; everything else it reads from the two
// process-wide objects on every frame.
#include <functional>
#include <string>

#include "MarblewickCreatorStudio/VelCloudKitUGCBrowserStoreV1175.h"
#include "MarblewickCreatorStudio/VelLiveMultipeerCoopManagerV1170.h"

namespace creator {

class VelGrimtideCoopAndUGCSheetV1175 {
public:
    static constexpr float minWidth = 520, minHeight = 460;

    using DeployHandler = std::function<void(const VelUGCRaidMapRecordV1175&)>;

    // Over the shared co-op manager and raid-map store.
    VelGrimtideCoopAndUGCSheetV1175(DeployHandler onDeployMap, std::function<void()> onDismiss);
    VelGrimtideCoopAndUGCSheetV1175(VelLiveMultipeerCoopManagerV1170& coop, VelCloudKitUGCBrowserStoreV1175& ugc,
                                    DeployHandler onDeployMap, std::function<void()> onDismiss);

    VelLiveMultipeerCoopManagerV1170& coop;
    VelCloudKitUGCBrowserStoreV1175& ugc;
    int selectedTab = 0;  // 0: co-op, 1: raid maps
    std::string roomInput = "NYC-6AVE";
    DeployHandler onDeployMap;
    std::function<void()> onDismiss;

    // Draws the sheet into the available region of the current window, at least
    // minWidth × minHeight (probe scope "coopSheet"). Button actions run after drawing.
    void body();

    // "MERCY LOBBY", "6TH AVE" or "WARTHOG SEAT <n>".
    static std::string locationText(const VelRemoteCoopAvatarV1170& avatar);

private:
    void coopTab(float width, std::function<void()>& action);
    void mapsTab(float width, std::function<void()>& action);
};

}  // namespace creator
