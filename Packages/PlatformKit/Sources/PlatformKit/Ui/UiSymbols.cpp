#include "PlatformKit/Ui/UiSymbols.h"

#include <array>

#include "PlatformKit/Foundation/Text.h"

namespace pk::ui {
namespace {

constexpr std::array<SymbolEntry, 56> kSymbols{{
    {"archivebox.fill", 0xF187, "[]"},
    {"arrow.counterclockwise", 0xF0E2, "\u21BA"},
    {"arrow.up", 0xF062, "\u2191"},
    {"bolt.circle.fill", 0xF0E7, "\u26A1"},
    {"camera.aperture", 0xF030, "\u25CE"},
    {"checkmark", 0xF00C, "\u2713"},
    {"chevron.left", 0xF053, "\u2039"},
    {"chevron.right.circle.fill", 0xF138, "\u203A"},
    {"circle.hexagongrid.fill", 0xF111, "\u25CF"},
    {"cube.fill", 0xF1B2, "\u25A0"},
    {"cube.transparent", 0xF1B2, "\u25A1"},
    {"doc", 0xF016, "\u25A1"},
    {"doc.badge.plus", 0xF0FE, "+"},
    {"film.fill", 0xF008, "\u25A4"},
    {"film.stack", 0xF008, "\u25A4"},
    {"flame.fill", 0xF06D, "\u2668"},
    {"folder.badge.plus", 0xF07C, "+"},
    {"folder.fill", 0xF07B, "\u25A0"},
    {"globe.americas.fill", 0xF0AC, "\u25CB"},
    {"house.fill", 0xF015, "\u2302"},
    {"icloud.fill", 0xF0C2, "\u2601"},
    {"infinity", 0, "\u221E"},
    {"magnifyingglass", 0xF002, "\u2315"},
    {"mic.fill", 0xF130, "\u25CF"},
    {"mic.slash.fill", 0xF131, "\u25CB"},
    {"minus.circle.fill", 0xF056, "\u2212"},
    {"pause.circle.fill", 0xF28B, "\u2016"},
    {"person.and.background.dotted", 0xF2BE, "\u25CE"},
    {"person.crop.circle.fill", 0xF2BD, "\u25CF"},
    {"person.fill", 0xF007, "\u25CF"},
    {"person.fill.checkmark", 0xF234, "\u2713"},
    {"photo.badge.plus", 0xF03E, "+"},
    {"play.circle.fill", 0xF144, "\u25B6"},
    {"plus.circle.fill", 0xF055, "+"},
    {"record.circle", 0xF192, "\u25C9"},
    {"scope", 0xF05B, "\u2316"},
    {"shippingbox.fill", 0xF187, "\u25A0"},
    {"sparkles.tv.fill", 0xF0D0, "\u2726"},
    {"speaker.slash.fill", 0xF32F, "\u00D7"},
    {"speaker.wave.2.fill", 0xF028, "\u266A"},
    {"square.3.layers.3d", 0xF1B3, "\u2261"},
    {"square.and.arrow.down", 0xF019, "\u2193"},
    {"square.and.arrow.up", 0xF093, "\u2191"},
    {"square.and.arrow.up.on.square.fill", 0xF045, "\u2191"},
    {"square.grid.2x2", 0xF009, "\u229E"},
    {"square.on.circle", 0xF248, "\u25A3"},
    {"square.stack.3d.down.right.fill", 0xF24D, "\u2750"},
    {"sun.max.fill", 0xF185, "\u2600"},
    {"video", 0xF03D, "\u25A1"},
    {"video.fill", 0xF03D, "\u25A0"},
    {"waveform.circle.fill", 0xF2CE, "\u223F"},
    {"xmark.circle.fill", 0xF057, "\u00D7"},
    {"exclamationmark.triangle.fill", 0xF071, "!"},
    {"arrow.left", 0xF060, "\u2190"},
    {"arrow.right", 0xF061, "\u2192"},
    {"sparkles", 0xF0D0, "\u2726"},
}};

}  // namespace

std::span<const SymbolEntry> symbolTable() { return kSymbols; }

std::optional<SymbolEntry> findSymbol(std::string_view name) {
    for (const auto& e : kSymbols)
        if (e.name == name) return e;
    return std::nullopt;
}

std::string symbolText(std::string_view name, bool iconsAvailable) {
    auto e = findSymbol(name);
    if (!e) return "[" + std::string(name) + "]";
    if (e->icon == 0 || !iconsAvailable) return std::string(e->fallback);
    std::string out;
    appendUtf8(out, e->icon);
    return out;
}

}  // namespace pk::ui
