#pragma once
// What every exporter shares: its error domain and how a name becomes part of a file name.
#include <string>
#include <string_view>

namespace lookdev::StudioExporters {

inline constexpr const char* kErrorDomain = "MarblewickLookDevKit";

// `text` with each of `replaced` made "_". The default makes a name safe as a file stem
// (spaces and folder separators); the OBJ object line replaces spaces only.
inline std::string underscored(std::string_view text, std::string_view replaced = " /") {
    std::string s(text);
    for (char& c : s)
        if (replaced.find(c) != std::string_view::npos) c = '_';
    return s;
}

}  // namespace lookdev::StudioExporters
