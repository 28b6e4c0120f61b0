#include "PlatformKit/Foundation/StudioError.h"

#include <cstring>

namespace pk {

StudioError StudioError::fromErrno(int err, const std::string& context) {
    char buf[256];
    // GNU strerror_r returns the message pointer (which may not be buf).
    const char* msg = strerror_r(err, buf, sizeof buf);
    return StudioError("POSIX", err, context.empty() ? std::string(msg) : context + ": " + msg);
}

StudioError StudioError::library(const std::string& library, int code, const std::string& text) {
    return StudioError(library, code, text);
}

void throwErrno(int err, const std::string& context) { throw StudioError::fromErrno(err, context); }

}  // namespace pk
