#pragma once
// Rounding and number text that never depends on the process locale.
#include <cstdarg>
#include <cstdint>
#include <string>

namespace pk {

// Whole number, halves away from zero.
double roundHalfAway(double x);
// Rounded to `places` decimal places, halves away from zero (on the scaled value).
double roundTo(double x, int places);

// Saturating conversions: NaN gives 0, values beyond the range give the nearest bound.
int64_t saturatingInt64(double x);
int32_t saturatingInt32(double x);
// Truncation toward zero with the same rules.
int64_t truncToInt64(double x);

// printf-style formatting in the C locale (our process never calls setlocale for
// LC_NUMERIC, and this uses the "C" locale object explicitly all the same).
std::string formatC(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string vformatC(const char* fmt, va_list args);

// "1234567" -> "1,234,567"; negative numbers keep their sign in front.
std::string groupDigits(int64_t value);

// Shortest text that reads back to the same value ("0.22", "2", "1e-07").
std::string shortestText(float value);
std::string shortestText(double value);

// "nan", "inf", "-inf" for non-finite values, else the printf text of `fmt`.
std::string formatFinite(const char* fmt, double value);

}  // namespace pk
