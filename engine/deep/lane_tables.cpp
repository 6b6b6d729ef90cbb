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

LaneTables laneTables(const LaneOrbit& centre, const LaneOrbit* restart)
{
    LaneTables t;
    std::vector<Cx> z(centre.orbit.z);
    t.radii = centre.stepRadii;
    t.lastPoints[0] = t.lastPoints[1] = static_cast<std::int64_t>(z.size()) - 1;
    if (restart != nullptr) {
        t.restart = static_cast<std::int64_t>(z.size());
        z.insert(z.end(), restart->orbit.z.begin(), restart->orbit.z.end());
        t.radii.insert(t.radii.end(), restart->stepRadii.begin(), restart->stepRadii.end());
        t.lastPoints[1] = static_cast<std::int64_t>(z.size()) - 1;
    }
    const std::size_t size = z.size();
    t.nearBound = 0x1p-898;
    for (const double r : t.radii)
        t.nearBound = std::max(t.nearBound, r);
    t.twiceZ.resize(2 * size);
    for (std::size_t m = 0; m < size; ++m) {
        t.twiceZ[2 * m] = 2.0 * z[m].re;
        t.twiceZ[2 * m + 1] = 2.0 * z[m].im;
    }
    // Each point's range as its ends in bits; the orbits' ends have none,
    // and no window reaches across one.
    std::vector<std::uint64_t> low(size, 0), high(size, 0);
    for (std::size_t m = 0; m < size; ++m) {
        const auto point = static_cast<std::int64_t>(m);
        if (point == t.lastPoints[0] || point == t.lastPoints[1])
            continue;
        low[m] = std::bit_cast<std::uint64_t>(std::max(t.radii[m], 0x1p-898) * (1.0 + 0x1p-20));
        high[m] = std::bit_cast<std::uint64_t>(quietBound(z[m]));
    }
    const auto put = [](QuietRanges& r, std::size_t m, std::uint64_t from, std::uint64_t to) {
        r.low[m] = from;
        r.span[m] = to > from ? to - from : 0;
    };
    t.point = {std::vector<std::uint64_t>(size, 0), std::vector<std::uint64_t>(size, 0)};
    t.window = t.point;
    for (std::size_t m = 0; m < size; ++m)
        put(t.point, m, low[m], high[m]);
    for (std::size_t m = 0; m + kQuietWindow < size; ++m) {
        const auto first = static_cast<std::ptrdiff_t>(m + 1), last = first + kQuietWindow;
        put(t.window, m, *std::max_element(low.begin() + first, low.begin() + last),
            *std::min_element(high.begin() + first, high.begin() + last));
    }
    constexpr std::uint64_t kNever = ~std::uint64_t{0};
    t.pointFloor = low;
    t.pointFloor[static_cast<std::size_t>(t.lastPoints[0])] = kNever;
    t.pointFloor[static_cast<std::size_t>(t.lastPoints[1])] = kNever;
    t.windowFloor.assign(size, kNever);
    for (std::size_t m = 0; m + kQuietWindow < size; ++m) {
        const auto first = static_cast<std::ptrdiff_t>(m + 1);
        t.windowFloor[m] = *std::max_element(t.pointFloor.begin() + first, t.pointFloor.begin() + first + kQuietWindow);
    }
    return t;
}
