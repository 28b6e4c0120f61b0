#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace fs = std::filesystem;

namespace {
fs::path freshDir(const std::string& name) {
    fs::path d = fs::temp_directory_path() / ("pk-files-" + name + "-" + std::to_string(getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}
}  // namespace

TEST(Files, AtomicWriteCreatesFoldersAndReplacesWhole) {
    fs::path dir = freshDir("atomic");
    fs::path target = dir / "a" / "b" / "out.txt";
    pk::atomicWrite(target, std::string_view("first"));
    pk::atomicWrite(target, std::string_view("second"));
    EXPECT_EQ(*pk::readTextFile(target), "second");
    // No temporary file is left beside it.
    size_t entries = 0;
    for (auto& e : fs::directory_iterator(target.parent_path())) (void)e, ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(Files, FailedAtomicWriteLeavesTheOldFileIntact) {
    fs::path dir = freshDir("fail");
    fs::path target = dir / "keep.txt";
    pk::atomicWrite(target, std::string_view("original"));
    if (getuid() != 0) {
        chmod(dir.c_str(), 0500);  // folder no longer writable: the temporary file cannot be made
        EXPECT_THROW(pk::atomicWrite(target, std::string_view("new")), pk::StudioError);
        chmod(dir.c_str(), 0700);
    }
    // A folder that is a regular file cannot be created (also as root).
    EXPECT_THROW(pk::atomicWrite(target / "child.txt", std::string_view("x")), pk::StudioError);
    // Writing over a folder fails and leaves it.
    fs::create_directories(dir / "folder");
    EXPECT_THROW(pk::atomicWrite(dir / "folder", std::string_view("x")), pk::StudioError);
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_EQ(*pk::readTextFile(target), "original");
}

// Files of a set: nothing shows under the targets until each is committed, a set given up
// before its commits leaves the old files and no temporary file, and a folder in a
// target's place is refused before anything is written.
TEST(Files, StagedFilesReachTheirTargetsOnlyWhenCommitted) {
    const fs::path dir = freshDir("staged");
    const auto entries = [&] {
        size_t n = 0;
        for (auto& e : fs::directory_iterator(dir)) (void)e, ++n;
        return n;
    };
    pk::atomicWrite(dir / "a.txt", std::string_view("old a"));
    pk::atomicWrite(dir / "b.txt", std::string_view("old b"));
    {
        pk::StagedFile a(dir / "a.txt", std::string_view("new a"));
        pk::StagedFile b(dir / "b.txt", std::string_view("new b"));
        EXPECT_EQ(*pk::readTextFile(dir / "a.txt"), "old a");
        EXPECT_EQ(entries(), 4u) << "two targets and two staged files beside them";
    }
    EXPECT_EQ(*pk::readTextFile(dir / "a.txt"), "old a");
    EXPECT_EQ(*pk::readTextFile(dir / "b.txt"), "old b");
    EXPECT_EQ(entries(), 2u) << "given up: no temporary file left";

    std::vector<pk::StagedFile> set;
    set.emplace_back(dir / "a.txt", std::string_view("new a"));
    set.emplace_back(dir / "c" / "c.txt", std::string_view("new c"));  // its folder is made
    for (auto& f : set) f.commit();
    EXPECT_EQ(*pk::readTextFile(dir / "a.txt"), "new a");
    EXPECT_EQ(*pk::readTextFile(dir / "c" / "c.txt"), "new c");
    set.clear();
    EXPECT_EQ(entries(), 3u);

    fs::create_directories(dir / "folder");
    try {
        pk::StagedFile f(dir / "folder", std::string_view("x"));
        ADD_FAILURE() << "staged over a folder";
    } catch (const pk::StudioError& e) {
        EXPECT_EQ(e.code, EISDIR);
    }
    EXPECT_EQ(entries(), 4u);
}

TEST(Files, AtomicWriteTakesAnyNameTheFolderAllowsAndNeverGoesThroughALink) {
    const fs::path dir = freshDir("names");
    const size_t limit = pk::maxFileNameBytes(dir);
    ASSERT_GE(limit, 64u);
    EXPECT_EQ(pk::maxFileNameBytes(dir / "not" / "yet"), limit) << "a folder still to be made has its parent's limit";
    const std::string longest(limit, 'n');
    pk::atomicWrite(dir / longest, std::string_view("long"));
    EXPECT_EQ(pk::readTextFile(dir / longest), "long");
    EXPECT_THROW(pk::atomicWrite(dir / (longest + "n"), std::string_view("x")), pk::StudioError);
    size_t entries = 0;
    for (auto& e : fs::directory_iterator(dir)) (void)e, ++entries;
    EXPECT_EQ(entries, 1u) << "no temporary file is left, also after a failure";

    // A link at the target is replaced, not written through; a read may refuse to follow one.
    const fs::path outside = freshDir("names-outside") / "secret.txt";
    pk::atomicWrite(outside, std::string_view("secret"));
    fs::create_symlink(outside, dir / "link.txt");
    EXPECT_EQ(pk::readTextFile(dir / "link.txt"), "secret");
    EXPECT_FALSE(pk::readTextFile(dir / "link.txt", 1 << 20, pk::Links::refuse));
    pk::atomicWrite(dir / "link.txt", std::string_view("mine"));
    EXPECT_FALSE(fs::is_symlink(dir / "link.txt"));
    EXPECT_EQ(pk::readTextFile(dir / "link.txt", 1 << 20, pk::Links::refuse), "mine");
    EXPECT_EQ(pk::readTextFile(outside), "secret");
}

TEST(Files, PathHelpers) {
    struct Case {
        const char* path;
        const char* ext;
        const char* stem;
        const char* last;
    };
    const Case cases[] = {
        {"/a/b/Model.MWMESH", "mwmesh", "Model", "Model.MWMESH"},
        {"/a/.hidden", "", ".hidden", ".hidden"},
        {"/a/archive.tar.gz", "gz", "archive.tar", "archive.tar.gz"},
        {"noext", "", "noext", "noext"},
        {"/a/b/", "", "b", "b"},
        {"photo.", "", "photo", "photo."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pk::lowerExtension(c.path), c.ext) << c.path;
        EXPECT_EQ(pk::stem(c.path), c.stem) << c.path;
        EXPECT_EQ(pk::lastComponent(c.path), c.last) << c.path;
    }
    EXPECT_EQ(pk::absolutePath("/x/y/../z/").string(), "/x/z");
}

// What cannot be read as a whole regular file: readFile gives nothing, readFileOrThrow
// the errno. A FIFO with no writer is refused at once instead of waiting for one.
TEST(Files, ReadRefusesWhatIsNotAWholeRegularFile) {
    const fs::path dir = freshDir("read");
    pk::atomicWrite(dir / "f.bin", std::string_view("abcd"));
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(pk::readFileOrThrow(dir / "f.bin"), (std::vector<uint8_t>{'a', 'b', 'c', 'd'}));
    struct Case {
        fs::path path;
        uint64_t maxBytes;
        int err;
    };
    const Case cases[] = {
        {dir / "absent", 100, ENOENT}, {dir, 100, EISDIR},        {dir / "pipe", 100, EINVAL},
        {dir / "f.bin", 3, EFBIG},     {dir / "f.bin/x", 100, ENOTDIR},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(pk::readFile(c.path, c.maxBytes).has_value()) << c.path;
        try {
            pk::readFileOrThrow(c.path, c.maxBytes);
            ADD_FAILURE() << c.path;
        } catch (const pk::StudioError& e) {
            EXPECT_EQ(e.domain, "POSIX") << c.path;
            EXPECT_EQ(e.code, c.err) << c.path;
            EXPECT_EQ(e.description.rfind("Could not read " + c.path.string() + ": ", 0), 0u) << e.description;
        }
    }
}

TEST(Files, RemoveFileOnlyNeverRemovesAFolder) {
    fs::path dir = freshDir("remove");
    fs::create_directories(dir / "movie.mp4" / "inner");
    EXPECT_FALSE(pk::removeFileOnly(dir / "movie.mp4"));
    EXPECT_TRUE(fs::exists(dir / "movie.mp4" / "inner"));
    pk::atomicWrite(dir / "f.mp4", std::string_view("x"));
    EXPECT_TRUE(pk::removeFileOnly(dir / "f.mp4"));
    EXPECT_FALSE(fs::exists(dir / "f.mp4"));
    EXPECT_TRUE(pk::removeFileOnly(dir / "absent"));

    // What is left says why: the errno of the failed step, never one made up.
    ASSERT_NE(::unlink("/proc/version"), 0);
    const int procErrno = errno;
    pk::atomicWrite(dir / "g.mp4", std::string_view("x"));
    struct Case {
        fs::path path;
        bool removed;
        int err;
    };
    for (const Case& c : {Case{dir / "movie.mp4", false, EISDIR}, Case{"/proc/version", false, procErrno},
                          Case{dir / "g.mp4", true, 0}, Case{dir / "absent", true, 0}}) {
        std::error_code ec = std::make_error_code(std::errc::io_error);
        EXPECT_EQ(pk::removeFileOnly(c.path, ec), c.removed) << c.path;
        EXPECT_EQ(ec.value(), c.err) << c.path;
    }
    EXPECT_FALSE(fs::exists(dir / "g.mp4"));
}

TEST(Files, UserFoldersFollowTheEnvironment) {
    setenv("HOME", "/tmp/somehome", 1);
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(pk::applicationSupportDirectory(), fs::path("/tmp/somehome/.local/share"));
    EXPECT_EQ(pk::documentsDirectory(), fs::path("/tmp/somehome/Documents"));
    setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(pk::applicationSupportDirectory(), fs::path("/data"));
}
