// Any bytes as an orbit file (--orbit), with their checksum made right so
// that the reading goes past it. Either the bytes are refused with one line
// that says why, or the frame they make draws every pixel with a count
// within its limit, never reading outside what was read.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/deep/deep_frame.h"
#include "fuzz/check.h"

namespace {

FrameSpec frameOf(bool julia)
{
    FrameSpec f;
    f.FuncSwitch = julia ? kJulia : kMandelbrot;
    f.func = {1, 2.0, 0.0};
    if (julia)
        f.c = juliaOfDecimals("-0.75", "0.11");
    f.view = DeepView{julia ? "0.1" : "-0.75", julia ? "0.2" : "0.1", "1e-20"};
    f.width = 9;
    f.height = 7;
    f.maxIters = 200;
    return f;
}

std::uint64_t fnv(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 0x100000001b3ULL;
    return h;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> bytes(data, data + size);
    if (bytes.size() >= 8) {
        const std::uint64_t h = fnv(bytes.data(), bytes.size() - 8);
        std::memcpy(bytes.data() + bytes.size() - 8, &h, 8);
    }
    for (const bool julia : {false, true}) {
        const FrameSpec f = frameOf(julia);
        std::size_t at = 0;
        std::string error;
        const std::unique_ptr<const DeepFrame> frame = DeepFrame::load(
            f,
            [&](void* out, std::size_t n) {
                if (bytes.size() - at < n)
                    return false;
                std::memcpy(out, bytes.data() + at, n);
                at += n;
                return true;
            },
            &error);
        if (!frame) {
            FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos, "refused with '%s'", error.c_str());
            continue;
        }
        DeepCounters counters;
        for (int row = 0; row < f.height; ++row)
            for (int col = 0; col < f.width; ++col) {
                const std::int32_t n = frame->count(col, row, counters);
                FUZZ_CHECK(n >= 0 && n <= f.maxIters, "pixel %d,%d counts %d", col, row, n);
            }
    }
    return 0;
}
