#pragma once
// Inside the realism audits only: the writer for the lists of records their reports
// carry (pk::json::readRecordList reads them back).
#include <vector>

#include "PlatformKit/Foundation/Json.h"

namespace assetio::realism {

template <class T>
pk::json::Json recordList(const std::vector<T>& records) {
    pk::json::Json a = pk::json::Json::array();
    for (const auto& r : records) a.push_back(r.toJson());
    return a;
}

}  // namespace assetio::realism
