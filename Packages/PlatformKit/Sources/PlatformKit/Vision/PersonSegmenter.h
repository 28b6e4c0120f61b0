#pragma once
// Person segmentation without downloadable model weights. The Haar cascades that Debian's
// opencv-data ships find the person: a frontal face, a profile face looking either way or
// an upper body seeds a head-and-shoulders region that GrabCut refines on a small copy of
// the frame. Between detections the last good matte is carried into the next frame by the
// optical flow of the features inside it and refined by GrabCut against the person's
// colours as last seen, so a head that turns away keeps its cut-out. The person counts as
// gone only when no cascade finds them and the tracked region has lost its support (GrabCut
// no longer keeps most of it, or what it keeps has the room's colours rather than theirs)
// for `goneSeconds`. The small matte is upsampled to the frame by a guided filter against
// the frame itself, so its edge follows the person's outline.
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

// What a cascade found, in frame pixels.
struct PersonSeed {
    enum class Kind { frontalFace, profileFacingLeft, profileFacingRight, upperBody };
    Kind kind = Kind::frontalFace;
    FaceBox box;
};

class PersonSegmenter {
public:
    virtual ~PersonSegmenter() = default;
    // The person's matte of a BGRA frame taken at `timestamp` (monotonic seconds), at the
    // frame's size or any smaller one (callers scale it to the frame); empty when no person
    // is in view. Not thread-safe: one segmenter serves one stream of frames, in order.
    virtual std::optional<GrayMask> segment(const draw2d::BitmapView& frame, double timestamp) = 0;
};

class CascadeSeededPersonSegmenter final : public PersonSegmenter {
public:
    static constexpr const char* kFrontalFaceCascade =
        "/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml";
    static constexpr const char* kProfileFaceCascade = "/usr/share/opencv4/haarcascades/haarcascade_profileface.xml";
    static constexpr const char* kUpperBodyCascade = "/usr/share/opencv4/haarcascades/haarcascade_upperbody.xml";
    // How long a person may go unseen by the cascades and unsupported by the tracked
    // region before the matte goes: longer than a blink of the detectors, short enough
    // that an empty room is not cut out for long.
    static constexpr double kGoneSeconds = 0.5;

    struct Options {
        std::filesystem::path frontalFaceCascade = kFrontalFaceCascade;
        std::filesystem::path profileFaceCascade = kProfileFaceCascade;
        std::filesystem::path upperBodyCascade = kUpperBodyCascade;
        int workingWidth = 256;    // GrabCut and the flow run on a copy this wide
        int detectionWidth = 320;  // and the cascades on one this wide
        double goneSeconds = kGoneSeconds;
    };

    CascadeSeededPersonSegmenter();
    explicit CascadeSeededPersonSegmenter(Options options);
    ~CascadeSeededPersonSegmenter() override;
    CascadeSeededPersonSegmenter(const CascadeSeededPersonSegmenter&) = delete;
    CascadeSeededPersonSegmenter& operator=(const CascadeSeededPersonSegmenter&) = delete;

    // Which cascade files could be loaded; without any, nobody is ever found.
    bool hasFrontalFaceDetector() const;
    bool hasProfileFaceDetector() const;
    bool hasUpperBodyDetector() const;

    // The matte at the frame's size.
    std::optional<GrayMask> segment(const draw2d::BitmapView& frame, double timestamp) override;
    // The same with the face given instead of searched for (a caller that tracks faces
    // itself). Empty for a face that is not finite, or far larger than the frame or off it.
    std::optional<GrayMask> segment(const draw2d::BitmapView& frame, double timestamp, const FaceBox& face);
    // Everything each cascade finds in the whole frame, largest first within each kind (the
    // full search that segment() spreads over several frames while nobody is tracked).
    std::vector<PersonSeed> detectSeeds(const draw2d::BitmapView& frame);
    // True while a person is being followed (seen, or unseen for less than goneSeconds).
    bool isTracking() const;
    // Forgets the person.
    void reset();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace pk::vision
