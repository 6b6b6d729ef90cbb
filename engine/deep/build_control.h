#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

// What the building of a deep frame answers to: a stop request, polled
// every few hundred orbit points, and a count of the points computed so far
// in MPFR, for a progress display. A frame of a Julia set computes two
// orbits, each at most the limit long.
struct BuildControl {
    std::function<bool()> stopRequested;           // empty: never
    std::atomic<std::uint64_t>* points = nullptr;  // may be null
};
