#include "PlatformKit/Foundation/Workspace.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace pk {

namespace {

bool hasDesktop() {
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* v = std::getenv(var);
        if (v && *v) return true;
    }
    return false;
}

std::string findOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        const std::filesystem::path candidate = std::filesystem::path(dir.empty() ? "." : dir) / program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
        start = end + 1;
    }
    return {};
}

}  // namespace

bool revealInFileBrowser(const std::filesystem::path& file) {
    if (!hasDesktop()) return false;
    const std::string opener = findOnPath("xdg-open");
    if (opener.empty()) return false;
    std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    const std::string target = folder.string();
    // Everything the children need is made before fork: after it only exec-safe calls run.
    std::vector<char*> argv{const_cast<char*>(opener.c_str()), const_cast<char*>(target.c_str()), nullptr};
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t child = ::fork();
    if (child < 0) {
        if (devNull >= 0) ::close(devNull);
        return false;
    }
    if (child == 0) {
        // The middle process exits at once, so the opener is adopted and never a zombie
        // of ours.
        ::setsid();
        if (::fork() == 0) {
            if (devNull >= 0) {
                ::dup2(devNull, STDIN_FILENO);
                ::dup2(devNull, STDOUT_FILENO);
                ::dup2(devNull, STDERR_FILENO);
            }
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::_exit(0);
    }
    if (devNull >= 0) ::close(devNull);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace pk
