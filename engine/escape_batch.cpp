#include "engine/escape_batch.h"

#include <array>
#include <atomic>

#include "engine/escape_kernels.h"
#include "engine/escape_result.h"

// The block renderer starts a run for every block: room for a few hundred
// points up front spares it most of the arrays' growing.
EscapeRun::EscapeRun()
{
    constexpr std::size_t kRoom = 256;
    zr_.reserve(kRoom);
    zi_.reserve(kRoom);
    cr_.reserve(kRoom);
    ci_.reserve(kRoom);
    maxIters_.reserve(kRoom);
    out_.reserve(kRoom);
}

EscapeSlots EscapeRun::slotArrays()
{
    return {zr_.data(),       zi_.data(),     cr_.data(), ci_.data(), maxIters_.data(),
            pixels_.data(),   out_.data(),    first_,     size(),     &cancels_, fractions_};
}

namespace {

template <class T>
void dropFront(std::vector<T>& v, std::size_t n)
{
    v.erase(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n));
}

} // namespace

void EscapeRun::forget(std::size_t end)
{
    // Dropped in bulk, once they are the greater part, so that each point is
    // moved at most about once.
    const std::size_t n = end - first_;
    if (end > first_ && n >= out_.size() / 2) {
        if (pixels_.empty()) {
            dropFront(zr_, n);
            dropFront(zi_, n);
            dropFront(cr_, n);
            dropFront(ci_, n);
        } else {
            dropFront(pixels_, n);
        }
        dropFront(maxIters_, n);
        dropFront(out_, n);
        first_ = end;
    }
}

namespace {

bool processorHas(EscapeIsa isa)
{
#if KAVREL_X86_KERNELS
    __builtin_cpu_init();
    switch (isa) {
    case EscapeIsa::Avx2: return __builtin_cpu_supports("avx2");
    case EscapeIsa::Avx512: return __builtin_cpu_supports("avx512f");
    default: return true;
    }
#else
    return isa == EscapeIsa::Scalar || isa == EscapeIsa::Baseline;
#endif
}

EscapeIsa bestIsa()
{
    for (EscapeIsa isa : {EscapeIsa::Avx512, EscapeIsa::Avx2, EscapeIsa::Baseline})
        if (processorHas(isa))
            return isa;
    return EscapeIsa::Scalar;
}

std::atomic<EscapeIsa>& currentIsa()
{
    static std::atomic<EscapeIsa> isa{bestIsa()};
    return isa;
}

} // namespace

const char* isaName(EscapeIsa isa)
{
    switch (isa) {
    case EscapeIsa::Scalar: return "scalar";
#if KAVREL_X86_KERNELS
    case EscapeIsa::Baseline: return "sse2";
#else
    case EscapeIsa::Baseline: return "generic";
#endif
    case EscapeIsa::Avx2: return "avx2";
    case EscapeIsa::Avx512: return "avx512";
    }
    return "?";
}

bool isaAvailable(EscapeIsa isa)
{
    static const bool has[] = {processorHas(EscapeIsa::Scalar), processorHas(EscapeIsa::Baseline),
                               processorHas(EscapeIsa::Avx2), processorHas(EscapeIsa::Avx512)};
    return has[static_cast<int>(isa)];
}

std::vector<EscapeIsa> batchedIsas()
{
    std::vector<EscapeIsa> isas;
    for (EscapeIsa isa : {EscapeIsa::Baseline, EscapeIsa::Avx2, EscapeIsa::Avx512})
        if (isaAvailable(isa))
            isas.push_back(isa);
    return isas;
}

EscapeIsa escapeIsa() { return currentIsa().load(std::memory_order_relaxed); }

bool setEscapeIsa(EscapeIsa isa)
{
    if (!isaAvailable(isa))
        return false;
    currentIsa().store(isa, std::memory_order_relaxed);
    return true;
}

EscapeKernel escapeKernel(EscapeIsa isa, int func)
{
    if (func < 1 || func > 4 || !isaAvailable(isa))
        return nullptr;
    switch (isa) {
    case EscapeIsa::Baseline: return baselineKernel(func);
#if KAVREL_X86_KERNELS
    case EscapeIsa::Avx2: return avx2Kernel(func);
    case EscapeIsa::Avx512: return avx512Kernel(func);
#endif
    default: return nullptr;
    }
}

EscapeKernel escapeKernel(int func) { return escapeKernel(escapeIsa(), func); }

const std::int16_t* colourCurve()
{
    // Built by the compiler: working it out took a tenth of a small frame's
    // start-up. A test holds it to colorIndex, run by the processor.
    static constexpr auto table = [] {
        std::array<std::int16_t, kCurveEnd> t{};
        for (std::int32_t k = 0; k < kCurveEnd; ++k)
            t[static_cast<std::size_t>(k)] = curveColour(k);
        return t;
    }();
    return table.data();
}

Escape integerEscape(std::int32_t k, std::int32_t maxIters) { return escapeAfter(k, maxIters, colourCurve()); }
