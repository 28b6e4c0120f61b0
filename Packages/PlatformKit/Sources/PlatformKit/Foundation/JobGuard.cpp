#include "PlatformKit/Foundation/JobGuard.h"

#include <cstdio>
#include <cstring>

#include "PlatformKit/Foundation/Files.h"

namespace pk {

namespace {

// The text without allocating: the exception object, kept alive by the pointer, owns it.
const char* textOf(const std::exception_ptr& e) noexcept {
    if (!e) return "Unknown error.";
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& x) {
        return x.what();  // a StudioError's what() is its description
    } catch (...) {
        return "Unknown error.";
    }
}

}  // namespace

std::string JobFailure::description() const { return textOf(exception_); }

StudioError JobFailure::asError(const std::string& domain, int code) const {
    try {
        if (exception_) std::rethrow_exception(exception_);
    } catch (const StudioError& e) {
        return e;
    } catch (...) {
        return StudioError(domain, code, description());
    }
    return StudioError(domain, code, description());
}

void reportUnhandled(const char* job, const JobFailure& failure) noexcept {
    std::fprintf(stderr, "%s failed: %s\n", job ? job : "A job", textOf(failure.exception()));
    std::fflush(stderr);
}

PartialOutput::~PartialOutput() {
    if (kept_) return;
    std::error_code ec;
    if (removeFileOnly(path_, ec)) return;
    char buf[256];
    std::fprintf(stderr, "Could not remove the partial file %s: %s\n", path_.c_str(),
                 strerror_r(ec.value(), buf, sizeof buf));
    std::fflush(stderr);
}

}  // namespace pk
