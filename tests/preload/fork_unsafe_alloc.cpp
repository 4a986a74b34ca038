// An allocator as a sanitizer's may be: one lock around every allocation,
// and nothing that resets it in a forked copy of the process. Preloaded
// (LD_PRELOAD) into a program, with FORK_UNSAFE_ALLOC_BUSY set, it starts a
// thread that keeps allocating and holds the lock about half the time, so a
// copy forked from any thread is as likely as not to begin with the lock
// held and wait for it for ever at its first allocation. A program started
// afresh (exec) gets a lock of its own. The busy thread runs only in the
// process that found the variable: it is taken out of the environment, so
// the programs this one starts allocate under the lock but quickly.
#include <pthread.h>
#include <sched.h>

#include <chrono>
#include <cstddef>
#include <cstdlib>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void __libc_free(void* p);
}

namespace {

pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;

void Spin(std::chrono::microseconds how_long)
{
    const auto until = std::chrono::steady_clock::now() + how_long;
    while (std::chrono::steady_clock::now() < until) {
    }
}

void* Busy(void*)
{
    for (;;) {
        pthread_mutex_lock(&g_lock);
        void* p = __libc_malloc(64);
        Spin(std::chrono::microseconds(50));
        __libc_free(p);
        pthread_mutex_unlock(&g_lock);
        Spin(std::chrono::microseconds(50));
    }
    return nullptr;
}

__attribute__((constructor)) void StartBusyThread()
{
    if (std::getenv("FORK_UNSAFE_ALLOC_BUSY") == nullptr) {
        return;
    }
    unsetenv("FORK_UNSAFE_ALLOC_BUSY");
    pthread_t thread;
    if (pthread_create(&thread, nullptr, Busy, nullptr) == 0) {
        pthread_detach(thread);
    }
}

}  // namespace

extern "C" {

void* malloc(std::size_t size)
{
    pthread_mutex_lock(&g_lock);
    void* p = __libc_malloc(size);
    pthread_mutex_unlock(&g_lock);
    return p;
}

void* calloc(std::size_t count, std::size_t size)
{
    pthread_mutex_lock(&g_lock);
    void* p = __libc_calloc(count, size);
    pthread_mutex_unlock(&g_lock);
    return p;
}

void* realloc(void* old, std::size_t size)
{
    pthread_mutex_lock(&g_lock);
    void* p = __libc_realloc(old, size);
    pthread_mutex_unlock(&g_lock);
    return p;
}

void free(void* p)
{
    pthread_mutex_lock(&g_lock);
    __libc_free(p);
    pthread_mutex_unlock(&g_lock);
}

}  // extern "C"
