#include "tools/zoom_frames.h"

#include <QImage>
#include <QImageReader>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <thread>

#include "engine/colour_space.h"

namespace {

// 8-bit sRGB to linear light, and linear light (in steps of 1/65535) back.
const std::array<float, 256>& toLinear()
{
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int v = 0; v < 256; ++v)
            t[static_cast<std::size_t>(v)] = static_cast<float>(srgbToLinear(static_cast<std::uint8_t>(v)));
        return t;
    }();
    return table;
}

const std::vector<std::uint8_t>& toSrgb()
{
    static const std::vector<std::uint8_t> table = [] {
        std::vector<std::uint8_t> t(65536);
        for (std::size_t v = 0; v < t.size(); ++v)
            t[v] = linearToSrgb(static_cast<double>(v) / 65535.0);
        return t;
    }();
    return table;
}

std::uint8_t encode(float light)
{
    const float clamped = std::clamp(light, 0.0f, 1.0f);
    return toSrgb()[static_cast<std::size_t>(clamped * 65535.0f + 0.5f)];
}

// The pixels a frame pixel's square covers along one axis (centre c, half-
// width h at most 1, in pixels whose centres lie at whole coordinates),
// each weighted by the length it shares with the square; the edges repeat
// outwards.
struct Taps {
    int at[3] = {0, 0, 0};
    float weight[3] = {0.0f, 0.0f, 0.0f};
    int count = 0;
};

Taps taps(double c, double h, int size)
{
    Taps t;
    const double lo = c - h, hi = c + h;
    double total = 0.0;
    double w[3] = {0.0, 0.0, 0.0};
    for (int cell = static_cast<int>(std::floor(lo + 0.5)); cell <= static_cast<int>(std::floor(hi + 0.5)) && t.count < 3;
         ++cell) {
        const double shared = std::min(hi, cell + 0.5) - std::max(lo, cell - 0.5);
        if (!(shared > 0.0))
            continue;
        t.at[t.count] = std::clamp(cell, 0, size - 1);
        w[t.count++] = shared;
        total += shared;
    }
    for (int k = 0; k < t.count; ++k)
        t.weight[k] = static_cast<float>(w[k] / total);
    return t;
}

// The mean light of the pixels that both axes' taps cover.
void boxSample(const LinearImage& im, const Taps& x, const Taps& y, float* out)
{
    out[0] = out[1] = out[2] = 0.0f;
    for (int j = 0; j < y.count; ++j) {
        const float* row = &im.rgb[static_cast<std::size_t>(y.at[j]) * im.width * 3];
        for (int i = 0; i < x.count; ++i) {
            const float w = x.weight[i] * y.weight[j];
            const float* p = row + static_cast<std::size_t>(x.at[i]) * 3;
            out[0] += w * p[0];
            out[1] += w * p[1];
            out[2] += w * p[2];
        }
    }
}

// One axis of a frame: the taps of each of its pixels in the outer keyframe
// and in the inner one's half size, and how far inside the inner one it
// lies (in half-size pixels).
struct Axis {
    std::vector<Taps> outer, inner;
    std::vector<double> inside;
};

// Frame pixel p's point, in the outer keyframe's pixels: W + rho (2 p - W)
// across, H - rho (H - 2 p) down, both as `sign` (2 p - n) rho + n; in the
// inner one twice as far from the middle.
Axis axis(int n, double rho, double shift, double sign, int outerSize, int innerSize)
{
    Axis a;
    for (int p = 0; p < n; ++p) {
        const double d = sign * rho * (2.0 * (p + shift) - n);
        a.outer.push_back(taps(n + d - shift, rho, outerSize));
        // Half-size pixel c is the mean of full ones 2c and 2c + 1.
        const double h = (n + 2.0 * d - 0.5 - shift) / 2.0;
        a.inner.push_back(taps(h, rho, std::max(1, innerSize)));
        a.inside.push_back(std::min(h, innerSize - 1.0 - h));
    }
    return a;
}

} // namespace

LinearImage readKeyframe(const std::string& path, int width, int height, std::string* error)
{
    QImageReader reader(QString::fromStdString(path));
    QImage image = reader.read();
    if (image.isNull()) {
        *error = "cannot read " + path + ": " + reader.errorString().toStdString();
        return {};
    }
    if (image.width() != width || image.height() != height) {
        *error = path + " is " + std::to_string(image.width()) + "x" + std::to_string(image.height()) + ", not " +
                 std::to_string(width) + "x" + std::to_string(height);
        return {};
    }
    image = image.convertToFormat(QImage::Format_RGB888);
    LinearImage out{width, height, std::vector<float>(static_cast<std::size_t>(width) * height * 3)};
    const auto& lut = toLinear();
    for (int y = 0; y < height; ++y) {
        const uchar* row = image.constScanLine(y);
        float* to = &out.rgb[static_cast<std::size_t>(y) * width * 3];
        for (int i = 0; i < width * 3; ++i)
            to[i] = lut[row[i]];
    }
    return out;
}

LinearImage halfSize(const LinearImage& im)
{
    LinearImage out{im.width / 2, im.height / 2, {}};
    out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int k = 0; k < 3; ++k) {
                const auto at = [&](int dx, int dy) {
                    return im.rgb[((static_cast<std::size_t>(2 * y + dy)) * im.width + 2 * x + dx) * 3 + k];
                };
                out.rgb[(static_cast<std::size_t>(y) * out.width + x) * 3 + k] =
                    0.25f * ((at(0, 0) + at(1, 0)) + (at(0, 1) + at(1, 1)));
            }
    return out;
}

void composeFrame(const FrameGeometry& g, const LinearImage& outer, const LinearImage* innerHalf, std::uint8_t* rgb,
                  int threads)
{
    const double rho = g.rho;
    // A supersampled pixel stands for the mean of its samples, this far
    // past its corner sample (in its own pixels).
    const double shift = (g.supersample - 1) / (2.0 * g.supersample);
    const int innerW = innerHalf ? innerHalf->width : 0, innerH = innerHalf ? innerHalf->height : 0;
    const Axis across = axis(g.width, rho, shift, 1.0, outer.width, innerW);
    // Rows count down, the plane's y up: H - rho (H - 2 y).
    const Axis down = axis(g.height, rho, shift, 1.0, outer.height, innerH);
    const double blend = 2.0 * rho * kInsetBlend;
    const auto rows = [&](int first, int last) {
        float a[3] = {0.0f, 0.0f, 0.0f}, b[3] = {0.0f, 0.0f, 0.0f};
        for (int y = first; y < last; ++y) {
            std::uint8_t* out = rgb + static_cast<std::size_t>(y) * g.width * 3;
            for (int x = 0; x < g.width; ++x, out += 3) {
                const double w = innerHalf == nullptr
                                     ? 0.0
                                     : std::clamp(std::min(across.inside[x], down.inside[y]) / blend, 0.0, 1.0);
                if (w < 1.0)
                    boxSample(outer, across.outer[x], down.outer[y], a);
                if (w > 0.0) {
                    boxSample(*innerHalf, across.inner[x], down.inner[y], b);
                    for (int k = 0; k < 3; ++k)
                        a[k] = w < 1.0 ? static_cast<float>(a[k] + (b[k] - a[k]) * w) : b[k];
                }
                out[0] = encode(a[0]);
                out[1] = encode(a[1]);
                out[2] = encode(a[2]);
            }
        }
    };
    threads = std::clamp(threads, 1, g.height);
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t)
        pool.emplace_back(rows, g.height * t / threads, g.height * (t + 1) / threads);
    rows(0, g.height / threads);
    for (std::thread& t : pool)
        t.join();
}
