#include "PlatformKit/Ui/UiFonts.h"

#include <algorithm>
#include <cmath>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Ui/UiSymbols.h"

namespace pk::ui {

const std::array<FontWeight, 9> FontWeight::allCases{ultraLight, thin, light, regular, medium, semibold, bold, heavy, black};

std::optional<FontWeight> FontWeight::fromRaw(int64_t raw) {
    if (raw < 0 || raw >= int64_t(allCases.size())) return std::nullopt;
    return allCases[size_t(raw)];
}

namespace {

// Every character the studio's texts use: Latin, punctuation (… — ·), superscripts (²),
// arrows, the few mathematical signs (× − ≤ ≥ ≈), shapes and dingbats (✓) of the
// symbol stand-ins. Kept small: every range is rasterised once per atlas entry.
const ImWchar kTextRanges[] = {
    0x0020, 0x017F, 0x2010, 0x205E, 0x2070, 0x209F, 0x2190, 0x21FF, 0x2212, 0x2213,
    0x221E, 0x221E, 0x223F, 0x223F, 0x2248, 0x2248, 0x2260, 0x2260, 0x2264, 0x2265,
    0x229E, 0x229E, 0x2302, 0x2302, 0x2315, 0x2316, 0x25A0, 0x25FF, 0x2600, 0x2601,
    0x2668, 0x2668, 0x26A1, 0x26A1, 0x2713, 0x2718, 0x2726, 0x2726, 0x2750, 0x2750,
    0xFFFD, 0xFFFD, 0};

std::vector<uint8_t> load(const char* path) {
    auto data = readFile(path, 64u << 20);
    return data ? std::move(*data) : std::vector<uint8_t>{};
}

const char* interFile(FontWeight w) {
    switch (w) {
        case FontWeight::ultraLight: return "Inter-ExtraLight.otf";
        case FontWeight::thin: return "Inter-Thin.otf";
        case FontWeight::light: return "Inter-Light.otf";
        case FontWeight::regular: return "Inter-Regular.otf";
        case FontWeight::medium: return "Inter-Medium.otf";
        case FontWeight::semibold: return "Inter-SemiBold.otf";
        case FontWeight::bold: return "Inter-Bold.otf";
        case FontWeight::heavy: return "Inter-ExtraBold.otf";
        case FontWeight::black: return "Inter-Black.otf";
    }
    return "Inter-Regular.otf";
}

}  // namespace

FontLibrary::FontLibrary(ImFontAtlas* atlas) : atlas_(atlas) {
    for (FontWeight w : FontWeight::allCases) {
        auto data = load((std::string("/usr/share/fonts/opentype/inter/") + interFile(w)).c_str());
        if (!data.empty()) interData_[w.rawValue()] = std::move(data);
    }
    dejavu_ = load("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    dejavuBold_ = load("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf");
    mono_ = load("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf");
    monoBold_ = load("/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf");
    iconData_ = load("/usr/share/fonts/truetype/fork-awesome/forkawesome-webfont.ttf");
    ImFontGlyphRangesBuilder builder;
    for (const auto& s : symbolTable())
        if (s.icon) builder.AddChar(ImWchar(s.icon));
    builder.BuildRanges(&iconRanges_);
    atlas_->Clear();
    atlas_->Flags |= ImFontAtlasFlags_NoPowerOfTwoHeight;
    pending_.push_back(FontSpec{});
    rebuildIfNeeded();
}

FontLibrary::Key FontLibrary::keyOf(const FontSpec& s) {
    return Key{int(std::lround(s.size * 10.0f)), s.weight.rawValue(), s.monospacedDigits, uint8_t(s.design)};
}

const std::vector<uint8_t>* FontLibrary::faceFor(const FontSpec& s, bool primary) const {
    bool heavyWeight = s.weight >= FontWeight::semibold;
    if (s.design == FontDesign::monospaced && primary) {
        const auto& m = heavyWeight ? monoBold_ : mono_;
        if (!m.empty()) return &m;
    }
    if (primary) {
        auto it = interData_.find(s.weight.rawValue());
        if (it != interData_.end()) return &it->second;
    }
    const auto& d = heavyWeight ? dejavuBold_ : dejavu_;
    if (!d.empty()) return &d;
    return dejavu_.empty() ? nullptr : &dejavu_;
}

namespace {

// Adds a face from a buffer this library keeps for its whole life. ImGui copies a buffer
// it does not own, once per size and weight (tens of megabytes over the studio's
// entries); handed over as owned it is not copied, and taking the ownership back at once
// keeps the atlas from ever freeing the shared buffer.
ImFont* addSharedFace(ImFontAtlas& atlas, const std::vector<uint8_t>& data, float px, ImFontConfig cfg,
                      const ImWchar* ranges) {
    cfg.FontDataOwnedByAtlas = true;
    ImFont* font = atlas.AddFontFromMemoryTTF(const_cast<uint8_t*>(data.data()), int(data.size()), px, &cfg, ranges);
    atlas.ConfigData.back().FontDataOwnedByAtlas = false;
    return font;
}

}  // namespace

ImFont* FontLibrary::addEntry(const FontSpec& s) {
    float px = std::max(1.0f, s.size);
    const std::vector<uint8_t>* primary = faceFor(s, true);
    const std::vector<uint8_t>* merge = faceFor(s, false);
    ImFont* font = nullptr;
    ImFontConfig cfg;
    cfg.FontDataOwnedByAtlas = false;
    cfg.OversampleH = 2;
    cfg.OversampleV = 1;
    if (primary) {
        font = addSharedFace(*atlas_, *primary, px, cfg, kTextRanges);
    } else {
        ImFontConfig def;
        def.SizePixels = px;
        font = atlas_->AddFontDefault(&def);
    }
    ImFontConfig mergeCfg = cfg;
    mergeCfg.MergeMode = true;
    if (merge && merge != primary)
        addSharedFace(*atlas_, *merge, px, mergeCfg, kTextRanges);
    if (!iconData_.empty()) {
        ImFontConfig iconCfg = mergeCfg;
        iconCfg.GlyphOffset = ImVec2(0, px * 0.04f);
        iconCfg.GlyphMinAdvanceX = px * 1.1f;
        addSharedFace(*atlas_, iconData_, px * 0.95f, iconCfg, iconRanges_.Data);
    }
    return font;
}

ImFont* FontLibrary::font(const FontSpec& spec) {
    Key k = keyOf(spec);
    if (auto it = entries_.find(k); it != entries_.end()) return it->second;
    if (std::find(pending_.begin(), pending_.end(), spec) == pending_.end()) pending_.push_back(spec);
    // Closest stand-in until the next build: same weight if possible, nearest size.
    ImFont* best = nullptr;
    float bestScore = 1e9f;
    for (const auto& [key, f] : entries_) {
        float score = std::fabs(key.sizeTenths - k.sizeTenths) + (key.weight == k.weight ? 0.0f : 5.0f);
        if (score < bestScore) bestScore = score, best = f;
    }
    return best ? best : ImGui::GetFont();
}

void FontLibrary::fixDigitWidths() {
    // No OpenType features here, so tabular digits are made by widening every digit to the
    // widest one and centring its glyph in the wider cell.
    for (const auto& [key, f] : entries_) {
        if (!key.mono) continue;
        float widest = 0;
        for (ImWchar c = '0'; c <= '9'; ++c)
            if (const ImFontGlyph* g = f->FindGlyphNoFallback(c)) widest = std::max(widest, g->AdvanceX);
        for (auto& g : f->Glyphs) {
            if (g.Codepoint < '0' || g.Codepoint > '9') continue;
            float shift = (widest - g.AdvanceX) * 0.5f;
            g.X0 += shift;
            g.X1 += shift;
            g.AdvanceX = widest;
        }
        f->BuildLookupTable();
    }
}

bool FontLibrary::rebuildIfNeeded() {
    if (pending_.empty() && atlas_->IsBuilt()) return false;
    for (const auto& s : pending_) {
        Key k = keyOf(s);
        if (entries_.count(k)) continue;
        entries_[k] = addEntry(s);
        specs_[k] = s;
    }
    pending_.clear();
    atlas_->Build();
    fixDigitWidths();
    ++generation_;
    return true;
}

}  // namespace pk::ui
