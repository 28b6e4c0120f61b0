#pragma once
// The platform's symbol names (dotted, e.g. "cube.fill") mapped once to glyphs of the icon
// font (Fork Awesome), or to a plain-text stand-in where the font has no fitting icon.
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pk::ui {

struct SymbolEntry {
    std::string_view name;
    char32_t icon;               // private-use code point of the icon font, 0 = none
    std::string_view fallback;   // text drawn when there is no icon
};

// Every mapped symbol, in table order.
std::span<const SymbolEntry> symbolTable();
std::optional<SymbolEntry> findSymbol(std::string_view name);

// What to draw for a symbol: the icon glyph as UTF-8, else its text stand-in. An unknown
// name gives its own name in brackets, so a missing mapping is visible rather than blank.
std::string symbolText(std::string_view name, bool iconsAvailable = true);

}  // namespace pk::ui
