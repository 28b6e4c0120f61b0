#include "PlatformKit/Cloud/SqliteCloudBackend.h"

#include <memory>

#include <sqlite3.h>

namespace pk::cloud {

namespace {
struct StatementDeleter {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS cloud_records ("
    "  seq INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  record_name TEXT NOT NULL UNIQUE,"
    "  record_type TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS cloud_records_type ON cloud_records(record_type, seq);"
    // No declared type on value: SQLite keeps each value in the class it was bound with.
    "CREATE TABLE IF NOT EXISTS cloud_fields ("
    "  record_name TEXT NOT NULL,"
    "  field_name TEXT NOT NULL,"
    "  value,"
    "  PRIMARY KEY (record_name, field_name));";
}  // namespace

SqliteCloudBackend::SqliteCloudBackend(std::string path) : path_(std::move(path)) {}

SqliteCloudBackend::~SqliteCloudBackend() {
    if (db_) sqlite3_close(db_);
}

void SqliteCloudBackend::fail(const std::string& context) {
    const int code = db_ ? sqlite3_extended_errcode(db_) : SQLITE_ERROR;
    const std::string text = db_ ? sqlite3_errmsg(db_) : "cannot open";
    throw StudioError(kErrorDomain, storeFailure, "SQLite " + context + " failed (" + std::to_string(code) + "): " + text);
}

sqlite3* SqliteCloudBackend::db() {
    if (db_) return db_;
    sqlite3* handle = nullptr;
    const int rc = sqlite3_open_v2(path_.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const std::string text = handle ? sqlite3_errmsg(handle) : sqlite3_errstr(rc);
        if (handle) sqlite3_close(handle);
        throw StudioError(kErrorDomain, storeFailure, "SQLite open of " + path_ + " failed (" + std::to_string(rc) + "): " + text);
    }
    db_ = handle;
    sqlite3_busy_timeout(db_, 5000);  // other processes may write the same file
    if (sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        try {
            fail("schema");
        } catch (...) {
            sqlite3_close(db_);
            db_ = nullptr;
            throw;
        }
    }
    return db_;
}

void SqliteCloudBackend::save(const CloudRecord& record) {
    sqlite3* d = db();
    auto prepare = [&](const char* sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(d, sql, -1, &s, nullptr) != SQLITE_OK) fail("prepare");
        return Statement(s);
    };
    auto bindText = [&](sqlite3_stmt* s, int i, const std::string& t) {
        if (sqlite3_bind_text(s, i, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT) != SQLITE_OK) fail("bind");
    };
    auto step = [&](sqlite3_stmt* s) {
        if (sqlite3_step(s) != SQLITE_DONE) fail("write");
    };
    if (sqlite3_exec(d, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) fail("begin");
    try {
        {
            auto del = prepare("DELETE FROM cloud_fields WHERE record_name = ?1");
            bindText(del.get(), 1, record.recordName);
            step(del.get());
            auto delRecord = prepare("DELETE FROM cloud_records WHERE record_name = ?1");
            bindText(delRecord.get(), 1, record.recordName);
            step(delRecord.get());
        }
        {
            auto ins = prepare("INSERT INTO cloud_records (record_name, record_type) VALUES (?1, ?2)");
            bindText(ins.get(), 1, record.recordName);
            bindText(ins.get(), 2, record.recordType);
            step(ins.get());
        }
        auto field = prepare("INSERT INTO cloud_fields (record_name, field_name, value) VALUES (?1, ?2, ?3)");
        for (const auto& [name, value] : record.fields) {
            sqlite3_reset(field.get());
            bindText(field.get(), 1, record.recordName);
            bindText(field.get(), 2, name);
            int rc = SQLITE_OK;
            if (auto* i = std::get_if<int64_t>(&value)) rc = sqlite3_bind_int64(field.get(), 3, *i);
            else if (auto* r = std::get_if<double>(&value)) rc = sqlite3_bind_double(field.get(), 3, *r);
            else if (auto* t = std::get_if<std::string>(&value)) rc = sqlite3_bind_text(field.get(), 3, t->data(), static_cast<int>(t->size()), SQLITE_TRANSIENT);
            else {
                const auto& b = std::get<std::vector<uint8_t>>(value);
                // A zero-length blob still binds as a blob, not as NULL.
                rc = b.empty() ? sqlite3_bind_zeroblob(field.get(), 3, 0)
                               : sqlite3_bind_blob(field.get(), 3, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
            }
            if (rc != SQLITE_OK) fail("bind");
            step(field.get());
        }
        if (sqlite3_exec(d, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) fail("commit");
    } catch (...) {
        sqlite3_exec(d, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::vector<CloudRecord> SqliteCloudBackend::records(const std::string& recordType) {
    sqlite3* d = db();
    sqlite3_stmt* raw = nullptr;
    const char* sql =
        "SELECT r.record_name, f.field_name, f.value FROM cloud_records r "
        "LEFT JOIN cloud_fields f ON f.record_name = r.record_name "
        "WHERE r.record_type = ?1 ORDER BY r.seq, f.field_name";
    if (sqlite3_prepare_v2(d, sql, -1, &raw, nullptr) != SQLITE_OK) fail("prepare");
    Statement s(raw);
    if (sqlite3_bind_text(s.get(), 1, recordType.data(), static_cast<int>(recordType.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        fail("bind");
    std::vector<CloudRecord> out;
    auto text = [&](int col) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), col));
        return std::string(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(s.get(), col)));
    };
    for (;;) {
        const int rc = sqlite3_step(s.get());
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) fail("read");
        std::string name = text(0);
        if (out.empty() || out.back().recordName != name) out.push_back(CloudRecord{recordType, name, {}});
        if (sqlite3_column_type(s.get(), 1) == SQLITE_NULL) continue;  // a record without fields
        const std::string fieldName = text(1);
        switch (sqlite3_column_type(s.get(), 2)) {
            case SQLITE_INTEGER: out.back().fields[fieldName] = static_cast<int64_t>(sqlite3_column_int64(s.get(), 2)); break;
            case SQLITE_FLOAT: out.back().fields[fieldName] = sqlite3_column_double(s.get(), 2); break;
            case SQLITE_TEXT: out.back().fields[fieldName] = text(2); break;
            case SQLITE_BLOB: {
                const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(s.get(), 2));
                const int n = sqlite3_column_bytes(s.get(), 2);
                out.back().fields[fieldName] = std::vector<uint8_t>(p, p + n);
                break;
            }
            default: break;  // NULL values are never written
        }
    }
    return out;
}

}  // namespace pk::cloud
