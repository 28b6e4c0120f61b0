#include "PlatformKit/Foundation/DebugLog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace pk {

namespace {

std::mutex& logMutex() {
    static std::mutex m;
    return m;
}

std::function<void(const std::string&)>& captureSink() {
    static std::function<void(const std::string&)> sink;
    return sink;
}

// Where debug lines go, read once: null when the log is off.
FILE* debugTarget() {
    static FILE* target = [] () -> FILE* {
        const char* v = std::getenv("KESTRELUNE_DEBUG_LOG");
        if (!v || !*v) return nullptr;
        if (std::strchr(v, '/') == nullptr) return stderr;
        FILE* f = std::fopen(v, "a");
        return f ? f : stderr;
    }();
    return target;
}

void emit(std::string_view area, std::string_view text, bool always) noexcept {
    try {
        std::string line;
        line.reserve(area.size() + text.size() + 3);
        line.append(area).append(": ").append(text);
        std::lock_guard lock(logMutex());
        if (captureSink()) captureSink()(line);
        FILE* target = debugTarget();
        if (always || target) {
            FILE* out = always ? stderr : target;
            std::fprintf(out, "%s\n", line.c_str());
            std::fflush(out);
            if (always && target && target != stderr) {
                std::fprintf(target, "%s\n", line.c_str());
                std::fflush(target);
            }
        }
    } catch (...) {
        // Out of memory while logging: the line is lost, nothing else.
    }
}

}  // namespace

void debugLog(std::string_view area, std::string_view text) noexcept { emit(area, text, false); }

void warningLog(std::string_view area, std::string_view text) noexcept { emit(area, text, true); }

DebugLogCapture::DebugLogCapture(std::function<void(const std::string&)> sink) {
    std::lock_guard lock(logMutex());
    captureSink() = std::move(sink);
}

DebugLogCapture::~DebugLogCapture() {
    std::lock_guard lock(logMutex());
    captureSink() = nullptr;
}

}  // namespace pk
