// DoRect for the integer powers: the points of a block go to a kernel in
// batches, and the picture, the decisions and the counts stay those of the
// one-point-at-a-time renderer.
#include <algorithm>

#include "engine/block_steps.h"

namespace {

// The point a pixel stands for, as block_render.cpp's evaluate sets it up.
EscapePoint pixelPoint(const GridJob& job, const double* JuliaC, tagPOINT pixel, std::int32_t limit)
{
    const FrameParams& f = job.frame;
    const double re = planeRe(f, pixel.x), im = planeIm(f, pixel.y);
    if (f.FuncSwitch == kMandelbrot)
        return {0.0, 0.0, re, im, limit};
    return {re, im, JuliaC[0], JuliaC[1], limit};
}

void tally(const EscapeRun& run, std::size_t from, std::size_t to, GridJob& job)
{
    for (std::size_t i = from; i < to; ++i)
        job.stats.iterations += static_cast<std::uint64_t>(run.result(i).passes);
    job.stats.evaluations += to - from;
}

// Hands the outline samples over a few rows at a time, more as the outline
// keeps agreeing, and ends the run as soon as a finished sample, taken in
// order, differs from the corner. What the kernel evaluated beyond that
// sample is speculative.
class OutlineFeeder final : public EscapeFeeder {
public:
    OutlineFeeder(const tagRECT& b, const double* JuliaC, GridJob& job)
        : b_(b), JuliaC_(JuliaC), job_(job), samples_(outlineSamples(b))
    {}

    bool refill(EscapeRun& run) override
    {
        if (differs(run))
            return false;
        const int rows = std::min(rows_, (samples_ - added_) / 4);
        rows_ = std::min(2 * rows_, kMostRows);
        const std::int32_t limit = currentLimit(job_);
        if (added_ == 0)
            run.add(pixelPoint(job_, JuliaC_, outlineSample(b_, added_++), limit));
        for (int r = 0; r < rows; ++r) {
            if (job_.canvas.userHalt()) {
                halted_ = true;
                return false;
            }
            for (int side = 0; side < 4; ++side)
                run.add(pixelPoint(job_, JuliaC_, outlineSample(b_, added_++), limit));
        }
        return true;
    }

    // True once a finished sample, taken in order, differs from the corner.
    bool differs(const EscapeRun& run)
    {
        for (; !differs_ && checked_ < run.size() && run.isDone(checked_); ++checked_)
            differs_ = run.result(checked_).count != run.result(0).count;
        return differs_;
    }

    bool halted() const { return halted_; }
    std::size_t checked() const { return checked_; }

private:
    static constexpr int kMostRows = 16;
    const tagRECT& b_;
    const double* JuliaC_;
    GridJob& job_;
    const int samples_;
    int added_ = 0;
    int rows_ = 1;
    std::size_t checked_ = 0;
    bool differs_ = false;
    bool halted_ = false;
};

// Hands the block's pixels over row by row, a long row in pieces, and plots
// every finished pixel in row order as soon as those before it are plotted.
class BlockFeeder final : public EscapeFeeder {
public:
    BlockFeeder(const tagRECT& b, const double* JuliaC, GridJob& job)
        : b_(b), JuliaC_(JuliaC), job_(job), next_{b.left, b.top}
    {}

    bool refill(EscapeRun& run) override
    {
        plotFinished(run);
        const std::int32_t limit = currentLimit(job_);
        for (int added = 0; added < kPiece && next_.y < b_.bottom;) {
            if (job_.canvas.userHalt()) {
                halted_ = true;
                return false;
            }
            const int end = std::min(b_.right, next_.x + kPiece - added);
            for (; next_.x < end; ++next_.x, ++added)
                run.add(pixelPoint(job_, JuliaC_, next_, limit));
            if (next_.x == b_.right)
                next_ = {b_.left, next_.y + 1};
        }
        return true;
    }

    void plotFinished(EscapeRun& run)
    {
        const std::size_t from = plotted_;
        const int width = b_.right - b_.left;
        for (; plotted_ < run.size() && run.isDone(plotted_); ++plotted_) {
            const auto i = static_cast<int>(plotted_);
            job_.canvas.plotEscape(b_.left + i % width, b_.top + i / width, run.result(plotted_));
        }
        tally(run, from, plotted_, job_);
        run.forget(plotted_);
    }

    bool halted() const { return halted_; }

private:
    // Enough points to keep every lane busy, few enough that the stop
    // request is polled every few hundred evaluations.
    static constexpr int kPiece = 128;
    const tagRECT& b_;
    const double* JuliaC_;
    GridJob& job_;
    tagPOINT next_;
    std::size_t plotted_ = 0;
    bool halted_ = false;
};

} // namespace

bool outlineBatched(const BatchEvaluator& kernel, const double* JuliaC, const tagRECT& b, GridJob& job)
{
    EscapeRun run;
    OutlineFeeder feeder(b, JuliaC, job);
    kernel(run, feeder);
    const bool differs = feeder.differs(run);
    const std::size_t needed = feeder.checked();
    tally(run, 0, needed, job);
    job.stats.speculative += run.size() - needed;
    if (differs || feeder.halted())
        return false;
    paintBlock(b, run.result(needed - 1), job);
    return true;
}

bool computeBatched(const BatchEvaluator& kernel, const double* JuliaC, const tagRECT& b, GridJob& job)
{
    EscapeRun run;
    BlockFeeder feeder(b, JuliaC, job);
    kernel(run, feeder);
    feeder.plotFinished(run);
    return !feeder.halted();
}
