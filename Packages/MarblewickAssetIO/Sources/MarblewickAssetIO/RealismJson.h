#pragma once
// Inside the realism audits only: strict readers for the lists their reports carry.
#include <string>
#include <string_view>
#include <vector>

#include "PlatformKit/Foundation/Json.h"

namespace assetio::realism {

inline std::vector<std::string> readStringList(const pk::json::Json& obj, std::string_view key) {
    const pk::json::Json& v = pk::json::field(obj, key);
    if (!v.is_array()) pk::json::failDecode(pk::json::typeMismatch, "Expected an array for " + std::string(key) + ".");
    std::vector<std::string> out;
    out.reserve(v.size());
    for (const auto& e : v) out.push_back(pk::json::asString(e, key));
    return out;
}

template <class T>
std::vector<T> readRecordList(const pk::json::Json& obj, std::string_view key) {
    const pk::json::Json& v = pk::json::field(obj, key);
    if (!v.is_array()) pk::json::failDecode(pk::json::typeMismatch, "Expected an array for " + std::string(key) + ".");
    std::vector<T> out;
    out.reserve(v.size());
    for (const auto& e : v) out.push_back(T::fromJson(e));
    return out;
}

template <class T>
pk::json::Json recordList(const std::vector<T>& records) {
    pk::json::Json a = pk::json::Json::array();
    for (const auto& r : records) a.push_back(r.toJson());
    return a;
}

}  // namespace assetio::realism
