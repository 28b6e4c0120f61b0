#pragma once
// The one guard every thread of the studio runs its work under. An exception that leaves
// a thread's body ends the whole process (std::terminate), so each thread hands its work
// to runGuarded, which turns any exception into that job's failure: an export's error, a
// recording's failed state, a camera's fallback, a closed session.
#include <exception>
#include <filesystem>
#include <string>
#include <utility>

#include "PlatformKit/Foundation/StudioError.h"

namespace pk {

// An exception that left a job. Made without allocating, so it can be had even when the
// failure was running out of memory.
class JobFailure {
public:
    explicit JobFailure(std::exception_ptr exception) noexcept : exception_(std::move(exception)) {}

    const std::exception_ptr& exception() const noexcept { return exception_; }
    // What it says: a StudioError's description, what() of any other std::exception,
    // "Unknown error." for anything else.
    std::string description() const;
    // The job's error: a StudioError as it is, anything else as {domain, code, description}.
    StudioError asError(const std::string& domain, int code) const;

private:
    std::exception_ptr exception_;
};

// The last place left to say it: "<job> failed: <text>" on stderr, for a failure that
// nobody waits for or whose own report failed as well.
void reportUnhandled(const char* job, const JobFailure& failure) noexcept;

// Runs body. An exception that leaves it goes to failed; one that leaves failed too is
// reported with reportUnhandled. Never throws; true when body returned normally.
template <class Body, class Failed>
bool runGuarded(const char* job, Body&& body, Failed&& failed) noexcept {
    std::exception_ptr error;
    try {
        std::forward<Body>(body)();
        return true;
    } catch (...) {
        error = std::current_exception();
    }
    try {
        std::forward<Failed>(failed)(JobFailure(error));
    } catch (...) {
        reportUnhandled(job, JobFailure(error));
        reportUnhandled(job, JobFailure(std::current_exception()));
    }
    return false;
}

// For work that has nobody to fail to (a posted clean-up, a destructor's last step).
template <class Body>
bool runGuarded(const char* job, Body&& body) noexcept {
    return runGuarded(job, std::forward<Body>(body), [job](const JobFailure& f) { reportUnhandled(job, f); });
}

// A file a job is writing in place: removed when the job ends without keep(), so a
// failed or abandoned job leaves no partial output behind.
class PartialOutput {
public:
    explicit PartialOutput(std::filesystem::path path) : path_(std::move(path)) {}
    ~PartialOutput();
    PartialOutput(const PartialOutput&) = delete;
    PartialOutput& operator=(const PartialOutput&) = delete;

    const std::filesystem::path& path() const { return path_; }
    void keep() noexcept { kept_ = true; }

private:
    std::filesystem::path path_;
    bool kept_ = false;
};

}  // namespace pk
