#pragma once
// Line and token scanning over a model file's bytes for the text formats. Every step
// checks the end first; numbers are parsed in the C locale whatever the process's.
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace pk::modelimport {

inline bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }
inline bool isSpace(char c) { return isBlank(c) || c == '\n'; }

class TextScan {
public:
    explicit TextScan(std::string_view text) : text_(text) {}

    bool atEnd() const { return pos_ >= text_.size(); }
    size_t position() const { return pos_; }
    size_t remaining() const { return text_.size() - pos_; }

    // The next line without its "\n" (and a "\r" before it); false at the end.
    bool line(std::string_view& out) {
        if (atEnd()) return false;
        const size_t end = text_.find('\n', pos_);
        const size_t stop = end == std::string_view::npos ? text_.size() : end;
        out = text_.substr(pos_, stop - pos_);
        if (!out.empty() && out.back() == '\r') out.remove_suffix(1);
        pos_ = end == std::string_view::npos ? text_.size() : end + 1;
        return true;
    }

    // The next run of non-space characters, crossing lines; empty at the end.
    std::string_view token() {
        while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
        const size_t start = pos_;
        while (pos_ < text_.size() && !isSpace(text_[pos_])) ++pos_;
        return text_.substr(start, pos_ - start);
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

// Splits off the next blank-separated word of a line.
inline std::string_view nextWord(std::string_view& rest) {
    size_t i = 0;
    while (i < rest.size() && isBlank(rest[i])) ++i;
    size_t j = i;
    while (j < rest.size() && !isBlank(rest[j])) ++j;
    const std::string_view word = rest.substr(i, j - i);
    rest.remove_prefix(j);
    return word;
}

// The whole token as a number; a leading '+' is allowed, trailing text is not.
template <class T>
std::optional<T> parseNumber(std::string_view s) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    T v{};
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

}  // namespace pk::modelimport
