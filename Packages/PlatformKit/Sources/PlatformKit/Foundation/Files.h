#pragma once
// Files and paths with the semantics the studio relies on.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace pk {

namespace fs = std::filesystem;

// Writes the bytes whole: a temporary file in the same folder, fsync, rename over the
// target (a link there is replaced, never written through). The temporary file is
// hidden and its name short and of fixed length, so any target name the folder allows
// can be written. Parent folders are created first. On failure the old file is left as
// it was and a StudioError (POSIX) is thrown.
void atomicWrite(const fs::path& path, std::span<const uint8_t> bytes);
void atomicWrite(const fs::path& path, std::string_view text);
// The same for a file made of several parts written one after another.
void atomicWrite(const fs::path& path, std::span<const std::span<const uint8_t>> parts);
// For writers that make a file through a library of their own (a movie muxer): a hidden
// name in the target's folder to write to, and the step that makes that file durable and
// renames it over the target. The rename is the only moment the target changes, so a
// writer that fails before it leaves the target as it was. On failure the temporary file
// is removed and a StudioError (POSIX) is thrown.
fs::path temporarySibling(const fs::path& target);
void replaceWithTemporary(const fs::path& temporary, const fs::path& target);
// A file written whole beside its target (temporary name, fsync) but not yet in place,
// for files that only make sense together: write them all, then commit each, and a
// failure while writing any leaves every target as it was. Refuses (EISDIR) a target
// that is a folder before writing. Dropped without commit(), the temporary file goes.
class StagedFile {
public:
    StagedFile(const fs::path& target, std::span<const uint8_t> bytes);
    StagedFile(const fs::path& target, std::string_view text);
    ~StagedFile();
    StagedFile(StagedFile&& other) noexcept;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    StagedFile& operator=(StagedFile&&) = delete;
    // Renames it over the target and makes the rename durable; throws StudioError (POSIX).
    void commit();

private:
    fs::path target_;
    fs::path temporary_;
};

// Writes in place (truncate and write), for the few writers that are not atomic.
void writeInPlace(const fs::path& path, std::span<const uint8_t> bytes);

// Whether a read may go through a symbolic link at the path's last component.
enum class Links { follow, refuse };
// The whole file, or empty when it cannot be read, is not a regular file, is larger than
// maxBytes, or (with Links::refuse) is a symbolic link.
std::optional<std::vector<uint8_t>> readFile(const fs::path& path, uint64_t maxBytes = UINT64_C(1) << 32,
                                             Links links = Links::follow);
// The same, for callers that pass the reason on: throws StudioError (POSIX) with the errno
// (EISDIR or EINVAL for what is not a regular file, EFBIG above maxBytes).
std::vector<uint8_t> readFileOrThrow(const fs::path& path, uint64_t maxBytes = UINT64_C(1) << 32);
std::optional<std::string> readTextFile(const fs::path& path, uint64_t maxBytes = UINT64_C(1) << 30,
                                        Links links = Links::follow);

// The longest file name, in bytes, that the folder (or, while it does not exist yet, its
// nearest existing parent) takes; NAME_MAX when the system does not say.
size_t maxFileNameBytes(const fs::path& dir);

// Creates the folder and its parents; throws StudioError on failure (also when a
// component is a regular file).
void createDirectories(const fs::path& dir);

// Removes a regular file or link at path if there is one; never a folder. Returns true
// when nothing is left there that is a file; otherwise `error` says why (EISDIR for a
// folder, else the errno the look-up or the removal got).
bool removeFileOnly(const fs::path& path, std::error_code& error);
bool removeFileOnly(const fs::path& path);

// Lower-cased extension without the dot ("MWMESH" -> "mwmesh"); "" for none. A name
// that starts with a dot and has no other dot has no extension (".hidden").
std::string lowerExtension(const fs::path& path);
// The last component without its extension (".hidden" stays ".hidden").
std::string stem(const fs::path& path);
// The last component ("" for "/").
std::string lastComponent(const fs::path& path);
// Absolute without resolving links, "." and ".." removed lexically, no trailing slash.
fs::path absolutePath(const fs::path& path);

// User folders.
fs::path homeDirectory();            // $HOME, else the password database
fs::path documentsDirectory();       // ~/Documents
fs::path applicationSupportDirectory();  // $XDG_DATA_HOME or ~/.local/share
fs::path moviesDirectory();          // ~/Movies
fs::path temporaryDirectory();       // $TMPDIR or /tmp
// Folder of the running executable (stands in for the application bundle).
fs::path executableDirectory();

}  // namespace pk
