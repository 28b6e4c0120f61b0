#include "PostgresTestCluster.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pk::cloud::testing {

namespace fs = std::filesystem;

namespace {

// The newest installed server version that has both programs.
std::string findServerBinaries() {
    std::vector<std::pair<int, fs::path>> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        const fs::path bin = entry.path() / "bin";
        if (!fs::exists(bin / "initdb") || !fs::exists(bin / "postgres")) continue;
        found.emplace_back(std::atoi(entry.path().filename().c_str()), bin);
    }
    if (found.empty()) return {};
    std::sort(found.begin(), found.end());
    return found.back().second.string();
}

std::string findRunuser() {
    for (const char* p : {"/usr/sbin/runuser", "/sbin/runuser", "/usr/bin/runuser", "/bin/runuser"})
        if (::access(p, X_OK) == 0) return p;
    return {};
}

int freeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

std::string tail(const fs::path& log) {
    std::ifstream in(log);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string s = ss.str();
    return s.size() > 600 ? s.substr(s.size() - 600) : s;
}

struct RunAs {
    bool drop = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

// Starts argv with stdout and stderr into `log`; the child drops to `as` when asked and
// gets `deathSignal` when this process ends.
pid_t spawn(const std::vector<std::string>& args, const fs::path& log, RunAs as, int deathSignal) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out < 0) return -1;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only system calls from here on: this process may have other threads.
        ::dup2(out, 1);
        ::dup2(out, 2);
        int devnull = ::open("/dev/null", O_RDONLY);
        if (devnull >= 0) ::dup2(devnull, 0);
        if (as.drop && (::setgroups(0, nullptr) != 0 || ::setgid(as.gid) != 0 || ::setuid(as.uid) != 0)) ::_exit(126);
        if (deathSignal) {
            ::prctl(PR_SET_PDEATHSIG, deathSignal);
            if (::getppid() != parent) ::_exit(125);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out);
    return pid;
}

int waitExit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

PostgresTestCluster* PostgresTestCluster::shared(std::string* whyNot) {
    static std::string reason;
    static std::unique_ptr<PostgresTestCluster> cluster = [] {
        try {
            return start(&reason);
        } catch (const std::exception& e) {
            reason = e.what();
            return std::unique_ptr<PostgresTestCluster>();
        }
    }();
    if (!cluster && whyNot) *whyNot = reason;
    return cluster.get();
}

std::unique_ptr<PostgresTestCluster> PostgresTestCluster::start(std::string* whyNot) {
    const std::string bin = findServerBinaries();
    if (bin.empty()) {
        *whyNot = "no PostgreSQL server binaries under /usr/lib/postgresql";
        return nullptr;
    }
    RunAs as;
    std::string runuser;
    if (::geteuid() == 0) {
        const passwd* pw = ::getpwnam("postgres");
        runuser = findRunuser();
        if (!pw || runuser.empty()) {
            *whyNot = "running as root without a \"postgres\" user and runuser to start the server as";
            return nullptr;
        }
        as = RunAs{true, pw->pw_uid, pw->pw_gid};
    }

    std::unique_ptr<PostgresTestCluster> c(new PostgresTestCluster);
    // As root the folder must be reachable by postgres too: /tmp always is.
    std::error_code ec;
    fs::path temp = as.drop ? fs::path("/tmp") : fs::temp_directory_path(ec);
    if (ec || temp.empty()) temp = "/tmp";
    std::string pattern = (temp / "kestrelune-pg-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        *whyNot = std::string("cannot make a temporary folder: ") + std::strerror(errno);
        return nullptr;
    }
    c->root_ = pattern;
    if (as.drop && ::chown(c->root_.c_str(), as.uid, as.gid) != 0) {
        *whyNot = std::string("cannot hand the cluster folder to postgres: ") + std::strerror(errno);
        return nullptr;  // the destructor removes the folder
    }
    const fs::path root(c->root_);
    const fs::path log = root / "server.log";
    const std::string data = (root / "data").string();

    std::vector<std::string> initdb;
    if (as.drop) initdb = {runuser, "-u", "postgres", "--"};
    initdb.push_back(bin + "/initdb");
    for (const char* a : {"-D", data.c_str(), "-A", "trust", "-U", "postgres", "-E", "UTF8", "--locale=C", "--no-sync"})
        initdb.push_back(a);
    // runuser itself needs root; initdb then runs as postgres.
    const pid_t init = spawn(initdb, root / "initdb.log", RunAs{}, 0);
    if (init < 0 || waitExit(init) != 0) {
        *whyNot = "initdb failed: " + tail(root / "initdb.log");
        return nullptr;
    }

    // A port seen free may be taken before the server binds it: try a few.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int port = freeLoopbackPort();
        if (port == 0) break;
        const std::vector<std::string> args = {bin + "/postgres", "-D", data, "-F", "-h", "127.0.0.1",
                                               "-p", std::to_string(port), "-k", "",
                                               "-c", "max_connections=20", "-c", "shared_buffers=8MB",
                                               "-c", "log_min_messages=warning"};
        const pid_t server = spawn(args, log, as, SIGQUIT);
        if (server < 0) break;
        c->server_ = server;
        c->port_ = port;
        const std::string url = c->url();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        bool exited = false;
        while (std::chrono::steady_clock::now() < deadline) {
            if (PQping(url.c_str()) == PQPING_OK) return c;
            int status = 0;
            if (::waitpid(server, &status, WNOHANG) == server) {
                exited = true;
                c->server_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!exited) {
            *whyNot = "the server did not accept connections in time: " + tail(log);
            return nullptr;
        }
    }
    *whyNot = "the server did not start: " + tail(log);
    return nullptr;
}

PostgresTestCluster::~PostgresTestCluster() {
    stop();
    if (!root_.empty()) {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
}

void PostgresTestCluster::stop() {
    if (server_ <= 0) return;
    ::kill(server_, SIGINT);  // fast shutdown: running sessions are ended
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (::waitpid(server_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(server_, SIGKILL);
            ::waitpid(server_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    server_ = -1;
}

std::string PostgresTestCluster::url(const std::string& database) const {
    return "postgresql://postgres@127.0.0.1:" + std::to_string(port_) + "/" + database;
}

std::vector<std::string> PostgresTestCluster::query(const std::string& database, const std::string& sql) {
    std::vector<std::string> out;
    PGconn* conn = PQconnectdb(url(database).c_str());
    if (PQstatus(conn) != CONNECTION_OK) {
        std::string error = PQerrorMessage(conn);
        PQfinish(conn);
        throw std::runtime_error("test query connection failed: " + error);
    }
    PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
    PGresult* r = PQexec(conn, sql.c_str());
    const auto status = PQresultStatus(r);
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
        std::string error = PQresultErrorMessage(r);
        PQclear(r);
        PQfinish(conn);
        throw std::runtime_error("test query failed: " + error);
    }
    for (int row = 0; row < PQntuples(r); ++row)
        out.emplace_back(PQgetisnull(r, row, 0) ? "NULL" : PQgetvalue(r, row, 0));
    PQclear(r);
    PQfinish(conn);
    return out;
}

std::string PostgresTestCluster::freshDatabase(const std::string& name) {
    query("postgres", "DROP DATABASE IF EXISTS \"" + name + "\"");
    query("postgres", "CREATE DATABASE \"" + name + "\"");
    return url(name);
}

}  // namespace pk::cloud::testing
