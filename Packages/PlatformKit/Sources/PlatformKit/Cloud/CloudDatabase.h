#pragma once
// The cloud public database. Work runs in order on the database's own thread and each
// completion is posted to a MainQueue, the way the platform's cloud calls answer.
// Storage is a backend (SQLite or PostgreSQL; the locator's form picks it), so another
// store can be added without touching callers.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "PlatformKit/Cloud/CloudRecord.h"
#include "PlatformKit/Foundation/MainQueue.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace pk::cloud {

inline constexpr const char* kErrorDomain = "PlatformKit.Cloud";
enum ErrorCode : int {
    notAuthenticated = 9,     // no database configured: no account
    unsupportedLocator = 10,  // a locator no backend serves
    storeFailure = 11,        // the backend's own failure (its text is kept)
    invalidRecord = 12,       // an empty record type
};

// The environment variable that names the database: a file path for SQLite, a
// postgresql:// URL for PostgreSQL.
inline constexpr const char* kDatabaseEnvironmentVariable = "KESTRELUNE_CLOUD_DB";

// Synchronous storage, called only from the database's thread. Failures throw StudioError.
class CloudBackend {
public:
    virtual ~CloudBackend() = default;
    virtual void save(const CloudRecord& record) = 0;
    // Every record of the type, oldest save first.
    virtual std::vector<CloudRecord> records(const std::string& recordType) = 0;
};

class CloudDatabase {
public:
    using SaveCompletion = std::function<void(std::optional<CloudRecord> saved, std::optional<StudioError> error)>;
    using FetchCompletion = std::function<void(std::vector<CloudRecord> records, std::optional<StudioError> error)>;

    explicit CloudDatabase(std::unique_ptr<CloudBackend> backend, MainQueue& queue = MainQueue::main());
    // Finishes the work already asked for (its completions are still posted), then stops.
    ~CloudDatabase();
    CloudDatabase(const CloudDatabase&) = delete;
    CloudDatabase& operator=(const CloudDatabase&) = delete;

    // Thread-safe. The completion gets the record as saved (with its name) or the error.
    void save(CloudRecord record, SaveCompletion completion);
    void fetchRecords(std::string recordType, FetchCompletion completion);

private:
    void enqueue(std::function<void()> job);
    void run();

    std::unique_ptr<CloudBackend> backend_;
    MainQueue& queue_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread worker_;
};

// A database for a locator: a file path (or "sqlite:" + path) opens SQLite, a
// "postgresql://" (or "postgres://") URL PostgreSQL. Both connect on first use, so a bad
// path or an unreachable server fails in the completion. Throws unsupportedLocator for a
// form no backend serves.
std::shared_ptr<CloudDatabase> openDatabase(std::string_view locator, MainQueue& queue = MainQueue::main());
// The public database of the default container, from KESTRELUNE_CLOUD_DB; nullptr when
// it is unset or empty, exactly like a machine without a cloud account.
std::shared_ptr<CloudDatabase> publicDatabase(MainQueue& queue = MainQueue::main());

// A fresh unique record name (32 hex digits).
std::string makeRecordName();

}  // namespace pk::cloud
