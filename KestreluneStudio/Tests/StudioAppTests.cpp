// The application itself: the real start-up on Mesa under a private X server, driven
// from inside the process by pushing SDL events, and the fatal stop without OpenGL 4.5.
#include <SDL2/SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "XvfbServer.h"
#include "KestreluneStudio/KestreluneStudioApp.h"
#include "KestreluneStudio/StudioViewModel.h"
#include "PlatformKit/Image/Image.h"
#include "PlatformKit/Ui/FilePanels.h"
#include "PlatformKit/Ui/UiProbe.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#undef None
#undef Bool
#undef Status

using namespace kestrelune;
namespace fs = std::filesystem;

// SDL's D-Bus connection and the X/GL driver stack keep allocations until exit that are
// not this code's.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

namespace {

// Waits for a child up to `seconds` (calling `meanwhile` between checks); kills it after.
// The exit status, or -1.
int waitFor(pid_t pid, double seconds, const std::function<void()>& meanwhile = {}) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (meanwhile) meanwhile();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

// Runs a program with extra environment; its status and standard error.
std::pair<int, std::string> runProgram(const std::string& program, const std::vector<std::string>& args,
                                       const std::vector<std::string>& env, double seconds,
                                       const std::function<void()>& meanwhile = {}) {
    const fs::path errFile = fs::temp_directory_path() / ("ks-studio-err-" + std::to_string(getpid()));
    const pid_t pid = fork();
    if (pid == 0) {
        // A test process that dies must not leave the studio holding ctest's pipes.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        for (const auto& e : env) putenv(strdup(e.c_str()));
        const int fd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 2);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    const int status = waitFor(pid, seconds, meanwhile);
    std::ifstream in(errFile);
    std::stringstream err;
    err << in.rdbuf();
    fs::remove(errFile);
    return {status, err.str()};
}

std::pair<int, std::string> runStudioBinary(const std::vector<std::string>& env,
                                            const std::function<void()>& meanwhile = {}) {
    const char* binary = std::getenv("KESTRELUNE_STUDIO_BINARY");
    if (!binary) return {-2, "no binary"};
    // Under the sanitizers, D-Bus and the GL drivers leave allocations behind at exit
    // that would turn the status into the leak checker's; the studio's own code is leak
    // checked in process by the other tests.
    std::vector<std::string> all = env;
    all.push_back("LSAN_OPTIONS=detect_leaks=0");
    return runProgram(binary, {}, all, 60, meanwhile);
}

// A window can go between listing it and asking for its name (SDL makes and drops
// helper windows while it starts); Xlib's default handler would end the test process.
int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

// The mapped top-level window with this title, or 0.
Window viewableWindow(Display* d, const char* title) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        XWindowAttributes a;
        if (XFetchName(d, children[i], &name) && name && std::string(name) == title &&
            XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable)
            found = children[i];
        if (name) XFree(name);
    }
    if (children) XFree(children);
    return found;
}

TEST(StudioApp, WithoutAnOpenGL45ContextStopsBeforeAnyWindow) {
    auto [status, err] = runStudioBinary({"SDL_VIDEODRIVER=dummy"});
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("Fatal error: Kestrelune Studio requires an OpenGL 4.5 GPU."), std::string::npos) << err;

    pk::ui::testing::XvfbServer x;
    if (!x.start()) GTEST_SKIP() << "Xvfb is not available";
    // A driver that offers only OpenGL 3.3.
    std::tie(status, err) = runStudioBinary({"SDL_VIDEODRIVER=x11", "DISPLAY=" + x.display(),
                                             "MESA_GL_VERSION_OVERRIDE=3.3", "MESA_GLSL_VERSION_OVERRIDE=330"});
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("Fatal error: Kestrelune Studio requires an OpenGL 4.5 GPU."), std::string::npos) << err;
}

// The binary as a user starts it, quit as a user quits it: Ctrl+Q typed on its window
// (XTest, as a keyboard would; a bare X server gives the focus to the window under the
// pointer). Quitting closes as the close box does and ends with status 0.
TEST(StudioApp, CtrlQOnTheWindowQuitsTheRealBinaryWithStatusZero) {
    pk::ui::testing::XvfbServer x;
    if (!x.start()) GTEST_SKIP() << "Xvfb is not available";
    Display* d = XOpenDisplay(x.display().c_str());
    ASSERT_NE(d, nullptr);
    XSetErrorHandler(ignoreXErrors);
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(d, &event, &error, &major, &minor)) {
        XCloseDisplay(d);
        GTEST_SKIP() << "the X server has no XTest";
    }
    const fs::path dir = fs::temp_directory_path() / ("ks-studio-quit-" + std::to_string(getpid()));
    fs::create_directories(dir / "home");
    fs::create_directories(dir / "assets");

    bool pressed = false;
    auto pressCtrlQ = [&] {
        if (pressed) return;
        const Window w = viewableWindow(d, kStudioWindowTitle);
        if (!w) return;
        XWindowAttributes a;
        if (!XGetWindowAttributes(d, w, &a)) return;
        XTestFakeMotionEvent(d, DefaultScreen(d), a.x + a.width / 2, a.y + a.height / 2, 0);
        const KeyCode ctrl = XKeysymToKeycode(d, XK_Control_L), q = XKeysymToKeycode(d, XK_q);
        XTestFakeKeyEvent(d, ctrl, 1, 0);
        XTestFakeKeyEvent(d, q, 1, 0);
        XTestFakeKeyEvent(d, q, 0, 0);
        XTestFakeKeyEvent(d, ctrl, 0, 0);
        XFlush(d);
        pressed = true;
    };
    const auto [status, err] =
        runStudioBinary({"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                         "HOME=" + (dir / "home").string(), "KESTRELUNE_ASSET_DIR=" + (dir / "assets").string()},
                        pressCtrlQ);
    XCloseDisplay(d);
    fs::remove_all(dir);
    EXPECT_TRUE(pressed) << "the window never showed";
    EXPECT_EQ(status, 0) << err;
}

void pushKey(SDL_Keycode key, SDL_Scancode scancode, Uint16 mod, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = key;
    e.key.keysym.scancode = scancode;
    e.key.keysym.mod = mod;
    SDL_PushEvent(&e);
}

// How many different colours a centred patch of the frame holds.
size_t colourCount(const StudioAppFrame& f, int patch) {
    std::set<uint32_t> colours;
    for (int y = f.height / 2 - patch; y < f.height / 2 + patch; ++y)
        for (int x = f.width / 2 - patch; x < f.width / 2 + patch; ++x) {
            const uint8_t* p = &(*f.pixels)[(size_t(y) * size_t(f.width) + size_t(x)) * 4];
            colours.insert(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
        }
    return colours.size();
}

// Runs in the forked child: the studio, driven step by step. Every check is written to
// `log`; the last line is "done" when the script reached its end.
int driveStudio(const fs::path& log, const fs::path& screenshots) {
    std::ofstream out(log);
    enum class Step { waitForFrame, openPanel, panelShown, closePanel, panelClosed, overlayOn, overlayOff, quit } step =
        Step::waitForFrame;
    int64_t stepStart = 0;
    StudioAppDriver driver;
    driver.afterFrame = [&](StudioAppFrame& f) {
        auto next = [&](Step s) {
            step = s;
            stepStart = f.index;
        };
        if (f.index - stepStart > 300) {
            out << "timed out at step " << int(step) << "\n";
            next(Step::quit);
        }
        switch (step) {
            case Step::waitForFrame:
                if (f.index == 0) {
                    int w = 0, h = 0;
                    SDL_GetWindowMinimumSize(f.window, &w, &h);
                    out << "title " << SDL_GetWindowTitle(f.window) << "\n";
                    out << "minimum " << w << "x" << h << "\n";
                    out << "shown " << ((SDL_GetWindowFlags(f.window) & SDL_WINDOW_SHOWN) != 0) << "\n";
                }
                if (f.index == 4) f.captureNextFrame = true;
                if (f.pixels) {
                    out << "viewport colours " << (colourCount(f, 60) > 40 ? "many" : "few") << "\n";
                    out << "viewport probe " << (f.probe->find("viewport/viewport") ? "drawn" : "missing") << "\n";
                    out << "main window " << (f.probe->find("topBar/title") && f.probe->find("browser/tabs") &&
                                                      f.probe->find("inspector/tab/Material")
                                                  ? "drawn"
                                                  : "missing")
                        << "\n";
                    pk::image::writePng(screenshots / "studio-smoke.png", f.pixels->data(), f.width, f.height,
                                        size_t(f.width) * 4, pk::image::ChannelOrder::rgba);
                    next(Step::openPanel);
                }
                break;
            case Step::openPanel:
                pushKey(SDLK_h, SDL_SCANCODE_H, KMOD_LCTRL | KMOD_LSHIFT, true);
                pushKey(SDLK_h, SDL_SCANCODE_H, KMOD_LCTRL | KMOD_LSHIFT, false);
                next(Step::panelShown);
                break;
            case Step::panelShown:
                if (const auto* panel = f.probe->find("filePanel/panel"); panel && f.index - stepStart >= 2) {
                    if (!f.pixels) {
                        f.captureNextFrame = true;
                        break;
                    }
                    out << "panel " << panel->text << "\n";
                    out << "presenting " << f.panels->isPresenting() << "\n";
                    pk::image::writePng(screenshots / "studio-smoke-panel.png", f.pixels->data(), f.width, f.height,
                                        size_t(f.width) * 4, pk::image::ChannelOrder::rgba);
                    next(Step::closePanel);
                }
                break;
            case Step::closePanel:
                pushKey(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, KMOD_NONE, true);
                next(Step::panelClosed);
                break;
            case Step::panelClosed:
                if (f.index - stepStart == 2) pushKey(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, KMOD_NONE, false);
                if (!f.panels->isPresenting() && !f.probe->find("filePanel/panel")) {
                    out << "panel closed\n";
                    out << "banner " << (f.viewModel->statusBanner->has_value() ? **f.viewModel->statusBanner : "none")
                        << "\n";
                    f.viewModel->showCreatorFacecamOverlay = true;
                    next(Step::overlayOn);
                }
                break;
            case Step::overlayOn:
                // The creator overlay lies over the viewport while the facecam flag is on.
                if (f.probe->find("viewport/creatorOverlay/toolbar/capsule")) {
                    if (!f.pixels) {
                        f.captureNextFrame = true;
                        break;
                    }
                    pk::image::writePng(screenshots / "studio-smoke-facecam.png", f.pixels->data(), f.width, f.height,
                                        size_t(f.width) * 4, pk::image::ChannelOrder::rgba);
                    out << "creator overlay shown\n";
                    f.viewModel->showCreatorFacecamOverlay = false;
                    next(Step::overlayOff);
                }
                break;
            case Step::overlayOff:
                if (!f.probe->find("viewport/creatorOverlay/toolbar/capsule")) {
                    out << "creator overlay gone\n";
                    next(Step::quit);
                }
                break;
            case Step::quit: {
                out << "done\n";
                out.flush();
                SDL_Event quit{};
                quit.type = SDL_QUIT;
                SDL_PushEvent(&quit);
                step = Step::quit;
                break;
            }
        }
    };
    return runKestreluneStudio(driver);
}

// Runs in the forked child: Export 4 Maps from its shortcut, the folder panel confirmed
// where it opens, on the window's thread as a user does it. Logged as driveStudio does.
int driveFourMapExport(const fs::path& log) {
    std::ofstream out(log);
    enum class Step { waitForFrame, openPanel, panelShown, release, written, quit } step = Step::waitForFrame;
    int64_t stepStart = 0;
    fs::path folder;
    StudioAppDriver driver;
    driver.afterFrame = [&](StudioAppFrame& f) {
        auto next = [&](Step s) {
            step = s;
            stepStart = f.index;
        };
        if (f.index - stepStart > 300) {
            out << "timed out at step " << int(step) << "\n";
            next(Step::quit);
        }
        switch (step) {
            case Step::waitForFrame:
                if (f.index >= 3) next(Step::openPanel);
                break;
            case Step::openPanel:
                pushKey(SDLK_e, SDL_SCANCODE_E, KMOD_LCTRL, true);
                pushKey(SDLK_e, SDL_SCANCODE_E, KMOD_LCTRL, false);
                next(Step::panelShown);
                break;
            case Step::panelShown:
                if (const auto* panel = f.probe->find("filePanel/panel"); panel && f.index - stepStart >= 2) {
                    out << "panel " << panel->text << std::endl;  // kept if the export never returns
                    folder = f.panels->currentDirectory();
                    pushKey(SDLK_RETURN, SDL_SCANCODE_RETURN, KMOD_NONE, true);
                    next(Step::release);
                }
                break;
            case Step::release:
                if (f.index - stepStart == 2) {
                    pushKey(SDLK_RETURN, SDL_SCANCODE_RETURN, KMOD_NONE, false);
                    next(Step::written);
                }
                break;
            case Step::written:
                if (!f.panels->isPresenting() && f.viewModel->statusBanner->has_value()) {
                    const std::string banner = **f.viewModel->statusBanner;
                    out << "banner " << banner.substr(0, banner.find(" (")) << "\n";
                    size_t maps = 0, manifests = 0;
                    std::error_code ec;
                    for (const auto& e : fs::directory_iterator(folder, ec)) {
                        const std::string name = e.path().filename().string();
                        maps += name.ends_with(".png") ? 1 : 0;
                        manifests += name.ends_with("_Material.json") ? 1 : 0;
                    }
                    out << "maps " << maps << ", manifests " << manifests << "\n";
                    next(Step::quit);
                }
                break;
            case Step::quit: {
                out << "done\n";
                out.flush();
                SDL_Event quit{};
                quit.type = SDL_QUIT;
                SDL_PushEvent(&quit);
                break;
            }
        }
    };
    return runKestreluneStudio(driver);
}

TEST(StudioAppScript, DISABLED_ExportFourMaps) {
    const char* log = std::getenv("KS_STUDIO_SCRIPT_LOG");
    if (!log) GTEST_SKIP() << "run by StudioApp.ExportFourMaps...";
    std::exit(driveFourMapExport(log));
}

// The window's thread owns the GPU and runs the export itself: the five files are written
// within the minute the run is given, and the studio quits.
TEST(StudioApp, ExportFourMapsThroughThePanelWritesTheFiveFilesOnTheWindowsThread) {
    pk::ui::testing::XvfbServer x;
    if (!x.start()) GTEST_SKIP() << "Xvfb is not available";
    const fs::path dir = fs::temp_directory_path() / ("ks-studio-pack-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "home");
    fs::create_directories(dir / "assets");
    const fs::path log = dir / "log.txt";
    const auto [status, err] = runProgram(
        fs::read_symlink("/proc/self/exe").string(),
        {"--gtest_filter=StudioAppScript.DISABLED_ExportFourMaps", "--gtest_also_run_disabled_tests"},
        {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "HOME=" + (dir / "home").string(),
         "KESTRELUNE_ASSET_DIR=" + (dir / "assets").string(), "KS_STUDIO_SCRIPT_LOG=" + log.string()},
        60);
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    fs::remove_all(dir);
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(text.str(),
              "panel Choose Folder for 4-Map PBR Texture Pack\n"
              "banner Exported 5 PBR files\n"
              "maps 4, manifests 1\n"
              "done\n");
}

// The scripted run, in a process of its own: started by the test below (a fresh process,
// not a fork, so the libraries' own threads are there for the exit path).
TEST(StudioAppScript, DISABLED_Run) {
    const char* log = std::getenv("KS_STUDIO_SCRIPT_LOG");
    if (!log) GTEST_SKIP() << "run by StudioApp.StartsShowsAFrame...";
    std::exit(driveStudio(log, KS_TEST_OUTPUT_DIR));  // the process's own exit path, static tear-down included
}

TEST(StudioApp, StartsShowsAFrameOpensTheEnvironmentPanelFromItsKeyAndQuits) {
    pk::ui::testing::XvfbServer x;
    if (!x.start()) GTEST_SKIP() << "Xvfb is not available";
    const fs::path dir = fs::temp_directory_path() / ("ks-studio-smoke-" + std::to_string(getpid()));
    fs::create_directories(dir / "home");
    fs::create_directories(dir / "assets");
    const fs::path screenshots = KS_TEST_OUTPUT_DIR;
    fs::create_directories(screenshots);
    const fs::path log = dir / "log.txt";

    const auto [status, err] = runProgram(
        fs::read_symlink("/proc/self/exe").string(),
        {"--gtest_filter=StudioAppScript.DISABLED_Run", "--gtest_also_run_disabled_tests"},
        {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "HOME=" + (dir / "home").string(),
         "KESTRELUNE_ASSET_DIR=" + (dir / "assets").string(), "KS_STUDIO_SCRIPT_LOG=" + log.string()},
        90);
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    fs::remove_all(dir);
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(text.str(),
              "title Kestrelune Studio\n"
              "minimum 1180x740\n"
              "shown 1\n"
              "viewport colours many\n"
              "viewport probe drawn\n"
              "main window drawn\n"
              "panel Load .HDR or Panoramic Environment Map\n"
              "presenting 1\n"
              "panel closed\n"
              "banner none\n"
              "creator overlay shown\n"
              "creator overlay gone\n"
              "done\n");
    EXPECT_TRUE(fs::exists(screenshots / "studio-smoke.png"));
}

}  // namespace
