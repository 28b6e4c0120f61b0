#pragma once
// One record of the cloud public database: a type, a unique name and named fields.
#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace pk::cloud {

// A field holds a whole number, a double, a text or raw bytes.
using FieldValue = std::variant<int64_t, double, std::string, std::vector<uint8_t>>;

struct CloudRecord {
    std::string recordType;
    // Empty: the database gives the record a new unique name when it is saved. Saving
    // under an existing name replaces that record whole.
    std::string recordName;
    std::map<std::string, FieldValue> fields;

    bool operator==(const CloudRecord&) const = default;

    // The field when present with that kind, else nullptr.
    template <class T>
    const T* get(const std::string& name) const {
        auto it = fields.find(name);
        return it == fields.end() ? nullptr : std::get_if<T>(&it->second);
    }
};

}  // namespace pk::cloud
