// Start-up of the real studio binary to its window's first presented frame, beside a
// bare SDL window with the same OpenGL 4.5 context started the same way (its baseline in
// the same run), both under X (the running display, or an Xvfb of our own when there is
// none). With it, what the idle studio holds a few seconds after that frame: resident
// memory, threads, and the shared libraries in its address space.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kMarker = "window: first frame presented";

// A child process with its stderr on a pipe; killed if still running at the end.
struct Child {
    pid_t pid = -1;
    int err = -1;

    Child(const std::string& path, const std::vector<std::string>& extraEnv) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;  // dup2 gives the child its stderr without the flag
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string arg0 = path;
        char* argv[] = {arg0.data(), nullptr};
        if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        err = fds[0];
    }
    ~Child() { stop(); }

    // Reads stderr to its end on a thread of its own, so a child that keeps logging never
    // blocks on a full pipe; notes when `text` first shows.
    void watchFor(const char* text) {
        reader_ = std::thread([this, marker = std::string(text)] {
            std::string seen;
            char buf[4096];
            for (ssize_t n; (n = read(err, buf, sizeof buf)) > 0;) {
                if (found_) continue;
                seen.append(buf, size_t(n));
                if (seen.find(marker) != std::string::npos) {
                    std::lock_guard lock(mutex_);
                    found_ = true;
                    foundAt_ = Clock::now();
                    cv_.notify_all();
                }
            }
            std::lock_guard lock(mutex_);
            ended_ = true;
            cv_.notify_all();
        });
    }
    // When the text showed, if it did before the deadline (and before the child ended).
    std::optional<Clock::time_point> waitForText(std::chrono::seconds deadline) {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, deadline, [&] { return found_ || ended_; });
        if (!found_) return std::nullopt;
        return foundAt_;
    }

    // Asks the child to quit as a window manager would (SDL turns SIGTERM into a quit
    // event), then kills it when it does not within the deadline.
    void stop() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        const auto until = Clock::now() + std::chrono::seconds(20);
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (Clock::now() > until) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        pid = -1;
        if (reader_.joinable()) reader_.join();  // the pipe closes with the child
        if (err >= 0) close(err);
        err = -1;
    }

private:
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool found_ = false, ended_ = false;
    Clock::time_point foundAt_;
};

// An Xvfb of our own when no display is set; the display it took goes into DISPLAY.
struct Display {
    pid_t server = -1;

    Display() {
        if (std::getenv("DISPLAY")) return;
        int fds[2];
        if (pipe(fds) != 0) return;
        const std::string fd = std::to_string(fds[1]);
        std::string exe = "Xvfb", screen = "-screen", geometry = "0", size = "1280x800x24", nolisten = "-nolisten",
                    tcp = "tcp", displayfd = "-displayfd", fdArg = fd;
        char* argv[] = {exe.data(), screen.data(), geometry.data(), size.data(), nolisten.data(), tcp.data(),
                        displayfd.data(), fdArg.data(), nullptr};
        if (posix_spawnp(&server, "Xvfb", nullptr, nullptr, argv, environ) != 0) {
            server = -1;
            return;
        }
        close(fds[1]);
        std::string number;
        char c;
        pollfd p{fds[0], POLLIN, 0};
        while (poll(&p, 1, 30000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (!number.empty()) setenv("DISPLAY", (":" + number).c_str(), 1);
    }
    ~Display() {
        if (server <= 0) return;
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
        unsetenv("DISPLAY");
    }
};

Display& display() {
    static Display d;
    return d;
}

// Distinct shared objects mapped into the process.
int librariesLoaded(pid_t pid) {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::set<std::string> names;
    for (std::string line; std::getline(maps, line);) {
        const auto slash = line.find('/');
        if (slash == std::string::npos) continue;
        const std::string path = line.substr(slash);
        if (path.find(".so") != std::string::npos) names.insert(path);
    }
    return int(names.size());
}

// A "Key:   <number> ..." field of /proc/PID/status.
double statusField(pid_t pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key + ":", 0) == 0) return std::atof(line.c_str() + key.size() + 1);
    return 0;
}

struct Launch {
    double firstFrameMs = 0;
    int libraries = 0;
    double idleRssMb = 0;
    double threads = 0;
};

// Launches `path` and times it to its first presented frame; then, when `idleSeconds` is
// above zero, lets it sit and reads what it holds.
bool launch(const std::string& path, int idleSeconds, Launch& out) {
    const auto t0 = Clock::now();
    Child child(path, {"KESTRELUNE_DEBUG_LOG=1"});
    if (child.pid <= 0) return false;
    child.watchFor(kMarker);
    const auto presented = child.waitForText(std::chrono::seconds(120));
    if (!presented) return false;
    out.firstFrameMs = std::chrono::duration<double, std::milli>(*presented - t0).count();
    out.libraries = librariesLoaded(child.pid);
    if (idleSeconds > 0) {
        std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));  // a benchmark may wait; a test may not
        out.idleRssMb = statusField(child.pid, "VmRSS") / 1024.0;
        out.threads = statusField(child.pid, "Threads");
    }
    child.stop();
    return true;
}

void BM_StudioStartupBesideBareWindow(benchmark::State& state) {
    display();
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("no X display and no Xvfb to start");
        return;
    }
    double studioMs = 0, bareMs = 0, rss = 0, threads = 0;
    int studioLibs = 0, bareLibs = 0;
    for (auto _ : state) {
        Launch bare, studio;
        if (!launch(KS_BARE_WINDOW_BINARY, 0, bare) || !launch(KS_STUDIO_BINARY, 5, studio)) {
            state.SkipWithError("a window did not present its first frame");
            return;
        }
        bareMs += bare.firstFrameMs;
        studioMs += studio.firstFrameMs;
        rss = std::max(rss, studio.idleRssMb);
        threads = std::max(threads, studio.threads);
        studioLibs = studio.libraries;
        bareLibs = bare.libraries;
    }
    const double n = double(state.iterations());
    state.counters["studio_first_frame_ms"] = studioMs / n;
    state.counters["bare_window_ms"] = bareMs / n;
    state.counters["ratio"] = studioMs / bareMs;
    state.counters["studio_libs"] = studioLibs;
    state.counters["bare_libs"] = bareLibs;
    state.counters["idle_rss_mb"] = rss;
    state.counters["idle_threads"] = threads;
}
BENCHMARK(BM_StudioStartupBesideBareWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
