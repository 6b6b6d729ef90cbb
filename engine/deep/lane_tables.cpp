#include "engine/deep/lane_tables.h"

#include <algorithm>
#include <bit>
#include <cmath>

// With |dz|^2 below both |Z|^2 / 4 and (2 - |Z|)^2, less 2^-16 of either,
// every norm that count() compares is off by far less than the margins:
// |z| >= |Z| - |dz| > |dz|, |Z| > 2 |dz| and |z| <= |Z| + |dz| < 2 (1 - 2^-30)
// hold for the rounded norms too.
double quietBound(Cx Z)
{
    const double a2 = norm(Z);
    if (!(a2 >= 0x1p-800))  // near 0 the squares would lose their precision
        return 0.0;
    const double b = 2.0 * (1.0 - 0x1p-30) - std::sqrt(a2);
    return b > 0.0 ? (1.0 - 0x1p-16) * std::min(0.25 * a2, b * b) : 0.0;
}

LaneTables laneTables(const ReferenceOrbit& orbit, double mostStepRadius)
{
    LaneTables t;
    t.nearBound = std::max(mostStepRadius, 0x1p-898);
    t.quietFloor = t.nearBound * (1.0 + 0x1p-20);
    const std::size_t size = orbit.size();
    t.twiceZ.resize(2 * size);
    for (std::size_t m = 0; m < size; ++m) {
        t.twiceZ[2 * m] = 2.0 * orbit.z[m].re;
        t.twiceZ[2 * m + 1] = 2.0 * orbit.z[m].im;
    }
    const auto lower = std::bit_cast<std::uint64_t>(t.quietFloor);
    t.pointSpans.assign(size, 0);
    for (std::size_t m = 0; m + 1 < size; ++m) {
        const auto upper = std::bit_cast<std::uint64_t>(quietBound(orbit.z[m]));
        t.pointSpans[m] = upper > lower ? upper - lower : 0;
    }
    t.windowSpans.assign(size, 0);
    const auto spans = t.pointSpans.begin();
    for (std::size_t m = 0; m + kQuietWindow < size; ++m)
        t.windowSpans[m] = *std::min_element(spans + static_cast<std::ptrdiff_t>(m + 1),
                                             spans + static_cast<std::ptrdiff_t>(m + 1 + kQuietWindow));
    return t;
}
