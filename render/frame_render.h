#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "engine/block_render.h"
#include "engine/frame_spec.h"

// What one render of a frame cost: the block scheme's evaluations and
// passes, and for a deep frame its reference orbit's length and precision,
// and the pixels counted again in more precision (DeepFrame::recount).
struct FrameRender {
    RenderStats grid;
    bool stopped = false;  // a stop came before the frame was drawn in full
    std::uint64_t referenceIterations = 0;
    long precisionBits = 0;
    std::uint64_t recounted = 0;
};

// A deep frame's reference orbits as they are computed: the points so far,
// and at most how many; `planned` is 0 while no orbit is being computed.
struct OrbitCounter {
    std::atomic<std::uint64_t> points{0}, planned{0};
};

// Where a render's limit comes from, and where it reports a deep frame's
// build: a plane view's limit may be live, the menus changing it while the
// frame renders (null: the frame's own maxIters); a deep frame's is fixed
// with its orbit.
// `drawing`, when set, is called once the pixels begin, after any orbit.
struct RenderLinks {
    const std::atomic<std::int32_t>* liveLimit = nullptr;
    OrbitCounter* orbit = nullptr;
    std::function<void()> drawing{};
    // What escapes carry beyond their count, for the colourings that follow
    // it: then every pixel is evaluated on its own (PixelEvaluator::detail).
    EscapeDetail detail = EscapeDetail::Count;
};

class DeepFrame;

// A frame made ready once and drawn as often as wanted, a part at a time
// (FrameCanvas::wanted): a deep frame's reference orbit is built once, by
// the constructor, which stops as soon as `halted` says so.
class PreparedFrame {
public:
    PreparedFrame(const FrameSpec& frame, const std::function<bool()>& halted, OrbitCounter* orbit);
    // A deep frame drawn against the orbits of a deeper one around the same
    // centre (DeepFrame::alongside): none is computed. Stopped where the
    // frames do not fit so.
    PreparedFrame(const FrameSpec& frame, const PreparedFrame& deeper);
    // A deep frame made elsewhere (read from a file): no orbit is computed.
    explicit PreparedFrame(std::unique_ptr<const DeepFrame> deep);
    ~PreparedFrame();
    PreparedFrame(const PreparedFrame&) = delete;
    PreparedFrame& operator=(const PreparedFrame&) = delete;

    // The build was asked to stop: nothing can be drawn.
    bool stopped() const { return stopped_; }
    // Points of the deep frame's reference orbits (0 for a plane view).
    std::uint64_t referenceIterations() const;
    // Draws the whole frame, of which the canvas keeps what it wants, on
    // `threads` threads; the orbit's precision goes with the stats, and its
    // length where this frame computed it.
    FrameRender draw(FrameCanvas& canvas, int threads, EscapeDetail detail,
                     const std::atomic<std::int32_t>* liveLimit = nullptr) const;

private:
    FrameSpec frame_;
    std::unique_ptr<const DeepFrame> deep_;
    bool stopped_ = false;
    bool computed_ = false;  // the orbit is this frame's own
};

// Draws StartRect of the frame on `threads` threads, choosing its evaluator
// by its view: the plane of doubles, or a deep frame built first, whose
// building stops as soon as the canvas asks the render to. The picture and
// the counts are the same on any number of threads.
FrameRender renderFrame(const FrameSpec& frame, tagRECT StartRect, FrameCanvas& canvas, int threads,
                        const RenderLinks& links = {});
