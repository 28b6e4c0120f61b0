#pragma once
// Cloud records in a PostgreSQL database through libpq: a row per record, a row per
// field with one typed column per kind (integer, double, text, bytes). Values travel in
// libpq's binary format, so doubles and bytes come back bit for bit.
#include <string>

#include "PlatformKit/Cloud/CloudDatabase.h"

struct pg_conn;

namespace pk::cloud {

class PostgresCloudBackend : public CloudBackend {
public:
    // `url` is a libpq connection URI ("postgresql://user@host:port/db?..."). Nothing
    // connects until first use; a lost connection is opened again on the next call.
    explicit PostgresCloudBackend(std::string url);
    ~PostgresCloudBackend() override;

    void save(const CloudRecord& record) override;
    std::vector<CloudRecord> records(const std::string& recordType) override;

    // True for the URI forms this backend serves.
    static bool servesLocator(std::string_view locator);

private:
    void saveOnce(const CloudRecord& record);
    std::vector<CloudRecord> recordsOnce(const std::string& recordType);
    template <class Fn>
    auto withReconnect(Fn&& fn);
    pg_conn* connection();
    void disconnect();
    [[noreturn]] void fail(const std::string& context, const std::string& detail);

    std::string url_;
    pg_conn* conn_ = nullptr;
};

}  // namespace pk::cloud
