#pragma once
// The studio's debug log: one line per event that a user never sees but a developer
// needs to find why something was refused or failed ("<area>: <text>"). Quiet unless
// KESTRELUNE_DEBUG_LOG is set: "1" (or any value that is not a path) writes to stderr,
// a path appends to that file. Thread-safe; never throws.
#include <functional>
#include <string>
#include <string_view>

namespace pk {

void debugLog(std::string_view area, std::string_view text) noexcept;

// Always written to stderr (and to the debug log when it is a file): for a failure that
// the code turns into a quiet result (an empty optional, a false) and would otherwise
// leave without a trace.
void warningLog(std::string_view area, std::string_view text) noexcept;

// Tests: while one lives, every line (debug and warning) also goes to `sink`, whether
// or not the log is switched on. One at a time.
class DebugLogCapture {
public:
    explicit DebugLogCapture(std::function<void(const std::string&)> sink);
    ~DebugLogCapture();
    DebugLogCapture(const DebugLogCapture&) = delete;
    DebugLogCapture& operator=(const DebugLogCapture&) = delete;
};

}  // namespace pk
