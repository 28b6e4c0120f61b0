#include "MarblewickSimCore/SimCoding.h"

#include <cmath>
#include <limits>

#include "PlatformKit/Foundation/Text.h"

namespace simcore {

bool sameText(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (!pk::isValidUtf8(a) || !pk::isValidUtf8(b)) return false;
    return pk::canonicallyEqual(a, b);
}

std::string identityKey(std::string_view s) {
    // NFC text never holds the byte 0xFF, so ill-formed ids cannot collide with valid ones.
    if (!pk::isValidUtf8(s)) {
        std::string key;
        key.reserve(s.size() + 1);
        key.push_back('\xFF');
        key.append(s);
        return key;
    }
    return pk::nfc(s);
}

namespace coding {

Json number(double v) { return Json(v); }

Json number(float v) {
    if (v == 0.0f && std::signbit(v)) return Json(-0.0);
    Json shortest = pk::json::floatNumber(v);
    // The shortest float text is read back through a double; for a few floats (such as
    // 7.038531e-26) that double rounding lands on the neighbouring float, so those are
    // written with the exact double text instead.
    if (shortest.is_number_float() && static_cast<float>(shortest.get<double>()) != v) return Json(static_cast<double>(v));
    return shortest;
}

namespace {
[[noreturn]] void failTooLarge(std::string_view key, const char* type) {
    pk::json::failDecode(pk::json::dataCorrupted,
                         "Number for " + std::string(key) + " does not fit in " + type + ".");
}
}  // namespace

double readDouble(const Json& obj, std::string_view key) {
    // The parser turns a literal such as 1e400 into infinity; that is no Double we wrote.
    const double d = pk::json::asDouble(pk::json::field(obj, key), key);
    if (!std::isfinite(d)) failTooLarge(key, "Double");
    return d;
}

float readFloat(const Json& obj, std::string_view key) {
    const double d = pk::json::asDouble(pk::json::field(obj, key), key);
    if (!std::isfinite(d)) failTooLarge(key, "Float");
    const float f = static_cast<float>(d);
    if (!std::isfinite(f)) failTooLarge(key, "Float");
    return f;
}

const Json& readArray(const Json& obj, std::string_view key) {
    const Json& v = pk::json::field(obj, key);
    if (!v.is_array()) pk::json::failDecode(pk::json::typeMismatch, "Expected an array for " + std::string(key) + ".");
    return v;
}

}  // namespace coding
}  // namespace simcore
