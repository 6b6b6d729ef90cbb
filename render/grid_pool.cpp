#include "render/grid_pool.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

class QuarterQueue {
public:
    explicit QuarterQueue(tagRECT first) : tasks_{first} {}

    void push(const tagRECT& r)
    {
        {
            std::lock_guard lock(mutex_);
            if (abandoned_)
                return;
            tasks_.push_back(r);
        }
        ready_.notify_one();
    }

    // Takes the newest task (depth first keeps the queue short); false once
    // nothing is left and no thread is drawing.
    bool pop(tagRECT& r)
    {
        std::unique_lock lock(mutex_);
        --busy_;
        if (busy_ == 0 && tasks_.empty())
            ready_.notify_all();
        ready_.wait(lock, [&] { return !tasks_.empty() || busy_ == 0 || abandoned_; });
        if (tasks_.empty())
            return false;
        r = tasks_.back();
        tasks_.pop_back();
        ++busy_;
        return true;
    }

    void enter()
    {
        std::lock_guard lock(mutex_);
        ++busy_;
    }

    // A thread that was to take part could not be started: the threads
    // that run give up after their current task, so that the caller can
    // join them and report the failure soon.
    void abandon()
    {
        {
            std::lock_guard lock(mutex_);
            --busy_;
            abandoned_ = true;
            tasks_.clear();
        }
        ready_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<tagRECT> tasks_;
    int busy_ = 0;
    bool abandoned_ = false;
};

} // namespace

RenderStats renderParallel(tagRECT StartRect, const PixelEvaluator& evaluator, const std::atomic<std::int32_t>& iters,
                           FrameCanvas& canvas, int threads)
{
    if (threads <= 1) {
        GridJob job{evaluator, iters, canvas};
        doGrid(StartRect, job);
        return job.stats;
    }
    QuarterQueue queue(StartRect);
    std::vector<RenderStats> stats(static_cast<std::size_t>(threads));
    auto work = [&](RenderStats& out) {
        GridJob job{evaluator, iters, canvas, {}, [&](const tagRECT& r) { queue.push(r); }};
        tagRECT r;
        while (queue.pop(r))
            doGrid(r, job);
        out = job.stats;
    };
    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(threads));
    try {
        for (int i = 0; i < threads; ++i) {
            queue.enter();
            pool.emplace_back(work, std::ref(stats[static_cast<std::size_t>(i)]));
        }
    } catch (const std::system_error&) {
        queue.abandon();
        for (std::thread& t : pool)
            t.join();
        throw;
    }
    for (std::thread& t : pool)
        t.join();
    RenderStats total;
    for (const RenderStats& s : stats) {
        total.evaluations += s.evaluations;
        total.iterations += s.iterations;
        total.speculative += s.speculative;
        total.approximated += s.approximated;
    }
    return total;
}
