#pragma once

// The lane machinery of the batched kernels. Each kernels_<isa>.cpp includes
// this and is compiled with its own instruction-set flags, so everything here
// has internal linkage and nothing from the standard library is instantiated:
// no function built for a wider instruction set may be picked by the linker
// for code that runs on a narrower one.

#include <cstdint>

#include "engine/escape_batch.h"
#include "engine/escape_result.h"
#include "engine/escape_value.h"
#include "engine/powers.h"

namespace {

// The lane step of the instruction sets whose comparisons give vectors of
// all-ones and zeros: SSE2, AVX2 and plain C++ vectors. Bits(mask) turns a
// comparison result into one bit per lane.
template <class V, unsigned (*Bits)(decltype(V{} > V{}))>
struct VectorLanes {
    using Vec = V;

    // One pass of every lane. Returns the lanes whose point is beyond the
    // bound after it, escaped before or not: the kernel keeps track of which
    // lanes are still iterating, in one word. (Masking vectors of lanes every
    // pass instead took a third more time on AVX2 frames, a sixth on SSE2.)
    template <class Power>
    static unsigned pass(Vec& x, Vec& y, Vec cr, Vec ci)
    {
        Vec nx, ny;
        const unsigned out = Bits(Power::step(x, y, cr, ci, nx, ny) > (Vec{} + Power::kBound));
        x = nx;
        y = ny;
        return out;
    }
};

// Iterates the points of a run on lanes: Isa::Vec is a vector of doubles (a
// GCC/clang vector extension type) and Isa::pass one pass of its lanes. U
// vectors are stepped side by side: their passes are independent, which
// hides the latency of each one's chain of multiplications and additions.
//
// A point started at pass s that first escapes at pass p has k = p - s, the
// scalar count; the loop notes each pass in which lanes escape, and the lanes
// still iterating are the bits of one word, so that a pass costs the vector
// arithmetic and a few scalar instructions. An escaped lane idles until the
// loop leaves. While points wait in the queue the loop leaves once a vector's
// worth of lanes have escaped, so that finishing points and starting new ones
// costs little per point, or sooner once the escaped lanes have idled for
// kIdleBudget lane-passes, so that a few escapes among long points do not
// leave lanes idle for long; with nothing queued it leaves at the first
// escape, so that the feeder hears of it at once. It also leaves when the
// earliest limit is reached.
//
// Between loops the lanes live in plain arrays, one element per lane.
template <class Isa, class Power, int U>
class LaneKernel {
    using V = typename Isa::Vec;
    static constexpr int W = static_cast<int>(sizeof(V) / sizeof(double));
    static constexpr int L = W * U;
    // Idle lane-passes worth leaving the loop for, finishing and starting
    // points and coming back: twelve passes of all lanes. From six to
    // twenty-five did about as well on the benchmark's deep view, 5% less CPU
    // than waiting for a vector's worth of escapes.
    static constexpr int kIdleBudget = 12 * L;
    static constexpr std::int64_t kNever = INT64_MAX;
    static constexpr std::size_t kIdle = ~std::size_t{0};

public:
    LaneKernel(EscapeRun& run, EscapeFeeder& feeder)
        : run_(run), feeder_(feeder), slots_(run.slotArrays()), curve_(colourCurve()), fractions_(slots_.fractions)
    {
        for (int lane = 0; lane < L; ++lane)
            clear(lane);
    }

    void run()
    {
        while (settle() && busy_ > 0)
            advance<U>();
    }

private:
    // Steps only as many vectors as hold busy lanes: lanes are kept packed at
    // the front, so a run that is nearly done costs little more than scalar.
    template <int N>
    void advance()
    {
        if constexpr (N > 1) {
            if (busy_ <= (N - 1) * W) {
                advance<N - 1>();
                return;
            }
        }
        stepUntilEvent<N>();
    }

    template <class T, class E>
    static T vec(const E* lanes)
    {
        T v;
        __builtin_memcpy(&v, lanes, sizeof v);
        return v;
    }
    template <class T, class E>
    static void unvec(E* lanes, const T& v)
    {
        __builtin_memcpy(lanes, &v, sizeof v);
    }

    template <int N>
    void stepUntilEvent()
    {
        V x[N], y[N], cr[N], ci[N];
        for (int u = 0; u < N; ++u) {
            x[u] = vec<V>(x_ + u * W);
            y[u] = vec<V>(y_ + u * W);
            cr[u] = vec<V>(cr_ + u * W);
            ci[u] = vec<V>(ci_ + u * W);
        }
        const int enough = queued() ? W : 1;
        int escaped = 0, idle = 0;
        unsigned active = active_;
        std::int64_t pass = pass_;
        for (;;) {
            unsigned out = 0;
            for (int u = 0; u < N; ++u)
                out |= Isa::template pass<Power>(x[u], y[u], cr[u], ci[u]) << (u * W);
            const unsigned now = out & active;
            ++pass;
            if (now != 0) {
                if (fractions_)
                    keepEscaped(x, y, now);
                active &= ~now;
                escapes_[logged_++] = {pass - 1, now};
                escaped += __builtin_popcount(now);
                if (escaped >= enough)
                    break;
            }
            idle += escaped;
            if (pass == until_ || idle >= kIdleBudget)
                break;
        }
        pass_ = pass;
        active_ = active;
        for (int u = 0; u < N; ++u) {
            unvec(x_ + u * W, x[u]);
            unvec(y_ + u * W, y[u]);
        }
    }

    // The lanes that escaped in the pass just taken keep the point after
    // their escaped one, for their fraction.
    template <int N>
    void keepEscaped(const V (&x)[N], const V (&y)[N], unsigned lanes)
    {
        for (int u = 0; u < N; ++u) {
            const unsigned mine = lanes >> (u * W) & ((1u << W) - 1);
            if (mine == 0)
                continue;
            double xs[W], ys[W];
            unvec(xs, x[u]);
            unvec(ys, y[u]);
            for (unsigned m = mine; m != 0; m &= m - 1) {
                const int k = __builtin_ctz(m);
                afterX_[u * W + k] = xs[k];
                afterY_[u * W + k] = ys[k];
            }
        }
    }

    // Finishes the lanes whose point escaped or reached its limit, gives the
    // free lanes new points and packs the busy ones at the front. False when
    // the feeder ended the run.
    bool settle()
    {
        const int holes = retireFinished();
        int filled = loadInto(holes, 0);
        appendQueued();
        if ((filled < holes || busy_ < L) && !queued()) {
            if (!feeder_.refill(run_))
                return false;
            slots_ = run_.slotArrays();
            filled += loadInto(holes - filled, filled);
            appendQueued();
        }
        compact(holes - filled, filled);
        return true;
    }

    // Lists the freed lanes in free_, in ascending order: those whose point
    // finished or was cancelled. The lanes only need looking at for cancelled
    // points when the run has cancelled some since, and for limits when the
    // earliest one is reached, which is also when it is found anew.
    int retireFinished()
    {
        std::uint64_t freed = 0;
        if (*slots_.cancels != cancelsSeen_) {
            cancelsSeen_ = *slots_.cancels;
            for (int lane = 0; lane < busy_; ++lane)
                if (slot_[lane] != kIdle && cancelled(slot_[lane])) {
                    slot_[lane] = kIdle;
                    freed |= std::uint64_t{1} << lane;
                }
        }
        for (int e = 0; e < logged_; ++e)
            for (unsigned lanes = escapes_[e].lanes; lanes != 0; lanes &= lanes - 1) {
                const int lane = __builtin_ctz(lanes);
                if (slot_[lane] == kIdle)
                    continue;
                finish(lane, escapes_[e].pass - start_[lane]);
                freed |= std::uint64_t{1} << lane;
            }
        logged_ = 0;
        if (pass_ == until_) {
            until_ = kNever;
            for (int lane = 0; lane < busy_; ++lane) {
                if (slot_[lane] == kIdle)
                    continue;
                if (end_[lane] == pass_) {
                    finish(lane, limit_[lane]);
                    freed |= std::uint64_t{1} << lane;
                } else {
                    until_ = end_[lane] < until_ ? end_[lane] : until_;
                }
            }
        }
        int n = 0;
        for (; freed != 0; freed &= freed - 1)
            free_[n++] = __builtin_ctzll(freed);
        return n;
    }

    void finish(int lane, std::int64_t k)
    {
        Escape& e = slots_.out[slot_[lane] - slots_.first];
        e = escapeAfter(static_cast<std::int32_t>(k), limit_[lane], curve_);
        if (fractions_ && k < limit_[lane])
            e.fraction = escapeFraction(Power::kPower, e.count, static_cast<std::int32_t>(k) + 1, afterX_[lane],
                                        afterY_[lane], cr_[lane], ci_[lane]);
        slot_[lane] = kIdle;
    }

    bool cancelled(std::size_t slot) const { return slots_.out[slot - slots_.first].passes < 0; }

    // Whether a point waits to be started, passing over cancelled ones.
    bool queued()
    {
        while (next_ < slots_.end && cancelled(next_))
            ++next_;
        return next_ < slots_.end;
    }

    // Starts queued points on up to n of the freed lanes free_[first] on;
    // returns how many.
    int loadInto(int n, int first)
    {
        int used = 0;
        for (; used < n && queued(); ++used)
            load(free_[first + used]);
        return used;
    }

    void appendQueued()
    {
        while (busy_ < L && queued())
            load(busy_++);
    }

    void load(int lane)
    {
        const std::size_t i = next_ - slots_.first;
        x_[lane] = slots_.zr[i];
        y_[lane] = slots_.zi[i];
        cr_[lane] = slots_.cr[i];
        ci_[lane] = slots_.ci[i];
        active_ |= 1u << lane;
        start_[lane] = pass_;
        limit_[lane] = slots_.maxIters[i] < 1 ? 1 : slots_.maxIters[i];
        end_[lane] = pass_ + limit_[lane];
        until_ = end_[lane] < until_ ? end_[lane] : until_;
        slot_[lane] = next_++;
    }

    // Moves busy lanes from the back into the n holes free_[first] on.
    void compact(int n, int first)
    {
        for (int h = n - 1; h >= 0; --h) {
            const int hole = free_[first + h];
            while (busy_ > hole && slot_[busy_ - 1] == kIdle)
                clear(--busy_);
            if (busy_ <= hole)
                continue;
            move(--busy_, hole);
            clear(busy_);
        }
    }

    void move(int from, int to)
    {
        x_[to] = x_[from];
        y_[to] = y_[from];
        cr_[to] = cr_[from];
        ci_[to] = ci_[from];
        active_ = (active_ & ~(1u << to)) | (active_ >> from & 1u) << to;
        start_[to] = start_[from];
        limit_[to] = limit_[from];
        end_[to] = end_[from];
        slot_[to] = slot_[from];
    }

    // An idle lane holds z = c = 0, which never escapes, and no limit.
    void clear(int lane)
    {
        x_[lane] = y_[lane] = cr_[lane] = ci_[lane] = 0.0;
        active_ &= ~(1u << lane);
        start_[lane] = 0;
        end_[lane] = kNever;
        slot_[lane] = kIdle;
    }

    EscapeRun& run_;
    EscapeFeeder& feeder_;
    EscapeSlots slots_;
    const std::int16_t* curve_;
    static_assert(L <= 32, "lane masks are 32 bits");
    const bool fractions_;
    alignas(64) double x_[L], y_[L], cr_[L], ci_[L];
    double afterX_[L], afterY_[L];  // where fractions are wanted: z after the escaped point
    unsigned active_ = 0;  // bit l: lane l holds a point that has not escaped
    std::int32_t limit_[L];
    std::int64_t start_[L], end_[L];
    std::size_t slot_[L];
    int free_[L];
    struct Escapes {
        std::int64_t pass;
        unsigned lanes;
    };
    Escapes escapes_[L];  // the passes in which lanes escaped, since the last settle
    int logged_ = 0;
    int busy_ = 0;           // lanes 0 .. busy_ - 1 hold points
    std::size_t next_ = 0;   // the next point of the run to start
    std::int64_t pass_ = 0;  // passes made since the run began
    std::int64_t until_ = kNever;
    std::size_t cancelsSeen_ = 0;
};

template <class Isa, class Power>
void runLanes(EscapeRun& run, EscapeFeeder& feeder)
{
    LaneKernel<Isa, Power, Isa::template vectors<Power>>(run, feeder).run();
}

template <class Isa>
EscapeKernel kernelFor(int func)
{
    switch (func) {
    case 1: return runLanes<Isa, Square>;
    case 2: return runLanes<Isa, Cube>;
    case 3: return runLanes<Isa, Fifth>;
    case 4: return runLanes<Isa, Tenth>;
    default: return nullptr;
    }
}

} // namespace
