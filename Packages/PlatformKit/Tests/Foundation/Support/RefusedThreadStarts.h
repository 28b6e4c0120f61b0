#pragma once
// Threads that cannot be started, for tests of what a caller does then. While a
// RefusedThreadStarts lives, every thread its own thread tries to start fails as on a
// system out of threads (pthread_create answers EAGAIN, std::thread throws
// std::system_error); threads started by other threads start as usual.
namespace pk::test {

class RefusedThreadStarts {
public:
    RefusedThreadStarts();
    ~RefusedThreadStarts();
    RefusedThreadStarts(const RefusedThreadStarts&) = delete;
    RefusedThreadStarts& operator=(const RefusedThreadStarts&) = delete;

    // How many starts were refused so far.
    int refused() const;

private:
    bool previous_;
    int refusedBefore_;
};

}  // namespace pk::test
