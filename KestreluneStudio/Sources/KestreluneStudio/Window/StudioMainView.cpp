#include "KestreluneStudio/Window/StudioMainView.h"

#include <algorithm>

#include "KestreluneStudio/StudioViewModel.h"
#include "KestreluneStudio/Window/StudioWindowDrawing.h"
#include "KestreluneStudio/Window/StudioWindowPalette.h"
#include "KestreluneStudio/Window/StudioWindowText.h"
#include "PlatformKit/Ui/UiContext.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace kestrelune {

using namespace pk::ui;
using window::placeButton;

namespace {

constexpr const char* kTitle = "Kestrelune Studio";
constexpr const char* kSubtitle = "4K PBR Forge & LookDev Studio";
// The logo glyph on the title badge: a lens aperture, for a studio that shoots assets.
constexpr const char* kLogoSymbol = "camera.aperture";

const FontSpec kTitleFont{13, FontWeight::semibold};
const FontSpec kSubtitleFont{10, FontWeight::medium};

LabelStyle shadingModeStyle(bool selected) {
    LabelStyle s;
    s.font = FontSpec{11, selected ? FontWeight::semibold : FontWeight::medium};
    s.foreground = selected ? white() : white(0.65);
    s.paddingH = 9;
    s.paddingV = 5;
    s.shape = Shape::rounded(6);
    s.fill = selected ? white(0.16) : UiPalette::clear;
    return s;
}

LabelStyle topBarToggleStyle() {
    LabelStyle s;
    s.font = FontSpec{11, FontWeight::medium};
    s.paddingH = 10;
    s.paddingV = 6;
    s.shape = Shape::capsuleShape();
    s.fill = white(0.07);
    return s;
}

LabelStyle facecamToggleStyle(bool on) {
    LabelStyle s = topBarToggleStyle();
    s.fill = on ? withOpacity(UiPalette::cyan, 0.24) : white(0.07);
    s.stroke = on ? withOpacity(UiPalette::cyan, 0.60) : UiPalette::clear;
    return s;
}

LabelStyle logoStyle() {
    LabelStyle s;
    s.font = FontSpec{13, FontWeight::bold};
    s.foreground = black(0.88);
    s.width = 26;
    s.height = 26;
    s.shape = Shape::rounded(7);
    s.gradient = LinearGradient{StudioWindowPalette::logoGradientStart, StudioWindowPalette::logoGradientEnd,
                                ImVec2(0, 0), ImVec2(1, 1)};
    return s;
}

// Every font the window asks for, so the atlas has them before the first frame is laid
// out (a new size or weight is otherwise built between frames).
const FontSpec kWindowFonts[] = {
    {13, FontWeight::semibold}, {13, FontWeight::bold},    {10, FontWeight::medium},   {11, FontWeight::semibold},
    {11, FontWeight::medium},   {11, FontWeight::regular}, {12, FontWeight::regular},  {12, FontWeight::semibold},
    {10, FontWeight::bold},     {10, FontWeight::regular}, {10, FontWeight::semibold}, {9, FontWeight::medium},
    {16, FontWeight::regular},  {16, FontWeight::semibold},
    {11, FontWeight::regular, true}, {10, FontWeight::bold, true}, {10, FontWeight::medium, true},
    {10, FontWeight::semibold, true}, {10, FontWeight::regular, true},
};

}  // namespace

std::string_view rawValue(LeftBrowserTab tab) {
    return tab == LeftBrowserTab::assets ? "Assets" : "Materials";
}

std::optional<LeftBrowserTab> leftBrowserTabFromRaw(std::string_view raw) {
    for (LeftBrowserTab t : kLeftBrowserTabAllCases)
        if (rawValue(t) == raw) return t;
    return std::nullopt;
}

StudioMainView::StudioMainView(StudioViewModel& vm, std::optional<pk::image::RgbaImage> staticViewportOverride)
    : vm_(vm), staticViewportOverride_(std::move(staticViewportOverride)) {
    stripFrom_ = stripTo_ = *vm_.showMapStrip ? 1.0f : 0.0f;
    // New previews need new textures; the observer only marks them, before the change.
    previewsObserver_ = vm_.pbrPreviews.observe([this](const lookdev::PBRMapPreviews&) { previewsDirty_ = true; });
    // The same for the browser's filtered list.
    assetsObserver_ = vm_.assets.observe([this](const auto&) { filteredDirty_ = true; });
    queryObserver_ = vm_.assetSearchQuery.observe([this](const auto&) { filteredDirty_ = true; });
}

StudioMainView::~StudioMainView() {
    vm_.pbrPreviews.removeObserver(previewsObserver_);
    vm_.assets.removeObserver(assetsObserver_);
    vm_.assetSearchQuery.removeObserver(queryObserver_);
    overlay_.reset();
    releaseTextures();
}

const StudioCreatorOverlayTexts& StudioMainView::creatorOverlayTexts() {
    static const StudioCreatorOverlayTexts texts{"Kestrelune Studio", "STUDIO LOOKDEV SHOWCASE", "LOCAL SILICON RENDER"};
    return texts;
}

void StudioMainView::prepareFonts(UiContext& ctx) {
    for (const FontSpec& f : kWindowFonts) ctx.font(f);
}

void StudioMainView::requestFonts() {
    if (fontsRequested_) return;
    fontsRequested_ = true;
    if (UiContext* ctx = UiContext::current()) prepareFonts(*ctx);
}

float StudioMainView::topBarHeight() const {
    const float titleColumn = measureText(kTitle, kTitleFont).y + 1 + measureText(kSubtitle, kSubtitleFont).y;
    const float segment = measureLabel("Beauty PBR", {}, shadingModeStyle(true)).y + 6;
    const float toggles = measureLabel("Spinning", "pause.circle.fill", topBarToggleStyle()).y;
    return 20 + std::max({26.0f, titleColumn, segment, toggles});
}

void StudioMainView::draw(ImVec2 origin, ImVec2 size) {
    requestFonts();
    if (UiContext* ctx = UiContext::current()) {
        if (textureFactory_ && textureFactory_ != &ctx->textures()) releaseTextures();
        textureFactory_ = &ctx->textures();
    }
    size = ImVec2(std::max(size.x, 1.0f), std::max(size.y, 1.0f));

    Layout L;
    L.origin = origin;
    L.size = size;
    L.topBarHeight = topBarHeight();
    const float top = origin.y + L.topBarHeight + StudioWindowMetrics::dividerThickness;
    const float bottom = std::max(origin.y + size.y, top);
    const float d = StudioWindowMetrics::dividerThickness;
    L.leftMin = ImVec2(origin.x, top);
    L.leftMax = ImVec2(origin.x + StudioWindowMetrics::leftColumnWidth, bottom);
    L.rightMax = ImVec2(origin.x + size.x, bottom);
    L.rightMin = ImVec2(L.rightMax.x - StudioWindowMetrics::rightColumnWidth, top);
    L.centreMin = ImVec2(L.leftMax.x + d, top);
    L.centreMax = ImVec2(std::max(L.rightMin.x - d, L.centreMin.x), bottom);

    ImGui::SetNextWindowPos(origin);
    ImGui::SetNextWindowSize(size);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0.0f);
    ImGui::PushStyleColor(ImGuiCol_WindowBg, toImVec4(StudioWindowPalette::windowBackground));
    ImGui::Begin("##studioMainView", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
                     ImGuiWindowFlags_NoBringToFrontOnFocus | ImGuiWindowFlags_NoScrollWithMouse |
                     ImGuiWindowFlags_NoNav);
    ImGui::PopStyleColor();
    ImGui::PopStyleVar(2);

    ImDrawList* dl = ImGui::GetWindowDrawList();
    const ImU32 divider = toImU32(StudioWindowPalette::divider);
    const ImU32 column = toImU32(StudioWindowPalette::columnBackground);
    dl->AddRectFilled(origin, ImVec2(origin.x + size.x, origin.y + L.topBarHeight),
                      toImU32(StudioWindowPalette::topBarBackground));
    dl->AddRectFilled(ImVec2(origin.x, origin.y + L.topBarHeight), ImVec2(origin.x + size.x, top), divider);
    dl->AddRectFilled(L.leftMin, L.leftMax, column);
    dl->AddRectFilled(ImVec2(L.leftMax.x, top), ImVec2(L.centreMin.x, bottom), divider);
    dl->AddRectFilled(ImVec2(L.centreMax.x, top), ImVec2(L.rightMin.x, bottom), divider);
    dl->AddRectFilled(L.rightMin, L.rightMax, column);

    topBar(L);
    leftBrowserPane(L);
    viewportPane(L);

    ImGui::SetCursorScreenPos(L.rightMin);
    ImGui::PushClipRect(L.rightMin, L.rightMax, true);
    drawInspectorPane(vm_, inspectorTab_, ImVec2(L.rightMax.x - L.rightMin.x, L.rightMax.y - L.rightMin.y));
    ImGui::PopClipRect();

    ImGui::End();
}

void StudioMainView::topBar(const Layout& L) {
    ProbeScope scope("topBar");
    const float x0 = L.origin.x, y0 = L.origin.y, w = L.size.x;
    const float cy = y0 + L.topBarHeight * 0.5f;

    // Measure the five items of the row, then share what is left between the two spacers.
    const ImVec2 titleSize = measureText(kTitle, kTitleFont), subtitleSize = measureText(kSubtitle, kSubtitleFont);
    const float titleColumnW = std::max(titleSize.x, subtitleSize.x);
    const float titleColumnH = titleSize.y + 1 + subtitleSize.y;
    const float titleBlockW = 26 + 9 + titleColumnW;

    const auto& modes = lookdev::ViewportShadingMode::allCases;
    std::array<ImVec2, std::tuple_size_v<std::remove_cvref_t<decltype(modes)>>> modeSizes{};
    float segmentW = 6 + 3 * float(modes.size() - 1), segmentInnerH = 0;
    for (size_t i = 0; i < modes.size(); ++i) {
        modeSizes[i] = measureLabel(shadingModeLabel(modes[i]), {}, shadingModeStyle(modes[i] == *vm_.shadingMode));
        segmentW += modeSizes[i].x;
        segmentInnerH = std::max(segmentInnerH, modeSizes[i].y);
    }
    const float segmentH = segmentInnerH + 6;

    const bool spinning = *vm_.turntableEnabled;
    const bool facecam = *vm_.showCreatorFacecamOverlay;
    const char* turntableTitle = spinning ? "Spinning" : "Paused";
    const char* turntableSymbol = spinning ? "pause.circle.fill" : "play.circle.fill";
    const char* facecamSymbol = facecam ? "video.fill" : "video";
    const ImVec2 turntableSize = measureLabel(turntableTitle, turntableSymbol, topBarToggleStyle());
    const ImVec2 facecamSize = measureLabel("Facecam", facecamSymbol, facecamToggleStyle(facecam));
    const float togglesW = turntableSize.x + 8 + facecamSize.x;

    const float spacing = 14;
    const float free = w - 32 - titleBlockW - segmentW - togglesW - 4 * spacing;
    const float spacer = std::max(8.0f, free * 0.5f);

    // Title block: gradient badge with the logo glyph, then title over subtitle.
    float x = x0 + 16;
    window::placeLabel("logo", ImVec2(x, cy - 13), {}, kLogoSymbol, logoStyle());
    const float titleY = cy - titleColumnH * 0.5f;
    window::placeText("title", ImVec2(x + 35, titleY), kTitle, kTitleFont, white());
    window::placeText("subtitle", ImVec2(x + 35, titleY + titleSize.y + 1), kSubtitle, kSubtitleFont, white(0.55));
    x += titleBlockW + spacing + spacer + spacing;

    // Shading modes: every mode, always, in their order; a click writes and syncs even
    // when the mode is already selected.
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const ImVec2 segMin(x, cy - segmentH * 0.5f), segMax(x + segmentW, cy + segmentH * 0.5f);
    fillShape(dl, segMin, segMax, Shape::rounded(8), white(0.05));
    strokeShape(dl, segMin, segMax, Shape::rounded(8), white(0.08));
    float bx = x + 3;
    for (size_t i = 0; i < modes.size(); ++i) {
        const bool selected = modes[i] == *vm_.shadingMode;
        const std::string label = shadingModeLabel(modes[i]);
        if (placeButton("mode:" + label, ImVec2(bx, cy - modeSizes[i].y * 0.5f), label, {},
                        shadingModeStyle(selected), selected)) {
            vm_.shadingMode = modes[i];
            vm_.syncSceneState();
        }
        bx += modeSizes[i].x + 3;
    }
    x += segmentW + spacing + spacer + spacing;

    // Toggles: the turntable's symbol shows what a click does; the facecam flag drives the
    // viewport's overlay and never touches the scene.
    if (placeButton("turntable", ImVec2(x, cy - turntableSize.y * 0.5f), turntableTitle, turntableSymbol,
                    topBarToggleStyle(), spinning)) {
        vm_.turntableEnabled = !*vm_.turntableEnabled;
        vm_.syncSceneState();
    }
    x += turntableSize.x + 8;
    if (placeButton("facecam", ImVec2(x, cy - facecamSize.y * 0.5f), "Facecam", facecamSymbol,
                    facecamToggleStyle(facecam), facecam)) {
        vm_.showCreatorFacecamOverlay = !*vm_.showCreatorFacecamOverlay;
    }
}

ImTextureID StudioMainView::textureFor(ImTextureID& slot, const pk::image::RgbaImage* image) {
    if (!textureFactory_) return nullptr;
    if (!image || image->empty()) {
        if (slot) textureFactory_->destroy(slot);
        slot = nullptr;
        return nullptr;
    }
    if (slot) return slot;
    // The factory takes tightly packed rows; an image whose bytes do not cover its size is
    // not shown.
    const size_t row = size_t(image->width) * 4;
    if (image->stride < row || image->bytes.size() < image->stride * size_t(image->height - 1) + row) return nullptr;
    if (image->stride == row) {
        slot = textureFactory_->create(image->width, image->height, image->bytes.data());
    } else {
        std::vector<uint8_t> packed(row * size_t(image->height));
        for (int y = 0; y < image->height; ++y) std::copy_n(image->row(y), row, packed.data() + row * size_t(y));
        slot = textureFactory_->create(image->width, image->height, packed.data());
    }
    return slot;
}

void StudioMainView::releaseTextures() {
    if (!textureFactory_) return;
    textureFor(overrideTexture_, nullptr);
    for (ImTextureID& t : previewTextures_) textureFor(t, nullptr);
    previewsDirty_ = true;
}

}  // namespace kestrelune
