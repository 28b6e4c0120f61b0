#pragma once
// One USD layer as both the text and the binary reader leave it: specs by path, each a
// list of named fields. Only the value kinds the mesh reader looks at are kept; any
// other value is stored as `unsupported`, so it can be skipped but never misread.
//
// Paths are absolute text: "/" for the layer itself, "/Root/Mesh" for prims,
// "/Root/Mesh.points" for properties.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pk::modelimport {

// What reading one layer may produce in all (decoded arrays, built paths): generous for
// real files, whose arrays compress a few times at most, and bounded for crafted ones
// that point many fields at one array or nest names deeply.
inline uint64_t usdDecodeBudget(uint64_t fileBytes) { return (uint64_t(64) << 20) + fileBytes * 32; }

enum class UsdSpecType : uint8_t { unknown, pseudoRoot, prim, attribute, relationship, other };

struct UsdValue {
    enum class Kind : uint8_t {
        unsupported,  // a value of a kind this reader does not use
        blocked,      // "None": authored as no value
        number,       // bool, integers and reals, scalar or tuple (matrices row by row)
        numberArray,  // arrays of those, `components` numbers per element
        text,         // token, string or asset path
        textArray,    // token[] / string[]
        paths,        // relationship targets, connections (absolute paths)
    };
    Kind kind = Kind::unsupported;
    bool isAsset = false;
    uint8_t components = 1;
    // Scalars, tuples and double-precision arrays.
    std::vector<double> doubles;
    // Single- and half-precision arrays.
    std::vector<float> floats;
    // Integer arrays.
    std::vector<int32_t> ints;
    std::vector<std::string> texts;

    static UsdValue makeText(std::string s, bool asset = false) {
        UsdValue v;
        v.kind = Kind::text;
        v.isAsset = asset;
        v.texts.push_back(std::move(s));
        return v;
    }
    static UsdValue makeNumbers(std::vector<double> numbers) {
        UsdValue v;
        v.kind = Kind::number;
        v.components = 1;
        v.doubles = std::move(numbers);
        return v;
    }

    const std::string* text() const { return kind == Kind::text && texts.size() == 1 ? &texts[0] : nullptr; }
    std::optional<double> scalar() const {
        if (kind == Kind::number && doubles.size() == 1) return doubles[0];
        return std::nullopt;
    }
    // A fixed-size tuple (vector, quaternion, matrix) of exactly n numbers.
    const std::vector<double>* tuple(size_t n) const {
        return kind == Kind::number && doubles.size() == n ? &doubles : nullptr;
    }
    size_t arrayLength() const;
    // The array as floats with `n` components per element; false for any other shape.
    bool floatArray(uint8_t n, std::vector<float>& out) const;
    // The array as 32-bit integers; false for any other shape or when reals are not whole.
    bool intArray(std::vector<int32_t>& out) const;
};

struct UsdSpec {
    UsdSpecType type = UsdSpecType::unknown;
    std::vector<std::pair<std::string, UsdValue>> fields;

    const UsdValue* field(std::string_view name) const {
        for (const auto& [key, value] : fields)
            if (key == name) return &value;
        return nullptr;
    }
    // A later opinion on the same field replaces the earlier one.
    void set(std::string name, UsdValue value) {
        for (auto& [key, existing] : fields) {
            if (key == name) {
                existing = std::move(value);
                return;
            }
        }
        fields.emplace_back(std::move(name), std::move(value));
    }
};

struct UsdLayer {
    std::unordered_map<std::string, UsdSpec> specs;

    const UsdSpec* spec(const std::string& path) const {
        const auto it = specs.find(path);
        return it == specs.end() ? nullptr : &it->second;
    }
};

// The path of a child prim or a property under a prim path.
std::string usdChildPath(const std::string& prim, std::string_view name);
std::string usdPropertyPath(const std::string& prim, std::string_view name);

}  // namespace pk::modelimport
