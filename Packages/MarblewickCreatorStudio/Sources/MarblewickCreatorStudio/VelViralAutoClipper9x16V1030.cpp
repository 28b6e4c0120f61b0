#include "MarblewickCreatorStudio/VelViralAutoClipper9x16V1030.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>

#include "PlatformKit/Foundation/Clock.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/JobGuard.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Foundation/Text.h"

namespace creator {

namespace {

using namespace pk::draw2d;
using Clipper = VelViralAutoClipper9x16V1030;

constexpr const char* kFont = "HelveticaNeue-Bold";

pk::StudioError clipperError(int code) {
    switch (code) {
        case Clipper::cannotAttachInput: return {Clipper::kErrorDomain, code, "Cannot attach AVAssetWriterInput"};
        case Clipper::writerFailed: return {Clipper::kErrorDomain, code, "AVAssetWriter failed"};
        case Clipper::badTiming:
            return {Clipper::kErrorDomain, code, "The clip's frame rate or duration is out of range"};
        default: return {Clipper::kErrorDomain, code, "The clip export was cancelled"};
    }
}

void replaceAll(std::string& s, const std::string& from, const std::string& to) {
    for (size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += to.size()) s.replace(pos, from.size(), to);
}

void drawLine(Canvas& c, const std::string& text, double size, const RGBA& color, Point baseline) {
    c.saveState();
    c.drawText(text, Font::named(kFont, size), color, baseline);
    c.restoreState();
}

}  // namespace

pk::json::OrderedJson VelViralClipReceiptV1030::toJson() const {
    pk::json::OrderedJson j;
    j["outputPath"] = outputPath;
    j["width"] = width;
    j["height"] = height;
    j["frameCount"] = frameCount;
    j["durationSeconds"] = pk::json::doubleNumber(durationSeconds);
    j["fileSizeBytes"] = fileSizeBytes;
    j["gameTitle"] = gameTitle;
    j["highlightHeadline"] = highlightHeadline;
    return j;
}

VelViralClipReceiptV1030 VelViralClipReceiptV1030::fromJson(const pk::json::OrderedJson& j) {
    using namespace pk::json;
    requireObject(j, "VelViralClipReceiptV1030");
    VelViralClipReceiptV1030 r;
    r.outputPath = readString(j, "outputPath");
    r.width = readInteger<int64_t>(j, "width");
    r.height = readInteger<int64_t>(j, "height");
    r.frameCount = readInteger<int64_t>(j, "frameCount");
    r.durationSeconds = readDouble(j, "durationSeconds");
    r.fileSizeBytes = readInteger<int64_t>(j, "fileSizeBytes");
    r.gameTitle = readString(j, "gameTitle");
    r.highlightHeadline = readString(j, "highlightHeadline");
    return r;
}

std::filesystem::path VelViralAutoClipper9x16V1030::defaultClipsDirectory() {
    std::filesystem::path dir = pk::moviesDirectory() / "MarblewickClips";
    try {
        pk::createDirectories(dir);
    } catch (const pk::StudioError&) {
        // Reported by the export that needs the folder.
    }
    return dir;
}

std::string VelViralAutoClipper9x16V1030::safeFileStem(const std::string& title) {
    std::string name = title;
    replaceAll(name, " ", "_");
    // The title is user text: it must not reach outside the clips folder. A separator or a
    // NUL could; ".." cannot, since the name always goes on after the title.
    replaceAll(name, "/", "_");
    replaceAll(name, std::string(1, '\0'), "_");
    return name;
}

std::string VelViralAutoClipper9x16V1030::defaultFileName(const std::string& gameTitle, double secondsSince1970) {
    return safeFileStem(gameTitle) + "_Highlight_" + std::to_string(pk::truncToInt64(secondsSince1970)) + ".mp4";
}

pk::media::VideoEncoderSettings VelViralAutoClipper9x16V1030::encoderSettings(int fps) {
    pk::media::VideoEncoderSettings settings;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.fps = fps;
    settings.averageBitRate = kAverageBitRate;
    settings.maxKeyFrameInterval = fps;  // one key frame per second of video
    settings.sceneCutKeyFrames = false;
    settings.preset = "veryfast";
    return settings;
}

void VelViralAutoClipper9x16V1030::drawFrame(Canvas& c, int64_t index, int64_t frames, const std::string& upperTitle,
                                             const std::string& highlightHeadline, const std::string& statBadge,
                                             const Bitmap* image) {
    const double p = double(index) / double(std::max<int64_t>(frames - 1, 1));
    c.setFillColor({0.05, 0.08, 0.14, 1});
    c.fill({0, 0, kWidth, kHeight});

    const double e = std::exp(-14.0 * std::fabs(p - 0.35));
    const double dx = 16.0 * std::sin(90.0 * p) * e;
    const double dy = 12.0 * std::cos(74.0 * p) * e;

    if (image) {
        const double w = (1.02 + 0.08 * p) * kWidth;
        const double h = w * double(image->height()) / double(std::max(image->width(), 1));
        c.drawImage(*image, {540 - w / 2 + dx, 960 - h / 2 + dy, w, h});
    } else {
        c.setFillColor({0.09, 0.16, 0.28, 1});
        c.fill({60 + dx, 360 + dy, 960, 1180});
        c.setFillColor({0.14, 0.86, 0.98, 0.92});
        c.fill({110 + dx, 480 + 35 * std::sin(10 * p) + dy, (0.28 + 0.7 * p) * 860, 46});
        c.setFillColor({1, 0.78, 0.14, 0.96});
        c.fillEllipse({420 + 200 * std::sin(12 * p), 880 + 120 * std::cos(9 * p), 240, 240});  // not shaken
    }

    c.setFillColor({0.02, 0.04, 0.08, 0.86});
    c.fill({0, 1630, 1080, 290});
    c.fill({0, 0, 1080, 280});
    c.setFillColor({0.18, 0.9, 1, 0.95});
    c.fill({48, 1626, 984, 6});
    c.setFillColor({1, 0.25, 0.28, 1});
    c.fillEllipse({64, 1800, 32, 32});
    c.setFillColor({1, 0.82, 0.14, 1});
    c.fill({56, 86, 968 * p, 14});

    drawLine(c, upperTitle, 40, {0.24, 0.94, 1, 1}, {114, 1806});
    drawLine(c, highlightHeadline, 56, {1, 1, 1, 1}, {64, 1710});
    drawLine(c, statBadge, 48, {1, 0.84, 0.18, 1}, {64, 150});
}

VelViralClipReceiptV1030 VelViralAutoClipper9x16V1030::exportVerticalViralClip(
    const std::string& gameTitle, const std::string& highlightHeadline, const std::string& statBadge,
    const Bitmap* sourceGameplayImage, const std::optional<std::filesystem::path>& outputURL, double durationSeconds,
    int64_t fps, const pk::CancelToken* cancel) {
    // fps is the presentation timescale; the product decides how many frames are drawn.
    if (fps < 1 || fps > kMaxFps) throw clipperError(badTiming);
    const double product = durationSeconds * double(fps);
    if (!std::isfinite(product) || product >= 9.0e18) throw clipperError(badTiming);
    const int64_t frames = std::max<int64_t>(kMinFrames, pk::truncToInt64(product));

    const std::filesystem::path out =
        outputURL ? *outputURL
                  : defaultClipsDirectory() / defaultFileName(gameTitle, pk::Clock::system()->wallSeconds());
    pk::createDirectories(out.parent_path().empty() ? std::filesystem::path(".") : out.parent_path());
    // The writer replaces an earlier clip only once the new one is complete; a folder of
    // that name is never replaced, so it is refused before any frame is drawn.
    if (std::error_code ec; std::filesystem::is_directory(std::filesystem::symlink_status(out, ec)))
        pk::throwErrno(EISDIR, "Replacing the existing clip " + out.string());

    const pk::media::VideoEncoderSettings settings = encoderSettings(static_cast<int>(fps));

    std::optional<pk::media::Mp4Writer> writer;
    try {
        writer.emplace(out, settings, std::nullopt);
    } catch (const pk::StudioError& e) {
        if (e.domain == "Media") throw clipperError(cannotAttachInput);  // settings refused
        throw;
    }
    writer->start();

    auto buffer = Bitmap::create(kWidth, kHeight);
    if (!buffer) throw clipperError(writerFailed);
    const std::string upperTitle = pk::toUpper(gameTitle);

    for (int64_t i = 0; i < frames; ++i) {
        if (cancel && cancel->isCancelled()) throw clipperError(cancelled);
        {
            Canvas canvas(*buffer, Origin::bottomLeft);
            drawFrame(canvas, i, frames, upperTitle, highlightHeadline, statBadge, sourceGameplayImage);
        }
        // A frame the writer cannot take fails the export with the writer's own error: a
        // receipt never counts a frame the file does not hold.
        writer->appendVideoFrame(buffer->data(), int64_t(buffer->bytesPerRow()), i);
    }

    writer->finish();  // throws the writer's own error
    if (writer->status() != pk::media::Mp4Writer::Status::completed) throw clipperError(writerFailed);

    struct stat st {};
    if (::stat(out.c_str(), &st) != 0) pk::throwErrno(errno, "Reading the attributes of " + out.string());

    VelViralClipReceiptV1030 receipt;
    receipt.outputPath = out.string();
    receipt.width = kWidth;
    receipt.height = kHeight;
    receipt.frameCount = frames;
    receipt.durationSeconds = double(frames) / double(fps);
    receipt.fileSizeBytes = int64_t(st.st_size);
    receipt.gameTitle = gameTitle;
    receipt.highlightHeadline = highlightHeadline;
    return receipt;
}

}  // namespace creator
