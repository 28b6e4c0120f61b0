#include "PlatformKit/Cloud/PostgresCloudBackend.h"

#include <bit>
#include <memory>
#include <string>

#include <libpq-fe.h>

namespace pk::cloud {

namespace {

struct ResultDeleter {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// Type ids of the parameters we bind (fixed in the server's catalogue).
constexpr Oid kInt8 = 20, kText = 25, kFloat8 = 701, kBytea = 17;

// Concurrent first connections must not race each other creating the tables.
constexpr const char* kSchema =
    "BEGIN;"
    "SELECT pg_advisory_xact_lock(7340318277712431651);"
    "CREATE TABLE IF NOT EXISTS cloud_records ("
    "  seq BIGSERIAL PRIMARY KEY,"
    "  record_name TEXT NOT NULL UNIQUE,"
    "  record_type TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS cloud_records_type ON cloud_records (record_type, seq);"
    "CREATE TABLE IF NOT EXISTS cloud_fields ("
    "  record_name TEXT NOT NULL REFERENCES cloud_records (record_name) ON DELETE CASCADE,"
    "  field_name TEXT NOT NULL,"
    "  int_value BIGINT,"
    "  real_value DOUBLE PRECISION,"
    "  text_value TEXT,"
    "  bytes_value BYTEA,"
    "  PRIMARY KEY (record_name, field_name),"
    "  CHECK (num_nonnulls(int_value, real_value, text_value, bytes_value) = 1));"
    "COMMIT;";

void ignoreNotice(void*, const char*) {}  // "already exists, skipping" and the like

// Network byte order, as the binary format wants.
void putBigEndian(char* out, uint64_t v) {
    for (int i = 7; i >= 0; --i, v >>= 8) out[i] = static_cast<char>(v & 0xFF);
}
uint64_t getBigEndian(const char* in) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | static_cast<uint8_t>(in[i]);
    return v;
}

// The bound parameters of one statement; each value keeps its own storage.
class Params {
public:
    void null(Oid type) { add(type, std::string(), true); }
    void text(const std::string& s) { add(kText, s, false); }
    void bytes(const std::vector<uint8_t>& b) { add(kBytea, std::string(b.begin(), b.end()), false); }
    void int8(int64_t v) {
        std::string s(8, '\0');
        putBigEndian(s.data(), static_cast<uint64_t>(v));
        add(kInt8, std::move(s), false);
    }
    void float8(double v) {
        std::string s(8, '\0');
        putBigEndian(s.data(), std::bit_cast<uint64_t>(v));
        add(kFloat8, std::move(s), false);
    }

    int count() const { return static_cast<int>(storage_.size()); }
    const Oid* types() const { return types_.data(); }
    const int* lengths() const { return lengths_.data(); }
    const int* formats() const { return formats_.data(); }
    // Pointers taken after every value is added, so none moves afterwards.
    std::vector<const char*> values() const {
        std::vector<const char*> out;
        for (size_t i = 0; i < storage_.size(); ++i) out.push_back(nulls_[i] ? nullptr : storage_[i].c_str());
        return out;
    }

private:
    void add(Oid type, std::string value, bool isNull) {
        types_.push_back(type);
        lengths_.push_back(static_cast<int>(value.size()));
        formats_.push_back(1);
        nulls_.push_back(isNull);
        storage_.push_back(std::move(value));
    }
    std::vector<std::string> storage_;
    std::vector<Oid> types_;
    std::vector<int> lengths_, formats_;
    std::vector<bool> nulls_;
};

}  // namespace

PostgresCloudBackend::PostgresCloudBackend(std::string url) : url_(std::move(url)) {}

PostgresCloudBackend::~PostgresCloudBackend() { disconnect(); }

bool PostgresCloudBackend::servesLocator(std::string_view locator) {
    return locator.starts_with("postgresql://") || locator.starts_with("postgres://");
}

void PostgresCloudBackend::disconnect() {
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
}

void PostgresCloudBackend::fail(const std::string& context, const std::string& detail) {
    std::string text = detail;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    // A broken link is dropped so that the next call connects afresh.
    if (conn_ && PQstatus(conn_) != CONNECTION_OK) disconnect();
    throw StudioError(kErrorDomain, storeFailure, "PostgreSQL " + context + " failed: " + text);
}

pg_conn* PostgresCloudBackend::connection() {
    if (conn_ && PQstatus(conn_) == CONNECTION_OK) return conn_;
    disconnect();
    // A default timeout first: a URL that names its own connect_timeout overrides it.
    const char* keywords[] = {"connect_timeout", "dbname", nullptr};
    const char* values[] = {"10", url_.c_str(), nullptr};
    conn_ = PQconnectdbParams(keywords, values, 1);
    if (!conn_) throw StudioError(kErrorDomain, storeFailure, "PostgreSQL connection failed: out of memory");
    if (PQstatus(conn_) != CONNECTION_OK) {
        std::string detail = PQerrorMessage(conn_);
        disconnect();
        fail("connection", detail);
    }
    PQsetNoticeProcessor(conn_, ignoreNotice, nullptr);
    // A connection that is not fully set up is not kept: the next call starts over.
    auto setupFailed = [&](const char* context, std::string detail) {
        disconnect();
        fail(context, detail);
    };
    if (PQsetClientEncoding(conn_, "UTF8") != 0) setupFailed("client encoding", PQerrorMessage(conn_));
    Result schema(PQexec(conn_, kSchema));
    if (!schema || PQresultStatus(schema.get()) != PGRES_COMMAND_OK)
        setupFailed("schema", schema ? PQresultErrorMessage(schema.get()) : PQerrorMessage(conn_));
    return conn_;
}

template <class Fn>
auto PostgresCloudBackend::withReconnect(Fn&& fn) {
    const bool hadConnection = conn_ != nullptr;
    try {
        return fn();
    } catch (const StudioError&) {
        // A connection that broke under this call (server restart, idle sessions ended)
        // gets one fresh try. Saves may repeat: a save under a name replaces the record.
        if (!hadConnection || conn_) throw;
        return fn();
    }
}

void PostgresCloudBackend::save(const CloudRecord& record) {
    withReconnect([&] { saveOnce(record); });
}

std::vector<CloudRecord> PostgresCloudBackend::records(const std::string& recordType) {
    return withReconnect([&] { return recordsOnce(recordType); });
}

void PostgresCloudBackend::saveOnce(const CloudRecord& record) {
    pg_conn* c = connection();
    auto run = [&](const char* sql, const Params& p, const char* context) {
        auto values = p.values();
        Result r(PQexecParams(c, sql, p.count(), p.types(), values.data(), p.lengths(), p.formats(), 1));
        if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
            std::string detail = r ? PQresultErrorMessage(r.get()) : PQerrorMessage(c);
            Result(PQexec(c, "ROLLBACK"));
            fail(context, detail);
        }
    };
    run("BEGIN", Params{}, "begin");
    {
        // Saving under an existing name replaces the record whole and makes it the newest.
        Params p;
        p.text(record.recordName);
        p.text(record.recordType);
        run("INSERT INTO cloud_records (record_name, record_type) VALUES ($1, $2) "
            "ON CONFLICT (record_name) DO UPDATE SET record_type = EXCLUDED.record_type, seq = DEFAULT",
            p, "write");
    }
    {
        Params p;
        p.text(record.recordName);
        run("DELETE FROM cloud_fields WHERE record_name = $1", p, "write");
    }
    // The fields go in as few statements as the protocol's parameter limit allows: one per
    // save unless a record holds thousands of them.
    constexpr size_t kColumns = 6, kRowsPerStatement = 65535 / kColumns;
    auto field = record.fields.begin();
    while (field != record.fields.end()) {
        Params p;
        std::string sql =
            "INSERT INTO cloud_fields (record_name, field_name, int_value, real_value, text_value, bytes_value) VALUES ";
        for (size_t row = 0; row < kRowsPerStatement && field != record.fields.end(); ++row, ++field) {
            const auto& [name, value] = *field;
            const int first = p.count() + 1;
            if (row > 0) sql += ", ";
            sql += "(";
            for (size_t col = 0; col < kColumns; ++col) sql += (col ? ", $" : "$") + std::to_string(first + int(col));
            sql += ")";
            p.text(record.recordName);
            p.text(name);
            if (auto* i = std::get_if<int64_t>(&value)) p.int8(*i); else p.null(kInt8);
            if (auto* d = std::get_if<double>(&value)) p.float8(*d); else p.null(kFloat8);
            if (auto* t = std::get_if<std::string>(&value)) p.text(*t); else p.null(kText);
            if (auto* b = std::get_if<std::vector<uint8_t>>(&value)) p.bytes(*b); else p.null(kBytea);
        }
        run(sql.c_str(), p, "write");
    }
    run("COMMIT", Params{}, "commit");
}

std::vector<CloudRecord> PostgresCloudBackend::recordsOnce(const std::string& recordType) {
    pg_conn* c = connection();
    Params p;
    p.text(recordType);
    auto values = p.values();
    Result r(PQexecParams(c,
                          "SELECT r.record_name, f.field_name, f.int_value, f.real_value, f.text_value, f.bytes_value "
                          "FROM cloud_records r LEFT JOIN cloud_fields f ON f.record_name = r.record_name "
                          "WHERE r.record_type = $1 ORDER BY r.seq, f.field_name",
                          p.count(), p.types(), values.data(), p.lengths(), p.formats(), 1));
    if (!r || PQresultStatus(r.get()) != PGRES_TUPLES_OK)
        fail("read", r ? PQresultErrorMessage(r.get()) : PQerrorMessage(c));
    std::vector<CloudRecord> out;
    auto bytesAt = [&](int row, int col) {
        return std::string(PQgetvalue(r.get(), row, col), static_cast<size_t>(PQgetlength(r.get(), row, col)));
    };
    auto word = [&](int row, int col) {
        if (PQgetlength(r.get(), row, col) != 8) fail("read", "an 8-byte value has another size");
        return getBigEndian(PQgetvalue(r.get(), row, col));
    };
    const int rows = PQntuples(r.get());
    for (int row = 0; row < rows; ++row) {
        std::string name = bytesAt(row, 0);
        if (out.empty() || out.back().recordName != name) out.push_back(CloudRecord{recordType, name, {}});
        if (PQgetisnull(r.get(), row, 1)) continue;  // a record without fields
        auto& field = out.back().fields[bytesAt(row, 1)];
        if (!PQgetisnull(r.get(), row, 2)) field = static_cast<int64_t>(word(row, 2));
        else if (!PQgetisnull(r.get(), row, 3)) field = std::bit_cast<double>(word(row, 3));
        else if (!PQgetisnull(r.get(), row, 4)) field = bytesAt(row, 4);
        else {
            const std::string b = bytesAt(row, 5);
            field = std::vector<uint8_t>(b.begin(), b.end());
        }
    }
    return out;
}

}  // namespace pk::cloud
