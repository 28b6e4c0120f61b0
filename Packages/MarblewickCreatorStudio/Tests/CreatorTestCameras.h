#pragma once
// A camera feed for the creator tests: the camera answers with whatever `access` holds
// when the feed asks, and, when granted, streams synthetic frames at the size asked.
// `access` is held by reference, so it must outlive the feed.
#include <memory>

#include "MarblewickCreatorStudio/VelCreatorCameraFeedV1045.h"
#include "PlatformKit/Capture/FrameSource.h"
#include "PlatformKit/Capture/SyntheticFrameSource.h"

namespace creator_test {

inline std::shared_ptr<creator::VelCreatorCameraFeedV1045> syntheticCameraFeed(
    const pk::capture::CameraAccess& access) {
    auto cams = std::make_shared<pk::capture::FunctionCameraProvider>([&access](const pk::capture::CameraRequest& r) {
        pk::capture::CameraOpenResult out;
        out.access = access;
        if (access == pk::capture::CameraAccess::granted)
            out.source = std::make_unique<pk::capture::SyntheticFrameSource>(
                pk::capture::SyntheticFrameSource::Options{r.width, r.height, 60, {}});
        return out;
    });
    return std::make_shared<creator::VelCreatorCameraFeedV1045>(
        creator::VelCreatorCameraFeedV1045::Environment{cams, nullptr});
}

}  // namespace creator_test
