#include "PlatformKit/Ui/UiWidgets.h"

#include <algorithm>
#include <cmath>

#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Foundation/Text.h"
#include "PlatformKit/Ui/UiContext.h"
#include "PlatformKit/Ui/UiSymbols.h"

namespace pk::ui {
namespace {

constexpr float kPi = 3.14159265358979f;


bool iconsAvailable() {
    UiContext* ctx = UiContext::current();
    return ctx && ctx->fonts().hasIcons();
}

ImVec2 textSize(ImFont* f, float size, std::string_view s, float wrapWidth = 0) {
    if (s.empty()) return ImVec2(0, size);
    return f->CalcTextSizeA(size, FLT_MAX, wrapWidth, s.data(), s.data() + s.size());
}

void drawText(ImDrawList* dl, ImFont* f, float size, ImVec2 pos, ImU32 col, std::string_view s) {
    if (!s.empty()) dl->AddText(f, size, pos, col, s.data(), s.data() + s.size());
}

struct LabelMetrics {
    ImVec2 symbol, title, content;
};

LabelMetrics metrics(std::string_view title, const std::string& glyph, const LabelStyle& st) {
    FontSpec symSpec = st.font;
    if (st.symbolSize > 0) symSpec.size = st.symbolSize;
    LabelMetrics m;
    m.title = textSize(fontFor(st.font), st.font.size, title);
    m.symbol = glyph.empty() ? ImVec2(0, 0) : textSize(fontFor(symSpec), symSpec.size, glyph);
    if (title.empty()) m.title = ImVec2(0, 0);
    float gap = (!glyph.empty() && !title.empty()) ? st.spacing : 0.0f;
    if (st.vertical)
        m.content = ImVec2(std::max(m.symbol.x, m.title.x), m.symbol.y + gap + m.title.y);
    else
        m.content = ImVec2(m.symbol.x + gap + m.title.x, std::max(m.symbol.y, m.title.y));
    return m;
}

ImVec2 frameSize(const LabelMetrics& m, const LabelStyle& st) {
    float w = st.width > 0 ? st.width
              : st.fullWidth ? std::max(ImGui::GetContentRegionAvail().x, 1.0f)
                             : m.content.x + 2 * st.paddingH;
    float h = st.height > 0 ? st.height : m.content.y + 2 * st.paddingV;
    return ImVec2(std::max(w, 1.0f), std::max(h, 1.0f));
}

void drawLabel(ImDrawList* dl, ImVec2 min, ImVec2 max, std::string_view title, const std::string& glyph,
               const LabelStyle& st, const LabelMetrics& m, float alpha) {
    if (st.gradient) {
        LinearGradient g = *st.gradient;
        g.from.opacity *= alpha;
        g.to.opacity *= alpha;
        fillShapeGradient(dl, min, max, st.shape, g);
    } else if (st.fill.opacity > 0) {
        fillShape(dl, min, max, st.shape, withOpacity(st.fill, st.fill.opacity * alpha));
    }
    if (st.stroke.opacity > 0) strokeShape(dl, min, max, st.shape, withOpacity(st.stroke, st.stroke.opacity * alpha), st.strokeWidth);
    FontSpec symSpec = st.font;
    if (st.symbolSize > 0) symSpec.size = st.symbolSize;
    ImU32 col = toImU32(st.foreground, alpha);
    ImVec2 c((min.x + max.x) * 0.5f, (min.y + max.y) * 0.5f);
    ImVec2 origin(c.x - m.content.x * 0.5f, c.y - m.content.y * 0.5f);
    float gap = (!glyph.empty() && !title.empty()) ? st.spacing : 0.0f;
    if (st.vertical) {
        drawText(dl, fontFor(symSpec), symSpec.size, ImVec2(c.x - m.symbol.x * 0.5f, origin.y), col, glyph);
        drawText(dl, fontFor(st.font), st.font.size, ImVec2(c.x - m.title.x * 0.5f, origin.y + m.symbol.y + gap), col, title);
    } else {
        drawText(dl, fontFor(symSpec), symSpec.size, ImVec2(origin.x, c.y - m.symbol.y * 0.5f), col, glyph);
        drawText(dl, fontFor(st.font), st.font.size, ImVec2(origin.x + m.symbol.x + gap, c.y - m.title.y * 0.5f), col, title);
    }
}

std::string imguiId(std::string_view id) { return "##" + std::string(id); }

}  // namespace

// ---- Shapes -----------------------------------------------------------------------------

void pathShape(ImDrawList* dl, ImVec2 a, ImVec2 b, const Shape& shape) {
    float w = b.x - a.x, h = b.y - a.y;
    switch (shape.kind) {
        case Shape::rectangle:
            dl->PathLineTo(a);
            dl->PathLineTo(ImVec2(b.x, a.y));
            dl->PathLineTo(b);
            dl->PathLineTo(ImVec2(a.x, b.y));
            return;
        case Shape::roundedRectangle: {
            float r = std::clamp(shape.radius, 0.0f, std::min(w, h) * 0.5f);
            if (r <= 0.5f) return pathShape(dl, a, b, Shape{});
            dl->PathArcTo(ImVec2(a.x + r, a.y + r), r, kPi, 1.5f * kPi);
            dl->PathArcTo(ImVec2(b.x - r, a.y + r), r, 1.5f * kPi, 2.0f * kPi);
            dl->PathArcTo(ImVec2(b.x - r, b.y - r), r, 0.0f, 0.5f * kPi);
            dl->PathArcTo(ImVec2(a.x + r, b.y - r), r, 0.5f * kPi, kPi);
            return;
        }
        case Shape::capsule: {
            float r = std::min(w, h) * 0.5f;
            if (w >= h) {
                float cy = (a.y + b.y) * 0.5f;
                dl->PathArcTo(ImVec2(a.x + r, cy), r, 0.5f * kPi, 1.5f * kPi);
                dl->PathArcTo(ImVec2(b.x - r, cy), r, -0.5f * kPi, 0.5f * kPi);
            } else {
                float cx = (a.x + b.x) * 0.5f;
                dl->PathArcTo(ImVec2(cx, a.y + r), r, kPi, 2.0f * kPi);
                dl->PathArcTo(ImVec2(cx, b.y - r), r, 0.0f, kPi);
            }
            return;
        }
        case Shape::circle: {
            float r = std::min(w, h) * 0.5f;
            ImVec2 c((a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f);
            int segments = std::clamp(int(r * 1.5f), 16, 96);
            dl->PathArcTo(c, r, 0.0f, 2.0f * kPi * float(segments - 1) / float(segments), segments - 1);
            return;
        }
    }
}

void fillShape(ImDrawList* dl, ImVec2 min, ImVec2 max, const Shape& shape, const Color& color) {
    if (color.opacity <= 0) return;
    pathShape(dl, min, max, shape);
    dl->PathFillConvex(toImU32(color));
}

void strokeShape(ImDrawList* dl, ImVec2 min, ImVec2 max, const Shape& shape, const Color& color, float width) {
    if (color.opacity <= 0 || width <= 0) return;
    pathShape(dl, min, max, shape);
    dl->PathStroke(toImU32(color), ImDrawFlags_Closed, width);
}

void fillShapeGradient(ImDrawList* dl, ImVec2 min, ImVec2 max, const Shape& shape, const LinearGradient& g) {
    int first = dl->VtxBuffer.Size;
    pathShape(dl, min, max, shape);
    dl->PathFillConvex(IM_COL32_WHITE);
    shadeVerticesLinear(dl, first, min, max, g);
}

void shadeVerticesLinear(ImDrawList* dl, int firstVertex, ImVec2 min, ImVec2 max, const LinearGradient& g) {
    ImVec2 size(max.x - min.x, max.y - min.y);
    ImVec2 p0(min.x + g.start.x * size.x, min.y + g.start.y * size.y);
    ImVec2 p1(min.x + g.end.x * size.x, min.y + g.end.y * size.y);
    ImVec2 d(p1.x - p0.x, p1.y - p0.y);
    float len2 = std::max(d.x * d.x + d.y * d.y, 1e-6f);
    for (int i = firstVertex; i < dl->VtxBuffer.Size; ++i) {
        ImDrawVert& v = dl->VtxBuffer[i];
        float t = std::clamp(((v.pos.x - p0.x) * d.x + (v.pos.y - p0.y) * d.y) / len2, 0.0f, 1.0f);
        Color c{g.from.red + (g.to.red - g.from.red) * t, g.from.green + (g.to.green - g.from.green) * t,
                g.from.blue + (g.to.blue - g.from.blue) * t, g.from.opacity + (g.to.opacity - g.from.opacity) * t};
        float fringe = float((v.col >> IM_COL32_A_SHIFT) & 0xFF) / 255.0f;
        v.col = toImU32(c, fringe);
    }
}

// ---- Text and labels --------------------------------------------------------------------

ImFont* fontFor(const FontSpec& spec) {
    UiContext* ctx = UiContext::current();
    return ctx ? ctx->font(spec) : ImGui::GetFont();
}

ImVec2 measureText(std::string_view s, const FontSpec& font, float wrapWidth) {
    return textSize(fontFor(font), font.size, s, wrapWidth);
}

std::string glyphFor(std::string_view symbol) {
    return symbol.empty() ? std::string() : symbolText(symbol, iconsAvailable());
}

ImVec2 measureLabel(std::string_view title, std::string_view symbol, const LabelStyle& style) {
    return frameSize(metrics(title, glyphFor(symbol), style), style);
}

bool labelButton(std::string_view id, std::string_view title, std::string_view symbol, const LabelStyle& style,
                 ControlState state) {
    std::string glyph = glyphFor(symbol);
    LabelMetrics m = metrics(title, glyph, style);
    ImVec2 size = frameSize(m, style);
    if (!state.enabled) ImGui::BeginDisabled();
    bool pressed = ImGui::InvisibleButton(imguiId(id).c_str(), size);
    if (!state.enabled) ImGui::EndDisabled();
    ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    drawLabel(ImGui::GetWindowDrawList(), a, b, title, glyph, style, m, state.enabled ? 1.0f : 0.4f);
    reportRect(id, ControlKind::button, a, b, title, symbol, state);
    return pressed && state.enabled;
}

void label(std::string_view id, std::string_view title, std::string_view symbol, const LabelStyle& style) {
    std::string glyph = glyphFor(symbol);
    LabelMetrics m = metrics(title, glyph, style);
    ImVec2 size = frameSize(m, style);
    ImGui::Dummy(size);
    ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    drawLabel(ImGui::GetWindowDrawList(), a, b, title, glyph, style, m, 1.0f);
    reportRect(id, ControlKind::text, a, b, title, symbol, {});
}

LabelStyle primaryActionStyle() {
    LabelStyle s;
    s.font = FontSpec{12, FontWeight::semibold};
    s.foreground = black();
    s.fullWidth = true;
    s.paddingV = 9;
    s.shape = Shape::rounded(8);
    s.gradient = LinearGradient{UiPalette::cyan, Color{0.14, 0.56, 0.94, 1}, ImVec2(0, 0.5f), ImVec2(1, 0.5f)};
    return s;
}

LabelStyle secondaryActionStyle() {
    LabelStyle s;
    s.font = FontSpec{11, FontWeight::medium};
    s.fullWidth = true;
    s.paddingV = 8;
    s.shape = Shape::rounded(8);
    s.fill = white(0.08);
    s.stroke = white(0.12);
    return s;
}

bool primaryButton(std::string_view id, std::string_view title, std::string_view symbol, bool enabled) {
    return labelButton(id, title, symbol, primaryActionStyle(), ControlState{false, enabled});
}

bool secondaryButton(std::string_view id, std::string_view title, std::string_view symbol, bool enabled) {
    return labelButton(id, title, symbol, secondaryActionStyle(), ControlState{false, enabled});
}

bool symbolButton(std::string_view id, std::string_view symbol, const FontSpec& font, const Color& color, bool enabled) {
    LabelStyle s;
    s.font = font;
    s.foreground = color;
    return labelButton(id, {}, symbol, s, ControlState{false, enabled});
}

void text(std::string_view id, std::string_view str, const FontSpec& font, const Color& color) {
    ImFont* f = fontFor(font);
    ImVec2 size = textSize(f, font.size, str);
    ImGui::Dummy(size);
    ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    drawText(ImGui::GetWindowDrawList(), f, font.size, a, toImU32(color), str);
    reportRect(id, ControlKind::text, a, b, str, {}, {});
}

void sectionHeader(std::string_view title) {
    std::string upper = toUpper(title);
    FontSpec font{10, FontWeight::bold};
    ImFont* f = fontFor(font);
    ImVec2 size = textSize(f, font.size, upper);
    ImGui::Dummy(size);
    ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    drawText(ImGui::GetWindowDrawList(), f, font.size, a, toImU32(white(0.5)), upper);
    reportRect("header:" + std::string(title), ControlKind::sectionHeader, a, b, upper, {}, {});
}

namespace {
void twoColumnRow(std::string_view id, ControlKind kind, std::string_view left, const FontSpec& lf, const Color& lc,
                  const std::string& right, const FontSpec& rf, const Color& rc) {
    ImFont* lFont = fontFor(lf);
    ImFont* rFont = fontFor(rf);
    ImVec2 ls = textSize(lFont, lf.size, left), rs = textSize(rFont, rf.size, right);
    float w = std::max(ImGui::GetContentRegionAvail().x, ls.x + rs.x + 8);
    float h = std::max(ls.y, rs.y);
    ImGui::Dummy(ImVec2(w, h));
    ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    drawText(dl, lFont, lf.size, ImVec2(a.x, a.y + (h - ls.y) * 0.5f), toImU32(lc), left);
    drawText(dl, rFont, rf.size, ImVec2(b.x - rs.x, a.y + (h - rs.y) * 0.5f), toImU32(rc), right);
    reportRect(id, kind, a, b, left, {}, {}, right);
}
}  // namespace

void valueRow(std::string_view labelText, std::string_view value) {
    twoColumnRow("row:" + std::string(labelText), ControlKind::valueRow, labelText, FontSpec{11}, white(0.58),
                 std::string(value), FontSpec{11, FontWeight::semibold, true}, white());
}

void sliderValueHeader(std::string_view title, float value) {
    twoColumnRow("valueHeader:" + std::string(title), ControlKind::text, title, FontSpec{11, FontWeight::medium},
                 white(0.78), formatC("%.2f", double(value)), FontSpec{11, FontWeight::regular, true}, white(0.55));
}

void divider(const Color& color) {
    float w = std::max(ImGui::GetContentRegionAvail().x, 1.0f);
    ImGui::Dummy(ImVec2(w, 1));
    ImVec2 a = ImGui::GetItemRectMin();
    ImGui::GetWindowDrawList()->AddRectFilled(a, ImVec2(a.x + w, a.y + 1), toImU32(color));
}

// ---- Value controls ---------------------------------------------------------------------

bool continuousSlider(std::string_view id, float& value, float lo, float hi, float width, const Color& tint, bool enabled) {
    const float height = 20, thumbR = 8, trackH = 4;
    float w = width > 0 ? width : std::max(ImGui::GetContentRegionAvail().x, 2 * thumbR + 1);
    if (!enabled) ImGui::BeginDisabled();
    ImGui::InvisibleButton(imguiId(id).c_str(), ImVec2(w, height));
    if (!enabled) ImGui::EndDisabled();
    ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    float x0 = a.x + thumbR, x1 = b.x - thumbR;
    bool changed = false;
    if (enabled && ImGui::IsItemActive() && hi != lo) {
        float t = std::clamp((ImGui::GetIO().MousePos.x - x0) / std::max(x1 - x0, 1.0f), 0.0f, 1.0f);
        float v = lo + (hi - lo) * t;
        if (t >= 1.0f) v = hi;  // the ends exactly, not lo + (hi - lo)
        if (v != value) {
            value = v;
            changed = true;
        }
    }
    float shown = std::isfinite(value) ? value : lo;
    float t = hi != lo ? std::clamp((shown - lo) / (hi - lo), 0.0f, 1.0f) : 0.0f;
    float cy = (a.y + b.y) * 0.5f, tx = x0 + (x1 - x0) * t;
    float alpha = enabled ? 1.0f : 0.4f;
    ImDrawList* dl = ImGui::GetWindowDrawList();
    fillShape(dl, ImVec2(x0, cy - trackH / 2), ImVec2(x1, cy + trackH / 2), Shape::capsuleShape(), white(0.14 * alpha));
    if (tx > x0 + 0.5f)
        fillShape(dl, ImVec2(x0, cy - trackH / 2), ImVec2(tx, cy + trackH / 2), Shape::capsuleShape(), withOpacity(tint, alpha));
    dl->AddCircleFilled(ImVec2(tx, cy + 1), thumbR, toImU32(black(0.3 * alpha)), 24);
    dl->AddCircleFilled(ImVec2(tx, cy), thumbR, toImU32(white(alpha)), 24);
    reportRect(id, ControlKind::slider, a, b, {}, {}, ControlState{ImGui::IsItemActive(), enabled},
               formatC("%.9g", double(value)));
    return changed;
}

bool inspectorSlider(std::string_view id, std::string_view title, float& value, float lo, float hi) {
    ImGui::BeginGroup();
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(ImGui::GetStyle().ItemSpacing.x, 4));
    sliderValueHeader(title, value);
    bool changed = continuousSlider(id, value, lo, hi);
    ImGui::PopStyleVar();
    ImGui::EndGroup();
    return changed;
}

float segmentedControlHeight(const FontSpec& font) { return font.size + 12; }

std::optional<int> segmentedControl(std::string_view id, std::span<const std::string> segments, int selected,
                                    float width, const FontSpec& font) {
    std::optional<int> pressed;
    float w = width > 0 ? width : std::max(ImGui::GetContentRegionAvail().x, 1.0f);
    float h = segmentedControlHeight(font);
    ImVec2 origin = ImGui::GetCursorScreenPos();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    fillShape(dl, origin, ImVec2(origin.x + w, origin.y + h), Shape::rounded(7), white(0.06));
    ImGui::PushID(id.data(), id.data() + id.size());
    float segW = segments.empty() ? w : w / float(segments.size());
    std::string selectedText;
    for (size_t i = 0; i < segments.size(); ++i) {
        ImVec2 a(origin.x + segW * float(i), origin.y), b(a.x + segW, origin.y + h);
        ImGui::SetCursorScreenPos(a);
        ImGui::PushID(int(i));
        if (ImGui::InvisibleButton("##segment", ImVec2(std::max(segW, 1.0f), h))) pressed = int(i);
        ImGui::PopID();
        bool isSel = int(i) == selected;
        if (isSel) {
            fillShape(dl, ImVec2(a.x + 2, a.y + 2), ImVec2(b.x - 2, b.y - 2), Shape::rounded(6), white(0.16));
            selectedText = segments[i];
        }
        FontSpec f = font;
        if (isSel) f.weight = FontWeight::semibold;
        ImVec2 ts = measureText(segments[i], f);
        drawText(dl, fontFor(f), f.size, ImVec2((a.x + b.x - ts.x) * 0.5f, (a.y + b.y - ts.y) * 0.5f),
                 toImU32(white(isSel ? 1.0 : 0.7)), segments[i]);
        reportRect(std::string(id) + "/" + std::to_string(i), ControlKind::segment, a, b, segments[i], {},
                   ControlState{isSel, true});
    }
    ImGui::PopID();
    ImGui::SetCursorScreenPos(origin);
    ImGui::Dummy(ImVec2(w, h));
    reportRect(id, ControlKind::segmentedControl, origin, ImVec2(origin.x + w, origin.y + h), {}, {},
               ControlState{selected >= 0, true}, selectedText);
    return pressed;
}

bool toggle(std::string_view id, std::string_view title, bool& value, const FontSpec& font) {
    const float sw = 34, sh = 20;
    ImVec2 ts = measureText(title, font);
    float w = std::max(ImGui::GetContentRegionAvail().x, ts.x + sw + 8);
    float h = std::max(ts.y, sh);
    bool pressed = ImGui::InvisibleButton(imguiId(id).c_str(), ImVec2(w, h));
    if (pressed) value = !value;
    ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    drawText(dl, fontFor(font), font.size, ImVec2(a.x, a.y + (h - ts.y) * 0.5f), toImU32(white()), title);
    ImVec2 s0(b.x - sw, a.y + (h - sh) * 0.5f), s1(b.x, s0.y + sh);
    drawSwitch(dl, s0, s1, value);
    reportRect(id, ControlKind::toggle, a, b, title, {}, ControlState{value, true}, value ? "on" : "off");
    return pressed;
}

void drawSwitch(ImDrawList* dl, ImVec2 min, ImVec2 max, bool on) {
    fillShape(dl, min, max, Shape::capsuleShape(), on ? UiPalette::green : white(0.16));
    const float r = (max.y - min.y) * 0.5f;
    const float kx = on ? max.x - r : min.x + r;
    dl->AddCircleFilled(ImVec2(kx, (min.y + max.y) * 0.5f), r - 2, toImU32(white()), 24);
}

bool textField(std::string_view id, std::string_view placeholder, std::string& textValue, float width,
               const FontSpec& font, bool plain) {
    ImGui::PushFont(fontFor(font));
    if (plain) {
        ImGui::PushStyleColor(ImGuiCol_FrameBg, ImVec4(0, 0, 0, 0));
        ImGui::PushStyleColor(ImGuiCol_FrameBgHovered, ImVec4(0, 0, 0, 0));
        ImGui::PushStyleColor(ImGuiCol_FrameBgActive, ImVec4(0, 0, 0, 0));
        ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(0, 1));
    }
    ImGui::SetNextItemWidth(width > 0 ? width : -FLT_MIN);
    std::string hint(placeholder);
    bool edited = ImGui::InputTextWithHint(imguiId(id).c_str(), hint.c_str(), &textValue);
    bool active = ImGui::IsItemActive();
    if (plain) {
        ImGui::PopStyleVar();
        ImGui::PopStyleColor(3);
    }
    ImGui::PopFont();
    reportRect(id, ControlKind::textField, ImGui::GetItemRectMin(), ImGui::GetItemRectMax(), placeholder, {},
               ControlState{active, true}, textValue);
    return edited;
}

std::optional<int> picker(std::string_view id, std::string_view title, std::span<const std::string> options,
                          int selected, float width, const FontSpec& font) {
    std::optional<int> chosen;
    ImGui::PushID(id.data(), id.data() + id.size());
    ImGui::PushFont(fontFor(font));
    if (!title.empty()) {
        ImGui::AlignTextToFramePadding();
        ImGui::TextUnformatted(title.data(), title.data() + title.size());
        ImGui::SameLine();
    }
    std::string preview = selected >= 0 && size_t(selected) < options.size() ? options[size_t(selected)] : std::string();
    ImGui::SetNextItemWidth(width > 0 ? width : -FLT_MIN);
    bool open = ImGui::BeginCombo("##picker", preview.c_str());
    ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    if (open) {
        for (size_t i = 0; i < options.size(); ++i) {
            ImGui::PushID(int(i));
            bool isSel = int(i) == selected;
            if (ImGui::Selectable(options[i].c_str(), isSel)) chosen = int(i);
            ImGui::PopID();
            reportRect(std::string(id) + "/" + std::to_string(i), ControlKind::menuItem, ImGui::GetItemRectMin(), ImGui::GetItemRectMax(),
                       options[i], {}, ControlState{isSel, true});
        }
        ImGui::EndCombo();
    }
    ImGui::PopFont();
    ImGui::PopID();
    reportRect(id, ControlKind::picker, a, b, title, {}, ControlState{open, true}, preview);
    return chosen;
}

void progressBar(std::string_view id, double value, float width, const Color& tint) {
    float w = width > 0 ? width : std::max(ImGui::GetContentRegionAvail().x, 1.0f);
    const float h = 6;
    ImGui::Dummy(ImVec2(w, h));
    ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    double t = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
    ImDrawList* dl = ImGui::GetWindowDrawList();
    fillShape(dl, a, b, Shape::capsuleShape(), white(0.12));
    if (t > 0) fillShape(dl, a, ImVec2(a.x + std::max(float(w * t), h), b.y), Shape::capsuleShape(), tint);
    reportRect(id, ControlKind::progress, a, b, {}, {}, {}, formatC("%.4f", t));
}

bool beginMenu(std::string_view id, std::string_view title, bool enabled) {
    // The id rides in the label: an open menu begins its own window, so an id pushed
    // around BeginMenu could not be popped after it.
    std::string t = std::string(title) + "##" + std::string(id);
    const ImVec2 start = ImGui::GetCursorScreenPos();
    const ImVec2 textSize = ImGui::CalcTextSize(t.c_str(), nullptr, true);
    bool open = ImGui::BeginMenu(t.c_str(), enabled);
    ImVec2 min = ImGui::GetItemRectMin(), max = ImGui::GetItemRectMax();
    if (open) {
        // The last item is the menu's window now; the title's own place, measured.
        min = start;
        max = ImVec2(start.x + textSize.x + ImGui::GetStyle().ItemSpacing.x, start.y + textSize.y);
    }
    reportRect(id, ControlKind::menu, min, max, title, {}, ControlState{open, enabled});
    if (open) {
        if (auto* c = UiContext::current()) c->probe().pushScope(id);
    }
    return open;
}

void endMenu() {
    if (auto* c = UiContext::current()) c->probe().popScope();
    ImGui::EndMenu();
}

bool menuItem(std::string_view id, std::string_view title, std::string_view shortcut, bool enabled) {
    std::string t(title), s(shortcut);
    ImGui::PushID(id.data(), id.data() + id.size());
    bool chosen = ImGui::MenuItem(t.c_str(), s.empty() ? nullptr : s.c_str(), false, enabled);
    ImGui::PopID();
    reportRect(id, ControlKind::menuItem, ImGui::GetItemRectMin(), ImGui::GetItemRectMax(), title, {},
               ControlState{false, enabled}, s);
    return chosen;
}

void fillShapeImage(ImDrawList* dl, ImVec2 min, ImVec2 max, const Shape& shape, ImTextureID texture, ImVec2 uv0,
                    ImVec2 uv1, const Color& tint) {
    dl->PushTextureID(texture);
    int first = dl->VtxBuffer.Size;
    pathShape(dl, min, max, shape);
    dl->PathFillConvex(toImU32(tint));
    ImGui::ShadeVertsLinearUV(dl, first, dl->VtxBuffer.Size, min, max, uv0, uv1, true);
    dl->PopTextureID();
}

void image(std::string_view id, ImTextureID texture, ImVec2 size, const Shape& shape, ImVec2 uv0, ImVec2 uv1) {
    size = ImVec2(std::max(size.x, 1.0f), std::max(size.y, 1.0f));
    ImGui::Dummy(size);
    ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    if (texture) fillShapeImage(ImGui::GetWindowDrawList(), a, b, shape, texture, uv0, uv1);
    reportRect(id, ControlKind::image, a, b, {}, {}, {});
}

bool radialSwatch(std::string_view id, const RadialGradientSpec& gradient, ImVec2 size, float cornerRadius, bool clickable) {
    bool pressed = false;
    size = ImVec2(std::max(size.x, 1.0f), std::max(size.y, 1.0f));
    if (clickable)
        pressed = ImGui::InvisibleButton(imguiId(id).c_str(), size);
    else
        ImGui::Dummy(size);
    ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    if (UiContext* ctx = UiContext::current()) {
        ImTextureID tex = ctx->swatches().swatch(gradient, int(std::lround(size.x)), int(std::lround(size.y)));
        if (tex) fillShapeImage(ImGui::GetWindowDrawList(), a, b, Shape::rounded(cornerRadius), tex);
    }
    reportRect(id, ControlKind::swatch, a, b, {}, {}, {});
    return pressed;
}

void reportRect(std::string_view id, ControlKind kind, ImVec2 min, ImVec2 max, std::string_view text,
                std::string_view symbol, ControlState state, std::string value) {
    UiContext* ctx = UiContext::current();
    if (!ctx) return;
    ProbeRecord r;
    r.id = std::string(id);
    r.kind = kind;
    r.rect = ProbeRect{min.x, min.y, max.x - min.x, max.y - min.y};
    r.text = std::string(text);
    r.symbol = std::string(symbol);
    r.selected = state.selected;
    r.enabled = state.enabled;
    ImGuiWindow* window = ImGui::GetCurrentWindowRead();
    r.visible = ImGui::IsRectVisible(min, max) && max.x > min.x && max.y > min.y && !(window && window->Hidden);
    r.value = std::move(value);
    ctx->probe().report(std::move(r));
}

void reportLastItem(std::string_view id, ControlKind kind, std::string_view str, std::string_view symbol, ControlState state) {
    reportRect(id, kind, ImGui::GetItemRectMin(), ImGui::GetItemRectMax(), str, symbol, state);
}

}  // namespace pk::ui
