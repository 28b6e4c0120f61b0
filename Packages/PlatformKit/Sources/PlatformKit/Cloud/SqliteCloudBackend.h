#pragma once
// Cloud records in one SQLite file: a row per record, a row per field, each field kept
// with its own storage class (integer, real, text, blob).
#include <string>

#include "PlatformKit/Cloud/CloudDatabase.h"

struct sqlite3;

namespace pk::cloud {

class SqliteCloudBackend : public CloudBackend {
public:
    // The file is opened (and created) on first use; parent folders must exist.
    explicit SqliteCloudBackend(std::string path);
    ~SqliteCloudBackend() override;

    void save(const CloudRecord& record) override;
    std::vector<CloudRecord> records(const std::string& recordType) override;

private:
    sqlite3* db();
    [[noreturn]] void fail(const std::string& context);

    std::string path_;
    sqlite3* db_ = nullptr;
};

}  // namespace pk::cloud
