#pragma once

// How far a pixel's z, iterated in doubles, may have strayed from its true
// orbit. Each pass rounds, and carries what earlier passes rounded along
// with the orbit's own derivative: an error e at z is |f'(z)| e after the
// pass. Where the orbit wanders near the set for a long while (between the
// periods of a copy, in a spiral's arms), that growth is exponential: a
// few thousand passes lift the roundings of doubles to the whole of z, and
// counts go wrong by thousands. Counts whose estimate ends above
// kStrayBound are counted again in more precision.
//
// The roundings are summed as independent errors, by their squares, so
// that no pass takes a square root; the estimate is kept squared. Measured
// on the frames where doubles go wrong (spirals at 1e-24, a minibrot at
// 1e-26), no count with an estimate below 2^-4 was wrong, and a count's
// estimate is some 10 to 10^4 times what its z was off by.

namespace stray {

constexpr double kUnit2 = 0x1p-106;  // a double's relative rounding, squared
constexpr double kBound = 0x1p-7;
constexpr double kBound2 = kBound * kBound;

// What the constant term's rounding, |dc| u twice, adds each pass, given
// ndc = |dc|^2 (for lanes of pixels too, a vector of them).
template <class T>
inline T constantTerm(T ndc)
{
    return 4.0 * kUnit2 * ndc;
}

// After a perturbed pass from z = Z + dz, |z|^2 = nz, of z^power + c: the
// error carried with |f'(z)|^2 = power^2 |z|^(2 power - 2), and the pass's
// roundings (some 2 power of them, each about |f'(z)| |dz| u, and the
// constant term's).
inline double passed(int power, double s, double nz, double ndz, double ndc)
{
    double g = nz;
    for (int k = 2; k < power; ++k)
        g *= nz;
    g *= static_cast<double>(power * power);
    return g * (s + static_cast<double>(4 * power * power) * kUnit2 * ndz) + constantTerm(ndc);
}

// After a bilinear step dz -> A dz + B dc: what it carries, its roundings,
// and its own truncation, bounded by the same relative 2^-53.
inline double stepped(double s, double nA, double ndz, double nB, double ndc)
{
    return nA * (s + 16.0 * kUnit2 * ndz) + 16.0 * kUnit2 * nB * ndc;
}

// Starting over: dz becomes Z + dz, rounded.
inline double rebased(double s, double nz, double nZ) { return s + 4.0 * kUnit2 * (nz + nZ); }

// A double-double's relative rounding, squared, with a margin: its
// additions and products round to about 2^-104 (recounted pixels).
constexpr double kDdUnit2 = 0x1p-200;
// Below this a double-double's low half would lose bits to the underflow.
constexpr double kDdFloor = 0x1p-900;

// A NaN (an infinite estimate times a zero derivative) counts as strayed.
inline bool strayed(double s) { return !(s <= kBound2); }

} // namespace stray
