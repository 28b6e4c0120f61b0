#pragma once
// Proves the facecam's cut-out compositing without a camera: a synthetic camera frame and
// person mask are blended the way the feed's "BG Occlusion" mode does it, the result's
// transparency is measured, and a 1280 × 720 proof picture of a creator overlay is
// written as PNG.
#include <filesystem>
#include <string>

#include "PlatformKit/Draw2D/Bitmap.h"
#include "PlatformKit/Foundation/Json.h"

namespace pk::draw2d {
class Canvas;
}

namespace creator {

struct VelCreatorFacecamSelfTestReceiptV1045 {
    std::string proofPNGPath;
    double bgOcclusionTransparentRatio = 0;  // share of composite pixels with alpha below 12
    double subjectOpaqueRatio = 0;           // share with alpha above 240
    bool replayKitAvailable = false;
    bool dragAndScaleClampedOK = false;
    bool micLevelMeterWorking = false;

    bool operator==(const VelCreatorFacecamSelfTestReceiptV1045&) const = default;

    // Keys are the field names in this order; decoding requires all six.
    pk::json::OrderedJson toJson() const;
    static VelCreatorFacecamSelfTestReceiptV1045 fromJson(const pk::json::OrderedJson& j);
};

struct VelCreatorFacecamSelfTestV1045 {
    static constexpr const char* kErrorDomain = "CreatorCam";
    enum ErrorCode : int {
        proofCanvasUnavailable = 1,   // the 1280 × 720 canvas
        cameraCanvasUnavailable = 2,  // the 256 × 256 camera or mask canvas, or their composite
        pngDestinationUnavailable = 3,
        pngFinalizeFailed = 4,
    };

    // Synchronous on the caller's thread; calls with different paths may run at once.
    // Throws StudioError "CreatorCam" 1–4, or the file system's error when the folder of
    // `proofPNG` cannot be created.
    static VelCreatorFacecamSelfTestReceiptV1045 runSelfTestAndRenderProof(const std::filesystem::path& proofPNG);

    struct AlphaShares {
        double transparent = 0;  // alpha 0…11
        double opaque = 0;       // alpha 241…255
    };
    // Shares of the image's pixels, walked row by row with its own stride and size.
    static AlphaShares measureAlpha(const pk::draw2d::BitmapView& image);

    // The synthetic camera frame and its person mask that the self-test blends, painted
    // into a 256 × 256 canvas whose origin is at the bottom left.
    static void paintSyntheticCameraFrame(pk::draw2d::Canvas& canvas);
    static void paintSyntheticPersonMask(pk::draw2d::Canvas& canvas);
};

}  // namespace creator
