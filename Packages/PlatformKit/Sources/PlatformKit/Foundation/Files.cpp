#include "PlatformKit/Foundation/Files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Foundation/Text.h"

namespace pk {

namespace {

void writeAll(int fd, const uint8_t* data, size_t size, const fs::path& path) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrno(errno, "Could not write " + path.string());
        }
        done += static_cast<size_t>(n);
    }
}

// ".%016x.tmp": hidden, of fixed length whatever the target is called, and fresh from
// the system each time (a generator kept in memory would repeat itself in a forked child).
std::string temporaryName() {
    std::random_device device;
    const uint64_t v = (static_cast<uint64_t>(device()) << 32) ^ device();
    char buf[22];
    snprintf(buf, sizeof buf, ".%016llx.tmp", static_cast<unsigned long long>(v));
    return buf;
}

}  // namespace

void createDirectories(const fs::path& dir) {
    if (dir.empty()) return;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) throw StudioError::fromErrno(ec.value(), "Could not create folder " + dir.string());
    if (!fs::is_directory(dir, ec)) throw StudioError::fromErrno(ENOTDIR, "Could not create folder " + dir.string());
}

void atomicWrite(const fs::path& path, std::span<const uint8_t> bytes) {
    const std::span<const uint8_t> parts[] = {bytes};
    atomicWrite(path, std::span<const std::span<const uint8_t>>(parts));
}

void atomicWrite(const fs::path& path, std::span<const std::span<const uint8_t>> parts) {
    const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
    createDirectories(parent);
    const fs::path tmp = parent / temporaryName();
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throwErrno(errno, "Could not write " + path.string());
    try {
        for (const auto& part : parts) writeAll(fd, part.data(), part.size(), path);
        if (::fsync(fd) != 0) throwErrno(errno, "Could not write " + path.string());
    } catch (...) {
        ::close(fd);
        ::unlink(tmp.c_str());
        throw;
    }
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        throwErrno(err, "Could not write " + path.string());
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        throwErrno(err, "Could not write " + path.string());
    }
    // Make the rename itself durable.
    int dfd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

fs::path temporarySibling(const fs::path& target) {
    const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
    return parent / temporaryName();
}

void replaceWithTemporary(const fs::path& temporary, const fs::path& target) {
    auto fail = [&](int err) {
        ::unlink(temporary.c_str());
        throwErrno(err, "Could not write " + target.string());
    };
    const int fd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail(errno);
    if (::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        fail(err);
    }
    ::close(fd);
    if (::rename(temporary.c_str(), target.c_str()) != 0) fail(errno);
    const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const int dfd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

void atomicWrite(const fs::path& path, std::string_view text) {
    atomicWrite(path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

StagedFile::StagedFile(const fs::path& target, std::span<const uint8_t> bytes) : target_(target) {
    const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
    createDirectories(parent);
    // A folder in the way would only show at the rename, after other files of the set
    // have been replaced.
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throwErrno(EISDIR, "Could not write " + target.string());
    const fs::path tmp = parent / temporaryName();
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throwErrno(errno, "Could not write " + target.string());
    try {
        writeAll(fd, bytes.data(), bytes.size(), target);
        if (::fsync(fd) != 0) throwErrno(errno, "Could not write " + target.string());
    } catch (...) {
        ::close(fd);
        ::unlink(tmp.c_str());
        throw;
    }
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        throwErrno(err, "Could not write " + target.string());
    }
    temporary_ = tmp;
}

StagedFile::StagedFile(const fs::path& target, std::string_view text)
    : StagedFile(target, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size())) {}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : target_(std::move(other.target_)), temporary_(std::exchange(other.temporary_, fs::path())) {}

StagedFile::~StagedFile() {
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void StagedFile::commit() {
    if (temporary_.empty()) return;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) throwErrno(errno, "Could not write " + target_.string());
    temporary_.clear();
    const fs::path parent = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
    const int dfd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

void writeInPlace(const fs::path& path, std::span<const uint8_t> bytes) {
    if (path.has_parent_path()) createDirectories(path.parent_path());
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throwErrno(errno, "Could not write " + path.string());
    try {
        writeAll(fd, bytes.data(), bytes.size(), path);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0) throwErrno(errno, "Could not write " + path.string());
}

namespace {

// 0 with the whole file in `out`, or the errno. A FIFO is opened without waiting for a
// writer and then refused like any file that is not regular; a read error fails the read
// rather than passing off the part read as the file.
int readWhole(const fs::path& path, uint64_t maxBytes, Links links, std::vector<uint8_t>& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (links == Links::refuse ? O_NOFOLLOW : 0));
    if (fd < 0) return errno;
    struct stat st {};
    int err = 0;
    if (::fstat(fd, &st) != 0)
        err = errno;
    else if (S_ISDIR(st.st_mode))
        err = EISDIR;
    else if (!S_ISREG(st.st_mode))
        err = EINVAL;
    else if (static_cast<uint64_t>(st.st_size) > maxBytes)
        err = EFBIG;
    if (err != 0) {
        ::close(fd);
        return err;
    }
    out.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            err = errno;
            break;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    out.resize(done);
    return err;
}

}  // namespace

std::optional<std::vector<uint8_t>> readFile(const fs::path& path, uint64_t maxBytes, Links links) {
    std::vector<uint8_t> out;
    if (readWhole(path, maxBytes, links, out) != 0) return std::nullopt;
    return out;
}

std::vector<uint8_t> readFileOrThrow(const fs::path& path, uint64_t maxBytes) {
    std::vector<uint8_t> out;
    if (const int err = readWhole(path, maxBytes, Links::follow, out); err != 0)
        throwErrno(err, "Could not read " + path.string());
    return out;
}

std::optional<std::string> readTextFile(const fs::path& path, uint64_t maxBytes, Links links) {
    auto bytes = readFile(path, maxBytes, links);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

size_t maxFileNameBytes(const fs::path& dir) {
    fs::path p = dir.empty() ? fs::path(".") : dir;
    for (;;) {
        errno = 0;
        const long n = ::pathconf(p.c_str(), _PC_NAME_MAX);
        if (n > 0) return static_cast<size_t>(n);
        if (errno != ENOENT) return NAME_MAX;  // no limit told, or not a folder at all
        fs::path parent = p.parent_path();
        if (parent.empty()) parent = ".";
        if (parent == p) return NAME_MAX;
        p = std::move(parent);
    }
}

bool removeFileOnly(const fs::path& path, std::error_code& error) {
    const auto st = fs::symlink_status(path, error);
    if (st.type() == fs::file_type::not_found) {
        error.clear();
        return true;
    }
    if (error) return false;
    if (st.type() == fs::file_type::directory) {
        error = std::make_error_code(std::errc::is_a_directory);
        return false;
    }
    fs::remove(path, error);
    return !error;
}

bool removeFileOnly(const fs::path& path) {
    std::error_code ec;
    return removeFileOnly(path, ec);
}

std::string lastComponent(const fs::path& path) {
    std::string s = path.string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    if (s == "/") return "";
    auto slash = s.rfind('/');
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

std::string lowerExtension(const fs::path& path) {
    std::string name = lastComponent(path);
    auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return "";
    return asciiLower(name.substr(dot + 1));
}

std::string stem(const fs::path& path) {
    std::string name = lastComponent(path);
    auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return name;
    return name.substr(0, dot);
}

fs::path absolutePath(const fs::path& path) {
    fs::path abs = path.is_absolute() ? path : fs::current_path() / path;
    fs::path norm = abs.lexically_normal();
    std::string s = norm.string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return fs::path(s);
}

fs::path homeDirectory() {
    if (const char* h = std::getenv("HOME"); h && *h) return fs::path(h);
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return fs::path(pw->pw_dir);
    return fs::path("/");
}

fs::path documentsDirectory() { return homeDirectory() / "Documents"; }
fs::path moviesDirectory() { return homeDirectory() / "Movies"; }

fs::path applicationSupportDirectory() {
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x && fs::path(x).is_absolute()) return fs::path(x);
    return homeDirectory() / ".local" / "share";
}

fs::path temporaryDirectory() {
    if (const char* t = std::getenv("TMPDIR"); t && *t) return fs::path(t);
    return fs::path("/tmp");
}

fs::path executableDirectory() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::current_path();
    return exe.parent_path();
}

}  // namespace pk
