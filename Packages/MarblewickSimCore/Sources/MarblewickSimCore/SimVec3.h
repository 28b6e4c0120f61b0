#pragma once
// Double-precision vector of the cargo and golf kernels. y is up; gravity acts on -y.
#include "MarblewickSimCore/SimCoding.h"

namespace simcore {

struct SimVec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    static const SimVec3 zero;

    // sqrt(x*x + y*y + z*z), the products added in that order.
    double length() const;

    // IEEE comparison: 0.0 == -0.0, a NaN component is never equal.
    bool operator==(const SimVec3&) const = default;

    Json toJson() const;
    static SimVec3 fromJson(const Json& j);
};

SimVec3 operator+(const SimVec3& a, const SimVec3& b);
SimVec3 operator-(const SimVec3& a, const SimVec3& b);
SimVec3 operator*(const SimVec3& v, double s);

}  // namespace simcore
