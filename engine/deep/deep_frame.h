#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/deep/bla_table.h"
#include "engine/deep/build_control.h"
#include "engine/deep/lane_tables.h"
#include "engine/deep/recount_lanes.h"
#include "engine/deep/reference_orbit.h"
#include "engine/escape_value.h"
#include "engine/frame_spec.h"

// What the pixels evaluated so far cost: passes in all, the passes that
// bilinear steps skipped, and how often a pixel came closer to 0 than to
// its orbit point (where a plain perturbation would lose its digits).
// A delta in doubles leaves them where its larger part falls below this:
// the squares that the rebasing test compares would lose their precision.
constexpr double kDeltaFloor = 0x1p-450;

struct DeepCounters {
    std::uint64_t iterations = 0;
    std::uint64_t approximated = 0;
    std::uint64_t rebased = 0;
    // Pixels counted again in more precision (recount()), and those of them
    // that double-double could not serve, counted with every pass in MPFR.
    std::uint64_t recounted = 0;
    std::uint64_t recountedInMpfr = 0;
};

// The radius as log2: a double would underflow.
double radiusLog2(const std::string& radius);

// The deepest radius a frame may have, as log10: its reference orbit is
// computed with some 332,000 bits a number there (ten times that for a
// Julia set of z^10 near its critical point), and each of its points takes
// milliseconds. Deeper, the orbit would take days and its numbers more
// memory than the frame's pixels.
constexpr double kDeepestRadiusLog10 = -100000.0;

// A deep view's reference orbits serve frames of any size up to 2^24 pixels
// a side (a poster's tiles, each drawn on its own, and the samples of a
// supersampled one): their precision and where they may end early follow
// the view and the limit alone, as for a frame that large.
constexpr int kOrbitSideLog2 = 24;

// The automatic iteration limit of a deep frame: 1000 for every decimal
// digit of depth, floor(-log10 R), and never below 1000.
std::int32_t deepAutoIters(const std::string& radius);

// Everything the pixels of one frame of a deep view share (FrameSpec: an
// integer power, a deep view): one reference orbit from the centre in MPFR,
// with precision from the radius, and its bilinear steps.
// Each pixel is iterated as a delta from that orbit in doubles, or in
// doubles with an extended exponent while the delta is below their range.
// Rebasing: when a pixel comes closer to the critical point 0 than to the
// orbit point it follows, it starts over from 0 against an orbit that
// starts at 0 (the reference itself for the Mandelbrot set; for a Julia set
// the orbit of 0, computed alongside). Counts are those of EscapeTime.
class DeepFrame {
public:
    explicit DeepFrame(const FrameSpec& frame) : DeepFrame(frame, BuildControl{}, false) {}
    // The same, unless `control` asks it to stop before the frame is built:
    // then nothing.
    static std::unique_ptr<const DeepFrame> build(const FrameSpec& frame, const BuildControl& control);
    // The same, with orbits that go on for frames of any size (kOrbitSideLog2)
    // of the view: to be saved (save()) and drawn against by those.
    static std::unique_ptr<const DeepFrame> buildForAnySize(const FrameSpec& frame, const BuildControl& control);
    // A frame around the same centre as `deeper` (the same set, power and
    // constant), no deeper and with no higher a limit, drawn against its
    // reference orbits: no orbit is computed. A pixel may start over
    // anywhere along an orbit, so that its counts are a frame's of its own
    // but where an orbit of its own would have ended before the deeper
    // one's, or been computed with fewer digits. Nothing where the frames do
    // not fit so.
    static std::unique_ptr<const DeepFrame> alongside(const FrameSpec& frame, const DeepFrame& deeper);

    // EscapeTime's result for pixel (col, row): 0 when the count k <= 1,
    // maxIters when no examined point escaped, else k. Safe from any number
    // of threads at once; each keeps its own counters.
    std::int32_t count(int col, int row, DeepCounters& counters) const { return count(col, row, counters, nullptr); }
    // Where a pixel escaped: z_n, the first point beyond the escape radius,
    // and where `derive` asks for it the derivative of z_n (escape_value.h).
    struct EscapePoint {
        std::int32_t n = 0;
        Cx z;
        bool derive = false;
        CxExp dz;
    };
    // The same, and where the pixel escaped when it did (else escape->n is
    // left as it was).
    std::int32_t count(int col, int row, DeepCounters& counters, EscapePoint* escape) const;
    // The escape's fraction, and with a derivative its distance in pixels
    // (escape_value.h), of a pixel with this count that escaped there.
    EscapeValue values(int col, int row, std::int32_t count, const EscapePoint& escape) const;

    // Lanes: many pixels stepped side by side in vectors (deep_lanes.h),
    // for the sets of z^2 while every delta is a double. A lane takes the
    // scalar steps of count() in the same order, and hands its pixel back
    // here where count() would take a bilinear step or leave doubles: so a
    // pixel's count does not depend on how it was evaluated. A lane's point
    // m is one of LaneTables: a Julia set's orbit of 0 follows the centre's.
    bool hasLanes() const;
    // Where a lane is: at the top of pass n, at point m with the delta dz.
    struct LanePoint {
        std::size_t m = 0;
        std::int32_t n = 0;
        Cx dz;
        double stray = 0.0;  // how far z may have strayed, squared (stray.h)
    };
    // Where a lane starts, and the pixel's constant term dc: a Mandelbrot
    // pixel after count()'s first pass, which is taken with an extended
    // exponent, at point 1 with dz = dc; a Julia pixel at point 0, after
    // count()'s first test for starting over, made with an extended
    // exponent. False when count() must take the pixel: it escapes in that
    // pass or starts over at that test, or its delta is too small for
    // doubles.
    bool laneStart(int col, int row, LanePoint& at, Cx& dc) const;
    static constexpr std::int32_t kForLane = -1;
    // What count() gives for a pixel that a lane took to `at` (after
    // rebasing there); or kForLane, with `at` moved on, where count() comes
    // to the top of a pass that a lane takes the same way (in doubles,
    // without a bilinear step) after a run of such passes. An `undecided`
    // pixel is within rounding of the escape radius at `at`, not yet tested
    // there.
    // With `deferStrayed`, a pixel that may have strayed is not recounted
    // here: kStrayed says so, for the caller to recount it (recountMany).
    std::int32_t resume(int col, int row, LanePoint& at, DeepCounters& counters, bool undecided = false,
                        EscapePoint* escape = nullptr, bool deferStrayed = false) const;
    static constexpr std::int32_t kStrayed = -2;
    // count() for a pixel that laneStart() refused, but kForLane where its
    // passes come into doubles and a lane may take them on as for resume():
    // at `at`, with the constant term dc of the lane's passes.
    std::int32_t countToLane(int col, int row, LanePoint& at, Cx& dc, DeepCounters& counters,
                             EscapePoint* escape) const;
    // The count of a pixel whose orbit in doubles may have strayed from the
    // true one (stray.h), and where it escaped: its orbit perturbed in
    // double-double from the exact pixel, or where that does not reach
    // (beyond the doubles' exponents, powers above 2, or where even that
    // may stray) every pass in MPFR. count() and resume() call it
    // themselves; a lane that finishes a pixel must. With `estimate`, what
    // the double-double passes left of their own estimate of straying, where
    // they were taken (else it is left as it was).
    std::int32_t recount(int col, int row, DeepCounters& counters, EscapePoint* escape,
                         double* estimate = nullptr) const;
    // The same for many pixels, stepped side by side in double-double
    // (recount_lanes.h) where that serves, else one at a time: each gets
    // recount()'s count and escape point (without a derivative).
    struct RecountPixel {
        int col = 0, row = 0;
    };
    struct Recounted {
        std::int32_t count = 0;
        EscapePoint escape;  // n is -1 where the pixel never escaped
        double estimate = 0.0;  // as recount() gives it
    };
    void recountMany(RecountKernel kernel, const RecountPixel* pixels, std::size_t count, Recounted* out,
                     DeepCounters& counters) const;
    const ReferenceOrbit& orbit() const { return orbit_; }
    const LaneTables& laneTables() const { return lanes_; }

    // The frame's orbits and bilinear steps as bytes, handed to `write` a
    // part at a time (false from it stops the saving, and returns false),
    // so that frames of the same view and limit, of any size
    // (kOrbitSideLog2), may be drawn against them without computing them.
    using ByteWriter = std::function<bool(const void*, std::size_t)>;
    using ByteReader = std::function<bool(void*, std::size_t)>;
    bool save(const ByteWriter& write) const;
    // A frame drawn against saved orbits: nothing, and *error says why,
    // where they were saved for another view, set, power, constant or
    // limit, or do not read back whole and sound. Bilinear steps saved for
    // a frame of another shape are built again for this one.
    static std::unique_ptr<const DeepFrame> load(const FrameSpec& frame, const ByteReader& read, std::string* error);

    const FrameSpec& params() const { return params_; }
    mpfr_prec_t precisionBits() const { return bits_; }
    // Points of the reference orbits computed in MPFR.
    std::size_t referenceIterations() const;
    // Pixels recount() has counted again so far, from every thread.
    std::uint64_t recounted() const { return recounted_.load(std::memory_order_relaxed); }

private:
    struct Store;  // save() and load()
    // Where the centre's orbit may end early for this frame's pixels; the
    // orbit cut there (one computed for a finer spacing).
    EarlyEnd ownEarlyEnd() const;
    void endEarly();
    // The bounds of |dc| over the frame that its bilinear steps assume.
    struct TableBounds {
        double dcMax = 0.0;
        CxExp extended;
    };
    TableBounds tableBounds() const;
    struct Unbuilt {};
    DeepFrame(const FrameSpec& frame, Unbuilt);  // its view read, nothing built
    DeepFrame(const FrameSpec& frame, const BuildControl& control, bool anySize = false);
    DeepFrame(const FrameSpec& frame, const DeepFrame& deeper);
    // The radius and the centre in doubles, from the frame.
    void readView();
    // The precision the orbits start with, from the radius; the orbit of a
    // Julia set may take up to the power times as many.
    static mpfr_prec_t startingBits(const FrameSpec& frame);
    // Recounts take double-double (z^2, orbits with their rests, a radius
    // far above the doubles' underflow); from the exact pixel's delta.
    bool recountsInDoubleDouble() const;
    // The orbits, tables and offset at the precision bits_; the bits the
    // centre's orbit needs, when that is more, else 0.
    mpfr_prec_t buildAt(const BuildControl& control);
    // The bilinear steps and lanes of the orbits, for this frame's radius;
    // the lanes alone, from the steps.
    void buildTables();
    void buildLanes();
    struct Track;
    enum class Outcome { Done, OutOfRange, ForLane, NearFour };
    template <class D>
    Outcome iterate(Track& t, D& dz, const D& dc, DeepCounters& counters) const;
    template <class D, bool Derive>
    Outcome passes(Track& t, D& dz, const D& dc, DeepCounters& counters) const;
    CxExp pixelDelta(int col, int row) const;
    static Cx inDoubles(const CxExp& dc);
    // count(), or countToLane() where forLane is given.
    std::int32_t countFrom(int col, int row, DeepCounters& counters, EscapePoint* escape, LanePoint* forLane) const;
    // Iterates until done, in doubles first when `doubles`, and returns the
    // count (or kForLane, for a pixel from a lane, with its delta in d).
    std::int32_t finish(Track& t, CxExp dz, Cx& d, const CxExp& dc, bool doubles, DeepCounters& counters,
                        EscapePoint* escape) const;

    FrameSpec params_;
    int power_;
    bool stopped_ = false;  // the build was asked to stop: nothing to evaluate
    bool anySize_ = false;  // the orbits go on for frames of any size
    mpfr_prec_t bits_, mostBits_ = 0;
    CxExp radius_;  // R on the real axis
    CxExp offset_;  // the exact centre minus the orbit's start (or constant)
    Cx centre_;     // the centre's nearest doubles
    ReferenceOrbit orbit_, critical_;
    BlaTable table_, criticalTable_;
    LaneTables lanes_;  // only where hasLanes()
    mutable std::atomic<std::uint64_t> recounted_{0};
};
