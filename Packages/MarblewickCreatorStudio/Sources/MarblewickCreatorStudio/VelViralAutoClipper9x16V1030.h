#pragma once
// Short vertical (1080 × 1920) H.264 highlight clips: one still gameplay image, or a drawn
// stand-in scene, slowly zooming and shaking under a broadcast frame of bands, an accent
// line, a live dot, a progress bar and three lines of text. Also owns the user's clips
// folder. Runs on the caller's thread, which it blocks until the file is finished.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "PlatformKit/Draw2D/Bitmap.h"
#include "PlatformKit/Draw2D/Canvas.h"
#include "PlatformKit/Foundation/CancelToken.h"
#include "PlatformKit/Foundation/Json.h"
#include "PlatformKit/Media/Mp4Writer.h"

namespace creator {

struct VelViralClipReceiptV1030 {
    std::string outputPath;
    int64_t width = 0;
    int64_t height = 0;
    int64_t frameCount = 0;
    double durationSeconds = 0;  // frameCount / fps
    int64_t fileSizeBytes = 0;
    std::string gameTitle;  // as given, not upper-cased
    std::string highlightHeadline;

    bool operator==(const VelViralClipReceiptV1030&) const = default;

    // Keys are the field names in this order.
    pk::json::OrderedJson toJson() const;
    static VelViralClipReceiptV1030 fromJson(const pk::json::OrderedJson& j);
};

struct VelViralAutoClipper9x16V1030 {
    static constexpr const char* kErrorDomain = "MarblewickClipper";
    enum ErrorCode : int {
        cannotAttachInput = 1,  // "Cannot attach AVAssetWriterInput"
        writerFailed = 2,       // "AVAssetWriter failed"
        badTiming = 3,          // frame rate or duration out of range
        cancelled = 4,          // the cancel token was set; the partial file is removed
    };
    static constexpr int kWidth = 1080;
    static constexpr int kHeight = 1920;
    static constexpr int kMinFrames = 30;
    static constexpr int kMaxFps = 240;
    static constexpr int64_t kAverageBitRate = 6'500'000;

    // ~/Movies/MarblewickClips, created with its parents; a failure to create it is
    // ignored here (the export then reports it).
    static std::filesystem::path defaultClipsDirectory();

    // The title with spaces, "/" and NUL turned into "_", so a file named from it always
    // lands inside the clips folder.
    static std::string safeFileStem(const std::string& title);

    // "<safeFileStem(title)>_Highlight_<whole seconds since 1970>.mp4".
    static std::string defaultFileName(const std::string& gameTitle, double secondsSince1970);

    // Writes max(30, ⌊durationSeconds × fps⌋) frames at fps (1…240) with a key frame every
    // fps frames. Without outputURL the clip goes to the clips folder under its default
    // name. An existing file at the target is replaced. The cancel token is checked once
    // per frame. Throws StudioError: "MarblewickClipper" 1–4, or the file system's or
    // encoder's own error. An export that throws leaves no file at the target.
    static VelViralClipReceiptV1030 exportVerticalViralClip(const std::string& gameTitle,
                                                            const std::string& highlightHeadline,
                                                            const std::string& statBadge,
                                                            const pk::draw2d::Bitmap* sourceGameplayImage,
                                                            const std::optional<std::filesystem::path>& outputURL,
                                                            double durationSeconds, int64_t fps,
                                                            const pk::CancelToken* cancel = nullptr);

    // H.264 at 1080 × 1920 and fps (already checked), a key frame every fps frames,
    // no scene-cut key frames.
    static pk::media::VideoEncoderSettings encoderSettings(int fps);

    // Frame `index` of `frames` (at least 2) into a 1080 × 1920 canvas with its origin at
    // the bottom left.
    static void drawFrame(pk::draw2d::Canvas& canvas, int64_t index, int64_t frames, const std::string& upperTitle,
                          const std::string& highlightHeadline, const std::string& statBadge,
                          const pk::draw2d::Bitmap* sourceGameplayImage);
};

}  // namespace creator
