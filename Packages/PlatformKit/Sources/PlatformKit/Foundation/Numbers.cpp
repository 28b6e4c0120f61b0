#include "PlatformKit/Foundation/Numbers.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <locale.h>
#include <vector>

namespace pk {

double roundHalfAway(double x) { return std::round(x); }

double roundTo(double x, int places) {
    const double scale = std::pow(10.0, places);
    return std::round(x * scale) / scale;
}

int64_t saturatingInt64(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
    if (x <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(x);
}

int32_t saturatingInt32(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (x <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(x);
}

int64_t truncToInt64(double x) { return saturatingInt64(std::trunc(x)); }

namespace {
locale_t cLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}
}  // namespace

std::string vformatC(const char* fmt, va_list args) {
    locale_t old = uselocale(cLocale());
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    std::string out;
    if (n < 0) {
        out.clear();
    } else if (static_cast<size_t>(n) < sizeof small) {
        out.assign(small, static_cast<size_t>(n));
    } else {
        std::vector<char> big(static_cast<size_t>(n) + 1);
        std::vsnprintf(big.data(), big.size(), fmt, args);
        out.assign(big.data(), static_cast<size_t>(n));
    }
    uselocale(old);
    return out;
}

std::string formatC(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string s = vformatC(fmt, args);
    va_end(args);
    return s;
}

std::string groupDigits(int64_t value) {
    // Work on the magnitude as unsigned so INT64_MIN is safe.
    uint64_t mag = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::string digits = std::to_string(mag);
    std::string out;
    const size_t n = digits.size();
    for (size_t i = 0; i < n; ++i) {
        out.push_back(digits[i]);
        const size_t left = n - 1 - i;
        if (left > 0 && left % 3 == 0) out.push_back(',');
    }
    return value < 0 ? "-" + out : out;
}

template <typename F>
static std::string shortest(F value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

std::string shortestText(float value) { return shortest(value); }
std::string shortestText(double value) { return shortest(value); }

std::string formatFinite(const char* fmt, double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    return formatC(fmt, value);
}

}  // namespace pk
