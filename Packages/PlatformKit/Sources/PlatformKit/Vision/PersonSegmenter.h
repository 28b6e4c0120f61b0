#pragma once
// Person segmentation without downloadable model weights: a face found by the frontal-face
// Haar cascade that Debian's opencv-data ships seeds a head-and-shoulders region, which
// GrabCut refines on a small copy of the frame. The previous frame's mask seeds the next,
// so a still person settles in one iteration per frame. No face, no mask.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "PlatformKit/Draw2D/Bitmap.h"

namespace pk::vision {

// An 8-bit matte, rows top first without padding: 255 is the person, 0 the background,
// values between are soft edges.
struct GrayMask {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> values;

    static GrayMask filled(int width, int height, uint8_t value);
    bool isValid() const { return width > 0 && height > 0 && values.size() == size_t(width) * size_t(height); }
    uint8_t at(int x, int y) const { return values[size_t(y) * size_t(width) + size_t(x)]; }
};

// A face in frame pixels, origin at the top left.
struct FaceBox {
    double x = 0, y = 0, width = 0, height = 0;
};

class PersonSegmenter {
public:
    virtual ~PersonSegmenter() = default;
    // The person's matte of a BGRA frame, at any size the segmenter works at (callers
    // scale it to the frame); empty when no person is found. Not thread-safe: one
    // segmenter serves one stream of frames.
    virtual std::optional<GrayMask> segment(const draw2d::BitmapView& frame) = 0;
};

class FaceSeededPersonSegmenter final : public PersonSegmenter {
public:
    static constexpr const char* kDefaultCascade =
        "/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml";

    struct Options {
        std::filesystem::path cascadeFile = kDefaultCascade;
        int workingWidth = 160;    // GrabCut runs on a copy this wide
        int detectionWidth = 320;  // the cascade runs on a copy this wide
        int firstIterations = 3;   // GrabCut iterations without a previous mask
        int followIterations = 1;  // and with one
        int missedFramesKept = 4;  // the cascade misses single frames: keep the face that long
    };

    FaceSeededPersonSegmenter();
    explicit FaceSeededPersonSegmenter(Options options);
    ~FaceSeededPersonSegmenter() override;
    FaceSeededPersonSegmenter(const FaceSeededPersonSegmenter&) = delete;
    FaceSeededPersonSegmenter& operator=(const FaceSeededPersonSegmenter&) = delete;

    // False when the cascade file could not be loaded: then no face, and no mask, is found.
    bool hasFaceDetector() const;

    std::optional<GrayMask> segment(const draw2d::BitmapView& frame) override;
    // The same with the face given instead of detected (a caller that tracks faces itself).
    // Empty as well for a face that is not finite, or far larger than the frame or off it.
    std::optional<GrayMask> segment(const draw2d::BitmapView& frame, const FaceBox& face);
    // Faces in the frame, largest first.
    std::vector<FaceBox> detectFaces(const draw2d::BitmapView& frame);
    // Forgets the previous mask and face.
    void reset();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace pk::vision
