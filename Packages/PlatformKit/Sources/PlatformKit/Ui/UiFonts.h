#pragma once
// The font atlas of one window: Inter as the system font with DejaVu merged for the
// characters Inter lacks, Fork Awesome merged for the symbol table's icons, one atlas
// entry per (size, weight, design, monospaced digits) that views ask for.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "PlatformKit/Ui/ImGui.h"

namespace pk::ui {

struct FontWeight {
    enum Case : uint8_t { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };
    constexpr FontWeight(Case c = regular) : value(c) {}
    constexpr operator Case() const { return value; }
    uint8_t rawValue() const { return value; }
    static std::optional<FontWeight> fromRaw(int64_t raw);
    static const std::array<FontWeight, 9> allCases;
    Case value;
};

enum class FontDesign : uint8_t { standard, monospaced, rounded };

struct FontSpec {
    float size = 13;
    FontWeight weight = FontWeight::regular;
    bool monospacedDigits = false;
    FontDesign design = FontDesign::standard;
    bool operator==(const FontSpec&) const = default;
};

class FontLibrary {
public:
    // Works on `atlas` (not owned). Adds the default entry (13 pt regular) at once.
    explicit FontLibrary(ImFontAtlas* atlas);
    FontLibrary(const FontLibrary&) = delete;
    FontLibrary& operator=(const FontLibrary&) = delete;

    // The entry for `spec`. A spec seen for the first time is queued for the next atlas
    // build (between frames) and, until then, the closest existing entry stands in.
    ImFont* font(const FontSpec& spec);
    // Adds the queued entries and rebuilds the atlas; true when the atlas changed, so a
    // renderer must upload its texture again. Call outside a frame.
    bool rebuildIfNeeded();
    bool hasPending() const { return !pending_.empty(); }

    bool hasIcons() const { return !iconData_.empty(); }
    bool hasInter() const { return !interData_.empty(); }
    size_t entryCount() const { return entries_.size(); }
    // Counts atlas builds; renderers compare it to know when to re-upload.
    uint64_t generation() const { return generation_; }

private:
    struct Key {
        int sizeTenths;
        uint8_t weight;
        bool mono;
        uint8_t design;
        auto operator<=>(const Key&) const = default;
    };
    static Key keyOf(const FontSpec& s);
    ImFont* addEntry(const FontSpec& s);
    void fixDigitWidths();
    const std::vector<uint8_t>* faceFor(const FontSpec& s, bool primary) const;

    ImFontAtlas* atlas_;
    std::map<Key, ImFont*> entries_;
    std::map<Key, FontSpec> specs_;
    std::vector<FontSpec> pending_;
    std::map<uint8_t, std::vector<uint8_t>> interData_;  // by weight
    std::vector<uint8_t> dejavu_, dejavuBold_, mono_, monoBold_, iconData_;
    ImVector<ImWchar> iconRanges_;
    uint64_t generation_ = 0;
};

}  // namespace pk::ui
