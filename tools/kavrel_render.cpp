// kavrel-render: one frame of the explorer, drawn without a window.
#include <QCoreApplication>
#include <QDir>
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
#include "tools/orbit_file.h"
#include "tools/picture_text.h"
#include "tools/poster_assembly.h"
#include "tools/poster_folder.h"
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
std::string writeOutputs(const RenderOptions& o, const tagRECT& area, const TextChunks& text, const PixelColour& colour,
                         const Drawn& drawn, Progress* progress)
{
    const int width = area.right - area.left, height = area.bottom - area.top;
    std::atomic<std::uint64_t> rows{0};
    const Progress::Pausing pausing{progress};  // before the count it shows goes
    auto stage = [&](const QString& name) {
        rows = 0;
        if (progress)
            progress->stage("writing " + oneLine(name).toStdString(), &rows, static_cast<std::uint64_t>(height));
    };
    const QString picturePath =
        o.poster.tiled() ? QDir(o.poster.folder).filePath(QString::fromStdString(tileFile(o.poster.tile))) : o.output;
    OutputFile png(QFile::encodeName(picturePath).toStdString()), pgm(QFile::encodeName(o.indices).toStdString()),
        npy(QFile::encodeName(o.counts).toStdString()), exr(QFile::encodeName(o.exr).toStdString());
    if (!picturePath.isEmpty()) {
        stage(picturePath);
        // Written row by row: memory stays at what was drawn and a few rows,
        // a supersampled picture drawn a band at a time as the rows go out.
        bool written = png.open(), stopped = false;
        if (written && !drawn.band && !followsFraction(o.colouring)) {
            const IndexedPicture picture{width, height, drawn.escapes->indices().data(), gColorList, kPaletteSize};
            const auto rowDone = [&] { rows.fetch_add(1, std::memory_order_relaxed); };
            written = writePng(png, picture, text, rowDone);
        } else if (written) {
            const RgbRows pixels = [&](int y, std::uint8_t* rgb) {
                const std::size_t first = static_cast<std::size_t>(y) * width;
                for (int x = 0; x < width; ++x, rgb += 3) {
                    if (drawn.band) {
                        const LightCanvas* band = drawn.band(area.top + y);
                        if (band)
                            band->pixel(area.left + x, area.top + y, rgb);
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
            written = writePng(png, width, height, pixels, text);
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
        if (!exr.open() || !writeExr(exr, raw, exrText(o.frame, text)))
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
    // The part of the frame drawn: a poster's tile, or all of it.
    const tagRECT area = o.poster.tiled()
                             ? tileRect(o.frame.width, o.frame.height, {o.poster.columns, o.poster.rows}, o.poster.tile)
                             : tagRECT{0, 0, o.frame.width, o.frame.height};
    const int width = area.right - area.left, height = area.bottom - area.top, k = o.supersample;
    const PictureLook look{o.colouring, o.density, QFile::encodeName(o.palette).toStdString(), o.supersample};
    TextChunks text = pictureText(o.frame, look);
    if (o.poster.tiled()) {
        const PosterPlan plan = posterPlan(o.frame, look, {o.poster.columns, o.poster.rows});
        const TextChunks tile = tileText(plan, o.poster.tile);
        text.insert(text.end(), tile.begin(), tile.end());
        bool complete = false;
        const FolderCheck check = preparePosterFolder(o.poster.folder, plan, o.poster.tile, &complete);
        if (check.status != 0) {
            std::fprintf(stderr, "kavrel-render: %s\n", check.message.c_str());
            return check.status;
        }
        if (complete) {
            // Tiles are only ever put in place whole: this one is done.
            if (o.stats)
                std::printf("skipped 1\n");
            return 0;
        }
    }
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
        drawn.escapes = std::make_unique<EscapeCanvas>(area, showProgress,
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
    const auto tally = [&](const FrameRender& r) {
        stats.grid.evaluations += r.grid.evaluations;
        stats.grid.iterations += r.grid.iterations;
        stats.grid.speculative += r.grid.speculative;
        stats.grid.approximated += r.grid.approximated;
        stats.recounted += r.recounted;
        stats.precisionBits = std::max(stats.precisionBits, r.precisionBits);
    };
    if (showProgress)
        progress = std::make_unique<Progress>();
    const auto showOrbit = [&](const FrameSpec& frame) {
        if (progress && frame.deep())
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
    // The frame made ready once, its orbit computed or read from --orbit;
    // a supersampled picture's larger frame is drawn against the same orbit.
    std::unique_ptr<PreparedFrame> prepared;
    if (!o.poster.orbit.isEmpty()) {
        std::string error;
        std::unique_ptr<const DeepFrame> deep = readOrbitFile(QFile::encodeName(o.poster.orbit).toStdString(),
                                                              o.frame, &error);
        if (!deep) {
            setRenderHost(nullptr);
            std::fprintf(stderr, "kavrel-render: --orbit %s: %s\n", qPrintable(oneLine(o.poster.orbit)),
                         error.c_str());
            return 2;
        }
        prepared = std::make_unique<PreparedFrame>(std::move(deep));
    } else {
        showOrbit(o.frame);
        prepared = std::make_unique<PreparedFrame>(o.frame, [&] { return halted.load(); }, &orbit);
        stats.referenceIterations = prepared->referenceIterations();
    }
    if (drawn.escapes && !prepared->stopped()) {
        if (showProgress)
            progress->stage("rendering", &drawn.escapes->plotted(), std::uint64_t(width) * height);
        tally(prepared->draw(*drawn.escapes, o.threads, detail));
    }
    FrameSpec largeSpec = o.frame;
    largeSpec.width *= k;
    largeSpec.height *= k;
    std::unique_ptr<PreparedFrame> large;
    if (sampled && !host.failed && !prepared->stopped()) {
        large = std::make_unique<PreparedFrame>(largeSpec, *prepared);
        drawn.band = [&](int y) -> const LightCanvas* {
            if (band && y >= band->top() && y < band->bottom())
                return band.get();
            if (large->stopped() || halted)
                return nullptr;
            if (progress)
                progress->pause();  // the band it counts goes
            band.reset();
            const int rows = std::min(area.bottom - y, bandRows(width));
            band = std::make_unique<LightCanvas>(tagRECT{area.left, y, area.right, y + rows}, k, colour, showProgress,
                                                 o.threads > 1);
            if (progress)
                progress->stage("rendering rows " + std::to_string(y - area.top + 1) + " to " +
                                    std::to_string(y - area.top + rows) + " of " + std::to_string(height),
                                &band->plotted(), std::uint64_t(width) * rows * k * k);
            start = std::chrono::steady_clock::now();
            tally(large->draw(*band, o.threads, detail));
            lap();
            return halted ? nullptr : band.get();
        };
    }
    lap();
    if (drawn.escapes && o.colouring != Colouring::Curve)
        drawn.escapes->recolour(colour);

    const std::string failure =
        host.failed ? std::string() : writeOutputs(o, area, text, colour, drawn, progress.get());
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
            std::printf("recounted %llu\n", static_cast<unsigned long long>(stats.recounted));
            std::printf("precision_bits %ld\n", stats.precisionBits);
        }
        std::printf("seconds %.6f\n", seconds);
    }
    return 0;
}

// --make-orbit: the deep frame's orbits and bilinear steps, into a file for
// its tiles. Ctrl-C stops the orbit and leaves no file.
int makeOrbit(const RenderOptions& o)
{
    std::atomic<bool> halted{false};
    ToolHost host([&] { halted = true; });
    setRenderHost(&host);
    OrbitCounter orbit;
    std::unique_ptr<Progress> progress;
    if (isatty(STDERR_FILENO) != 0) {
        progress = std::make_unique<Progress>();
        progress->stage("reference orbit", &orbit.points,
                        static_cast<std::uint64_t>(o.frame.maxIters) * (o.frame.julia() ? 2 : 1));
    }
    const auto start = std::chrono::steady_clock::now();
    BuildControl control{[&] { return halted.load(); }, &orbit.points};
    const std::unique_ptr<const DeepFrame> deep = DeepFrame::buildForAnySize(o.frame, control);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string error;
    const std::string path = QFile::encodeName(o.poster.makeOrbit).toStdString();
    const bool written = deep && !halted && writeOrbitFile(path, *deep, &error);
    progress.reset();
    setRenderHost(nullptr);
    if (!deep || halted)
        return 1;
    if (!written) {
        std::fprintf(stderr, "kavrel-render: cannot write %s: %s\n", qPrintable(oneLine(o.poster.makeOrbit)),
                     error.c_str());
        return 1;
    }
    if (o.stats) {
        std::printf("reference_iterations %llu\n", static_cast<unsigned long long>(deep->referenceIterations()));
        std::printf("precision_bits %ld\n", static_cast<long>(deep->precisionBits()));
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
        if (!o.poster.makeOrbit.isEmpty())
            return finishOutput(makeOrbit(o));
        if (!o.poster.assemble.isEmpty())
            return finishOutput(assemblePoster(o));
        return finishOutput(render(o));
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "kavrel-render: not enough memory for a %d x %d picture\n", o.frame.width, o.frame.height);
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "kavrel-render: cannot start a thread: %s\n", e.code().message().c_str());
    }
    return 1;
}
