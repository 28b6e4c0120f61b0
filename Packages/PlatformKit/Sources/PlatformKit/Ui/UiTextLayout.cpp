#include "PlatformKit/Ui/UiTextLayout.h"

#include "PlatformKit/Foundation/Text.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace pk::ui {
namespace {

constexpr std::string_view kEllipsis = "\u2026";

float widthOf(std::string_view s, const FontSpec& font) { return s.empty() ? 0.0f : measureText(s, font).x; }

std::string trimTrailingSpaces(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

// The longest grapheme prefix of `s` (at least one when `atLeastOne`) whose width with
// `suffix` appended fits in maxWidth.
std::string longestFittingPrefix(std::string_view s, std::string_view suffix, const FontSpec& font, float maxWidth,
                                 bool atLeastOne) {
    size_t lo = 0, hi = graphemeCount(s);
    while (lo < hi) {  // the largest count that fits
        size_t mid = (lo + hi + 1) / 2;
        if (widthOf(prefixGraphemes(s, mid) + std::string(suffix), font) <= maxWidth)
            lo = mid;
        else
            hi = mid - 1;
    }
    if (lo == 0 && atLeastOne && !s.empty()) lo = 1;
    return prefixGraphemes(s, lo);
}

}  // namespace

std::string truncatedToWidth(std::string_view text, const FontSpec& font, float maxWidth) {
    if (widthOf(text, font) <= maxWidth) return std::string(text);
    std::string head = trimTrailingSpaces(longestFittingPrefix(text, kEllipsis, font, maxWidth, false));
    return head + std::string(kEllipsis);
}

std::vector<std::string> wrappedLines(std::string_view text, const FontSpec& font, float maxWidth, int maxLines) {
    std::vector<std::string> lines;
    if (maxLines <= 0) return lines;
    // Greedy wrapping; `starts` remembers where each line began so the last allowed line
    // can be cut from the whole remainder.
    std::vector<size_t> starts;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t lineEnd = text.find('\n', pos);
        std::string_view para = text.substr(pos, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - pos);
        size_t i = 0;
        do {
            while (i < para.size() && para[i] == ' ') ++i;
            starts.push_back(pos + i);
            std::string line;
            size_t taken = i;
            while (taken < para.size()) {
                size_t wordEnd = para.find(' ', taken);
                if (wordEnd == std::string_view::npos) wordEnd = para.size();
                std::string candidate = line;
                if (!candidate.empty()) candidate += ' ';
                candidate.append(para.substr(taken, wordEnd - taken));
                if (widthOf(candidate, font) <= maxWidth) {
                    line = std::move(candidate);
                    taken = wordEnd;
                    while (taken < para.size() && para[taken] == ' ') ++taken;
                    continue;
                }
                if (line.empty()) {  // one word wider than the line: break inside it
                    std::string_view word = para.substr(taken, wordEnd - taken);
                    line = longestFittingPrefix(word, {}, font, maxWidth, true);
                    taken += line.size();
                }
                break;
            }
            lines.push_back(std::move(line));
            i = taken;
        } while (i < para.size());
        if (lineEnd == std::string_view::npos) break;
        pos = lineEnd + 1;
    }
    if (lines.size() > size_t(maxLines)) {
        lines.resize(size_t(maxLines));
        std::string rest(text.substr(starts[size_t(maxLines) - 1]));
        for (char& c : rest)
            if (c == '\n') c = ' ';
        lines.back() = truncatedToWidth(rest, font, maxWidth);
    }
    return lines;
}

}  // namespace pk::ui
