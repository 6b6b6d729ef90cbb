// DoRect in batches: the pixels of a block go to the job's evaluator in
// runs, and the picture, the decisions and the counts stay those of the
// one-point-at-a-time renderer. Sibling quarters share runs: a run that ends
// leaves lanes idle while its last long points finish, and four outlines, or
// four blocks, in one run pay that once.
#include <algorithm>
#include <iterator>
#include <vector>

#include "engine/block_steps.h"

namespace {

std::uint64_t passesOf(const EscapeRun& run, std::size_t i) { return static_cast<std::uint64_t>(run.result(i).passes); }

void tally(const EscapeRun& run, std::size_t from, std::size_t to, GridJob& job)
{
    for (std::size_t i = from; i < to; ++i) {
        job.stats.iterations += passesOf(run, i);
        job.stats.approximated += static_cast<std::uint64_t>(run.result(i).skipped);
    }
    job.stats.evaluations += to - from;
}

// One block's outline test within a run: which points of the run are its
// samples, in order, and how far they agree with the corner.
struct Outline {
    explicit Outline(const tagRECT& block) : b(block), samples(outlineSamples(block)) {}

    // Takes the finished samples in order, up to the first that differs from
    // the corner, and cancels the ones after it. True once decided.
    bool decide(EscapeRun& run)
    {
        for (; !differs && checked < at.size() && run.isDone(at[checked]); ++checked)
            differs = run.result(at[checked]).count != run.result(at[0]).count;
        if (differs)
            for (std::size_t i = checked; i < at.size(); ++i)
                run.cancel(at[i]);
        else if (passed())
            last = run.result(at.back());  // its colour is the one the block is painted in
        return differs || passed();
    }
    bool passed() const { return !differs && checked == static_cast<std::size_t>(samples); }

    // Adds up the passes of the samples the test needed, before the run goes.
    void sumPasses(const EscapeRun& run)
    {
        for (std::size_t i = 0; i < checked; ++i) {
            neededPasses += passesOf(run, at[i]);
            neededSkipped += static_cast<std::uint64_t>(run.result(at[i]).skipped);
        }
    }

    // Counts the test's samples into the job's stats: the needed ones as
    // evaluations when the render reached the block, as one at a time
    // would have, and all of them as speculative when a stop came first.
    void count(GridJob& job, bool reached) const
    {
        const std::size_t needed = reached ? checked : 0;
        job.stats.evaluations += needed;
        job.stats.iterations += reached ? neededPasses : 0;
        job.stats.approximated += reached ? neededSkipped : 0;
        job.stats.speculative += at.size() - needed;
    }

    tagRECT b;
    int samples;
    std::vector<std::size_t> at;  // the run's numbers of the samples added so far
    std::size_t checked = 0;
    bool differs = false;
    Escape last{};
    std::uint64_t neededPasses = 0, neededSkipped = 0;
    int rows = 1;  // rows handed over at the next refill
};

// Hands the outline samples of some blocks over a few rows at a time each,
// more as an outline keeps agreeing, and ends the run once every outline is
// decided. What the kernel evaluated beyond a differing sample is speculative.
class OutlineFeeder final : public EscapeFeeder {
public:
    OutlineFeeder(std::vector<Outline>& outlines, GridJob& job) : outlines_(outlines), job_(job)
    {}

    bool refill(EscapeRun& run) override
    {
        if (decide(run))
            return false;
        const std::int32_t limit = currentLimit(job_);
        for (Outline& o : outlines_) {
            if (o.differs)
                continue;
            const int rows = std::min(o.rows, (o.samples - static_cast<int>(o.at.size())) / 4);
            o.rows = std::min(2 * o.rows, kMostRows);
            if (o.at.empty())
                add(o, run, limit);
            for (int r = 0; r < rows; ++r) {
                if (job_.canvas.userHalt()) {
                    halted_ = true;
                    return false;
                }
                for (int side = 0; side < 4; ++side)
                    add(o, run, limit);
            }
        }
        return true;
    }

    // True once every outline is decided.
    bool decide(EscapeRun& run)
    {
        bool all = true;
        for (Outline& o : outlines_)
            all = o.decide(run) && all;
        return all;
    }

    bool halted() const { return halted_; }

private:
    static constexpr int kMostRows = 16;

    void add(Outline& o, EscapeRun& run, std::int32_t limit)
    {
        o.at.push_back(run.size());
        job_.evaluator.addToRun(run, outlineSample(o.b, static_cast<int>(o.at.size()) - 1), limit);
    }

    std::vector<Outline>& outlines_;
    GridJob& job_;
    bool halted_ = false;
};

// Runs the outline tests of the blocks together; false when the render was
// asked to stop.
bool testOutlines(std::vector<Outline>& outlines, GridJob& job)
{
    EscapeRun run;
    OutlineFeeder feeder(outlines, job);
    job.evaluator.evaluateRun(run, feeder);
    feeder.decide(run);
    for (Outline& o : outlines)
        o.sumPasses(run);
    return !feeder.halted();
}

// A block to finish: computed, or painted with the evaluation `painted`.
struct Finish {
    tagRECT b;
    bool computed;
    Escape painted;
    std::size_t area() const { return computed ? static_cast<std::size_t>(b.right - b.left) * (b.bottom - b.top) : 0; }
};

// Hands the computed blocks' pixels over row by row, a long row in pieces,
// and finishes the blocks in their order: plots every finished pixel as soon
// as those before it are plotted, and paints a painted block once the blocks
// before it are done.
class BlockFeeder final : public EscapeFeeder {
public:
    BlockFeeder(const std::vector<Finish>& blocks, GridJob& job) : blocks_(blocks), job_(job)
    {
        toAdd();
    }

    bool refill(EscapeRun& run) override
    {
        plotFinished(run);
        if (halted_)
            return false;
        const std::int32_t limit = currentLimit(job_);
        for (int added = 0; added < kPiece && adding_ < blocks_.size();) {
            if (job_.canvas.userHalt()) {
                halt(finishing_ + 1);
                return false;
            }
            const tagRECT& b = blocks_[adding_].b;
            const int end = std::min(b.right, next_.x + kPiece - added);
            for (; next_.x < end; ++next_.x, ++added)
                job_.evaluator.addToRun(run, next_, limit);
            if (next_.x == b.right) {
                next_ = {b.left, next_.y + 1};
                if (next_.y == b.bottom) {
                    ++adding_;
                    toAdd();
                }
            }
        }
        return true;
    }

    void plotFinished(EscapeRun& run)
    {
        const std::size_t from = plotted_;
        while (finishing_ < blocks_.size() && !halted_) {
            const Finish& f = blocks_[finishing_];
            const std::size_t done = plotted_ - firstPoint_;
            if (done == f.area()) {
                if (!f.computed)
                    paintBlock(f.b, f.painted, job_);
                ++finishing_;
                firstPoint_ = plotted_;
                // As between quarters drawn one at a time.
                if (finishing_ < blocks_.size() && job_.canvas.userHalt()) {
                    halt(finishing_);
                    break;
                }
                continue;
            }
            if (plotted_ == run.size() || !run.isDone(plotted_))
                break;
            const auto i = static_cast<int>(done);
            const int width = f.b.right - f.b.left;
            job_.canvas.plotEscape(f.b.left + i % width, f.b.top + i / width, run.result(plotted_));
            ++plotted_;
        }
        tally(run, from, plotted_, job_);
        run.forget(plotted_);
    }

    bool halted() const { return halted_; }
    // The blocks begun, as one at a time: all of them unless a stop came.
    std::size_t begun() const { return halted_ ? begun_ : blocks_.size(); }

private:
    // Enough points to keep every lane busy, few enough that the stop
    // request is polled every few hundred evaluations.
    static constexpr int kPiece = 128;

    void halt(std::size_t begun)
    {
        halted_ = true;
        begun_ = std::min(begun, blocks_.size());
    }

    // Moves on to the next block with pixels to compute.
    void toAdd()
    {
        while (adding_ < blocks_.size() && blocks_[adding_].area() == 0)
            ++adding_;
        if (adding_ < blocks_.size())
            next_ = {blocks_[adding_].b.left, blocks_[adding_].b.top};
    }

    const std::vector<Finish>& blocks_;
    GridJob& job_;
    std::size_t adding_ = 0;  // the block whose pixels are being handed over
    tagPOINT next_{};
    std::size_t finishing_ = 0;   // the first block not finished
    std::size_t firstPoint_ = 0;  // the run's number of its first pixel
    std::size_t plotted_ = 0;
    bool halted_ = false;
    std::size_t begun_ = 0;
};

// False when the render was asked to stop before every block was finished;
// `begun` says how many were begun.
bool finishBlocks(const std::vector<Finish>& blocks, GridJob& job, std::size_t& begun)
{
    EscapeRun run;
    BlockFeeder feeder(blocks, job);
    job.evaluator.evaluateRun(run, feeder);
    feeder.plotFinished(run);
    begun = feeder.begun();
    return !feeder.halted();
}

} // namespace

bool outlineBatched(const tagRECT& b, GridJob& job)
{
    std::vector<Outline> outline{Outline(b)};
    const bool tested = testOutlines(outline, job);
    outline[0].count(job, true);
    if (!tested || !outline[0].passed())
        return false;
    paintBlock(b, outline[0].last, job);
    return true;
}

bool computeBatched(const tagRECT& b, GridJob& job)
{
    std::size_t begun = 0;
    const tagRECT part = wantedPart(b, job);
    return isEmpty(part) || finishBlocks({{part, true, {}}}, job, begun);
}

void quartersBatched(const tagRECT (&quarters)[4], bool small, GridJob& job)
{
    // Quarters of which the canvas keeps no pixel are not drawn at all.
    std::vector<Outline> outlines;
    for (const tagRECT& q : quarters)
        if (!isEmpty(wantedPart(q, job)))
            outlines.emplace_back(q);
    // One at a time, a stop would have come before the quarters after the
    // one it interrupted were tested.
    std::size_t reached = testOutlines(outlines, job) ? outlines.size() : 1;
    if (reached == outlines.size()) {
        if (small) {
            std::vector<Finish> blocks;
            for (const Outline& o : outlines)
                blocks.push_back({wantedPart(o.b, job), !o.passed() || eachPixel(o.last, job), o.last});
            finishBlocks(blocks, job, reached);
        } else {
            for (std::size_t q = 0; q < outlines.size(); ++q) {
                if (outlines[q].passed())
                    paintBlock(outlines[q].b, outlines[q].last, job);
                else
                    splitQuarter(outlines[q].b, job);
                if (q + 1 < outlines.size() && job.canvas.userHalt()) {
                    reached = q + 1;
                    break;
                }
            }
        }
    }
    for (std::size_t q = 0; q < outlines.size(); ++q)
        outlines[q].count(job, q < reached);
}
