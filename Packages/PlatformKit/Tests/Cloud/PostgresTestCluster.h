#pragma once
// A throwaway PostgreSQL server for tests: a fresh cluster in a temporary folder,
// listening on a free loopback port only, removed again when the process is done.
// The server refuses to run as root, so as root it runs as the "postgres" user (initdb
// through runuser, the server itself as a child that drops to that user); it also dies
// with the test process, so a crashed test leaves no server behind.
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

namespace pk::cloud::testing {

class PostgresTestCluster {
public:
    // The cluster of this test process, started on first use; nullptr with the reason in
    // `whyNot` when no server can be started here (no server binaries, no user to run
    // them as, a failed start).
    static PostgresTestCluster* shared(std::string* whyNot);

    ~PostgresTestCluster();
    PostgresTestCluster(const PostgresTestCluster&) = delete;
    PostgresTestCluster& operator=(const PostgresTestCluster&) = delete;

    int port() const { return port_; }
    // URL of a database in this cluster ("postgres" is always there).
    std::string url(const std::string& database = "postgres") const;
    // Creates an empty database (dropping an older one of that name) and returns its URL.
    std::string freshDatabase(const std::string& name);
    // Runs SQL on the database and returns the first column of every row as text.
    std::vector<std::string> query(const std::string& database, const std::string& sql);

private:
    PostgresTestCluster() = default;
    static std::unique_ptr<PostgresTestCluster> start(std::string* whyNot);
    void stop();

    std::string root_;
    pid_t server_ = -1;
    int port_ = 0;
};

}  // namespace pk::cloud::testing
