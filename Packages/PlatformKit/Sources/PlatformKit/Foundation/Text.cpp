#include "PlatformKit/Foundation/Text.h"

#include <memory>

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace pk {

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::vector<char32_t> codePoints(std::string_view s) {
    std::vector<char32_t> out;
    out.reserve(s.size());
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    int32_t i = 0;
    const int32_t n = static_cast<int32_t>(s.size());
    while (i < n) {
        UChar32 c;
        // U8_NEXT consumes one maximal subpart of an ill-formed sequence and yields < 0.
        U8_NEXT(p, i, n, c);
        out.push_back(c < 0 ? U'\uFFFD' : static_cast<char32_t>(c));
    }
    return out;
}

std::string fromCodePoints(const std::vector<char32_t>& cps) {
    std::string out;
    for (char32_t c : cps) appendUtf8(out, c);
    return out;
}

bool isValidUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    int32_t i = 0;
    const int32_t n = static_cast<int32_t>(s.size());
    while (i < n) {
        UChar32 c;
        U8_NEXT(p, i, n, c);
        if (c < 0) return false;
    }
    return true;
}

std::string repairUtf8(std::string_view s) { return fromCodePoints(codePoints(s)); }

namespace {
icu::UnicodeString toUnicode(std::string_view s) {
    std::string valid = isValidUtf8(s) ? std::string(s) : repairUtf8(s);
    return icu::UnicodeString::fromUTF8(icu::StringPiece(valid.data(), static_cast<int32_t>(valid.size())));
}
std::string toUtf8(const icu::UnicodeString& u) {
    std::string out;
    u.toUTF8String(out);
    return out;
}
}  // namespace

std::string nfc(std::string_view s) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* n = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return std::string(s);
    icu::UnicodeString out = n->normalize(toUnicode(s), status);
    if (U_FAILURE(status)) return std::string(s);
    return toUtf8(out);
}

bool canonicallyEqual(std::string_view a, std::string_view b) { return a == b || nfc(a) == nfc(b); }

std::string searchFolded(std::string_view s) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* n = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return toLower(s);
    icu::UnicodeString u = n->normalize(toUnicode(s), status);
    if (U_FAILURE(status)) return toLower(s);
    // Folding may leave text that is no longer composed: compose it again.
    u.foldCase(U_FOLD_CASE_DEFAULT);
    u = n->normalize(u, status);
    if (U_FAILURE(status)) return toLower(s);
    return toUtf8(u);
}

std::string toUpper(std::string_view s) {
    icu::UnicodeString u = toUnicode(s);
    u.toUpper(icu::Locale::getRoot());
    return toUtf8(u);
}

std::string toLower(std::string_view s) {
    icu::UnicodeString u = toUnicode(s);
    u.toLower(icu::Locale::getRoot());
    return toUtf8(u);
}

bool isUppercase(char32_t cp) { return u_isUUppercase(static_cast<UChar32>(cp)); }
bool isLowercase(char32_t cp) { return u_isULowercase(static_cast<UChar32>(cp)); }
bool isLetter(char32_t cp) { return u_isalpha(static_cast<UChar32>(cp)); }
bool isDigit(char32_t cp) { return u_isdigit(static_cast<UChar32>(cp)); }
bool isAlphanumeric(char32_t cp) { return u_isalnum(static_cast<UChar32>(cp)); }
bool isWhitespace(char32_t cp) { return u_isUWhiteSpace(static_cast<UChar32>(cp)); }
bool isLetterMarkOrNumber(char32_t cp) {
    const uint32_t mask = U_MASK(u_charType(static_cast<UChar32>(cp)));
    return (mask & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

namespace {
// Offsets (in UTF-16 units) of grapheme boundaries.
template <class Fn>
void forEachGrapheme(const icu::UnicodeString& u, Fn fn) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !it) return;
    it->setText(u);
    int32_t start = it->first();
    for (int32_t end = it->next(); end != icu::BreakIterator::DONE; start = end, end = it->next()) {
        if (!fn(start, end)) return;
    }
}
}  // namespace

size_t graphemeCount(std::string_view s) {
    icu::UnicodeString u = toUnicode(s);
    size_t count = 0;
    forEachGrapheme(u, [&](int32_t, int32_t) {
        ++count;
        return true;
    });
    return count;
}

std::string prefixGraphemes(std::string_view s, size_t count) {
    icu::UnicodeString u = toUnicode(s);
    int32_t cut = 0;
    size_t taken = 0;
    forEachGrapheme(u, [&](int32_t, int32_t end) {
        if (taken == count) return false;
        ++taken;
        cut = end;
        return true;
    });
    return toUtf8(u.tempSubString(0, cut));
}

std::string trimWhitespace(std::string_view s) {
    auto cps = codePoints(s);
    size_t b = 0, e = cps.size();
    while (b < e && isWhitespace(cps[b])) ++b;
    while (e > b && isWhitespace(cps[e - 1])) --e;
    return fromCodePoints(std::vector<char32_t>(cps.begin() + static_cast<ptrdiff_t>(b), cps.begin() + static_cast<ptrdiff_t>(e)));
}

}  // namespace pk
