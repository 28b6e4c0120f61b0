#pragma once
// The one error type of the system: a domain, an integer code and a text for people.
#include <exception>
#include <string>

namespace pk {

class StudioError : public std::exception {
public:
    StudioError(std::string domain, int code, std::string description)
        : domain(std::move(domain)), code(code), description(std::move(description)) {}

    const char* what() const noexcept override { return description.c_str(); }

    std::string domain;
    int code = 0;
    std::string description;

    // An OS error: domain "POSIX", the errno as code, "<context>: <strerror>" as text.
    static StudioError fromErrno(int err, const std::string& context);
    // A library's own error, passed on with its code and text.
    static StudioError library(const std::string& library, int code, const std::string& text);
};

[[noreturn]] void throwErrno(int err, const std::string& context);

}  // namespace pk
