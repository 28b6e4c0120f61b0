#include "RefusedThreadStarts.h"

#include <dlfcn.h>
#include <pthread.h>

#include <cerrno>

namespace {

thread_local bool tRefusing = false;
thread_local int tRefused = 0;

using CreateFn = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

}  // namespace

// Linked into a test binary, this stands in front of the C library's pthread_create (which
// std::thread calls): the test binary's definition is the one every library resolves to.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
    if (tRefusing) {
        ++tRefused;
        return EAGAIN;
    }
    static const CreateFn next = reinterpret_cast<CreateFn>(dlsym(RTLD_NEXT, "pthread_create"));
    return next(thread, attr, start, arg);
}

namespace pk::test {

RefusedThreadStarts::RefusedThreadStarts() : previous_(tRefusing), refusedBefore_(tRefused) { tRefusing = true; }

RefusedThreadStarts::~RefusedThreadStarts() { tRefusing = previous_; }

int RefusedThreadStarts::refused() const { return tRefused - refusedBefore_; }

}  // namespace pk::test
