#include "render/frame_render.h"

#include "engine/deep/deep_evaluator.h"
#include "engine/plane_evaluator.h"
#include "render/grid_pool.h"

namespace {

std::unique_ptr<const DeepFrame> buildDeep(const FrameSpec& frame, FrameCanvas& canvas, OrbitCounter* counter)
{
    BuildControl control{[&canvas] { return canvas.userHalt(); }, nullptr};
    if (counter == nullptr)
        return DeepFrame::build(frame, control);
    control.points = &counter->points;
    counter->points = 0;
    counter->planned = static_cast<std::uint64_t>(frame.maxIters) * (frame.julia() ? 2 : 1);
    struct Done {
        OrbitCounter& c;
        ~Done() { c.planned = 0; }
    } done{*counter};
    return DeepFrame::build(frame, control);
}

} // namespace

FrameRender renderFrame(const FrameSpec& frame, tagRECT StartRect, FrameCanvas& canvas, int threads,
                        const RenderLinks& links)
{
    const std::atomic<std::int32_t> ownLimit{frame.maxIters};
    FrameRender out;
    if (!frame.deep()) {
        const PlaneEvaluator plane(frame, escapeIsa(), links.detail);
        if (links.drawing)
            links.drawing();
        out.grid = renderParallel(StartRect, plane, links.liveLimit ? *links.liveLimit : ownLimit, canvas, threads);
    } else {
        const std::unique_ptr<const DeepFrame> deep = buildDeep(frame, canvas, links.orbit);
        if (!deep) {
            out.stopped = true;
            return out;
        }
        out.referenceIterations = deep->referenceIterations();
        out.precisionBits = deep->precisionBits();
        if (links.drawing)
            links.drawing();
        out.grid = renderParallel(StartRect, DeepEvaluator(*deep, escapeIsa(), links.detail), ownLimit, canvas, threads);
    }
    out.stopped = canvas.userHalt();
    return out;
}
