#pragma once
// Fitting text into a width, as labels limited to one or two lines do: cut at a character
// boundary with a trailing "…", or word-wrapped onto a few lines with the last one cut.
#include <string>
#include <string_view>
#include <vector>

#include "PlatformKit/Ui/UiFonts.h"

namespace pk::ui {

// `text` when it fits in `maxWidth` points at `font`; otherwise its longest prefix (whole
// user-perceived characters, trailing spaces dropped) followed by "…" that fits. Only the
// "…" when nothing more fits. Needs a current UiContext for its fonts.
std::string truncatedToWidth(std::string_view text, const FontSpec& font, float maxWidth);

// Lines of `text` wrapped at spaces to `maxWidth` (a word longer than a line is broken
// between characters), at most `maxLines`; when text is left over, the last line is cut
// with truncatedToWidth. New lines in `text` start new lines.
std::vector<std::string> wrappedLines(std::string_view text, const FontSpec& font, float maxWidth, int maxLines);

}  // namespace pk::ui
