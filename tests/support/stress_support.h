#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <mutex>
#include <thread>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KAVREL_SANITIZED_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KAVREL_SANITIZED_HEAP 1
#endif
#endif
#ifdef KAVREL_SANITIZED_HEAP
// From the sanitizers' allocator interface; GCC ships no header for it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

// Ends the test program when a test has not finished in time, so that a hang
// fails the run with its name instead of stalling it.
class Watchdog {
public:
    Watchdog(const char* what, std::chrono::seconds limit)
        : thread_([this, what, limit] {
              std::unique_lock lock(mutex_);
              if (!finished_.wait_for(lock, limit, [this] { return done_; })) {
                  std::fprintf(stderr, "hang: %s has not finished after %lld s\n", what,
                               static_cast<long long>(limit.count()));
                  std::abort();
              }
          })
    {}
    ~Watchdog()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        finished_.notify_one();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable finished_;
    bool done_ = false;
    std::thread thread_;  // last: it starts once the members it uses exist
};

// Bytes of heap in use: the sanitizer's own count when one replaces malloc,
// glibc's otherwise (large blocks are mapped apart, hence hblkhd).
inline std::size_t heapInUse()
{
#ifdef KAVREL_SANITIZED_HEAP
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
#endif
}
