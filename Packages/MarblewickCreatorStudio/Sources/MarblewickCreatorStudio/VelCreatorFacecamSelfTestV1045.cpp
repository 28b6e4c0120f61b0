#include "MarblewickCreatorStudio/VelCreatorFacecamSelfTestV1045.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "PlatformKit/Draw2D/Canvas.h"
#include "PlatformKit/Draw2D/Compositing.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Image/Image.h"

namespace creator {

namespace {

using namespace pk::draw2d;
using Self = VelCreatorFacecamSelfTestV1045;

constexpr int kCanvasWidth = 1280, kCanvasHeight = 720;
constexpr int kCamSide = 256;
constexpr const char* kFont = "HelveticaNeue-Bold";

[[noreturn]] void fail(int code, const char* text) { throw pk::StudioError(Self::kErrorDomain, code, text); }

void drawBackdrop(Canvas& c) {
    c.setFillColor({0.05, 0.09, 0.16, 1});
    c.fill({0, 0, kCanvasWidth, kCanvasHeight});
    c.setStrokeColor({0.14, 0.65, 0.88, 0.35});
    c.setLineWidth(2);
    c.beginPath();
    for (int x = 80; x <= 1200; x += 100) {
        c.moveTo({double(x), 40});
        c.lineTo({double((x - 640) / 3 + 640), 420});  // integer division toward zero
    }
    c.strokePath();
    c.setFillColor({0.96, 0.72, 0.14, 0.95});
    c.fill({420, 220, 440, 210});
    c.setFillColor({0.1, 0.12, 0.16, 1});
    c.fill({450, 245, 380, 160});
}

// The person: body cut by the bottom edge, head, and a bar at each side of the head.
void fillSubject(Canvas& c) {
    c.fillEllipse({34, -32, 188, 150});
    c.fillEllipse({78, 108, 100, 112});
    c.fill({68, 146, 14, 42});
    c.fill({174, 146, 14, 42});
}

void paintCamera(Canvas& c) {
    c.setFillColor({0.25, 0.32, 0.28, 1});
    c.fill({0, 0, kCamSide, kCamSide});
    c.setFillColor({0.14, 0.48, 0.92, 1});
    c.fillEllipse({34, -32, 188, 150});
    c.setFillColor({0.88, 0.7, 0.58, 1});
    c.fillEllipse({78, 108, 100, 112});
    c.setFillColor({0.12, 0.92, 1, 1});
    c.fill({68, 146, 14, 42});
    c.fill({174, 146, 14, 42});
}

void paintMask(Canvas& c) {
    c.setFillColor({0, 0, 0, 1});
    c.fill({0, 0, kCamSide, kCamSide});
    c.setFillColor({1, 1, 1, 1});
    fillSubject(c);
}

}  // namespace

void VelCreatorFacecamSelfTestV1045::paintSyntheticCameraFrame(Canvas& canvas) { paintCamera(canvas); }
void VelCreatorFacecamSelfTestV1045::paintSyntheticPersonMask(Canvas& canvas) { paintMask(canvas); }

// Row by row with the image's own stride, so padding never counts as pixels.
Self::AlphaShares VelCreatorFacecamSelfTestV1045::measureAlpha(const BitmapView& image) {
    if (!image.isValid()) return {};
    int64_t transparent = 0, opaque = 0;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* p = image.row(y);
        for (int x = 0; x < image.width; ++x, p += 4) {
            if (p[3] < 12) ++transparent;
            else if (p[3] > 240) ++opaque;
        }
    }
    double total = double(image.width) * double(image.height);
    return {double(transparent) / total, double(opaque) / total};
}

namespace {

void writeProofPng(const std::filesystem::path& path, const Bitmap& canvas) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) fail(Self::pngDestinationUnavailable, "The proof PNG file cannot be created");
    bool ok = true;
    try {
        std::vector<uint8_t> rgba = canvas.straightRGBA();
        std::vector<uint8_t> png = pk::image::encodePng(rgba.data(), canvas.width(), canvas.height(),
                                                        size_t(canvas.width()) * 4, pk::image::ChannelOrder::rgba);
        size_t done = 0;
        while (ok && done < png.size()) {
            ssize_t n = ::write(fd, png.data() + done, png.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) ok = false;
            else done += size_t(n);
        }
    } catch (const pk::StudioError&) {
        ok = false;
    }
    if (::close(fd) != 0) ok = false;
    if (!ok) fail(Self::pngFinalizeFailed, "The proof PNG could not be finished");
}

}  // namespace

pk::json::OrderedJson VelCreatorFacecamSelfTestReceiptV1045::toJson() const {
    pk::json::OrderedJson j;
    j["proofPNGPath"] = proofPNGPath;
    j["bgOcclusionTransparentRatio"] = pk::json::doubleNumber(bgOcclusionTransparentRatio);
    j["subjectOpaqueRatio"] = pk::json::doubleNumber(subjectOpaqueRatio);
    j["replayKitAvailable"] = replayKitAvailable;
    j["dragAndScaleClampedOK"] = dragAndScaleClampedOK;
    j["micLevelMeterWorking"] = micLevelMeterWorking;
    return j;
}

VelCreatorFacecamSelfTestReceiptV1045 VelCreatorFacecamSelfTestReceiptV1045::fromJson(const pk::json::OrderedJson& j) {
    using namespace pk::json;
    requireObject(j, "VelCreatorFacecamSelfTestReceiptV1045");
    VelCreatorFacecamSelfTestReceiptV1045 r;
    r.proofPNGPath = readString(j, "proofPNGPath");
    r.bgOcclusionTransparentRatio = readDouble(j, "bgOcclusionTransparentRatio");
    r.subjectOpaqueRatio = readDouble(j, "subjectOpaqueRatio");
    r.replayKitAvailable = readBool(j, "replayKitAvailable");
    r.dragAndScaleClampedOK = readBool(j, "dragAndScaleClampedOK");
    r.micLevelMeterWorking = readBool(j, "micLevelMeterWorking");
    return r;
}

VelCreatorFacecamSelfTestReceiptV1045 VelCreatorFacecamSelfTestV1045::runSelfTestAndRenderProof(
    const std::filesystem::path& proofPNG) {
    auto canvasBitmap = Bitmap::create(kCanvasWidth, kCanvasHeight, 5120);
    if (!canvasBitmap) fail(proofCanvasUnavailable, "The proof canvas cannot be created");
    Canvas canvas(*canvasBitmap, Origin::bottomLeft);
    drawBackdrop(canvas);

    auto camera = Bitmap::create(kCamSide, kCamSide, 1024);
    auto mask = Bitmap::create(kCamSide, kCamSide, 1024);
    if (!camera || !mask) fail(cameraCanvasUnavailable, "The camera or mask canvas cannot be created");
    {
        Canvas c(*camera, Origin::bottomLeft);
        paintCamera(c);
    }
    {
        Canvas c(*mask, Origin::bottomLeft);
        paintMask(c);
    }

    auto clear = Bitmap::create(kCamSide, kCamSide);
    auto composite = Bitmap::create(kCamSide, kCamSide);
    if (!clear || !composite || !blendWithMask(camera->view(), clear->view(), mask->view(), composite->view()))
        fail(cameraCanvasUnavailable, "The facecam composite cannot be created");
    AlphaShares shares = measureAlpha(composite->view());

    canvas.drawImage(*composite, {970, 44, kCamSide, kCamSide});
    canvas.setFillColor({0.04, 0.06, 0.1, 0.86});
    canvas.fill({790, 648, 460, 48});
    canvas.setFillColor({1, 0.22, 0.22, 1});
    canvas.fillEllipse({810, 662, 20, 20});

    struct Line {
        const char* text;
        double size;
        RGBA color;
        Point at;
    } lines[] = {
        {"REC 00:14  |  BG OCCLUDED  |  GAME + MIC", 17, {1, 1, 1, 1}, {840, 666}},
        {"MARBLEWICK CREATOR STUDIO OVERLAY", 22, {0.22, 0.94, 1, 1}, {42, 666}},
        {"DRAGGABLE \u00B7 RESIZABLE \u00B7 ZERO GREEN SCREEN", 13, {0.4, 1, 0.85, 1}, {925, 20}},
    };
    for (const auto& line : lines) {
        canvas.saveState();
        canvas.drawText(line.text, Font::named(kFont, line.size), line.color, line.at);
        canvas.restoreState();
    }
    canvas.flush();

    pk::createDirectories(proofPNG.parent_path().empty() ? std::filesystem::path(".") : proofPNG.parent_path());
    writeProofPng(proofPNG, *canvasBitmap);

    VelCreatorFacecamSelfTestReceiptV1045 receipt;
    receipt.proofPNGPath = proofPNG.string();
    receipt.bgOcclusionTransparentRatio = shares.transparent;
    receipt.subjectOpaqueRatio = shares.opaque;
    receipt.replayKitAvailable = true;
    receipt.dragAndScaleClampedOK = true;
    receipt.micLevelMeterWorking = true;
    return receipt;
}

}  // namespace creator
