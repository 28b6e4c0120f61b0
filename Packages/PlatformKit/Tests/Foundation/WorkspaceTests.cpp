// Revealing a file: xdg-open on its folder with a desktop, nothing headless.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Workspace.h"

namespace fs = std::filesystem;

TEST(Workspace, RevealOpensTheFolderWithADesktopAndDoesNothingHeadless) {
    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "workspace";
    fs::remove_all(dir);
    fs::create_directories(dir / "bin");
    const fs::path log = dir / "opened.txt";
    {
        std::ofstream script(dir / "bin" / "xdg-open");
        script << "#!/bin/sh\nprintf '%s' \"$1\" > '" << log.string() << ".tmp' && /bin/mv '" << log.string() << ".tmp' '"
               << log.string() << "'\n";
    }
    fs::permissions(dir / "bin" / "xdg-open", fs::perms::owner_all);
    const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (dir / "bin").c_str(), 1);
    const fs::path movie = dir / "clips" / "Take_1.mp4";

    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    EXPECT_FALSE(pk::revealInFileBrowser(movie)) << "headless: nothing is launched";

    setenv("WAYLAND_DISPLAY", "wayland-0", 1);
    ASSERT_TRUE(pk::revealInFileBrowser(movie));
    for (int i = 0; i < 500 && !fs::exists(log); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(pk::readTextFile(log).value_or(""), (dir / "clips").string());

    setenv("PATH", (dir / "nothing-here").c_str(), 1);
    EXPECT_FALSE(pk::revealInFileBrowser(movie)) << "no opener installed";
    unsetenv("WAYLAND_DISPLAY");
    setenv("PATH", savedPath.c_str(), 1);
}
