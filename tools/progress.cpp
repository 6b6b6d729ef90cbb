#include "tools/progress.h"

#include <chrono>
#include <cstdio>

Progress::Progress() : thread_([this] { run(); }) {}

Progress::~Progress()
{
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_one();
    thread_.join();
    std::fprintf(stderr, "\r%*s\r", shownWidth_, "");
}

void Progress::stage(std::string what, const std::atomic<std::uint64_t>* done, std::uint64_t total)
{
    std::lock_guard lock(mutex_);
    what_ = std::move(what);
    done_ = done;
    total_ = total == 0 ? 1 : total;
    show();  // a stage shorter than a tick shows too
}

void Progress::pause()
{
    std::lock_guard lock(mutex_);
    done_ = nullptr;
}

void Progress::run()
{
    using namespace std::chrono_literals;
    std::unique_lock lock(mutex_);
    while (!ending_) {
        if (!wake_.wait_for(lock, 100ms, [this] { return ending_; }) && done_)
            show();
    }
}

void Progress::show()
{
    const auto percent = static_cast<int>(100 * done_->load(std::memory_order_relaxed) / total_);
    const int width = std::fprintf(stderr, "\r%s %3d%%", what_.c_str(), percent) - 1;
    if (width > shownWidth_)
        shownWidth_ = width;
    else
        std::fprintf(stderr, "%*s", shownWidth_ - width, "");
    std::fflush(stderr);
}
