// libFuzzer target: whatever rows another writer left in the shared SQLite file, reading
// them back must give records or a store failure, never a crash. The input is either a
// whole database file (first byte even) or a list of rows (first byte odd), each row
// written with the storage class and bytes the input chooses, so type mixes, empty and
// NUL-laden names, orphan fields and foreign tables all reach the reader.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "PlatformKit/Cloud/SqliteCloudBackend.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace {

struct Input {
    const uint8_t* p;
    size_t n;
    uint8_t byte() {
        if (!n) return 0;
        --n;
        return *p++;
    }
    std::string bytes() {
        const size_t len = std::min<size_t>(byte() % 24, n);
        std::string s(reinterpret_cast<const char*>(p), len);
        p += len;
        n -= len;
        return s;
    }
};

// Memory-backed when the machine has it: every input creates and syncs a database.
const std::string& scratchPath() {
    static const std::string path = [] {
        namespace fs = std::filesystem;
        const fs::path dir = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        return (dir / ("ks-fuzz-cloud-" + std::to_string(getpid()) + ".sqlite")).string();
    }();
    return path;
}

void bindValue(sqlite3_stmt* s, int i, Input& in) {
    const std::string v = in.bytes();
    switch (in.byte() % 5) {
        case 0: sqlite3_bind_int64(s, i, static_cast<sqlite3_int64>(std::hash<std::string>{}(v))); break;
        case 1: {
            double d = 0.5;
            if (v.size() >= sizeof d) std::memcpy(&d, v.data(), sizeof d);
            sqlite3_bind_double(s, i, d);
            break;
        }
        case 2: sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT); break;
        case 3: sqlite3_bind_blob(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT); break;
        default: sqlite3_bind_null(s, i); break;
    }
}

// Rows in the backend's own tables, every column's class chosen by the input.
void writeRows(const std::string& path, Input in) {
    {
        pk::cloud::SqliteCloudBackend schema(path);
        schema.records("");  // creates the tables
    }
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return;
    }
    sqlite3_stmt* rec = nullptr;
    sqlite3_stmt* field = nullptr;
    sqlite3_prepare_v2(db, "INSERT OR IGNORE INTO cloud_records (record_name, record_type) VALUES (?1, ?2)", -1, &rec,
                       nullptr);
    sqlite3_prepare_v2(db, "INSERT OR IGNORE INTO cloud_fields (record_name, field_name, value) VALUES (?1, ?2, ?3)",
                       -1, &field, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int row = 0; row < 64 && in.n > 0; ++row) {
        sqlite3_stmt* s = (in.byte() & 1) ? rec : field;
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
        const int columns = s == rec ? 2 : 3;
        for (int c = 1; c <= columns; ++c) {
            // The record type read back is "t", so some rows must carry it.
            if (s == rec && c == 2 && (in.byte() & 3) != 0) sqlite3_bind_text(s, c, "t", 1, SQLITE_STATIC);
            else bindValue(s, c, in);
        }
        sqlite3_step(s);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(rec);
    sqlite3_finalize(field);
    sqlite3_close(db);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string& path = scratchPath();
    std::remove(path.c_str());
    std::remove((path + "-journal").c_str());
    Input in{data + 1, size - 1};
    if ((data[0] & 1) == 0) {
        if (FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(in.p, 1, in.n, f);
            std::fclose(f);
        }
    } else {
        try {
            writeRows(path, in);
        } catch (const pk::StudioError&) {
            return 0;
        }
    }
    try {
        pk::cloud::SqliteCloudBackend backend(path);
        for (const auto& record : backend.records("t"))
            if (record.recordType != "t") __builtin_trap();
    } catch (const pk::StudioError&) {
    }
    std::remove(path.c_str());
    std::remove((path + "-journal").c_str());
    return 0;
}
