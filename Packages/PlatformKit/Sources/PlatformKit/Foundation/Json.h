#pragma once
// JSON over nlohmann-json with the system's rules:
// - readers are strict: a required key that is missing, null or of the wrong type fails
//   the whole decode; integers are range-checked and a fraction is never an integer;
//   float fields accept integer tokens;
// - a 32-bit float is written as its shortest text ("0.22", "2"), and a non-finite
//   number makes the write fail (nlohmann would silently write null);
// - `Json` keeps keys sorted (files for people), `OrderedJson` keeps declared order
//   (receipts, compact manifests).
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>

#include "PlatformKit/Foundation/StudioError.h"

namespace pk::json {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// Error domains and codes of decode and encode failures.
inline constexpr const char* kDecodingDomain = "JSONDecoding";
inline constexpr const char* kEncodingDomain = "JSONEncoding";
enum DecodingCode : int { keyNotFound = 1, typeMismatch = 2, dataCorrupted = 3, valueNotFound = 4 };
enum EncodingCode : int { invalidValue = 1 };

[[noreturn]] void failDecode(int code, const std::string& text);

// A number for a 32-bit float field. Integral values become integer tokens ("2"),
// others the double nearest the float's shortest text, so the writer prints "0.22".
Json floatNumber(float v);
// A number for a 64-bit double field: integral values as integer tokens, others as is.
Json doubleNumber(double v);

enum class Style { compact, pretty };

// Serialises; throws StudioError(kEncodingDomain) on a non-finite number or invalid UTF-8.
std::string dump(const Json& j, Style style = Style::compact);
std::string dump(const OrderedJson& j, Style style = Style::compact);

// Parses a whole document; throws StudioError(kDecodingDomain, dataCorrupted) on bad text
// or nesting deeper than 256 levels.
Json parse(std::string_view text);
OrderedJson parseOrdered(std::string_view text);

// ---- strict readers (work on Json and OrderedJson) ----

template <class J>
const J& requireObject(const J& v, std::string_view what = "value") {
    if (!v.is_object()) failDecode(typeMismatch, std::string("Expected an object for ") + std::string(what));
    return v;
}

template <class J>
const J& field(const J& obj, std::string_view key) {
    requireObject(obj, key);
    auto it = obj.find(key);
    if (it == obj.end()) failDecode(keyNotFound, "No value associated with key \"" + std::string(key) + "\".");
    if (it->is_null()) failDecode(valueNotFound, "Expected a value for key \"" + std::string(key) + "\" but found null.");
    return *it;
}

// nullptr when the key is missing or null.
template <class J>
const J* optionalField(const J& obj, std::string_view key) {
    requireObject(obj, key);
    auto it = obj.find(key);
    if (it == obj.end() || it->is_null()) return nullptr;
    return &*it;
}

template <class J>
double asDouble(const J& v, std::string_view what = "value") {
    if (v.is_number_float()) return v.template get<double>();
    if (v.is_number_unsigned()) return static_cast<double>(v.template get<uint64_t>());
    if (v.is_number_integer()) return static_cast<double>(v.template get<int64_t>());
    failDecode(typeMismatch, "Expected a number for " + std::string(what) + ".");
}

template <class J>
float asFloat(const J& v, std::string_view what = "value") {
    double d = asDouble(v, what);
    const float f = static_cast<float>(d);
    // Text just above the largest float still rounds to it; only what overflows fails.
    if (std::isfinite(d) && !std::isfinite(f))
        failDecode(dataCorrupted, "Number for " + std::string(what) + " does not fit in Float.");
    return f;
}

template <class T, class J>
T asInteger(const J& v, std::string_view what = "value") {
    static_assert(std::is_integral_v<T>);
    auto outOfRange = [&]() -> T {
        failDecode(dataCorrupted, "Number for " + std::string(what) + " does not fit in the integer type.");
    };
    if (v.is_number_unsigned()) {
        uint64_t u = v.template get<uint64_t>();
        if (u > static_cast<uint64_t>(std::numeric_limits<T>::max())) return outOfRange();
        return static_cast<T>(u);
    }
    if (v.is_number_integer()) {
        int64_t i = v.template get<int64_t>();
        if constexpr (std::is_unsigned_v<T>) {
            if (i < 0 || static_cast<uint64_t>(i) > static_cast<uint64_t>(std::numeric_limits<T>::max())) return outOfRange();
        } else {
            if (i < static_cast<int64_t>(std::numeric_limits<T>::min()) || i > static_cast<int64_t>(std::numeric_limits<T>::max()))
                return outOfRange();
        }
        return static_cast<T>(i);
    }
    if (v.is_number_float()) {
        double d = v.template get<double>();
        if (!std::isfinite(d) || std::trunc(d) != d)
            failDecode(dataCorrupted, "Number for " + std::string(what) + " is not an integer.");
        // Bounds as doubles; 2^63 and 2^64 are exact, so compare with >=.
        constexpr double lo = std::is_unsigned_v<T> ? 0.0 : static_cast<double>(std::numeric_limits<T>::min());
        constexpr double hiExclusive = static_cast<double>(std::numeric_limits<T>::max()) + 1.0;
        if (d < lo || d >= hiExclusive) return outOfRange();
        return static_cast<T>(d);
    }
    failDecode(typeMismatch, "Expected an integer for " + std::string(what) + ".");
}

template <class J>
bool asBool(const J& v, std::string_view what = "value") {
    if (!v.is_boolean()) failDecode(typeMismatch, "Expected a Bool for " + std::string(what) + ".");
    return v.template get<bool>();
}

template <class J>
std::string asString(const J& v, std::string_view what = "value") {
    if (!v.is_string()) failDecode(typeMismatch, "Expected a String for " + std::string(what) + ".");
    return v.template get<std::string>();
}

template <class J> float readFloat(const J& o, std::string_view k) { return asFloat(field(o, k), k); }
template <class J> double readDouble(const J& o, std::string_view k) { return asDouble(field(o, k), k); }
template <class T, class J> T readInteger(const J& o, std::string_view k) { return asInteger<T>(field(o, k), k); }
template <class J> bool readBool(const J& o, std::string_view k) { return asBool(field(o, k), k); }
template <class J> std::string readString(const J& o, std::string_view k) { return asString(field(o, k), k); }
template <class J> std::optional<std::string> readOptionalString(const J& o, std::string_view k) {
    const J* v = optionalField(o, k);
    if (!v) return std::nullopt;
    return asString(*v, k);
}

template <class J>
const J& readArray(const J& obj, std::string_view key) {
    const J& v = field(obj, key);
    if (!v.is_array()) failDecode(typeMismatch, "Expected an array for " + std::string(key) + ".");
    return v;
}

template <class J>
std::vector<std::string> readStringList(const J& obj, std::string_view key) {
    const J& v = readArray(obj, key);
    std::vector<std::string> out;
    out.reserve(v.size());
    for (const auto& e : v) out.push_back(asString(e, key));
    return out;
}

// Each element decoded by T::fromJson.
template <class T, class J>
std::vector<T> readRecordList(const J& obj, std::string_view key) {
    const J& v = readArray(obj, key);
    std::vector<T> out;
    out.reserve(v.size());
    for (const auto& e : v) out.push_back(T::fromJson(e));
    return out;
}

}  // namespace pk::json
