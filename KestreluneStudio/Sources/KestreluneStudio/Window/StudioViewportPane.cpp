// The centre column: the live viewport (or a fixed image in its place) with its heads-up
// display, the creator overlay while the facecam is on, and the PBR map strip below.
#include <algorithm>
#include <cmath>

#include "KestreluneStudio/StudioViewModel.h"
#include "KestreluneStudio/Window/StudioMainView.h"
#include "KestreluneStudio/Window/StudioWindowDrawing.h"
#include "KestreluneStudio/Window/StudioWindowPalette.h"
#include "KestreluneStudio/Window/StudioWindowText.h"
#include "PlatformKit/Ui/UiContext.h"
#include "PlatformKit/Ui/UiTextLayout.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace kestrelune {

using namespace pk::ui;
using window::drawText;
using window::report;

namespace {

struct MapTile {
    const char* label;
    const std::optional<pk::image::RgbaImage> lookdev::PBRMapPreviews::*image;
};
constexpr std::array<MapTile, 4> kTiles{{
    {"Albedo", &lookdev::PBRMapPreviews::albedo},
    {"Tangent Normal", &lookdev::PBRMapPreviews::normal},
    {"ORM (AO\u00B7R\u00B7M)", &lookdev::PBRMapPreviews::orm},
    {"Emissive", &lookdev::PBRMapPreviews::emissive},
}};

const FontSpec kHudFont{11, FontWeight::regular, true};
const FontSpec kStatsNameFont{11, FontWeight::semibold};
const FontSpec kBannerFont{11, FontWeight::medium};
const FontSpec kTileLabelFont{9, FontWeight::medium};
const FontSpec kBadgeFont{10, FontWeight::bold};
const FontSpec kStripTitleFont{12, FontWeight::semibold};
const FontSpec kReadoutFont{10, FontWeight::regular, true};
constexpr float kTileSide = 62;
constexpr float kInfoColumnWidth = 152;

LabelStyle lensChipStyle(bool selected) {
    LabelStyle s;
    s.font = FontSpec{10, selected ? FontWeight::bold : FontWeight::medium, true};
    s.paddingH = 8;
    s.paddingV = 5;
    s.shape = Shape::capsuleShape();
    s.fill = selected ? white(0.18) : UiPalette::clear;
    return s;
}

LabelStyle exportMapsStyle() {
    LabelStyle s;
    s.font = FontSpec{10, FontWeight::semibold};
    s.vertical = true;
    s.spacing = 4;
    s.symbolSize = 16;
    s.width = 92;
    s.height = 74;
    s.shape = Shape::rounded(9);
    s.fill = withOpacity(UiPalette::cyan, 0.16);
    s.stroke = withOpacity(UiPalette::cyan, 0.45);
    return s;
}

// Ease-in-out over 0..1.
float easeInOut(float t) { return t * t * (3 - 2 * t); }

}  // namespace

float StudioMainView::mapStripHeight() const {
    const float tile = kTileSide + 4 + measureText("Albedo", kTileLabelFont).y;
    const float info = kBadgeFont.size + 4 + kStripTitleFont.size + 4 + kReadoutFont.size;
    return 20 + std::max({tile, info, exportMapsStyle().height});
}

float StudioMainView::mapStripReveal() {
    const float target = *vm_.showMapStrip ? 1.0f : 0.0f;
    if (target != stripTo_) {  // changed by someone else: no animation
        stripFrom_ = stripTo_ = target;
        stripStart_ = -1;
    }
    if (stripStart_ < 0) return stripTo_;
    const double t = (ImGui::GetTime() - stripStart_) / kMapStripAnimationSeconds;
    if (t >= 1.0 || !std::isfinite(t)) {
        stripStart_ = -1;
        return stripTo_;
    }
    return stripFrom_ + (stripTo_ - stripFrom_) * easeInOut(float(std::max(t, 0.0)));
}

void StudioMainView::toggleMapStrip() {
    const float shown = mapStripReveal();
    vm_.showMapStrip = !*vm_.showMapStrip;
    stripFrom_ = shown;
    stripTo_ = *vm_.showMapStrip ? 1.0f : 0.0f;
    stripStart_ = ImGui::GetTime();
}

void StudioMainView::viewportPane(const Layout& L) {
    ProbeScope scope("viewport");
    const float reveal = mapStripReveal();
    const float stripBlock = mapStripHeight() + StudioWindowMetrics::dividerThickness;
    const ImVec2 paneMin = L.centreMin, paneMax = L.centreMax;
    const ImVec2 areaMax(paneMax.x, std::max(paneMax.y - std::round(stripBlock * reveal), paneMin.y));

    ImGui::SetCursorScreenPos(paneMin);
    ImGui::BeginChild("##viewportPane", ImVec2(std::max(paneMax.x - paneMin.x, 1.0f), std::max(paneMax.y - paneMin.y, 1.0f)),
                      false,
                      ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse | ImGuiWindowFlags_NoBackground |
                          ImGuiWindowFlags_NoNav);
    ImDrawList* dl = ImGui::GetWindowDrawList();

    // The heads-up display is submitted before the viewport so its buttons take the pointer
    // first, but drawn in a channel above it.
    dl->ChannelsSplit(2);
    dl->ChannelsSetCurrent(1);
    viewportHud(paneMin, areaMax);
    dl->ChannelsSetCurrent(0);
    const ImVec2 areaSize(areaMax.x - paneMin.x, areaMax.y - paneMin.y);
    if (staticViewportOverride_) {
        // Stretched over the whole area, aspect not kept; no drop target, no camera input.
        dl->AddRectFilled(paneMin, areaMax, toImU32(StudioWindowPalette::viewportClear));
        if (ImTextureID tex = textureFor(overrideTexture_, &*staticViewportOverride_))
            dl->AddImage(tex, paneMin, areaMax);
        report("staticImage", ControlKind::image, paneMin, areaMax, {});
    } else if (liveViewport_ && areaSize.x >= 1 && areaSize.y >= 1) {
        ImGui::SetCursorScreenPos(paneMin);
        StudioViewModel& vm = vm_;
        liveViewport_->draw(vm.sharedEngine(), [&vm](const std::filesystem::path& url) { vm.handleDroppedFile(url); },
                            areaSize);
    } else {
        dl->AddRectFilled(paneMin, areaMax, toImU32(StudioWindowPalette::viewportClear));
    }
    dl->ChannelsMerge();

    conditionalFacecamModifier(*vm_.showCreatorFacecamOverlay, paneMin, areaMax);

    if (reveal > 0) {
        const ImVec2 stripTop(paneMin.x, areaMax.y);
        ImGui::PushClipRect(stripTop, paneMax, true);
        dl->AddRectFilled(stripTop, ImVec2(paneMax.x, stripTop.y + StudioWindowMetrics::dividerThickness),
                          toImU32(StudioWindowPalette::divider));
        const ImVec2 stripMin(paneMin.x, stripTop.y + StudioWindowMetrics::dividerThickness);
        pbrMapStrip(stripMin, ImVec2(paneMax.x, stripMin.y + mapStripHeight()));
        ImGui::PopClipRect();
    }
    ImGui::EndChild();
}

void StudioMainView::conditionalFacecamModifier(bool enabled, ImVec2 min, ImVec2 max) {
    // Two branches: off discards the overlay with all of its state; on makes a fresh one.
    if (!enabled) {
        overlay_.reset();
        return;
    }
    if (!overlay_ && overlayFactory_) overlay_ = overlayFactory_(creatorOverlayTexts());
    if (overlay_) overlay_->draw(min, max);
}

void StudioMainView::viewportHud(ImVec2 min, ImVec2 max) {
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const float areaW = max.x - min.x;
    const float pad = 14;

    // ---- Top row: statistics capsule (left), status banner (right), centred on one line. --
    const auto& audit = *vm_.activeAudit;
    const auto& banner = *vm_.statusBanner;
    const float textH = measureText("Ag", kHudFont).y;
    const std::string dot = "\u00B7";
    std::string name, tris, meshlets;
    float nameW = 0, trisW = 0, meshW = 0, dotW = 0, capsuleW = 0, capsuleH = 0;
    if (audit) {
        name = truncatedToWidth(audit->name, kStatsNameFont, std::max(areaW * 0.35f, 80.0f));
        tris = triangleCountText(audit->triangleCount);
        meshlets = meshletCountText(audit->meshletCount);
        nameW = measureText(name, kStatsNameFont).x;
        trisW = measureText(tris, kHudFont).x;
        meshW = measureText(meshlets, kHudFont).x;
        dotW = measureText(dot, kHudFont).x;
        capsuleW = 11 + 7 + 8 + nameW + 8 + dotW + 8 + trisW + 8 + dotW + 8 + meshW + 11;
        capsuleH = textH + 12;
    }
    // The banner takes the rest of the row; a long one wraps onto up to three lines.
    std::vector<std::string> bannerLines;
    float bannerW = 0, bannerH = 0;
    const float bannerLineH = measureText("Ag", kBannerFont).y;
    if (banner) {
        const float maxText = std::max(areaW - 2 * pad - (audit ? capsuleW + 8 : 0.0f) - 22, 60.0f);
        bannerLines = wrappedLines(*banner, kBannerFont, maxText, 3);
        float textW = 0;
        for (const auto& l : bannerLines) textW = std::max(textW, measureText(l, kBannerFont).x);
        bannerW = textW + 22;
        bannerH = float(std::max<size_t>(bannerLines.size(), 1)) * bannerLineH + 12;
    }
    const float topCY = min.y + pad + std::max(capsuleH, bannerH) * 0.5f;

    if (audit) {
        const ImVec2 cMin(min.x + pad, topCY - capsuleH * 0.5f), cMax(cMin.x + capsuleW, cMin.y + capsuleH);
        fillShape(dl, cMin, cMax, Shape::capsuleShape(), UiPalette::ultraThinMaterial);
        strokeShape(dl, cMin, cMax, Shape::capsuleShape(), white(0.14));
        const float ty = topCY - textH * 0.5f;
        float x = cMin.x + 11;
        const pk::Color dotColor = audit->groundedOK ? UiPalette::green : UiPalette::orange;
        dl->AddCircleFilled(ImVec2(x + 3.5f, topCY), 3.5f, toImU32(dotColor), 16);
        report("groundedDot", ControlKind::custom, ImVec2(x, topCY - 3.5f), ImVec2(x + 7, topCY + 3.5f), {}, {}, false,
               audit->groundedOK ? "green" : "orange");
        x += 7 + 8;
        drawText(dl, ImVec2(x, ty), name, kStatsNameFont, white());
        x += nameW + 8;
        drawText(dl, ImVec2(x, ty), dot, kHudFont, white(0.35));
        x += dotW + 8;
        drawText(dl, ImVec2(x, ty), tris, kHudFont, white(0.75));
        x += trisW + 8;
        drawText(dl, ImVec2(x, ty), dot, kHudFont, white(0.35));
        x += dotW + 8;
        drawText(dl, ImVec2(x, ty), meshlets, kHudFont, white(0.75));
        report("stats", ControlKind::text, cMin, cMax, name + " " + dot + " " + tris + " " + dot + " " + meshlets);
    }
    if (banner) {
        const ImVec2 bMin(max.x - pad - bannerW, topCY - bannerH * 0.5f), bMax(max.x - pad, bMin.y + bannerH);
        fillShape(dl, bMin, bMax, Shape::capsuleShape(), black(0.68));
        strokeShape(dl, bMin, bMax, Shape::capsuleShape(), withOpacity(UiPalette::cyan, 0.35));
        float y = bMin.y + 6;
        for (const auto& l : bannerLines) {
            drawText(dl, ImVec2(bMin.x + 11, y), l, kBannerFont, white());
            y += bannerLineH;
        }
        report("statusBanner", ControlKind::text, bMin, bMax, *banner, {}, false,
               [&] {
                   std::string shown;
                   for (const auto& l : bannerLines) shown += (shown.empty() ? "" : "\n") + l;
                   return shown;
               }());
    }

    // ---- Bottom row: lens chips, Reset View, spacer, map-strip toggle, frame rate. -------
    const auto& lenses = creator::VelCinemaLensMMV950::allCases;
    std::array<ImVec2, std::tuple_size_v<std::remove_cvref_t<decltype(lenses)>>> chipSizes{};
    float pickerW = 6 + 3 * float(lenses.size() - 1), chipH = 0;
    for (size_t i = 0; i < lenses.size(); ++i) {
        chipSizes[i] = measureLabel(lensChipText(lenses[i]), {}, lensChipStyle(lenses[i] == *vm_.lens));
        pickerW += chipSizes[i].x;
        chipH = std::max(chipH, chipSizes[i].y);
    }
    const float pickerH = chipH + 6;
    const LabelStyle chip = window::hudChipStyle();
    const char* toggleTitle = *vm_.showMapStrip ? "Hide Maps" : "PBR Maps";
    const ImVec2 resetSize = measureLabel("Reset View", "arrow.counterclockwise", chip);
    const ImVec2 toggleSize = measureLabel(toggleTitle, "square.grid.2x2", chip);
    LabelStyle fpsStyle = chip;
    fpsStyle.font.monospacedDigits = true;
    fpsStyle.foreground = UiPalette::cyan;
    const std::string fps = framesPerSecondText(*vm_.liveFPS);
    const ImVec2 fpsSize = measureLabel(fps, {}, fpsStyle);
    const float rowH = std::max({pickerH, resetSize.y, toggleSize.y, fpsSize.y});
    const float cy = max.y - pad - rowH * 0.5f;

    float x = min.x + pad;
    const ImVec2 pMin(x, cy - pickerH * 0.5f), pMax(x + pickerW, cy + pickerH * 0.5f);
    fillShape(dl, pMin, pMax, Shape::capsuleShape(), UiPalette::ultraThinMaterial);
    strokeShape(dl, pMin, pMax, Shape::capsuleShape(), white(0.14));
    float cx = x + 3;
    for (size_t i = 0; i < lenses.size(); ++i) {
        const bool selected = lenses[i] == *vm_.lens;
        const std::string text = lensChipText(lenses[i]);
        if (window::placeButton("lens:" + text, ImVec2(cx, cy - chipSizes[i].y * 0.5f), text, {},
                                lensChipStyle(selected), selected)) {
            // Also when already selected: the lens is written and the scene synced again.
            vm_.lens = lenses[i];
            vm_.syncSceneState();
        }
        cx += chipSizes[i].x + 3;
    }
    x += pickerW + 10;
    if (window::placeButton("resetView", ImVec2(x, cy - resetSize.y * 0.5f), "Reset View", "arrow.counterclockwise", chip))
        vm_.engine().resetCamera();

    float rx = max.x - pad - fpsSize.x;
    window::placeLabel("fps", ImVec2(rx, cy - fpsSize.y * 0.5f), fps, {}, fpsStyle);
    rx -= 10 + toggleSize.x;
    if (window::placeButton("mapStripToggle", ImVec2(rx, cy - toggleSize.y * 0.5f), toggleTitle, "square.grid.2x2",
                            chip, *vm_.showMapStrip))
        toggleMapStrip();
}

void StudioMainView::pbrMapStrip(ImVec2 min, ImVec2 max) {
    ProbeScope scope("strip");
    ImDrawList* dl = ImGui::GetWindowDrawList();
    dl->AddRectFilled(min, max, toImU32(StudioWindowPalette::columnBackground));
    report("panel", ControlKind::panel, min, max, {});
    const float cy = (min.y + max.y) * 0.5f;

    // Information column: badge, title, readout.
    const bool photo = vm_.sourcePhotoURL->has_value();
    const auto& params = *vm_.materialParams;
    const float infoH = kBadgeFont.size + 4 + kStripTitleFont.size + 4 + kReadoutFont.size;
    float x = min.x + 14, y = cy - infoH * 0.5f;
    window::placeText("badge", ImVec2(x, y), photo ? "PHOTO-TO-PBR" : "LIVE PBR MAPS", kBadgeFont,
                      photo ? StudioWindowPalette::accentGold() : white(0.50));
    y += kBadgeFont.size + 4;
    window::placeText("title", ImVec2(x, y), truncatedToWidth(mapStripTitle(params), kStripTitleFont, kInfoColumnWidth),
                      kStripTitleFont, white());
    y += kStripTitleFont.size + 4;
    window::placeText("readout", ImVec2(x, y), mapReadoutText(params.resolution, *vm_.lastSynthesisMs), kReadoutFont,
                      UiPalette::cyan);
    x += kInfoColumnWidth + 12;

    // Four tiles: the preview stretched into a rounded 62-point square, or a faint square.
    if (previewsDirty_) {
        for (auto& t : previewTextures_) textureFor(t, nullptr);
        previewsDirty_ = false;
    }
    const auto& previews = *vm_.pbrPreviews;
    const float labelH = measureText("Ag", kTileLabelFont).y;
    const float tileH = kTileSide + 4 + labelH;
    for (size_t i = 0; i < kTiles.size(); ++i) {
        const MapTile& tile = kTiles[i];
        const float labelW = measureText(tile.label, kTileLabelFont).x;
        const float tileW = std::max(kTileSide, labelW);
        const float tcx = x + tileW * 0.5f, top = cy - tileH * 0.5f;
        const ImVec2 pMin(tcx - kTileSide * 0.5f, top), pMax(tcx + kTileSide * 0.5f, top + kTileSide);
        const auto& image = previews.*(tile.image);
        ImTextureID tex = textureFor(previewTextures_[i], image ? &*image : nullptr);
        if (tex)
            fillShapeImage(dl, pMin, pMax, Shape::rounded(7), tex);
        else
            fillShape(dl, pMin, pMax, Shape::rounded(7), white(0.06));
        strokeShape(dl, pMin, pMax, Shape::rounded(7), white(0.14));
        report(std::string("tile:") + tile.label, ControlKind::image, pMin, pMax, tile.label, {}, false,
               tex ? "preview" : "placeholder");
        window::placeText(std::string("tileLabel:") + tile.label, ImVec2(tcx - labelW * 0.5f, pMax.y + 4), tile.label,
                          kTileLabelFont, white(0.68));
        x += tileW + 12;
    }

    const LabelStyle exportStyle = exportMapsStyle();
    if (window::placeButton("exportMaps", ImVec2(max.x - 14 - exportStyle.width, cy - exportStyle.height * 0.5f),
                            "Export 4 Maps", "square.and.arrow.up.on.square.fill", exportStyle))
        vm_.exportPBRPackPanel();
}

}  // namespace kestrelune
