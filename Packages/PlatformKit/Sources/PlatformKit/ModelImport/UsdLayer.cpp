#include "PlatformKit/ModelImport/UsdLayer.h"

#include <cmath>

namespace pk::modelimport {

size_t UsdValue::arrayLength() const {
    if (kind != Kind::numberArray || components == 0) return 0;
    return (floats.size() + doubles.size() + ints.size()) / components;
}

bool UsdValue::floatArray(uint8_t n, std::vector<float>& out) const {
    if (kind != Kind::numberArray || components != n) return false;
    if (!floats.empty()) {
        out = floats;
    } else if (!doubles.empty()) {
        out.assign(doubles.begin(), doubles.end());
    } else {
        out.assign(ints.begin(), ints.end());
    }
    return true;
}

bool UsdValue::intArray(std::vector<int32_t>& out) const {
    if (kind != Kind::numberArray || components != 1) return false;
    if (!ints.empty() || (floats.empty() && doubles.empty())) {
        out = ints;
        return true;
    }
    auto whole = [&](const auto& values) {
        out.clear();
        out.reserve(values.size());
        for (double v : values) {
            if (!(v >= INT32_MIN && v <= INT32_MAX) || std::floor(v) != v) return false;
            out.push_back(static_cast<int32_t>(v));
        }
        return true;
    };
    return floats.empty() ? whole(doubles) : whole(floats);
}

std::string usdChildPath(const std::string& prim, std::string_view name) {
    std::string path = prim;
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

std::string usdPropertyPath(const std::string& prim, std::string_view name) {
    std::string path = prim;
    path += '.';
    path += name;
    return path;
}

}  // namespace pk::modelimport
