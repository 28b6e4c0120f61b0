#include "MarblewickSimCore/SimVec3.h"

#include <cmath>

namespace simcore {

const SimVec3 SimVec3::zero{0.0, 0.0, 0.0};

double SimVec3::length() const { return std::sqrt(x * x + y * y + z * z); }

SimVec3 operator+(const SimVec3& a, const SimVec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
SimVec3 operator-(const SimVec3& a, const SimVec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
SimVec3 operator*(const SimVec3& v, double s) { return {v.x * s, v.y * s, v.z * s}; }

Json SimVec3::toJson() const {
    Json j = Json::object();
    j["x"] = coding::number(x);
    j["y"] = coding::number(y);
    j["z"] = coding::number(z);
    return j;
}

SimVec3 SimVec3::fromJson(const Json& j) {
    pk::json::requireObject(j, "SimVec3");
    return {coding::readDouble(j, "x"), coding::readDouble(j, "y"), coding::readDouble(j, "z")};
}

}  // namespace simcore
