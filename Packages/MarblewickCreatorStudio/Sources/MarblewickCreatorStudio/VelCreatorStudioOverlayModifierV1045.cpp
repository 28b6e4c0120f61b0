#include "MarblewickCreatorStudio/VelCreatorStudioOverlayModifierV1045.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <thread>

#include "PlatformKit/Foundation/JobGuard.h"
#include "PlatformKit/Foundation/Text.h"
#include "PlatformKit/Ui/UiContext.h"
#include "PlatformKit/Ui/UiFloatingRegion.h"
#include "PlatformKit/Ui/UiGradientText.h"
#include "PlatformKit/Ui/UiLayout.h"
#include "PlatformKit/Ui/UiPinchGesture.h"
#include "PlatformKit/Ui/UiSymbols.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace creator {

using Overlay = VelCreatorStudioOverlayModifierV1045;
using Mode = VelFacecamBackgroundModeV1045;
using ShapeKind = VelFacecamShapeV1045;
using namespace pk::ui;
using pk::Color;

namespace {

// One clip export at a time in the whole process: two would race for one file name.
std::atomic<bool> gClipExportRunning{false};

constexpr Color kBackdropTop{0.08, 0.14, 0.24, 1};
constexpr Color kBackdropBottom{0.04, 0.07, 0.13, 1};
constexpr float kPillDrop = 12;       // the pill hangs this far below the bubble
constexpr float kShadowMargin = 16;   // room around the bubble for its shadow
constexpr float kPillHalfWidth = 110;
constexpr float kLeadingPadding = 14;
constexpr double kShadowOpacity = 0.45;  // black, radius 10, 4 down

ImVec2 operator+(ImVec2 a, ImVec2 b) { return ImVec2(a.x + b.x, a.y + b.y); }
ImVec2 operator-(ImVec2 a, ImVec2 b) { return ImVec2(a.x - b.x, a.y - b.y); }

Shape bubbleShape(ShapeKind s) {
    switch (s) {
        case ShapeKind::circle: return Shape::circleShape();
        case ShapeKind::rounded: return Shape::rounded(20);
        case ShapeKind::freeCutout: break;
    }
    return Shape::rounded(16);
}

ImVec2 baseSize(ShapeKind s) { return s == ShapeKind::circle ? ImVec2(148, 148) : ImVec2(176, 132); }

struct Border {
    bool shown = false;
    Color color;
    float width = 0;
    const char* name = "none";
};

// The border is the overlay's only display of the microphone meter.
Border borderFor(bool transparentCutout, bool recording, double micLevel) {
    if (transparentCutout) return {};
    if (recording) return {true, UiPalette::red, 3, "red"};
    if (micLevel > 0.35) return {true, UiPalette::cyan, 2, "cyan"};
    return {true, white(0.45), 2, "white"};
}

LabelStyle plainLabel(const Color& fg, float size = 11, FontWeight weight = FontWeight::bold) {
    LabelStyle s;
    s.font = FontSpec{size, weight};
    s.foreground = fg;
    s.spacing = 5;
    return s;
}

FontSpec recordingFont() { return FontSpec{11, FontWeight::black, false, FontDesign::monospaced}; }

}  // namespace

struct VelCreatorStudioOverlayModifierV1045::Layout {
    ImVec2 areaMin, areaSize;
};

VelCreatorStudioOverlayModifierV1045::VelCreatorStudioOverlayModifierV1045(std::string gameTitle,
                                                                           std::string highlightHeadline,
                                                                           std::string statBadge)
    : VelCreatorStudioOverlayModifierV1045(std::move(gameTitle), std::move(highlightHeadline), std::move(statBadge),
                                           Environment{}) {}

VelCreatorStudioOverlayModifierV1045::VelCreatorStudioOverlayModifierV1045(std::string gameTitle,
                                                                           std::string highlightHeadline,
                                                                           std::string statBadge, Environment env)
    : gameTitle_(std::move(gameTitle)),
      highlightHeadline_(std::move(highlightHeadline)),
      statBadge_(std::move(statBadge)),
      env_(std::move(env)) {
    queue_ = env_.studio.queue ? env_.studio.queue : &pk::MainQueue::main();
    if (!env_.exportClip) {
        env_.exportClip = [](const std::string& t, const std::string& h, const std::string& b,
                             const pk::CancelToken& cancel) {
            return std::optional<VelViralClipReceiptV1030>(VelViralAutoClipper9x16V1030::exportVerticalViralClip(
                t, h, b, nullptr, std::nullopt, kClipSeconds, kClipFps, &cancel));
        };
    }
}

VelCreatorStudioOverlayModifierV1045::~VelCreatorStudioOverlayModifierV1045() {
    alive_.reset();
    // The exporter removes its partial file when it sees the token.
    if (clipCancel_) clipCancel_->cancel();
    if (clipThread_.joinable()) clipThread_.join();
    studio_.reset();  // the controller's teardown
    if (textures_ && texture_) textures_->destroy(texture_);
}

bool VelCreatorStudioOverlayModifierV1045::isExportingClip() { return gClipExportRunning.load(); }

void VelCreatorStudioOverlayModifierV1045::updateFrameTexture() {
    const auto& frame = studio_->latestCameraFrame.get();
    if (frame == textureFrame_) return;
    UiContext* ctx = UiContext::current();
    if (!ctx) return;
    if (!textures_) textures_ = &ctx->textures();
    textureFrame_ = frame;
    if (!frame || frame->width() <= 0 || frame->height() <= 0) {
        if (texture_) textures_->destroy(texture_);
        texture_ = ImTextureID{};
        return;
    }
    // The frame is premultiplied BGRA; the UI blends straight RGBA, so it is converted.
    // One texture takes every frame in turn.
    const std::vector<uint8_t> rgba = frame->straightRGBA();
    if (texture_)
        textures_->update(texture_, frame->width(), frame->height(), rgba.data());
    else
        texture_ = textures_->create(frame->width(), frame->height(), rgba.data());
}

void VelCreatorStudioOverlayModifierV1045::draw(ImVec2 areaMin, ImVec2 areaSize) {
    if (!studio_) studio_ = std::make_unique<VelCreatorStudioControllerV1045>(env_.studio);
    updateFrameTexture();
    const Layout l{areaMin, ImVec2(std::max(areaSize.x, 1.0f), std::max(areaSize.y, 1.0f))};
    ProbeScope scope("creatorOverlay");

    // The drag of the bubble group, from a press on the bubble or its pill in an earlier
    // frame. A release that ends a drag commits the offset and is no click.
    suppressClicks_ = false;
    if (pressing_) {
        const ImVec2 mouse = ImGui::GetIO().MousePos;
        const ImVec2 t = mouse - pressOrigin_;
        if (!dragging_ && std::hypot(t.x, t.y) >= kDragThreshold) dragging_ = true;
        if (ImGui::IsMouseDown(ImGuiMouseButton_Left)) {
            if (dragging_) dragDelta_ = {t.x, t.y};
        } else {
            if (dragging_) {
                const VelFacecamSize o = studio_->offset.get();
                studio_->offset = VelCreatorStudioControllerV1045::clampOffset({o.width + t.x, o.height + t.y},
                                                                              {l.areaSize.x, l.areaSize.y});
                suppressClicks_ = true;
            }
            pressing_ = dragging_ = false;
            dragDelta_ = {0, 0};
        }
    }

    if (studio_->isCameraEnabled.get()) drawBubbleGroup(l);
    drawToolbar(l);
}

void VelCreatorStudioOverlayModifierV1045::trackGroupPress() {
    if (ImGui::IsItemActivated()) {
        pressing_ = true;
        dragging_ = false;
        pressOrigin_ = ImGui::GetIO().MousePos;
    }
}

void VelCreatorStudioOverlayModifierV1045::drawBubbleGroup(const Layout& l) {
    VelCreatorStudioControllerV1045& s = *studio_;
    // Where the bubble is drawn: its stored place and size followed by the gestures.
    auto bubbleRect = [&](ImVec2& bMin, ImVec2& bMax) {
        const double eff = VelCreatorStudioControllerV1045::clampScale(s.scale.get() * pinchScale_);
        const ImVec2 base = baseSize(s.frameShape.get());
        const ImVec2 size(float(base.x * eff), float(base.y * eff));
        const VelFacecamSize o = s.offset.get();
        const VelFacecamSize e = VelCreatorStudioControllerV1045::clampOffset(
            {o.width + dragDelta_.width, o.height + dragDelta_.height}, {l.areaSize.x, l.areaSize.y});
        const ImVec2 centre(l.areaMin.x + l.areaSize.x * 0.5f + float(e.width),
                            l.areaMin.y + l.areaSize.y * 0.5f + float(e.height));
        bMin = ImVec2(centre.x - size.x * 0.5f, centre.y - size.y * 0.5f);
        bMax = ImVec2(bMin.x + size.x, bMin.y + size.y);
    };
    ImVec2 bMin, bMax;
    bubbleRect(bMin, bMax);

    // The region takes the pointer over the bubble and its hanging pill (the pill is never
    // wider than 2 × kPillHalfWidth).
    const float cx = (bMin.x + bMax.x) * 0.5f;
    const ImVec2 rMin(std::min(bMin.x, cx - kPillHalfWidth), bMin.y);
    const ImVec2 rMax(std::max(bMax.x, cx + kPillHalfWidth), bMax.y + kPillDrop);
    FloatingRegion region("##facecamBubble", rMin, rMax);

    // Pinch over the bubble (Ctrl + wheel, touch): drawn live, stored once at its end.
    const PinchState pinch = pinchGesture("pinch", bMin, bMax);
    pinchScale_ = pinch.active ? pinch.magnification : 1.0;
    if (pinch.ended) s.scale = VelCreatorStudioControllerV1045::clampScale(s.scale.get() * double(*pinch.ended));
    bubbleRect(bMin, bMax);

    // Drawing may reach past the region (a shadow, a pinch growing the bubble this frame).
    const ImVec2 margin(kShadowMargin + 400, kShadowMargin + 400);
    ImGui::PushClipRect(l.areaMin - margin, l.areaMin + l.areaSize + margin, false);
    ImGui::SetCursorScreenPos(bMin);
    ImGui::InvisibleButton("##bubble", ImVec2(std::max(bMax.x - bMin.x, 1.0f), std::max(bMax.y - bMin.y, 1.0f)));
    trackGroupPress();
    drawBubble(ImGui::GetWindowDrawList(), bMin, bMax);
    drawPill(bMin, bMax);
    ImGui::PopClipRect();
}

void VelCreatorStudioOverlayModifierV1045::drawBubble(ImDrawList* dl, ImVec2 min, ImVec2 max) {
    VelCreatorStudioControllerV1045& s = *studio_;
    const Mode mode = s.backgroundMode.get();
    const ShapeKind shapeKind = s.frameShape.get();
    const bool transparentCutout = mode == Mode::cutoutNoBackground && shapeKind == ShapeKind::freeCutout;
    const Shape shape = bubbleShape(shapeKind);
    const float w = max.x - min.x, h = max.y - min.y;
    const Border border = borderFor(transparentCutout, s.isRecording.get(), s.micActivityLevel.get());

    // A shadow under a see-through cut-out would outline the bubble it hides: only framed
    // looks cast one.
    if (!transparentCutout) dropShadow(dl, min, max, shape, black(kShadowOpacity), 10, ImVec2(0, 4));

    std::string placeholder;
    if (texture_ && textureFrame_) {
        // Aspect fill: the frame covers the bubble, centred, its overflow cropped.
        const float ia = float(textureFrame_->width()) / float(textureFrame_->height());
        const float ba = w / std::max(h, 1.0f);
        ImVec2 uv0(0, 0), uv1(1, 1);
        if (ia > ba) {
            const float k = ba / ia;
            uv0.x = (1 - k) * 0.5f;
            uv1.x = 1 - uv0.x;
        } else {
            const float k = ia / ba;
            uv0.y = (1 - k) * 0.5f;
            uv1.y = 1 - uv0.y;
        }
        fillShapeImage(dl, min, max, shape, texture_, uv0, uv1);
    } else {
        if (!transparentCutout)
            fillShapeGradient(dl, min, max, shape, LinearGradient{kBackdropTop, kBackdropBottom, ImVec2(0.5f, 0), ImVec2(0.5f, 1)});
        placeholder = mode == Mode::cutoutNoBackground ? "BG OCCLUDED" : "LIVE CAM";
        // The person symbol fitted into 52 % × 56 % of the bubble, cyan to blue, above the text.
        const std::string glyph = symbolText("person.crop.circle.fill", UiContext::current() && UiContext::current()->fonts().hasIcons());
        const FontSpec glyphSpec{48, FontWeight::regular};
        ImFont* gf = fontFor(glyphSpec);
        const ImVec2 g48 = measureText(glyph, glyphSpec);
        const float fit = std::min(w * 0.52f / std::max(g48.x, 1.0f), h * 0.56f / std::max(g48.y, 1.0f));
        const float gSize = 48 * fit;
        const ImVec2 gExt(g48.x * fit, g48.y * fit);
        const FontSpec textSpec{9, FontWeight::black, false, FontDesign::monospaced};
        const ImVec2 tExt = measureText(placeholder, textSpec);
        const float total = gExt.y + 4 + tExt.y;
        const float top = min.y + (h - total) * 0.5f;
        const ImVec2 gPos(min.x + (w - gExt.x) * 0.5f, top);
        // The symbol's cyan glow, as a faint halo behind it.
        dl->AddCircleFilled(ImVec2(gPos.x + gExt.x * 0.5f, gPos.y + gExt.y * 0.5f), std::min(gExt.x, gExt.y) * 0.55f,
                            toImU32(withOpacity(UiPalette::cyan, 0.18)), 48);
        drawGradientText(dl, gf, gSize, gPos, glyph,
                         LinearGradient{UiPalette::cyan, UiPalette::blue, ImVec2(0.5f, 0), ImVec2(0.5f, 1)});
        dl->AddText(fontFor(textSpec), textSpec.size, ImVec2(min.x + (w - tExt.x) * 0.5f, top + gExt.y + 4),
                    toImU32(white(0.9)), placeholder.c_str());
    }
    if (border.shown) strokeShape(dl, min, max, shape, border.color, border.width);

    std::string look = std::string("shape=") + shapeKind.rawValue() + " border=" + border.name;
    if (border.shown) {
        look += '/';
        look += std::to_string(int(border.width));
    }
    if (transparentCutout) {
        look += " shadow=none";
    } else {
        char shadow[32];
        std::snprintf(shadow, sizeof shadow, " shadow=black/%.2f", kShadowOpacity);
        look += shadow;
    }
    look += transparentCutout || (texture_ && textureFrame_) ? " backdrop=no" : " backdrop=yes";
    report("bubble", texture_ && textureFrame_ ? ControlKind::image : ControlKind::custom, min, max, placeholder,
           placeholder.empty() ? "" : "person.crop.circle.fill", {}, look);
}

void VelCreatorStudioOverlayModifierV1045::report(std::string_view id, ControlKind kind, ImVec2 min, ImVec2 max,
                                                  std::string_view text, std::string_view symbol, ControlState state,
                                                  std::string value) {
    reportRect(id, kind, min, max, text, symbol, state, std::move(value));
}

void VelCreatorStudioOverlayModifierV1045::drawPill(ImVec2 bMin, ImVec2 bMax) {
    VelCreatorStudioControllerV1045& s = *studio_;
    const Mode mode = s.backgroundMode.get();
    struct Item {
        const char* id;
        std::string title, symbol;
        LabelStyle style;
    };
    const Item items[] = {
        {"mode", mode.rawValue(), "", plainLabel(mode == Mode::cutoutNoBackground ? UiPalette::cyan : white(), 9, FontWeight::black)},
        {"smaller", "", "minus.circle.fill", plainLabel(white(), 12, FontWeight::regular)},
        {"larger", "", "plus.circle.fill", plainLabel(white(), 12, FontWeight::regular)},
        {"shape", "", "square.on.circle", plainLabel(white(), 11, FontWeight::regular)},
    };
    int pressed = -1;
    std::vector<StackItem> row;
    for (int i = 0; i < 4; ++i)
        row.push_back({measureLabel(items[i].title, items[i].symbol, items[i].style), [&, i] {
                           if (labelButton(items[i].id, items[i].title, items[i].symbol, items[i].style,
                                           ControlState{i == 0 && mode == Mode::cutoutNoBackground, true}))
                               pressed = i;
                           trackGroupPress();
                       }});
    const float spacing = 6, padH = 8, padV = 4;
    const ImVec2 content = hstackSize(row, spacing);
    const ImVec2 pSize(content.x + 2 * padH, content.y + 2 * padV);
    const float cx = (bMin.x + bMax.x) * 0.5f;
    const ImVec2 pMin(cx - pSize.x * 0.5f, bMax.y + kPillDrop - pSize.y), pMax(pMin.x + pSize.x, pMin.y + pSize.y);
    ImDrawList* dl = ImGui::GetWindowDrawList();
    fillShape(dl, pMin, pMax, Shape::capsuleShape(), black(0.68));
    ProbeScope pill("pill");
    ImGui::SetCursorScreenPos(ImVec2(pMin.x + padH, pMin.y + padV));
    hstack(row, spacing);
    if (suppressClicks_) return;
    switch (pressed) {
        case 0: s.backgroundMode = mode.next(); break;
        case 1: s.scale = VelCreatorStudioControllerV1045::clampScale(s.scale.get() - kScaleStep); break;
        case 2: s.scale = VelCreatorStudioControllerV1045::clampScale(s.scale.get() + kScaleStep); break;
        case 3: s.frameShape = s.frameShape.get().next(); break;
    }
}

void VelCreatorStudioOverlayModifierV1045::drawToolbar(const Layout& l) {
    VelCreatorStudioControllerV1045& s = *studio_;
    const bool camera = s.isCameraEnabled.get(), recording = s.isRecording.get(), expanded = s.isToolbarExpanded.get();
    const Mode mode = s.backgroundMode.get();
    enum Kind { none, camButton, cutoutButton, micButton, recordButton, clipButton, toggleButton };
    Kind pressed = none;
    std::vector<StackItem> row;
    auto button = [&](Kind kind, const char* id, std::string title, std::string symbol, LabelStyle style, bool selected) {
        const ImVec2 size = measureLabel(title, symbol, style);
        row.push_back({size, [&pressed, kind, id, title = std::move(title), symbol = std::move(symbol),
                              style = std::move(style), selected] {
                           if (labelButton(id, title, symbol, style, ControlState{selected, true})) pressed = kind;
                       }});
    };
    if (expanded || camera || recording) {
        button(camButton, "camera", camera ? "Cam ON" : "Facecam", camera ? "video.fill" : "video",
               plainLabel(camera ? UiPalette::cyan : white()), camera);
        if (camera)
            button(cutoutButton, "cutout", "BG Cutout", "person.and.background.dotted",
                   plainLabel(mode == Mode::cutoutNoBackground ? UiPalette::mint : white(0.75)),
                   mode == Mode::cutoutNoBackground);
        const bool mic = s.isMicIncluded.get();
        button(micButton, "mic", "", mic ? "mic.fill" : "mic.slash.fill", plainLabel(mic ? UiPalette::green : UiPalette::red),
               mic);
        // The recording pill: a dot and the text, in its own capsule.
        const FontSpec recFont = recordingFont();
        std::string title = recording ? "STOP " + s.formattedRecordingTime() : "REC";
        const ImVec2 t = measureText(title, recFont);
        const ImVec2 size(8 + 4 + t.x + 16, std::max(8.0f, t.y) + 6);
        row.push_back({size, [this, &pressed, recFont, title = std::move(title), t, size, recording] {
                           if (ImGui::InvisibleButton("##record", size)) pressed = recordButton;
                           ImDrawList* dl = ImGui::GetWindowDrawList();
                           const ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
                           fillShape(dl, a, b, Shape::capsuleShape(),
                                     recording ? withOpacity(UiPalette::red, 0.85) : white(0.14));
                           const float cy = (a.y + b.y) * 0.5f;
                           dl->AddCircleFilled(ImVec2(a.x + 8 + 4, cy), 4,
                                               toImU32(recording ? UiPalette::red : withOpacity(UiPalette::red, 0.75)), 16);
                           dl->AddText(fontFor(recFont), recFont.size, ImVec2(a.x + 8 + 8 + 4, cy - t.y * 0.5f),
                                       toImU32(white()), title.c_str());
                           report("record", ControlKind::button, a, b, title, "", ControlState{recording, true});
                       }});
        button(clipButton, "clip", "Clip 9:16", "sparkles.tv.fill", plainLabel(UiPalette::yellow), false);
    }
    button(toggleButton, "toggle", "", expanded ? "chevron.right.circle.fill" : "record.circle",
           plainLabel(recording ? UiPalette::red : UiPalette::cyan, 14, FontWeight::bold), expanded);

    const float spacing = 8, padH = 10, padV = 6;
    const ImVec2 content = hstackSize(row, spacing);
    const ImVec2 barSize(content.x + 2 * padH, content.y + 2 * padV);

    // The toolbar sits at the leading edge, centred vertically together with the toast.
    const FontSpec toastFont{11, FontWeight::bold};
    ImVec2 toastSize(0, 0);
    if (clipToast_) {
        const ImVec2 t = measureText(*clipToast_, toastFont);
        toastSize = ImVec2(t.x + 20, t.y + 10);
    }
    const float block = barSize.y + (clipToast_ ? 6 + toastSize.y : 0);
    const ImVec2 barMin(l.areaMin.x + kLeadingPadding, l.areaMin.y + (l.areaSize.y - block) * 0.5f);
    const ImVec2 barMax = barMin + barSize;

    {
        FloatingRegion region("##creatorToolbar", barMin, barMax);
        ProbeScope scope("toolbar");
        ImDrawList* dl = ImGui::GetWindowDrawList();
        fillShape(dl, barMin, barMax, Shape::capsuleShape(), UiPalette::ultraThinMaterial);
        strokeShape(dl, barMin, barMax, Shape::capsuleShape(), white(0.22), 1);
        ImGui::SetCursorScreenPos(ImVec2(barMin.x + padH, barMin.y + padV));
        hstack(row, spacing);
        switch (pressed) {
            case none: break;
            case camButton: s.toggleCamera(); break;
            case cutoutButton:
                s.backgroundMode = mode == Mode::cutoutNoBackground ? Mode(Mode::fullCamera) : Mode(Mode::cutoutNoBackground);
                break;
            case micButton: s.isMicIncluded = !s.isMicIncluded.get(); break;
            case recordButton: s.toggleRecording(gameTitle_); break;
            case clipButton: startClipExport(); break;
            case toggleButton: s.isToolbarExpanded = !expanded; break;
        }
        report("capsule", ControlKind::panel, barMin, barMax, "", "", {});
    }

    if (clipToast_) {
        const ImVec2 tMin(barMin.x, barMax.y + 6), tMax = tMin + toastSize;
        FloatingRegion region("##creatorToast", tMin, tMax);
        ImDrawList* dl = ImGui::GetWindowDrawList();
        fillShape(dl, tMin, tMax, Shape::capsuleShape(), black(0.75));
        dl->AddText(fontFor(toastFont), toastFont.size, ImVec2(tMin.x + 10, tMin.y + 5), toImU32(white()),
                    clipToast_->c_str());
        report("toast", ControlKind::text, tMin, tMax, *clipToast_, "", {});
    }
}

void VelCreatorStudioOverlayModifierV1045::startClipExport() {
    bool expected = false;
    // A press while an export runs is ignored: two exports would write one file.
    if (!gClipExportRunning.compare_exchange_strong(expected, true)) return;
    // This overlay's last export has cleared the flag, so its thread is ending.
    if (clipThread_.joinable()) clipThread_.join();
    clipCancel_ = std::make_shared<pk::CancelToken>();
    std::weak_ptr<int> alive = alive_;
    pk::MainQueue* queue = queue_;
    try {
        clipThread_ = std::thread([this, alive, queue, cancel = clipCancel_, exportClip = env_.exportClip,
                                   title = gameTitle_, headline = highlightHeadline_, badge = statBadge_] {
            std::optional<VelViralClipReceiptV1030> receipt;
            // Any failure reads the same to the user: the failed toast.
            pk::runGuarded(
                "Clip export", [&] { receipt = exportClip(title, headline, badge, *cancel); },
                [&](const pk::JobFailure&) { receipt.reset(); });
            gClipExportRunning = false;
            const bool saved = receipt.has_value();
            pk::runGuarded("Clip export", [&] {
                queue->post([this, alive, saved] {
                    if (alive.lock()) showClipToast(saved);
                });
            });
        });
    } catch (const std::system_error&) {
        // Out of threads: no export runs, and it fails like any other.
        gClipExportRunning = false;
        showClipToast(false);
    }
}

void VelCreatorStudioOverlayModifierV1045::showClipToast(bool saved) {
    clipToast_ = saved ? kClipSaved : kClipFailed;
    // Each export clears the toast 3 s after its own end, whatever shows by then.
    queue_->postAfter(kToastSeconds, [this, alive = std::weak_ptr<int>(alive_)] {
        if (alive.lock()) clipToast_.reset();
    });
}

void velCreatorStudioOverlay(std::unique_ptr<VelCreatorStudioOverlayModifierV1045>& overlay, bool enabled, ImVec2 areaMin,
                             ImVec2 areaSize, const std::string& gameTitle, const std::string& highlightHeadline,
                             const std::string& statBadge, const VelCreatorStudioOverlayModifierV1045::Environment* env) {
    if (!enabled) {
        overlay.reset();
        return;
    }
    if (!overlay)
        overlay = std::make_unique<VelCreatorStudioOverlayModifierV1045>(
            gameTitle, highlightHeadline, statBadge, env ? *env : VelCreatorStudioOverlayModifierV1045::Environment{});
    overlay->draw(areaMin, areaSize);
}

}  // namespace creator
