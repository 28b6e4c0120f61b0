#pragma once
// Why a model file was refused. Every reader throws a Malformed naming the check that
// failed and where (byte offset or line); the public entry points log it once to the
// debug log and either pass it on (readModel) or return none.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "PlatformKit/Foundation/DebugLog.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace pk::modelimport {

inline constexpr const char* kModelImportErrorDomain = "PlatformKit.ModelImport";
inline constexpr const char* kModelImportLogArea = "ModelImport";

enum class ModelImportError : int {
    malformed = 1,    // the file breaks a rule of its format, or is not whole
    unsupported = 2,  // no reader for the file's extension
    unreadable = 3,   // missing, unreadable or past the size cap
};

class Malformed : public pk::StudioError {
public:
    explicit Malformed(std::string reason, ModelImportError code = ModelImportError::malformed)
        : StudioError(kModelImportErrorDomain, static_cast<int>(code), std::move(reason)) {}

    // The text says where already; a catcher with a cursor adds one only when not.
    bool located = false;
};

// The check alone; the reader that catches it may add where it stood.
[[noreturn]] inline void refuse(std::string_view check) { throw Malformed(std::string(check)); }

[[noreturn]] inline void refuseAt(std::string_view check, uint64_t byteOffset) {
    Malformed m(std::string(check) + " at byte " + std::to_string(byteOffset));
    m.located = true;
    throw m;
}

[[noreturn]] inline void refuseOnLine(std::string_view check, uint64_t line) {
    Malformed m(std::string(check) + " on line " + std::to_string(line));
    m.located = true;
    throw m;
}

// Runs a throwing reader for a caller that takes none on refusal; the reason goes to the
// debug log as "<what>: <reason>".
template <class Read>
auto noneIfRefused(std::string_view what, Read&& read) -> std::optional<decltype(read())> {
    try {
        return read();
    } catch (const Malformed& m) {
        pk::debugLog(kModelImportLogArea, std::string(what) + ": " + m.description);
        return std::nullopt;
    }
}

}  // namespace pk::modelimport

// Refuses with the failed condition's own text as the check, for readers with many
// small structural checks whose wording would only restate the condition.
#define PK_MODEL_REFUSE_IF(condition)                                                    \
    do {                                                                                 \
        if (condition) ::pk::modelimport::refuse("failed check (" #condition ")");      \
    } while (false)
