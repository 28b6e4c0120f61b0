// The left column: a two-segment switch over the asset list (search, import, rows grouped
// by category) and the material grid (photo forge, twelve preset cells).
#include <algorithm>
#include <set>

#include "KestreluneStudio/StudioViewModel.h"
#include "KestreluneStudio/Window/StudioMainView.h"
#include "KestreluneStudio/Window/StudioWindowDrawing.h"
#include "KestreluneStudio/Window/StudioWindowPalette.h"
#include "KestreluneStudio/Window/StudioWindowText.h"
#include "PlatformKit/Foundation/Text.h"
#include "PlatformKit/Ui/UiContext.h"
#include "PlatformKit/Ui/UiSymbols.h"
#include "PlatformKit/Ui/UiTextLayout.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace kestrelune {

using namespace pk::ui;
using window::drawText;
using window::report;

namespace {

// The categories the list shows, in this order; any other category is never listed.
constexpr std::array<std::string_view, 7> kCategoryOrder{
    "Calibration", "Imported", "Featured Studio Kits", "Architecture", "Props", "Attachments", "Vault Library"};

const FontSpec kSectionFont{10, FontWeight::bold};
const FontSpec kSubtitleFont{10, FontWeight::regular};
const FontSpec kCellTitleFont{11, FontWeight::medium};

FontSpec rowNameFont(bool selected) { return FontSpec{12, selected ? FontWeight::semibold : FontWeight::regular}; }

ImVec2 operator+(ImVec2 a, ImVec2 b) { return ImVec2(a.x + b.x, a.y + b.y); }

// A scroll view child of the current window with a thin, quiet scroll bar.
bool beginScrollView(const char* id, ImVec2 min, ImVec2 max) {
    ImGui::SetCursorScreenPos(min);
    ImGui::PushStyleVar(ImGuiStyleVar_ScrollbarSize, 8.0f);
    ImGui::PushStyleColor(ImGuiCol_ScrollbarBg, ImVec4(0, 0, 0, 0));
    ImGui::PushStyleColor(ImGuiCol_ScrollbarGrab, ImVec4(1, 1, 1, 0.18f));
    ImGui::PushStyleColor(ImGuiCol_ScrollbarGrabHovered, ImVec4(1, 1, 1, 0.28f));
    ImGui::PushStyleColor(ImGuiCol_ScrollbarGrabActive, ImVec4(1, 1, 1, 0.36f));
    return ImGui::BeginChild(id, ImVec2(std::max(max.x - min.x, 1.0f), std::max(max.y - min.y, 1.0f)), false,
                             ImGuiWindowFlags_NoNav);
}

void endScrollView(ImVec2 contentOrigin, float contentHeight) {
    // The content's extent, so the child scrolls over all of it.
    ImGui::SetCursorScreenPos(ImVec2(contentOrigin.x, contentOrigin.y + contentHeight));
    ImGui::Dummy(ImVec2(1, 0));
    ImGui::EndChild();
    ImGui::PopStyleColor(4);
    ImGui::PopStyleVar();
}

LabelStyle importButtonStyle(float width) {
    LabelStyle s;
    s.font = FontSpec{11, FontWeight::semibold};
    s.width = width;
    s.paddingV = 7;
    s.shape = Shape::rounded(7);
    s.fill = withOpacity(UiPalette::cyan, 0.16);
    s.stroke = withOpacity(UiPalette::cyan, 0.35);
    return s;
}

LabelStyle forgeButtonStyle(float width) {
    LabelStyle s;
    s.font = FontSpec{11, FontWeight::semibold};
    s.width = width;
    s.paddingV = 8;
    s.shape = Shape::rounded(8);
    s.fill = withOpacity(StudioWindowPalette::accentGold(), 0.22);
    s.stroke = withOpacity(StudioWindowPalette::accentGold(), 0.55);
    return s;
}

RadialGradientSpec swatchGradient(lookdev::PBRMaterialPreset preset) {
    const pk::Color c = preset.swatchColor();
    return RadialGradientSpec{{c, withOpacity(c, c.opacity * 0.32), black(0.85)}, 0.35f, 0.30f, 4.0f, 56.0f};
}

}  // namespace

void StudioMainView::leftBrowserPane(const Layout& L) {
    ProbeScope scope("browser");
    const float x = L.leftMin.x, w = L.leftMax.x - L.leftMin.x;
    float y = L.leftMin.y;

    // The tab switch.
    static const std::array<std::string, 2> segments{std::string(rawValue(LeftBrowserTab::assets)),
                                                     std::string(rawValue(LeftBrowserTab::materials))};
    ImGui::SetCursorScreenPos(ImVec2(x + 12, y + 12));
    const int selected = leftTab_ == LeftBrowserTab::assets ? 0 : 1;
    if (auto pressed = segmentedControl("tabs", segments, selected, w - 24))
        leftTab_ = kLeftBrowserTabAllCases[size_t(*pressed)];
    y = ImGui::GetItemRectMax().y + 12;

    if (leftTab_ == LeftBrowserTab::materials) {
        materialGrid(ImVec2(x, y), L.leftMax);
        return;
    }

    // Search block: the field row, then the import button.
    const float innerW = w - 24;
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const FontSpec fieldFont{12};
    const float fieldH = fieldFont.size + 2;  // the plain field's frame: one point above and below
    const ImVec2 rowMin(x + 12, y), rowMax(x + 12 + innerW, y + fieldH + 14);
    fillShape(dl, rowMin, rowMax, Shape::rounded(7), white(0.06));
    const std::string glass = symbolText("magnifyingglass", UiContext::current() && UiContext::current()->fonts().hasIcons());
    const FontSpec glassFont{11};
    const ImVec2 glassSize = measureText(glass, glassFont);
    drawText(dl, ImVec2(rowMin.x + 10, (rowMin.y + rowMax.y - glassSize.y) * 0.5f), glass, glassFont, white(0.45));
    report("searchIcon", ControlKind::text, rowMin, ImVec2(rowMin.x + 10 + glassSize.x, rowMax.y), {}, "magnifyingglass");
    const float fieldX = rowMin.x + 10 + glassSize.x + 6;
    ImGui::SetCursorScreenPos(ImVec2(fieldX, y + 7));
    std::string query = *vm_.assetSearchQuery;
    if (textField("search", "Search 3D models...", query, std::max(rowMax.x - 10 - fieldX, 1.0f), fieldFont, true))
        vm_.assetSearchQuery = query;
    y = rowMax.y + 8;
    if (window::placeButton("import", ImVec2(x + 12, y), "Import USDZ / OBJ / Mesh...", "square.and.arrow.down",
                            importButtonStyle(innerW)))
        vm_.importExternalModelPanel();
    y = ImGui::GetItemRectMax().y + 10;

    assetList(ImVec2(x, y), L.leftMax);
}

const std::vector<lookdev::StudioAssetItem>& StudioMainView::filteredAssets() {
    if (filteredDirty_) {
        filteredAssets_ = vm_.filteredAssets();
        filteredDirty_ = false;
    }
    return filteredAssets_;
}

void StudioMainView::assetList(ImVec2 min, ImVec2 max) {
    if (!beginScrollView("assetList", min, max)) {
        endScrollView(ImGui::GetCursorScreenPos(), 0);
        return;
    }
    const ImVec2 origin = ImGui::GetCursorScreenPos();  // moves with the scroll position
    const float rowW = std::max(ImGui::GetContentRegionAvail().x - 20, 40.0f);
    const float x = origin.x + 10;
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const bool icons = UiContext::current() && UiContext::current()->fonts().hasIcons();

    // One reading of the filtered list gives the visible sections, in the fixed order; a
    // click acts after the list is drawn, so the list does not change under the loop.
    const std::vector<lookdev::StudioAssetItem>& assets = filteredAssets();
    std::set<std::string_view> present;
    for (const auto& a : assets) present.insert(a.category);

    const float headerH = 8 + kSectionFont.size;
    const float rowH = 7 + 12 + 2 + kSubtitleFont.size + 7;
    float y = origin.y;
    bool first = true;
    std::optional<lookdev::StudioAssetItem> clicked;
    for (std::string_view category : kCategoryOrder) {
        if (!present.count(category)) continue;
        if (!first) y += 6;
        first = false;
        // Section header: the category upper-cased. Only what is in view is built.
        const ImVec2 hMin(x, y), hMax(x + rowW, y + headerH);
        if (ImGui::IsRectVisible(hMin, hMax)) {
            const std::string upper = pk::toUpper(category);
            drawText(dl, ImVec2(x + 6, y + 8), upper, kSectionFont, white(0.45));
            report("section:" + std::string(category), ControlKind::sectionHeader, ImVec2(x + 6, y + 8), hMax, upper);
        }
        y += headerH;
        for (const auto& item : assets) {
            if (item.category != category) continue;
            y += 6;
            const ImVec2 rMin(x, y), rMax(x + rowW, y + rowH);
            y += rowH;
            if (!ImGui::IsRectVisible(rMin, rMax)) continue;
            const bool isSelected = item.id == *vm_.selectedAssetID;
            if (window::hitArea("asset:" + item.id, rMin, rMax)) clicked = item;
            const std::string symbol = assetKindSymbol(item.kind);
            report("asset:" + item.id, ControlKind::button, rMin, rMax, item.displayName, symbol, isSelected,
                   item.subtitle);
            const pk::Color cyan = UiPalette::cyan;
            fillShape(dl, rMin, rMax, Shape::rounded(7), isSelected ? withOpacity(cyan, 0.18) : white(0.02));
            if (isSelected) strokeShape(dl, rMin, rMax, Shape::rounded(7), withOpacity(cyan, 0.45));
            // Kind icon, framed 18 wide; then name over subtitle, one line each.
            const FontSpec iconFont{12};
            const std::string glyph = symbolText(symbol, icons);
            const ImVec2 g = measureText(glyph, iconFont);
            const float cy = (rMin.y + rMax.y) * 0.5f;
            drawText(dl, ImVec2(rMin.x + 8 + (18 - g.x) * 0.5f, cy - g.y * 0.5f), glyph, iconFont,
                     isSelected ? cyan : white(0.55));
            const float textX = rMin.x + 8 + 18 + 8;
            const float textW = std::max(rMax.x - 8 - textX, 1.0f);
            const FontSpec nameFont = rowNameFont(isSelected);
            const float textTop = cy - (12 + 2 + kSubtitleFont.size) * 0.5f;
            drawText(dl, ImVec2(textX, textTop), truncatedToWidth(item.displayName, nameFont, textW), nameFont, white());
            drawText(dl, ImVec2(textX, textTop + 12 + 2), truncatedToWidth(item.subtitle, kSubtitleFont, textW),
                     kSubtitleFont, white(0.48));
        }
    }
    y += 16;
    endScrollView(origin, y - origin.y);
    // Selecting loads a mesh; done after the list so the frame never draws a half-changed list.
    if (clicked) vm_.selectAsset(*clicked);
}

void StudioMainView::materialGrid(ImVec2 min, ImVec2 max) {
    if (!beginScrollView("materials", min, max)) {
        endScrollView(ImGui::GetCursorScreenPos(), 0);
        return;
    }
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const float innerW = std::max(ImGui::GetContentRegionAvail().x - 24, 40.0f);
    const float x = origin.x + 12;
    float y = origin.y;
    if (window::placeButton("forgePhoto", ImVec2(x, y), "Forge 4K PBR From Photo...", "photo.badge.plus",
                            forgeButtonStyle(innerW)))
        vm_.importPhotoForPBRPanel();
    y = ImGui::GetItemRectMax().y + 10;

    // Two flexible columns, 8 apart; every cell is as tall as the others.
    const float colW = (innerW - 8) * 0.5f;
    const float swatchH = 56, titleH = 28;
    const float cellH = 7 + swatchH + 6 + titleH + 7;
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const bool photo = vm_.sourcePhotoURL->has_value();
    const lookdev::PBRMaterialPreset current = vm_.materialParams->preset;
    std::optional<lookdev::PBRMaterialPreset> clicked;
    const auto& presets = lookdev::PBRMaterialPreset::allCases;
    for (size_t i = 0; i < presets.size(); ++i) {
        const lookdev::PBRMaterialPreset preset = presets[i];
        const ImVec2 cMin(x + float(i % 2) * (colW + 8), y + float(i / 2) * (cellH + 8));
        const ImVec2 cMax(cMin.x + colW, cMin.y + cellH);
        if (!ImGui::IsRectVisible(cMin, cMax)) continue;
        const std::string title = preset.title();
        const bool isSelected = !photo && preset == current;
        if (window::hitArea("material:" + title, cMin, cMax)) clicked = preset;
        const pk::Color cyan = UiPalette::cyan;
        fillShape(dl, cMin, cMax, Shape::rounded(10), isSelected ? withOpacity(cyan, 0.18) : white(0.04));
        strokeShape(dl, cMin, cMax, Shape::rounded(10), isSelected ? withOpacity(cyan, 0.60) : white(0.06));
        const ImVec2 sMin = cMin + ImVec2(7, 7), sMax(cMax.x - 7, sMin.y + swatchH);
        if (UiContext* ctx = UiContext::current()) {
            ImTextureID tex = ctx->swatches().swatch(swatchGradient(preset), int(std::lround(sMax.x - sMin.x)),
                                                     int(std::lround(swatchH)));
            if (tex) fillShapeImage(dl, sMin, sMax, Shape::rounded(8), tex);
        }
        report("swatch:" + title, ControlKind::swatch, sMin, sMax, title);
        const std::vector<std::string> lines = wrappedLines(title, kCellTitleFont, sMax.x - sMin.x, 2);
        std::string shown;
        float ty = sMax.y + 6;
        for (const auto& line : lines) {
            drawText(dl, ImVec2(sMin.x, ty), line, kCellTitleFont, white());
            ty += kCellTitleFont.size + 1;
            shown += (shown.empty() ? "" : "\n") + line;
        }
        report("material:" + title, ControlKind::button, cMin, cMax, title, {}, isSelected, shown);
    }
    y += float((presets.size() + 1) / 2) * (cellH + 8) - 8 + 16;
    endScrollView(origin, y - origin.y);
    if (clicked) vm_.selectMaterialPreset(*clicked);
}

}  // namespace kestrelune
