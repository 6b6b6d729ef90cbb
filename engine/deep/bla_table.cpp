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
    return s;
}

} // namespace

BlaTable::BlaTable(const ReferenceOrbit& orbit, double dcMax, bool withConstant)
{
    if (orbit.size() < 3)
        return;
    last_ = orbit.size() - 1;
    // Single steps from m = 1 to last_ - 1: A = 2 Z_m, B = 1, valid while
    // |dz|^2 stays below epsilon |2 Z_m dz|.
    std::vector<BlaStep> single(last_ - 1);
    for (std::size_t m = 1; m < last_; ++m) {
        BlaStep& s = single[m - 1];
        s.A = 2.0 * orbit.z[m];
        s.B = withConstant ? Cx{1.0, 0.0} : Cx{};
        s.r = kEpsilon * magnitude(s.A);
        s.r2 = s.r * s.r;
    }
    std::vector<BlaStep> below = std::move(single);
    while (below.size() > 1) {
        std::vector<BlaStep> level((below.size() + 1) / 2);
        for (std::size_t i = 0; i < level.size(); ++i)
            level[i] = 2 * i + 1 < below.size() ? merge(below[2 * i], below[2 * i + 1], dcMax) : below[2 * i];
        levels_.push_back(level);
        below = std::move(level);
    }
    if (levels_.empty())
        last_ = 0;  // an orbit too short to skip anything
}

const BlaStep* BlaTable::lookupAt(std::size_t m, double dzMagnitude, bool squared, std::int64_t maxLen,
                                  std::int64_t* len) const
{
    // A step of level j starts where m - 1 is a multiple of 2^(j+1), and its
    // radius is at most that of the level below from the same point (its
    // first half): climb while the steps hold, keep the last that did.
    const std::size_t k = m - 1;
    const BlaStep* best = nullptr;
    // Shifts and masks, not % and /: a division costs more than the step.
    for (std::size_t j = 0; j < levels_.size(); ++j) {
        const std::size_t span = std::size_t{2} << j;
        if ((k & (span - 1)) != 0)
            break;
        const std::size_t steps = std::min(span, last_ - m);
        const BlaStep& s = levels_[j][k >> (j + 1)];
        if (static_cast<std::int64_t>(steps) > maxLen || !(dzMagnitude < (squared ? s.r2 : s.r)))
            break;
        best = &s;
        *len = static_cast<std::int64_t>(steps);
    }
    return best;
}
