#pragma once
// JSON and text rules shared by every record of the simulation core: doubles and floats
// read back bit for bit, integers are strict, arrays must be arrays, and string identity
// is canonical equivalence.
#include <string>
#include <string_view>

#include "PlatformKit/Foundation/Json.h"

namespace simcore {

using Json = pk::json::Json;

// Byte-equal, or both valid UTF-8 and canonically equivalent. Two different ill-formed
// strings are never equal (repairing them could make unrelated bytes match).
bool sameText(std::string_view a, std::string_view b);
// A key under which canonically equivalent strings coincide.
std::string identityKey(std::string_view s);

namespace coding {

// Shortest round-trip text; the sign of zero survives. Non-finite values make dump() fail.
Json number(double v);
Json number(float v);

double readDouble(const Json& obj, std::string_view key);
// Exact for every finite float, including the largest one whose shortest text reads
// back as a double a hair above FLT_MAX.
float readFloat(const Json& obj, std::string_view key);
const Json& readArray(const Json& obj, std::string_view key);

}  // namespace coding
}  // namespace simcore
