#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// How far a long run has come, shown on stderr (a terminal) as "what NN%",
// when a stage begins and ten times a second after. Ending it wakes the
// showing thread at once, so a short run waits for nothing.
class Progress {
public:
    Progress();
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // From now on shows `done` (counted by the caller) out of `total`.
    void stage(std::string what, const std::atomic<std::uint64_t>* done, std::uint64_t total);
    // Stops reading the stage's count, which its caller is about to destroy;
    // the line stays as it was until the next stage.
    void pause();

    // Pauses the progress (if any) when it goes: declared after the stage's
    // count, it goes before it.
    struct Pausing {
        Progress* progress;
        ~Pausing()
        {
            if (progress)
                progress->pause();
        }
    };

private:
    void run();
    void show();

    std::mutex mutex_;
    std::condition_variable wake_;
    bool ending_ = false;
    std::string what_;
    const std::atomic<std::uint64_t>* done_ = nullptr;
    std::uint64_t total_ = 1;
    int shownWidth_ = 0;
    std::thread thread_;
};
