#include "render/frame_render.h"

#include "engine/deep/deep_evaluator.h"
#include "engine/plane_evaluator.h"
#include "render/grid_pool.h"

namespace {

std::unique_ptr<const DeepFrame> buildDeep(const FrameSpec& frame, const std::function<bool()>& halted,
                                           OrbitCounter* counter)
{
    BuildControl control{halted, nullptr};
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

PreparedFrame::PreparedFrame(const FrameSpec& frame, const std::function<bool()>& halted, OrbitCounter* orbit)
    : frame_(frame)
{
    if (frame.deep()) {
        deep_ = buildDeep(frame, halted, orbit);
        stopped_ = deep_ == nullptr;
        computed_ = true;
    }
}

PreparedFrame::PreparedFrame(std::unique_ptr<const DeepFrame> deep)
    : frame_(deep ? deep->params() : FrameSpec{}), deep_(std::move(deep)), stopped_(deep_ == nullptr)
{}

PreparedFrame::PreparedFrame(const FrameSpec& frame, const PreparedFrame& deeper) : frame_(frame)
{
    if (!frame.deep() && !deeper.deep_)
        return;  // a plane view has no orbit to share
    if (deeper.deep_)
        deep_ = DeepFrame::alongside(frame, *deeper.deep_);
    stopped_ = deep_ == nullptr;
}

PreparedFrame::~PreparedFrame() = default;

std::uint64_t PreparedFrame::referenceIterations() const { return deep_ ? deep_->referenceIterations() : 0; }

FrameRender PreparedFrame::draw(FrameCanvas& canvas, int threads, EscapeDetail detail,
                                const std::atomic<std::int32_t>* liveLimit) const
{
    FrameRender out;
    if (stopped_) {
        out.stopped = true;
        return out;
    }
    const std::atomic<std::int32_t> ownLimit{frame_.maxIters};
    const tagRECT whole{0, 0, frame_.width, frame_.height};
    if (!deep_) {
        const PlaneEvaluator plane(frame_, escapeIsa(), detail);
        out.grid = renderParallel(whole, plane, liveLimit ? *liveLimit : ownLimit, canvas, threads);
    } else {
        out.referenceIterations = computed_ ? deep_->referenceIterations() : 0;
        out.precisionBits = deep_->precisionBits();
        const std::uint64_t recounted = deep_->recounted();  // draws of this frame at once add up
        out.grid = renderParallel(whole, DeepEvaluator(*deep_, escapeIsa(), detail), ownLimit, canvas, threads);
        out.recounted = deep_->recounted() - recounted;
    }
    out.stopped = canvas.userHalt();
    return out;
}

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
        const std::unique_ptr<const DeepFrame> deep = buildDeep(frame, [&canvas] { return canvas.userHalt(); }, links.orbit);
        if (!deep) {
            out.stopped = true;
            return out;
        }
        out.referenceIterations = deep->referenceIterations();
        out.precisionBits = deep->precisionBits();
        if (links.drawing)
            links.drawing();
        out.grid = renderParallel(StartRect, DeepEvaluator(*deep, escapeIsa(), links.detail), ownLimit, canvas, threads);
        out.recounted = deep->recounted();
    }
    out.stopped = canvas.userHalt();
    return out;
}
