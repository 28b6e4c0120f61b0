#include "MarblewickCreatorStudio/VelStreamerViralKillToastV1250.h"

#include <algorithm>

#include "PlatformKit/Ui/UiLayout.h"
#include "PlatformKit/Ui/UiTintedControls.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace creator {

using namespace pk::ui;
using Toast = VelStreamerViralKillToastV1250;

namespace {

constexpr float kSpacing = 8, kPadH = 14, kPadV = 7, kBadgePadH = 6, kBadgePadV = 2, kTracking = 0.8f;
constexpr float kBorderWidth = 1.2f, kShadowRadius = 10, kEnterScale = 0.88f;
const FontSpec kIconFont{13, FontWeight::black};
const FontSpec kCalloutFont{12, FontWeight::black, false, FontDesign::rounded};
const FontSpec kBadgeFont{9, FontWeight::black, false, FontDesign::monospaced};
constexpr const char* kBadge = "CLIP READY";

struct Look {
    const char* symbol;
    pk::Color tint;
};

Look lookFor(bool bookmarked) {
    return bookmarked ? Look{"flame.fill", UiPalette::orange} : Look{"scope", UiPalette::cyan};
}

// Text with extra space after every character, as letter tracking does.
ImVec2 trackedSize(const std::string& s) {
    ImFont* f = fontFor(kCalloutFont);
    float w = 0;
    for (size_t i = 0; i < s.size();) {
        unsigned int c = 0;
        const int n = ImTextCharFromUtf8(&c, s.c_str() + i, s.c_str() + s.size());
        i += std::max(n, 1);
        w += f->GetCharAdvance(ImWchar(c)) * (kCalloutFont.size / f->FontSize) + kTracking;
    }
    return ImVec2(w, kCalloutFont.size);
}

void drawTracked(ImDrawList* dl, ImVec2 at, const std::string& s, ImU32 col) {
    ImFont* f = fontFor(kCalloutFont);
    const float scale = kCalloutFont.size / f->FontSize;
    for (size_t i = 0; i < s.size();) {
        unsigned int c = 0;
        const int n = std::max(ImTextCharFromUtf8(&c, s.c_str() + i, s.c_str() + s.size()), 1);
        dl->AddText(f, kCalloutFont.size, at, col, s.c_str() + i, s.c_str() + i + n);
        at.x += f->GetCharAdvance(ImWchar(c)) * scale + kTracking;
        i += size_t(n);
    }
}

ImVec2 badgeSize() {
    const ImVec2 t = measureStyledText(kBadge, kBadgeFont);
    return ImVec2(t.x + 2 * kBadgePadH, t.y + 2 * kBadgePadV);
}

}  // namespace

ImVec2 Toast::size() const {
    if (!visible()) return ImVec2(0, 0);
    const Look look = lookFor(clipBookmarked);
    const ImVec2 icon = measureTintedLabel({}, look.symbol, kIconFont);
    const ImVec2 text = trackedSize(*callout);
    float w = icon.x + kSpacing + text.x, h = std::max(icon.y, text.y);
    if (clipBookmarked) {
        const ImVec2 badge = badgeSize();
        w += kSpacing + badge.x;
        h = std::max(h, badge.y);
    }
    return ImVec2(w + 2 * kPadH, h + 2 * kPadV);
}

void Toast::body(float presence) const {
    if (!visible()) return;
    ProbeScope scope("killToast");
    presence = std::clamp(presence, 0.0f, 1.0f);
    const Look look = lookFor(clipBookmarked);
    const std::string& text = *callout;
    ImDrawList* dl = ImGui::GetWindowDrawList();

    std::vector<StackItem> row;
    row.push_back({measureTintedLabel({}, look.symbol, kIconFont),
                   [&] { tintedLabel("icon", {}, look.symbol, kIconFont, look.tint); }});
    const ImVec2 textSize = trackedSize(text);
    row.push_back({textSize, [&] {
                       const ImVec2 at = ImGui::GetCursorScreenPos();
                       ImGui::Dummy(textSize);
                       drawTracked(dl, at, text, toImU32(white()));
                       reportRect("callout", ControlKind::text, at, ImVec2(at.x + textSize.x, at.y + textSize.y), text,
                                  {}, {}, colorValue(white()));
                   }});
    if (clipBookmarked) {
        const ImVec2 badge = badgeSize();
        row.push_back({badge, [&, badge] {
                           const ImVec2 at = ImGui::GetCursorScreenPos();
                           const pk::Color fill = withOpacity(UiPalette::red, 0.85);
                           fillShape(dl, at, ImVec2(at.x + badge.x, at.y + badge.y), Shape::capsuleShape(), fill);
                           ImGui::SetCursorScreenPos(ImVec2(at.x + kBadgePadH, at.y + kBadgePadV));
                           styledText("badgeText", kBadge, kBadgeFont, white());
                           reportRect("badge", ControlKind::text, at, ImVec2(at.x + badge.x, at.y + badge.y), kBadge,
                                      {}, {}, colorValue(fill));
                       }});
    }
    // The capsule is sized from the row it holds (as size() measures it).
    const ImVec2 content = hstackSize(row, kSpacing);
    const ImVec2 sz(content.x + 2 * kPadH, content.y + 2 * kPadV);
    const ImVec2 a = ImGui::GetCursorScreenPos(), b(a.x + sz.x, a.y + sz.y);
    const int firstVertex = dl->VtxBuffer.Size;

    dropShadow(dl, a, b, Shape::capsuleShape(), pk::ui::black(0.5), kShadowRadius, ImVec2(0, 4));
    fillShape(dl, a, b, Shape::capsuleShape(), UiPalette::ultraThinMaterial);
    // The border lies inside the capsule's edge.
    const float inset = kBorderWidth * 0.5f;
    const pk::Color border = withOpacity(look.tint, 0.65);
    strokeShape(dl, ImVec2(a.x + inset, a.y + inset), ImVec2(b.x - inset, b.y - inset), Shape::capsuleShape(), border,
                kBorderWidth);
    reportRect("capsule", ControlKind::panel, a, b, {}, {}, {}, colorValue(border));

    ImGui::SetCursorScreenPos(ImVec2(a.x + kPadH, a.y + kPadV));
    hstack(row, kSpacing, sz.x - 2 * kPadH);
    ImGui::SetCursorScreenPos(a);
    ImGui::Dummy(sz);

    if (presence < 1.0f) {
        // The transition: everything drawn above, scaled about the centre and faded.
        const float s = kEnterScale + (1.0f - kEnterScale) * presence;
        const ImVec2 c((a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f);
        for (int i = firstVertex; i < dl->VtxBuffer.Size; ++i) {
            ImDrawVert& v = dl->VtxBuffer[i];
            v.pos = ImVec2(c.x + (v.pos.x - c.x) * s, c.y + (v.pos.y - c.y) * s);
            const float alpha = float((v.col >> IM_COL32_A_SHIFT) & 0xFF) * presence;
            v.col = (v.col & ~IM_COL32_A_MASK) | (ImU32(alpha + 0.5f) << IM_COL32_A_SHIFT);
        }
    }
}

}  // namespace creator
