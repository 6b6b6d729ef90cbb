#include "engine/deep/bla_table.h"

#include <algorithm>
#include <cmath>

namespace {

// The relative error a step may add: that of rounding a double.
constexpr double kEpsilon = 0x1p-53;

double magnitude(Cx a) { return std::sqrt(norm(a)); }

// x first, then y.
BlaStep merge(const BlaStep& x, const BlaStep& y, double dcMax)
{
    BlaStep s;
    s.A = y.A * x.A;
    s.B = y.A * x.B + y.B;
    const double rest = (y.r - magnitude(x.B) * dcMax) / magnitude(x.A);
    s.r = std::min(x.r, std::max(0.0, rest));
    if (!std::isfinite(s.r))  // an orbit point of zero, or a product beyond doubles
        s.r = 0.0;
    s.r2 = s.r * s.r;
    s.len = x.len + y.len;
    return s;
}

} // namespace

BlaTable::BlaTable(const ReferenceOrbit& orbit, double dcMax, bool withConstant, const CxExp& frameDc,
                   std::int64_t leastForLanes)
{
    const std::size_t size = orbit.size();
    shortest2_.assign(size, 0.0);
    lanes2_.assign(size, 0.0);
    first_.assign(size + 1, 0);
    forLanes_.assign(size, 0);
    if (size < 3)
        return;
    // Steps reach at most the orbit's last point.
    const std::size_t last = size - 1;
    // Single steps from m = 1 to last - 1: A = 2 Z_m, B = 1, valid while
    // |dz|^2 stays below epsilon |2 Z_m dz|.
    const auto single = [&](std::size_t m) {
        BlaStep s;
        s.A = 2.0 * orbit.z[m];
        s.B = withConstant ? Cx{1.0, 0.0} : Cx{};
        s.r = kEpsilon * magnitude(s.A);
        s.r2 = s.r * s.r;
        s.len = 1;
        return s;
    };
    // Where the orbit comes so near 0 that a single step from there holds
    // for no more than dc itself (a copy's nucleus, once a period), no step
    // from before reaches beyond: the constant term alone outgrows its
    // radius. Nor, for the Mandelbrot set, is a step across a point of any
    // use to most pixels where its radius there falls below the deltas of
    // pixels an eighth of the frame away from the centre (dc carried along
    // by dZ/dc): a copy's nucleus near the centre, where most pixels start
    // over or pass with short steps (only the first such point of a stretch,
    // so that an orbit whose deltas outgrow every radius keeps its steps).
    // At these points the steps end, and the next ones start after them,
    // each run of them merged from its own start: a pixel that starts over
    // on the orbit's period then crosses all of it in one step.
    std::vector<std::uint8_t> ends(size, 0);
    {
        const double floor = withConstant ? dcMax : 0.0;
        // A single step's radius is 2 epsilon |Z_m|: |Z_m| against dZ/dc
        // times |dc| / 8 / (2 epsilon), the spread carried from point 1.
        const CxExp spread = CxExp::normalized(frameDc.re, 0.0, frameDc.e + 49);
        CxExp reach = spread;
        bool below = false;
        for (std::size_t m = 1; m < last; ++m) {
            const double r = kEpsilon * magnitude(2.0 * orbit.z[m]);
            bool end = !(r > floor);
            const CxExp& z = orbit.zx[m];
            if (withConstant && !end) {
                const bool now = smallerThan(z, reach);
                end = now && !below;
                below = now;
            }
            ends[m] = end ? 1 : 0;
            if (withConstant)
                reach = mulAdd({z.re, z.im, z.e + 1}, reach, spread);
        }
    }
    steps_.reserve(last);
    // levels[j] holds the steps of length 2^(j+1) (shorter at the end of a
    // run) from start + i * 2^(j+1); reused from run to run.
    std::vector<std::vector<BlaStep>> levels;
    for (std::size_t start = 1; start < last;) {
        std::size_t end = start + 1;
        while (end < last && ends[end] == 0)
            ++end;
        std::size_t count = end - start, depth = 0;
        if (count > 1) {
            levels.resize(std::max<std::size_t>(levels.size(), 1));
            std::vector<BlaStep>& level = levels[0];
            level.resize((count + 1) / 2);
            for (std::size_t i = 0; i < level.size(); ++i) {
                const std::size_t m = start + 2 * i;
                level[i] = m + 1 < end ? merge(single(m), single(m + 1), dcMax) : single(m);
            }
            count = level.size();
            depth = 1;
        }
        for (; count > 1; ++depth) {
            if (levels.size() == depth)
                levels.emplace_back();
            const BlaStep* below = levels[depth - 1].data();
            std::vector<BlaStep>& level = levels[depth];
            level.resize((count + 1) / 2);
            for (std::size_t i = 0; i < level.size(); ++i)
                level[i] = 2 * i + 1 < count ? merge(below[2 * i], below[2 * i + 1], dcMax) : below[2 * i];
            count = level.size();
        }
        // Each point's steps in a row, shortest first. A step's radius is
        // at most that of its first half, the shorter step from the same
        // point: past the first of radius zero none holds.
        const auto least = std::min(leastForLanes, static_cast<std::int64_t>(end - start));
        for (std::size_t k = 0; k + start < end; ++k) {
            const std::size_t m = start + k;
            std::int64_t longest = 1;
            std::uint32_t shorter = 0;  // of the steps from m, those too short for lanes
            for (std::size_t j = 0; j < depth && (k & ((std::size_t{2} << j) - 1)) == 0; ++j) {
                const BlaStep& s = levels[j][k >> (j + 1)];
                if (!(s.r > 0.0))
                    break;
                if (s.len <= longest)
                    continue;  // the same step as the level below, at the end of the run
                if (longest == 1)
                    shortest2_[m] = s.r2;
                if (s.len < least)
                    ++shorter;
                else if (first_[m + 1] == shorter)
                    lanes2_[m] = s.r2;
                steps_.push_back(s);
                ++first_[m + 1];
                longest = s.len;
            }
            forLanes_[m] = shorter;
        }
        start = end + 1;
    }
    for (std::size_t m = 0; m < size; ++m) {
        first_[m + 1] += first_[m];
        forLanes_[m] += first_[m];
    }
}

const BlaStep* BlaTable::lookupAt(std::size_t m, double dz, Delta kind, std::int64_t maxLen, std::int64_t* len) const
{
    // The radii fall as the steps from m grow: climb while they hold, keep
    // the last that did. A pixel that starts over once a period mostly
    // takes the longest, which is tried first.
    const std::uint32_t first = kind == Delta::Lanes ? forLanes_[m] : first_[m], end = first_[m + 1];
    const bool squared = kind != Delta::Extended;
    const BlaStep& longest = steps_[end - 1];
    if (longest.len <= maxLen && dz < (squared ? longest.r2 : longest.r)) {
        *len = longest.len;
        return &longest;
    }
    const BlaStep* best = nullptr;
    for (std::uint32_t i = first; i < end - 1; ++i) {
        const BlaStep& s = steps_[i];
        if (s.len > maxLen || !(dz < (squared ? s.r2 : s.r)))
            break;
        best = &s;
    }
    if (best != nullptr)
        *len = best->len;
    return best;
}
