// kavrel-render: one frame of the explorer, drawn without a window.
#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "engine/palette.h"
#include "render/frame_render.h"
#include "render/host.h"
#include "tools/counts_file.h"
#include "tools/exr_file.h"
#include "tools/output_files.h"
#include "tools/picture_text.h"
#include "tools/render_command.h"
#include "tools/picture_canvas.h"
#include "tools/progress.h"
#include "tools/render_options.h"
#include "tools/tool_host.h"
#include "tools/zoom_video.h"

namespace {

std::string cannotWrite(const OutputFile& file)
{
    return "cannot write " + oneLine(QFile::decodeName(file.path().c_str())).toStdString() + ": " + file.error();
}

// The EXR's header: the picture's text and the view it shows, its centre
// and radius (half its height) as exact decimals, the power and the set.
TextChunks exrText(const FrameSpec& f, TextChunks text)
{
    std::string re, im, radius;
    if (f.deep()) {
        re = f.deepView().re;
        im = f.deepView().im;
        radius = f.deepView().radius;
    } else {
        const PlaneView& v = f.plane();
        re = exactDecimal(0.5 * v.Xmin + 0.5 * v.Xmax);
        im = exactDecimal(0.5 * v.Ymin + 0.5 * v.Ymax);
        radius = exactDecimal(0.5 * (v.Ymax - v.Ymin));
    }
    text.insert(text.end(), {{"Re", re}, {"Im", im}, {"Radius", radius},
                             {"Set", f.julia() ? "julia" : "mandelbrot"},
                             {"Power", integerPower(f.func) != 0 ? std::to_string(integerPower(f.func))
                                                                 : exactNumber(f.func.realExpon) + ',' +
                                                                       exactNumber(f.func.cplxExpon)}});
    if (f.julia())
        text.insert(text.end(), {{"JuliaRe", f.c.reText}, {"JuliaIm", f.c.imText}});
    return text;
}

// What a run drew: one evaluation a pixel (for --indices, --counts and a
// picture of one sample a pixel) and the supersampled light (for a picture
// of K x K), as the options need them.
struct Drawn {
    std::unique_ptr<EscapeCanvas> escapes;
    // The supersampled light of the band that holds row y, drawn when the
    // writing reaches it; null when the render stopped.
    std::function<const LightCanvas*(int y)> band;
};

// Every file is written in full before any is put in place. Returns what
// went wrong, if anything.
std::string writeOutputs(const RenderOptions& o, const PixelColour& colour, const Drawn& drawn, Progress* progress)
{
    const int width = o.frame.width, height = o.frame.height;
    std::atomic<std::uint64_t> rows{0};
    const Progress::Pausing pausing{progress};  // before the count it shows goes
    auto stage = [&](const QString& name) {
        rows = 0;
        if (progress)
            progress->stage("writing " + oneLine(name).toStdString(), &rows, static_cast<std::uint64_t>(height));
    };
    OutputFile png(QFile::encodeName(o.output).toStdString()), pgm(QFile::encodeName(o.indices).toStdString()),
        npy(QFile::encodeName(o.counts).toStdString()), exr(QFile::encodeName(o.exr).toStdString());
    const PictureLook look{o.colouring, o.density, QFile::encodeName(o.palette).toStdString(), o.supersample};
    if (!o.output.isEmpty()) {
        stage(o.output);
        // Written row by row: memory stays at what was drawn and a few rows,
        // a supersampled picture drawn a band at a time as the rows go out.
        bool written = png.open(), stopped = false;
        if (written && !drawn.band && !followsFraction(o.colouring)) {
            const IndexedPicture picture{width, height, drawn.escapes->indices().data(), gColorList, kPaletteSize};
            const auto rowDone = [&] { rows.fetch_add(1, std::memory_order_relaxed); };
            written = writePng(png, picture, pictureText(o.frame, look), rowDone);
        } else if (written) {
            const RgbRows pixels = [&](int y, std::uint8_t* rgb) {
                const std::size_t first = static_cast<std::size_t>(y) * width;
                for (int x = 0; x < width; ++x, rgb += 3) {
                    if (drawn.band) {
                        const LightCanvas* band = drawn.band(y);
                        if (band)
                            band->pixel(x, y, rgb);
                        else
                            stopped = true;
                        continue;
                    }
                    const LinearRgb light = colour.light(drawn.escapes->escape(first + x));
                    rgb[0] = linearToSrgb(light.r);
                    rgb[1] = linearToSrgb(light.g);
                    rgb[2] = linearToSrgb(light.b);
                }
                rows.fetch_add(1, std::memory_order_relaxed);
            };
            written = writePng(png, width, height, pixels, pictureText(o.frame, look));
            if (stopped)
                written = png.fail(std::string("the render stopped"));
        }
        if (!written)
            return cannotWrite(png);
    }
    if (!o.indices.isEmpty()) {
        stage(o.indices);
        const GrayRows values = [&](int y, std::uint16_t* out) {
            std::copy_n(drawn.escapes->indices().data() + static_cast<std::size_t>(y) * width, width, out);
            rows.fetch_add(1, std::memory_order_relaxed);
        };
        if (!pgm.open() || !writePgm(pgm, width, height, kPaletteSize - 1, values))
            return cannotWrite(pgm);
    }
    if (!o.counts.isEmpty()) {
        stage(o.counts);
        const CountRows counts = [&](int y, std::uint32_t* out) {
            std::copy_n(drawn.escapes->counts().data() + static_cast<std::size_t>(y) * width, width, out);
            rows.fetch_add(1, std::memory_order_relaxed);
        };
        if (!npy.open() || !writeNpy(npy, width, height, counts))
            return cannotWrite(npy);
    }
    if (!o.exr.isEmpty()) {
        stage(o.exr);
        const EscapeCanvas& escapes = *drawn.escapes;
        ExrRows raw{width, height, o.frame.maxIters, [&](int y, std::uint32_t* n, float* nf, float* de) {
                        const std::size_t first = static_cast<std::size_t>(y) * width;
                        for (int x = 0; x < width; ++x) {
                            const Escape e = escapes.escape(first + x);
                            const bool escaped = e.count < o.frame.maxIters;
                            n[x] = escaped ? static_cast<std::uint32_t>(e.count + kExrIterationsBias) : kExrNeverEscaped;
                            nf[x] = escaped ? std::clamp(e.fraction, 0.0f, 0x1.fffffep-1f) : 0.0f;
                            de[x] = escaped ? e.distance : 0.0f;
                        }
                        rows.fetch_add(1, std::memory_order_relaxed);
                    }};
        if (!exr.open() || !writeExr(exr, raw, exrText(o.frame, pictureText(o.frame, look))))
            return cannotWrite(exr);
    }
    for (OutputFile* file : {&png, &pgm, &npy, &exr})
        if (!file->path().empty() && !file->finish())
            return cannotWrite(*file);
    for (OutputFile* file : {&png, &pgm, &npy, &exr})
        if (!file->path().empty() && !file->commit())
            return cannotWrite(*file);
    return {};
}

// Whatever went to the standard output must have got there.
int finishOutput(int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "kavrel-render: cannot write the standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return status;
}

int render(const RenderOptions& o)
{
    const int width = o.frame.width, height = o.frame.height, k = o.supersample;
    const bool showProgress = isatty(STDERR_FILENO) != 0;
    loadColors();
    if (!o.paletteEntries.empty())
        std::copy(o.paletteEntries.begin(), o.paletteEntries.end(), gColorList);
    const PixelColour colour{o.colouring, o.frame.maxIters, o.density, gColorList};
    // The EXR holds every pixel's fraction and distance.
    const EscapeDetail detail = followsDistance(o.colouring) || !o.exr.isEmpty() ? EscapeDetail::Distance
                                : followsFraction(o.colouring)                   ? EscapeDetail::Fraction
                                                                                 : EscapeDetail::Count;

    // A supersampled picture comes from a frame K times the size, drawn a
    // band at a time; the indices and counts stay one evaluation a pixel, of
    // the frame itself.
    Drawn drawn;
    const bool sampled = k > 1 && !o.output.isEmpty();
    if (!o.indices.isEmpty() || !o.counts.isEmpty() || !o.exr.isEmpty() || !sampled)
        drawn.escapes = std::make_unique<EscapeCanvas>(width, height, showProgress,
                                                       !o.counts.isEmpty() || o.colouring != Colouring::Curve, detail);
    std::unique_ptr<LightCanvas> band;
    std::atomic<bool> halted{false};
    ToolHost host([&] {
        halted = true;
        if (drawn.escapes)
            drawn.escapes->halt();
        if (band)
            band->halt();
    });
    setRenderHost(&host);

    std::unique_ptr<Progress> progress;
    OrbitCounter orbit;
    FrameRender stats;
    // Every band draws the same orbit, built once: it counts once.
    const auto tally = [&](const FrameRender& r, bool newOrbit) {
        stats.grid.evaluations += r.grid.evaluations;
        stats.grid.iterations += r.grid.iterations;
        stats.grid.speculative += r.grid.speculative;
        stats.grid.approximated += r.grid.approximated;
        stats.referenceIterations += newOrbit ? r.referenceIterations : 0;
        stats.precisionBits = std::max(stats.precisionBits, r.precisionBits);
    };
    const auto showOrbit = [&](const FrameSpec& frame) {
        if (!showProgress)
            return;
        if (!progress)
            progress = std::make_unique<Progress>();
        if (frame.deep())
            progress->stage("reference orbit", &orbit.points,
                            static_cast<std::uint64_t>(frame.maxIters) * (frame.julia() ? 2 : 1));
    };
    auto start = std::chrono::steady_clock::now();
    double seconds = 0.0;
    const auto lap = [&] {
        const auto now = std::chrono::steady_clock::now();
        seconds += std::chrono::duration<double>(now - start).count();
        start = now;
    };
    if (drawn.escapes) {
        RenderLinks links{nullptr, &orbit, {}, detail};
        showOrbit(o.frame);
        if (showProgress)
            links.drawing = [&] {
                progress->stage("rendering", &drawn.escapes->plotted(), std::uint64_t(width) * height);
            };
        tally(renderFrame(o.frame, {0, 0, width, height}, *drawn.escapes, o.threads, links), true);
    }
    FrameSpec largeSpec = o.frame;
    largeSpec.width *= k;
    largeSpec.height *= k;
    std::unique_ptr<PreparedFrame> large;
    if (sampled && !host.failed) {
        showOrbit(largeSpec);
        large = std::make_unique<PreparedFrame>(largeSpec, [&] { return halted.load(); }, &orbit);
        drawn.band = [&](int y) -> const LightCanvas* {
            if (band && y >= band->top() && y < band->bottom())
                return band.get();
            if (large->stopped() || halted)
                return nullptr;
            if (progress)
                progress->pause();  // the band it counts goes
            band.reset();
            const int rows = std::min(height - y, bandRows(width));
            band = std::make_unique<LightCanvas>(width, y, rows, k, colour, showProgress, o.threads > 1);
            if (progress)
                progress->stage("rendering rows " + std::to_string(y + 1) + " to " + std::to_string(y + rows) +
                                    " of " + std::to_string(height),
                                &band->plotted(), std::uint64_t(width) * rows * k * k);
            start = std::chrono::steady_clock::now();
            tally(large->draw(*band, o.threads, detail), y == 0);
            lap();
            return halted ? nullptr : band.get();
        };
    }
    lap();
    if (drawn.escapes && o.colouring != Colouring::Curve)
        drawn.escapes->recolour(colour);

    const std::string failure = host.failed ? std::string() : writeOutputs(o, colour, drawn, progress.get());
    setRenderHost(nullptr);
    progress.reset();  // before any message, which would land on its line
    if (!failure.empty())
        std::fprintf(stderr, "kavrel-render: %s\n", failure.c_str());
    if (host.failed || !failure.empty())
        return 1;
    if (o.stats) {
        const RenderStats& grid = stats.grid;
        std::printf("pixels %lld\n", static_cast<long long>(width) * height);
        if (sampled)
            std::printf("samples %lld\n", static_cast<long long>(width) * height * k * k);
        std::printf("evaluations %llu\n", static_cast<unsigned long long>(grid.evaluations));
        std::printf("iterations %llu\n", static_cast<unsigned long long>(grid.iterations));
        std::printf("speculative %llu\n", static_cast<unsigned long long>(grid.speculative));
        if (o.frame.deep()) {
            std::printf("reference_iterations %llu\n", static_cast<unsigned long long>(stats.referenceIterations));
            std::printf("approximated_iterations %llu\n", static_cast<unsigned long long>(grid.approximated));
            std::printf("precision_bits %ld\n", stats.precisionBits);
        }
        std::printf("seconds %.6f\n", seconds);
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    RenderOptions o;
    QString message;
    switch (parseRenderOptions(QCoreApplication::arguments(), &o, &message)) {
    case ParseResult::Help:
        std::printf("%s", qPrintable(message));
        return finishOutput(0);
    case ParseResult::Error:
        std::fprintf(stderr, "kavrel-render: %s\n", qPrintable(message));
        return 2;
    case ParseResult::Ok:
        break;
    }
    try {
        if (o.video.mode != VideoOptions::Mode::None)
            return finishOutput(zoomVideo(o));
        return finishOutput(render(o));
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "kavrel-render: not enough memory for a %d x %d picture\n", o.frame.width, o.frame.height);
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "kavrel-render: cannot start a thread: %s\n", e.code().message().c_str());
    }
    return 1;
}
