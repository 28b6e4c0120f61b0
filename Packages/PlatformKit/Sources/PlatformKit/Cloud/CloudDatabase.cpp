#include "PlatformKit/Cloud/CloudDatabase.h"

#include <cstdlib>
#include <random>

#include "PlatformKit/Cloud/PostgresCloudBackend.h"
#include "PlatformKit/Cloud/SqliteCloudBackend.h"
#include "PlatformKit/Foundation/JobGuard.h"

namespace pk::cloud {

CloudDatabase::CloudDatabase(std::unique_ptr<CloudBackend> backend, MainQueue& queue)
    : backend_(std::move(backend)), queue_(queue), worker_([this] { runGuarded("Cloud database", [this] { run(); }); }) {}

CloudDatabase::~CloudDatabase() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    cv_.notify_all();
    worker_.join();
}

void CloudDatabase::enqueue(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    cv_.notify_all();
}

void CloudDatabase::run() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            cv_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;  // stopping with nothing left
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        // A job hands its own failure to its completion; what escapes that (posting the
        // completion) has nobody left to tell, and the next job still runs.
        runGuarded("Cloud database", job);
    }
}

void CloudDatabase::save(CloudRecord record, SaveCompletion completion) {
    enqueue([this, record = std::move(record), completion = std::move(completion)]() mutable {
        std::optional<CloudRecord> saved;
        std::optional<StudioError> error;
        runGuarded(
            "Cloud database",
            [&] {
                if (record.recordType.empty()) throw StudioError(kErrorDomain, invalidRecord, "A record needs a type.");
                if (record.recordName.empty()) record.recordName = makeRecordName();
                backend_->save(record);
                saved = std::move(record);
            },
            [&](const JobFailure& f) { error = f.asError(kErrorDomain, storeFailure); });
        if (completion)
            queue_.post([completion = std::move(completion), saved = std::move(saved), error = std::move(error)]() mutable {
                completion(std::move(saved), std::move(error));
            });
    });
}

void CloudDatabase::fetchRecords(std::string recordType, FetchCompletion completion) {
    enqueue([this, recordType = std::move(recordType), completion = std::move(completion)]() mutable {
        std::vector<CloudRecord> found;
        std::optional<StudioError> error;
        runGuarded(
            "Cloud database", [&] { found = backend_->records(recordType); },
            [&](const JobFailure& f) { error = f.asError(kErrorDomain, storeFailure); });
        if (completion)
            queue_.post([completion = std::move(completion), found = std::move(found), error = std::move(error)]() mutable {
                completion(std::move(found), std::move(error));
            });
    });
}

namespace {
bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }
}  // namespace

std::shared_ptr<CloudDatabase> openDatabase(std::string_view locator, MainQueue& queue) {
    // URL forms belong to server backends; a plain path (or sqlite:path) is a local file.
    if (PostgresCloudBackend::servesLocator(locator))
        return std::make_shared<CloudDatabase>(std::make_unique<PostgresCloudBackend>(std::string(locator)), queue);
    if (startsWith(locator, "sqlite:")) locator.remove_prefix(7);
    else if (locator.find("://") != std::string_view::npos)
        throw StudioError(kErrorDomain, unsupportedLocator,
                          "No cloud database backend serves \"" + std::string(locator) + "\".");
    if (locator.empty()) throw StudioError(kErrorDomain, unsupportedLocator, "The cloud database path is empty.");
    return std::make_shared<CloudDatabase>(std::make_unique<SqliteCloudBackend>(std::string(locator)), queue);
}

std::shared_ptr<CloudDatabase> publicDatabase(MainQueue& queue) {
    const char* env = std::getenv(kDatabaseEnvironmentVariable);
    if (!env || !*env) return nullptr;
    return openDatabase(env, queue);
}

std::string makeRecordName() {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    static constexpr char hex[] = "0123456789abcdef";
    std::string name;
    for (int part = 0; part < 2; ++part) {
        uint64_t v = rng();
        for (int i = 0; i < 16; ++i, v >>= 4) name.push_back(hex[v & 15]);
    }
    return name;
}

}  // namespace pk::cloud
