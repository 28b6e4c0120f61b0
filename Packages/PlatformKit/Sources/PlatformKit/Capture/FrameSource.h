#pragma once
// Camera frames behind one small interface: a source streams BGRA frames (premultiplied,
// opaque for cameras) and hands out the newest one; a device provider finds and opens the
// first camera that can capture and says in plain terms why there is none.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "PlatformKit/Draw2D/Bitmap.h"

namespace pk::capture {

// Frames are shared read-only once made, so a consumer can keep one without copying.
using FrameImage = std::shared_ptr<const draw2d::Bitmap>;

struct CameraFrame {
    FrameImage image;
    int64_t index = 0;      // counts the frames the source produced, dropped ones included
    double timestamp = 0;   // monotonic seconds when the frame was made
};

class FrameSource {
public:
    virtual ~FrameSource() = default;
    // Starts streaming (again); a running source is left alone.
    virtual void start() = 0;
    // Stops streaming; nextFrame returns nothing until the next start.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    // The newest frame not handed out yet, waiting up to timeoutSeconds for one. Frames
    // that were superseded before anybody asked are dropped, never queued. A source that
    // can no longer capture may throw why; its reader takes that as the camera gone.
    virtual std::optional<CameraFrame> nextFrame(double timeoutSeconds) = 0;
};

// What stands between the caller and a camera.
enum class CameraAccess {
    granted,     // a source is open
    noDevice,    // no device that can capture, or none that could be opened
    restricted,  // devices exist but this user may not open them (EACCES)
    denied,      // opening was refused by a policy (EPERM)
};

struct CameraRequest {
    int width = 640;
    int height = 480;
};

struct CameraOpenResult {
    CameraAccess access = CameraAccess::noDevice;
    std::unique_ptr<FrameSource> source;  // set exactly when access is granted
    std::string deviceName;
};

class CameraDeviceProvider {
public:
    virtual ~CameraDeviceProvider() = default;
    // Opens the first camera that can capture, configured for the request. Runs on the
    // caller's thread (the capture thread) and may take a moment.
    virtual CameraOpenResult openCamera(const CameraRequest& request) = 0;
};

// A provider that answers with whatever its function makes: sources of files or synthetic
// frames, and scripted failures in tests.
class FunctionCameraProvider : public CameraDeviceProvider {
public:
    explicit FunctionCameraProvider(std::function<CameraOpenResult(const CameraRequest&)> open)
        : open_(std::move(open)) {}
    CameraOpenResult openCamera(const CameraRequest& request) override { return open_(request); }

private:
    std::function<CameraOpenResult(const CameraRequest&)> open_;
};

}  // namespace pk::capture
