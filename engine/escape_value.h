#pragma once

#include <cstdint>

// The continuous escape value of a point of an integer power p: past the
// escape, the orbit is followed until |z| > B = 2^(p^J), at z_m, and
//     nu = m - log_p(ln|z_m| / ln B),
// which varies continuously over the plane where the count steps. With B so
// chosen, nu - J + 1 lies within a little of count .. count + 1, and that
// less the count is the escape's fraction: count + fraction is continuous.
//
// Given z_m (m >= count, the point escaped at count), c and the count;
// 0 where the orbit leaves the doubles on the way (a point far outside).
// Called from the kernels, out of line: it is compiled once, for every
// instruction set.
float escapeFraction(int power, std::int32_t count, std::int32_t m, double zr, double zi, double cr, double ci);
