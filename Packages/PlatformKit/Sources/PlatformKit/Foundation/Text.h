#pragma once
// Unicode text helpers over ICU. Strings are UTF-8 in std::string.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pk {

// ASCII-only lower-casing (file extensions, keys).
std::string asciiLower(std::string_view s);

bool isValidUtf8(std::string_view s);
// Replaces each maximal subpart of an ill-formed sequence with one U+FFFD, as ICU's
// converters do.
std::string repairUtf8(std::string_view s);
// Code points of valid UTF-8 (ill-formed parts come out as U+FFFD).
std::vector<char32_t> codePoints(std::string_view s);
std::string fromCodePoints(const std::vector<char32_t>& cps);
void appendUtf8(std::string& out, char32_t cp);

// Canonical composition (NFC). Invalid UTF-8 is repaired first.
std::string nfc(std::string_view s);
// Canonical equivalence: equal NFC forms.
bool canonicallyEqual(std::string_view a, std::string_view b);
// The form searches compare: full case folding between two canonical compositions, so
// text that is canonically equal up to case ("Caf\u00E9", "CAFE\u0301") gives the same
// bytes and a substring of one is a substring of the other.
std::string searchFolded(std::string_view s);
// Full Unicode upper- and lower-casing, root locale.
std::string toUpper(std::string_view s);
std::string toLower(std::string_view s);

// Unicode character classes of one code point.
bool isUppercase(char32_t cp);
bool isLowercase(char32_t cp);
bool isLetter(char32_t cp);
bool isDigit(char32_t cp);
bool isAlphanumeric(char32_t cp);
// Letters, marks and numbers of every kind (general categories L*, M*, N*): the
// classes that keep a word together when text is split into words.
bool isLetterMarkOrNumber(char32_t cp);
bool isWhitespace(char32_t cp);

// User-perceived characters (extended grapheme clusters).
size_t graphemeCount(std::string_view s);
std::string prefixGraphemes(std::string_view s, size_t count);

// Trims white space and new lines at both ends.
std::string trimWhitespace(std::string_view s);

}  // namespace pk
