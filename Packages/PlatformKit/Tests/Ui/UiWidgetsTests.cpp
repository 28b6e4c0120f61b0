#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Ui/UiContext.h"
#include "PlatformKit/Ui/UiDriver.h"
#include "PlatformKit/Ui/UiSymbols.h"
#include "PlatformKit/Ui/UiWidgets.h"

using namespace pk::ui;

namespace {

// A full-window ImGui window holding the view under test.
std::function<void()> inWindow(std::function<void()> body) {
    return [body] {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
        ImGui::Begin("root", nullptr, ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoSavedSettings);
        ImGui::SetCursorPos(ImVec2(20, 20));
        ImGui::BeginChild("column", ImVec2(300, 700));
        body();
        ImGui::EndChild();
        ImGui::End();
    };
}

}  // namespace

TEST(UiFonts, EntriesPerSpecCoverStudioCharactersIconsAndTabularDigits) {
    UiContext ctx;
    UiDriver d(ctx, [] {});
    ctx.makeCurrent();
    FontSpec mono{11, FontWeight::semibold, true};
    FontSpec bold10{10, FontWeight::bold};
    ImFont* standIn = ctx.font(mono);
    d.frame(2);  // the request is built between frames
    ImFont* f = ctx.font(mono);
    EXPECT_NE(f, standIn);
    EXPECT_EQ(ctx.font(mono), f) << "one atlas entry per size and weight";
    ctx.font(bold10);
    d.frame();
    EXPECT_NE(ctx.font(bold10), f);
    ASSERT_TRUE(ctx.fonts().hasInter()) << "fonts-inter missing";
    for (char32_t c : {U'…', U'²', U'×', U'·', U'—', U'→', U'✓', U'≥', U'−', U'∞'})
        EXPECT_NE(f->FindGlyphNoFallback(ImWchar(c)), nullptr) << "U+" << std::hex << uint32_t(c);
    float w0 = f->FindGlyphNoFallback('0')->AdvanceX;
    for (char c = '1'; c <= '9'; ++c) EXPECT_FLOAT_EQ(f->FindGlyphNoFallback(c)->AdvanceX, w0);
    if (ctx.fonts().hasIcons())
        for (const auto& s : symbolTable())
            if (s.icon) { EXPECT_NE(f->FindGlyphNoFallback(ImWchar(s.icon)), nullptr) << s.name; }
}

TEST(UiFonts, SizesAndWeightsShareOneCopyOfEachFace) {
    UiContext ctx;
    UiDriver d(ctx, [] {});
    ctx.makeCurrent();
    for (float size : {11.0f, 12.0f, 13.0f}) ctx.font(FontSpec{size, FontWeight::medium});
    d.frame(2);
    // Every entry of one face points at the same bytes, which the atlas does not own
    // (it would free them once per entry); a rebuild after that still finds them.
    const ImFontAtlas& atlas = *ImGui::GetIO().Fonts;
    std::map<int, std::set<const void*>> buffersBySize;
    for (const ImFontConfig& cfg : atlas.ConfigData) {
        EXPECT_FALSE(cfg.FontDataOwnedByAtlas);
        buffersBySize[cfg.FontDataSize].insert(cfg.FontData);
    }
    for (const auto& [bytes, buffers] : buffersBySize) EXPECT_EQ(buffers.size(), 1u) << "a face of " << bytes << " bytes";
    ctx.font(FontSpec{15, FontWeight::medium});
    d.frame(2);
    EXPECT_NE(ctx.font(FontSpec{15, FontWeight::medium})->FindGlyphNoFallback('A'), nullptr);
}

TEST(UiSymbols, StudioSymbolNamesResolveAndUnknownOnesStayVisible) {
    for (const char* name : {"cube.fill", "camera.aperture", "play.circle.fill", "pause.circle.fill", "square.and.arrow.up",
                             "square.and.arrow.up.on.square.fill", "sun.max.fill", "film.stack", "shippingbox.fill",
                             "xmark.circle.fill", "video", "video.fill", "magnifyingglass", "infinity", "scope",
                             "flame.fill", "icloud.fill", "waveform.circle.fill", "speaker.slash.fill", "record.circle",
                             "sparkles.tv.fill", "person.and.background.dotted", "mic.slash.fill", "bolt.circle.fill"})
        EXPECT_TRUE(findSymbol(name).has_value()) << name;
    EXPECT_EQ(symbolText("infinity"), "\u221E");
    EXPECT_EQ(symbolText("cube.fill", false), "\u25A0");
    EXPECT_EQ(symbolText("no.such.symbol"), "[no.such.symbol]");
}

TEST(UiShapes, CapsuleIsTwoFullHalfCirclesAndGradientSpansTheShape) {
    UiContext ctx;
    UiDriver d(ctx, [] {});
    d.frame();
    ctx.makeCurrent();
    ImDrawList dl(ImGui::GetDrawListSharedData());
    dl._ResetForNewFrame();
    dl.PushClipRectFullScreen();
    ImVec2 a(10, 10), b(70, 30);  // 60 × 20: radius 10
    pathShape(&dl, a, b, Shape::capsuleShape());
    bool sawLeft = false, sawRight = false;
    for (const ImVec2& p : dl._Path) {
        EXPECT_GE(p.x, a.x - 1e-3f);
        EXPECT_LE(p.x, b.x + 1e-3f);
        if (p.x < a.x + 10 - 1e-3f) { EXPECT_NEAR(std::hypot(p.x - 20, p.y - 20), 10.0f, 1e-3f); }
        if (p.x > b.x - 10 + 1e-3f) { EXPECT_NEAR(std::hypot(p.x - 60, p.y - 20), 10.0f, 1e-3f); }
        sawLeft |= std::fabs(p.x - a.x) < 1e-3f && std::fabs(p.y - 20) < 1e-3f;
        sawRight |= std::fabs(p.x - b.x) < 1e-3f && std::fabs(p.y - 20) < 1e-3f;
    }
    EXPECT_TRUE(sawLeft && sawRight) << "the ends reach the full radius";
    dl._Path.resize(0);

    int first = dl.VtxBuffer.Size;
    fillShapeGradient(&dl, a, b, Shape::rounded(8), LinearGradient{pk::Color{1, 0, 0, 1}, pk::Color{0, 0, 1, 1}});
    ASSERT_GT(dl.VtxBuffer.Size, first);
    for (int i = first; i < dl.VtxBuffer.Size; ++i) {
        const ImDrawVert& v = dl.VtxBuffer[i];
        if ((v.col >> IM_COL32_A_SHIFT) == 0) continue;  // fringe
        float t = std::clamp((v.pos.x - a.x) / (b.x - a.x), 0.0f, 1.0f);
        EXPECT_NEAR(float(v.col & 0xFF) / 255.0f, 1 - t, 0.01f);
        EXPECT_NEAR(float((v.col >> 16) & 0xFF) / 255.0f, t, 0.01f);
    }
}

TEST(UiWidgets, ButtonsClickOnceAndDisabledOnesDoNot) {
    UiContext ctx;
    int primary = 0, disabled = 0, row = 0;
    UiDriver d(ctx, inWindow([&] {
        ProbeScope scope("pane");
        if (primaryButton("export", "Export 4-Map PBR Pack...", "square.and.arrow.up")) ++primary;
        if (secondaryButton("render", "Render Turntable MP4...", "film.fill", false)) ++disabled;
        LabelStyle s;
        s.paddingH = 9;
        s.paddingV = 5;
        s.shape = Shape::rounded(6);
        s.fill = white(0.16);
        if (labelButton("mode", "Beauty PBR", {}, s, ControlState{true, true})) ++row;
    }));
    d.frame();
    const ProbeRecord& e = d.require("pane/export");
    EXPECT_EQ(e.kind, ControlKind::button);
    EXPECT_EQ(e.text, "Export 4-Map PBR Pack...");
    EXPECT_EQ(e.symbol, "square.and.arrow.up");
    EXPECT_NEAR(e.rect.width, 300, 1) << "primary labels fill the available width";
    EXPECT_FALSE(d.require("pane/render").enabled);
    EXPECT_TRUE(d.require("pane/mode").selected);
    d.click("pane/export");
    d.click("pane/export");
    d.click("pane/render");
    d.click("pane/mode");
    EXPECT_EQ(primary, 2);
    EXPECT_EQ(disabled, 0);
    EXPECT_EQ(row, 1);
    EXPECT_THROW(d.require("pane/missing"), pk::StudioError);
}

TEST(UiWidgets, SliderStoresContinuousValuesAndReachesItsEnds) {
    UiContext ctx;
    float value = 0.0f;
    int changes = 0;
    UiDriver d(ctx, inWindow([&] {
        if (inspectorSlider("azimuth", "Key Azimuth", value, -3.14f, 3.14f)) ++changes;
    }));
    d.frame();
    d.dragSlider("azimuth", 0.0f);
    EXPECT_EQ(value, -3.14f);
    EXPECT_GE(changes, 2) << "every intermediate value is reported";
    EXPECT_EQ(d.probe().find("valueHeader:Key Azimuth")->value, "-3.14");
    d.dragSlider("azimuth", 1.0f);
    EXPECT_EQ(value, 3.14f);
    EXPECT_EQ(d.probe().find("valueHeader:Key Azimuth")->value, "3.14");
    // An interior point keeps its exact position, not the two-decimal display value.
    const ProbeRecord r = d.require("azimuth");
    d.drag(r.rect.centerX() + 100, r.rect.centerY(), r.rect.x + 8 + 101, r.rect.centerY(), 1);
    // ImGui floors the pointer to whole points.
    float t = (std::floor(r.rect.x + 8 + 101) - (r.rect.x + 8)) / (r.rect.width - 16);
    EXPECT_NEAR(value, -3.14f + 6.28f * t, 1e-5f);
    EXPECT_NE(value, std::round(value * 100.0f) / 100.0f);
    int before = changes;
    d.frame(3);
    EXPECT_EQ(changes, before) << "no change without input";
}

TEST(UiWidgets, TextFieldSegmentsPickerAndToggle) {
    UiContext ctx;
    std::string query;
    int segment = 1, pressedSame = 0;
    int preset = 0;
    bool music = true;
    std::vector<std::string> sizes{"512", "1K", "2K", "4K"};
    std::vector<std::string> moods{"Ambient Studio", "Coastal Calm", "Tension Pulse"};
    UiDriver d(ctx, inWindow([&] {
        textField("search", "Search 3D models...", query, 200, FontSpec{12}, true);
        if (auto p = segmentedControl("mapSize", sizes, segment, 176)) {
            if (*p == segment) ++pressedSame;
            segment = *p;
        }
        if (auto p = picker("mood", "Score Mood", moods, preset)) preset = *p;
        toggle("music", "Include Royalty-Free Soundtrack", music);
    }));
    d.frame();
    EXPECT_EQ(d.require("search").text, "Search 3D models...");
    d.typeInto("search", "Cube \u00D7 2");
    EXPECT_EQ(query, "Cube \u00D7 2");
    d.pressKey(ImGuiKey_Backspace);
    EXPECT_EQ(query, "Cube \u00D7 ");
    EXPECT_EQ(d.require("search").value, query);

    EXPECT_TRUE(d.require("mapSize/1").selected);
    EXPECT_EQ(d.require("mapSize").value, "1K");
    EXPECT_NEAR(d.require("mapSize").rect.width, 176, 0.5f);
    d.click("mapSize/3");
    EXPECT_EQ(segment, 3);
    d.click("mapSize/3");
    EXPECT_EQ(pressedSame, 1) << "a press on the selected segment is still reported";
    EXPECT_TRUE(d.require("mapSize/3").selected);
    EXPECT_FALSE(d.require("mapSize/1").selected);

    EXPECT_EQ(d.require("mood").value, "Ambient Studio");
    EXPECT_EQ(d.probe().find("mood/2"), nullptr) << "items exist only while the menu is open";
    d.click("mood");
    ASSERT_NE(d.probe().find("mood/2"), nullptr);
    d.click("mood/2");
    EXPECT_EQ(preset, 2);
    d.frame();
    EXPECT_EQ(d.require("mood").value, "Tension Pulse");

    d.click("music");
    EXPECT_FALSE(music);
    EXPECT_FALSE(d.require("music").selected);
}

TEST(UiWidgets, HeadersRowsAndVisibilityOfScrolledControls) {
    UiContext ctx;
    UiDriver d(ctx, inWindow([&] {
        sectionHeader("Delivery & Packaging");
        valueRow("Meshlets", "1200");
        ImGui::BeginChild("list", ImVec2(300, 100), false);
        for (int i = 0; i < 20; ++i) {
            LabelStyle s;
            s.fullWidth = true;
            s.height = 30;
            labelButton("row" + std::to_string(i), "Row " + std::to_string(i), {}, s);
        }
        ImGui::EndChild();
    }));
    d.frame();
    EXPECT_EQ(d.require("header:Delivery & Packaging").text, "DELIVERY & PACKAGING");
    EXPECT_EQ(d.require("row:Meshlets").value, "1200");
    EXPECT_TRUE(d.require("row0").visible);
    EXPECT_FALSE(d.require("row6").visible);
    const ProbeRecord& first = d.require("row0");
    d.scroll(first.rect.centerX(), first.rect.centerY(), -3);
    d.frame();
    EXPECT_TRUE(d.require("row6").visible);
    EXPECT_FALSE(d.require("row0").visible);
}

TEST(UiWidgets, RadialSwatchesAreCachedPerGradientAndSize) {
    UiContext ctx;
    RadialGradientSpec gold{{pk::Color{0.96, 0.68, 0.18, 1}, pk::Color{0.96, 0.68, 0.18, 0.32}, pk::Color{0, 0, 0, 0.85}},
                            0.35f, 0.30f, 4, 56};
    RadialGradientSpec red = gold;
    red.stops[0] = pk::Color{1, 0, 0, 1};
    float width = 100;
    UiDriver d(ctx, inWindow([&] {
        radialSwatch("a", gold, ImVec2(width, 56), 8);
        radialSwatch("b", gold, ImVec2(width, 56), 8);
        radialSwatch("c", red, ImVec2(width, 56), 8);
    }));
    d.frame(3);
    EXPECT_EQ(ctx.swatches().size(), 2u);
    width = 120;
    d.frame();
    EXPECT_EQ(ctx.swatches().size(), 4u);
    auto px = RadialSwatchCache::render(gold, 100, 56);
    auto at = [&](int x, int y) { return &px[(size_t(y) * 100 + size_t(x)) * 4]; };
    EXPECT_EQ(at(35, 16)[0], 245);  // inside the start radius: the first stop
    EXPECT_EQ(at(35, 16)[3], 255);
    EXPECT_EQ(at(99, 55)[3], 217);  // beyond the end radius: black at 85 %
    EXPECT_EQ(at(99, 55)[0], 0);
}
