#pragma once

#include <cstdint>

#include "engine/escape_batch.h"
#include "engine/geometry.h"

// What an evaluation gives beyond the count: nothing, the escape's fraction
// (Escape::fraction), or that and the distance to the set (Escape::distance).
enum class EscapeDetail { Count, Fraction, Distance };

// What the block scheme asks of a frame: the escape of a pixel. Two kinds of
// frame answer it, the plane of doubles (PlaneEvaluator) and the deep frame
// (DeepEvaluator), each one pixel at a time or a run of pixels in batches,
// with the same counts either way. Every thread of a render calls it at once.
class PixelEvaluator {
public:
    virtual ~PixelEvaluator() = default;

    // The escape of pixel (col, row), as EscapeTime counts it, under the limit.
    virtual Escape evaluate(tagPOINT pixel, std::int32_t maxIters) const = 0;

    // Whether runs are evaluated in batches: when not, the block scheme
    // evaluates every pixel one at a time.
    virtual bool batched() const = 0;
    // Adds a pixel to a run, under the limit.
    virtual void addToRun(EscapeRun& run, tagPOINT pixel, std::int32_t maxIters) const = 0;
    // Evaluates the run's pixels as the feeder hands them over (escape_batch.h).
    virtual void evaluateRun(EscapeRun& run, EscapeFeeder& feeder) const = 0;

    // What escapes carry beyond the count, for the colourings that follow
    // it. With a fraction no block is painted: inside a block whose outline
    // agrees, every pixel still has a fraction of its own.
    virtual EscapeDetail detail() const { return EscapeDetail::Count; }
    bool fractions() const { return detail() != EscapeDetail::Count; }

protected:
    PixelEvaluator() = default;
    PixelEvaluator(const PixelEvaluator&) = default;
    PixelEvaluator& operator=(const PixelEvaluator&) = default;
};
