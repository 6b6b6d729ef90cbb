#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/escape_time.h"
#include "engine/geometry.h"

// Batched escape-time evaluation of the integer powers (functions 1 to 4).
// A kernel keeps a set of lanes busy, each iterating one point, and hands a
// lane the next point as soon as its previous one is finished, so that points
// of very different counts share the vector units well. Every point gives
// exactly the count, colour index and passes of EscapeTime.

// One point to evaluate: z0, c and the iteration limit (at least 1).
struct EscapePoint {
    double zr, zi, cr, ci;
    std::int32_t maxIters;
};

// A run's points and results as plain arrays, for the kernels: point i is at
// index i - first of each, for first <= i < end. Valid until the run is next
// added to or forgotten.
struct EscapeSlots {
    const double *zr, *zi, *cr, *ci;
    const std::int32_t* maxIters;
    const tagPOINT* pixels;  // for runs of pixels
    Escape* out;
    std::size_t first, end;
    // How many points have been cancelled so far: a kernel looks for
    // cancelled points among its lanes only when this has moved.
    const std::size_t* cancels;
    // Whether the results carry their escape's fraction (Escape::fraction).
    bool fractions;
};

// The points of one run in the order they were added, and their results as
// the kernel finishes them (in any order). Points are numbered from 0 in the
// order they were added; a long run stays small when its caller forgets the
// points it has taken the results of. Each field of the points has an array
// of its own, so that a kernel reads a vector's worth of points at once.
class EscapeRun {
public:
    EscapeRun();
    // Inline, so that a point built in the caller goes straight into the
    // arrays, field by field.
    void add(const EscapePoint& p)
    {
        zr_.push_back(p.zr);
        zi_.push_back(p.zi);
        cr_.push_back(p.cr);
        ci_.push_back(p.ci);
        maxIters_.push_back(p.maxIters);
        out_.push_back({});
    }
    // A run of an evaluator that works out the point itself (a deep frame)
    // takes the pixel instead; a run holds points or pixels, not both.
    void addPixel(tagPOINT pixel, std::int32_t maxIters)
    {
        pixels_.push_back(pixel);
        maxIters_.push_back(maxIters);
        out_.push_back({});
    }
    // Points added so far, forgotten ones included.
    std::size_t size() const { return first_ + out_.size(); }
    // A finished point has made at least one pass; an unfinished one has none.
    // A cancelled one counts as done, with kCancelled passes.
    bool isDone(std::size_t i) const { return out_[i - first_].passes != 0; }
    // Point i is no longer wanted: the kernel does not start it, or frees
    // its lane at its next stop, and leaves it without a result.
    void cancel(std::size_t i)
    {
        if (!isDone(i)) {
            out_[i - first_].passes = kCancelled;
            ++cancels_;
        }
    }
    static constexpr std::int32_t kCancelled = -1;
    const Escape& result(std::size_t i) const { return out_[i - first_]; }
    // The points before `end`, all finished, are no longer looked at.
    void forget(std::size_t end);
    // For the kernels, which must not use the inline members: their files
    // are compiled for wider instruction sets.
    EscapeSlots slotArrays();
    // Asks the kernel for each escape's fraction as well.
    void wantFractions(bool want) { fractions_ = want; }

private:
    std::vector<double> zr_, zi_, cr_, ci_;
    std::vector<std::int32_t> maxIters_;
    std::vector<tagPOINT> pixels_;
    std::vector<Escape> out_;
    std::size_t first_ = 0;  // the number of element 0
    std::size_t cancels_ = 0;
    bool fractions_ = false;
};

// The caller's side of a run. The kernel calls refill whenever a lane is free
// and every point added so far has been started or cancelled: it may add points, or none
// when it has no more for now. The run ends once refill has added nothing and
// no lane is busy; refill returning false ends it at once, leaving the points
// in flight unfinished (a stop request, or results that make them unneeded).
class EscapeFeeder {
public:
    virtual bool refill(EscapeRun& run) = 0;

protected:
    ~EscapeFeeder() = default;
};

using EscapeKernel = void (*)(EscapeRun& run, EscapeFeeder& feeder);

// The instruction sets a kernel can be built for. Baseline is SSE2 on x86-64
// and plain C++ vectors elsewhere; Scalar means no batching at all.
enum class EscapeIsa { Scalar, Baseline, Avx2, Avx512 };

const char* isaName(EscapeIsa isa);
// Built into this program and supported by this processor.
bool isaAvailable(EscapeIsa isa);
// The available ones that have kernels, narrowest first.
std::vector<EscapeIsa> batchedIsas();
// In use: the best available one, unless setEscapeIsa chose another.
EscapeIsa escapeIsa();
// Forces an instruction set (tests and benchmarks); false, and no change,
// when it is not available.
bool setEscapeIsa(EscapeIsa isa);

// The kernel for the power `func` selects (1 to 4), on the given or the
// current instruction set; null for Scalar and for every other function.
EscapeKernel escapeKernel(EscapeIsa isa, int func);
EscapeKernel escapeKernel(int func);

// What an integer power gives when its loop ended after k passes without an
// escape (k = maxIters: it never escaped). Equal to EscapeTime's result.
Escape integerEscape(std::int32_t k, std::int32_t maxIters);

// colorIndex(k) for every k below kCurveEnd, as a table: a kernel finishes a
// point every few passes, and colorIndex takes twenty divisions. From k =
// 10074 on the index is 499.
constexpr std::int32_t kCurveEnd = 10075;
const std::int16_t* colourCurve();
