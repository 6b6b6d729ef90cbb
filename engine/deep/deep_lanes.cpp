#include "engine/deep/deep_lanes.h"

#include "engine/colouring.h"
#include "engine/deep/stray.h"

#include <vector>

DeepLaneOrbit laneOrbit(const LaneTables& t)
{
    return {t.twiceZ.data(),
            t.radii.data(),
            t.point.low.data(),
            t.point.span.data(),
            t.window.low.data(),
            t.window.span.data(),
            t.pointFloor.data(),
            t.windowFloor.data(),
            t.nearBound,
            t.restart,
            {t.lastPoints[0], t.lastPoints[1]}};
}

namespace {

// Keeps a kernel's lanes busy with the run's points and finishes them.
class LaneDriver {
public:
    LaneDriver(const DeepFrame& frame, DeepLaneKernel kernel, EscapeRun& run, EscapeFeeder& feeder,
               DeepCounters& counters)
        : frame_(frame), kernel_(kernel), run_(run), feeder_(feeder), counters_(counters), slots_(run.slotArrays()),
          next_(slots_.first),
          orbit_{laneOrbit(frame.laneTables())}
    {
        for (int lane = 0; lane < kMostDeepLanes; ++lane)
            clear(lane);
    }

    void run()
    {
        for (;;) {
            fill();
            if (idle_ > 0 && next_ == slots_.end) {
                const std::size_t added = slots_.end;
                if (!feeder_.refill(run_))
                    return;
                slots_ = run_.slotArrays();
                if (slots_.end != added)
                    continue;
            }
            if (idle_ == kernel_.lanes) {
                if (deferred_.empty())
                    return;
                flush();  // then refill sees them
                continue;
            }
            const DeepLaneEvents events = kernel_.step(state_, orbit_);
            counters_.rebased += state_.rebased;
            state_.rebased = 0;
            for (unsigned lanes = events.done; lanes != 0; lanes &= lanes - 1) {
                const int lane = __builtin_ctz(lanes);
                const std::int32_t n = passes(lane);
                counters_.iterations += static_cast<std::uint64_t>(n);
                if (stray::strayed(state_.stray[lane])) {
                    defer(lane, n);
                    continue;
                }
                if (slots_.fractions && n < frame_.params().maxIters) {
                    // The lane rests on its escaped point, z = Z + dz.
                    const double* twiceZ = orbit_.twiceZ + 2 * state_.m[lane];
                    escape_.n = n;
                    escape_.z = {0.5 * twiceZ[0] + state_.dzr[lane], 0.5 * twiceZ[1] + state_.dzi[lane]};
                }
                finish(lane, n <= 1 ? 0 : n, n, skipped_[lane]);
            }
            for (unsigned lanes = events.handBack; lanes != 0; lanes &= lanes - 1)
                handBack(__builtin_ctz(lanes), false);
            for (unsigned lanes = events.undecided; lanes != 0; lanes &= lanes - 1)
                handBack(__builtin_ctz(lanes), true);
        }
    }

private:
    // count() takes the lane's pixel on: to its end, or through bilinear
    // steps or passes outside doubles back to passes that the lane takes.
    void handBack(int lane, bool undecided)
    {
        DeepCounters pixel;
        DeepFrame::LanePoint at{static_cast<std::size_t>(state_.m[lane]), passes(lane),
                                {state_.dzr[lane], state_.dzi[lane]}, state_.stray[lane]};
        const std::int32_t count = frame_.resume(col_[lane], row_[lane], at, pixel, undecided, wanted(), true);
        counters_.approximated += pixel.approximated;
        counters_.rebased += pixel.rebased;
        counters_.recounted += pixel.recounted;
        counters_.recountedInMpfr += pixel.recountedInMpfr;
        skipped_[lane] += skipped(pixel);
        if (count == DeepFrame::kStrayed) {
            counters_.iterations += pixel.iterations;
            defer(lane, static_cast<std::int32_t>(pixel.iterations));
            return;
        }
        if (count == DeepFrame::kForLane) {
            state_.m[lane] = static_cast<std::int64_t>(at.m);
            state_.left[lane] = frame_.params().maxIters - at.n;
            state_.dzr[lane] = at.dz.re;
            state_.dzi[lane] = at.dz.im;
            state_.stray[lane] = at.stray;
            return;
        }
        counters_.iterations += pixel.iterations;
        finish(lane, count, static_cast<std::int32_t>(pixel.iterations), skipped_[lane]);
    }

    // Pixels that may have strayed wait for recountMany in batches that fill
    // its lanes, or until the run would end.
    void defer(int lane, std::int32_t passes)
    {
        deferred_.push_back({slot_[lane], {col_[lane], row_[lane]}, passes, skipped_[lane]});
        clear(lane);
        ++idle_;
        if (deferred_.size() >= static_cast<std::size_t>(kRecountLanes))
            flush();
    }

    void flush()
    {
        pixels_.clear();
        for (const Deferred& d : deferred_)
            pixels_.push_back(d.pixel);
        recounts_.resize(deferred_.size());
        DeepCounters pixel;
        frame_.recountMany(kernel_.recount, pixels_.data(), pixels_.size(), recounts_.data(), pixel);
        counters_.recounted += pixel.recounted;
        counters_.recountedInMpfr += pixel.recountedInMpfr;
        for (std::size_t i = 0; i < deferred_.size(); ++i) {
            const Deferred& d = deferred_[i];
            if (slots_.out[d.slot - slots_.first].passes == EscapeRun::kCancelled)
                continue;
            escape_ = recounts_[i].escape;
            if (!slots_.fractions)
                escape_.n = -1;
            put(d.slot, recounts_[i].count, d.passes, d.skipped, d.pixel.col, d.pixel.row);
        }
        deferred_.clear();
    }

    // Starts queued points on idle lanes; a point that count() must take
    // first is taken on where its passes come into doubles, or finished.
    void fill()
    {
        for (int lane = 0; lane < kernel_.lanes && next_ < slots_.end; ++lane) {
            if (state_.busy[lane] != 0)
                continue;
            for (; next_ < slots_.end; ++next_) {
                const std::size_t i = next_ - slots_.first;
                if (slots_.out[i].passes == EscapeRun::kCancelled)
                    continue;  // the caller no longer wants it
                const int col = slots_.pixels[i].x, row = slots_.pixels[i].y;
                DeepFrame::LanePoint at;
                Cx dc;
                if (frame_.laneStart(col, row, at, dc)) {
                    load(lane, col, row, at, dc);
                    break;
                }
                DeepCounters pixel;
                const std::int32_t count = frame_.countToLane(col, row, at, dc, pixel, wanted());
                if (count == DeepFrame::kForLane) {
                    // In doubles at last: the lane takes the pixel on.
                    counters_.approximated += pixel.approximated;
                    counters_.rebased += pixel.rebased;
                    load(lane, col, row, at, dc);
                    skipped_[lane] = skipped(pixel);
                    break;
                }
                put(next_, count, add(pixel), skipped(pixel), col, row);
            }
        }
    }

    void load(int lane, int col, int row, const DeepFrame::LanePoint& at, Cx dc)
    {
        state_.dzr[lane] = at.dz.re;
        state_.dzi[lane] = at.dz.im;
        state_.dcr[lane] = dc.re;
        state_.dci[lane] = dc.im;
        state_.stray[lane] = at.stray;
        state_.m[lane] = static_cast<std::int64_t>(at.m);
        state_.left[lane] = frame_.params().maxIters - at.n;
        state_.busy[lane] = -1;
        col_[lane] = col;
        row_[lane] = row;
        slot_[lane] = next_++;
        --idle_;
    }

    std::int32_t passes(int lane) const
    {
        return frame_.params().maxIters - static_cast<std::int32_t>(state_.left[lane]);
    }

    std::int32_t add(const DeepCounters& pixel)
    {
        counters_.iterations += pixel.iterations;
        counters_.approximated += pixel.approximated;
        counters_.rebased += pixel.rebased;
        counters_.recounted += pixel.recounted;
        counters_.recountedInMpfr += pixel.recountedInMpfr;
        return static_cast<std::int32_t>(pixel.iterations);
    }

    static std::int32_t skipped(const DeepCounters& pixel) { return static_cast<std::int32_t>(pixel.approximated); }

    // Where fractions are wanted, the escape point of the pixel about to be
    // put, noted afresh for each (a pixel that never escaped has none).
    DeepFrame::EscapePoint* wanted()
    {
        escape_.n = -1;
        return slots_.fractions ? &escape_ : nullptr;
    }

    void put(std::size_t slot, std::int32_t count, std::int32_t passes, std::int32_t skipped, int col, int row)
    {
        const std::int32_t maxIters = frame_.params().maxIters;
        Escape& e = slots_.out[slot - slots_.first];
        e = {count, paletteIndex(Colouring::Curve, count, maxIters), passes, skipped};
        if (slots_.fractions && escape_.n >= 0)
            e.fraction = frame_.values(col, row, count, escape_).fraction;
        escape_.n = -1;
    }

    void finish(int lane, std::int32_t count, std::int32_t passes, std::int32_t skippedPasses)
    {
        put(slot_[lane], count, passes, skippedPasses, col_[lane], row_[lane]);
        clear(lane);
        ++idle_;
    }

    void clear(int lane)
    {
        state_.dzr[lane] = state_.dzi[lane] = state_.dcr[lane] = state_.dci[lane] = 0.0;
        state_.stray[lane] = 0.0;
        state_.m[lane] = state_.busy[lane] = 0;
        state_.left[lane] = INT64_MAX;
        skipped_[lane] = 0;
    }

    const DeepFrame& frame_;
    const DeepLaneKernel kernel_;
    EscapeRun& run_;
    EscapeFeeder& feeder_;
    DeepCounters& counters_;
    EscapeSlots slots_;
    std::size_t next_;
    const DeepLaneOrbit orbit_;
    DeepLaneState state_;
    int col_[kMostDeepLanes] = {}, row_[kMostDeepLanes] = {};
    std::size_t slot_[kMostDeepLanes] = {};
    std::int32_t skipped_[kMostDeepLanes] = {};  // passes the pixel's bilinear steps skipped
    DeepFrame::EscapePoint escape_{-1, {}, false, {}};
    int idle_ = kernel_.lanes;
    struct Deferred {
        std::size_t slot;
        DeepFrame::RecountPixel pixel;
        std::int32_t passes, skipped;
    };
    std::vector<Deferred> deferred_;
    std::vector<DeepFrame::RecountPixel> pixels_;
    std::vector<DeepFrame::Recounted> recounts_;
};

} // namespace

DeepLaneKernel deepLaneKernel(const DeepFrame& frame, EscapeIsa isa)
{
    if (!frame.hasLanes() || !isaAvailable(isa))
        return {};
    DeepLaneKernel kernel;
    switch (isa) {
    case EscapeIsa::Baseline: kernel = baselineDeepLanes(); break;
#if defined(KAVREL_X86_KERNELS)
    case EscapeIsa::Avx2: kernel = avx2DeepLanes(); break;
    case EscapeIsa::Avx512: kernel = avx512DeepLanes(); break;
#endif
    default: return {};
    }
    kernel.recount = recountKernel(isa);
    return kernel;
}

RecountKernel recountKernel(EscapeIsa isa)
{
    if (!isaAvailable(isa))
        return {};
    switch (isa) {
    case EscapeIsa::Baseline: return baselineRecountLanes();
#if defined(KAVREL_X86_KERNELS)
    case EscapeIsa::Avx2: return avx2RecountLanes();
    case EscapeIsa::Avx512: return avx512RecountLanes();
#endif
    default: return {};
    }
}

void runDeepLanes(const DeepFrame& frame, DeepLaneKernel kernel, EscapeRun& run, EscapeFeeder& feeder,
                  DeepCounters& counters)
{
    LaneDriver(frame, kernel, run, feeder, counters).run();
}
