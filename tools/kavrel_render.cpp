// kavrel-render: one frame of the explorer, drawn without a window.
#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "engine/palette.h"
#include "render/frame_render.h"
#include "render/host.h"
#include "tools/counts_file.h"
#include "tools/output_files.h"
#include "tools/picture_text.h"
#include "tools/progress.h"
#include "tools/render_options.h"

namespace {

// Keeps each pixel's palette index, and its escape count when `keepCounts`
// (for --counts or a colouring other than the explorer's); counts pixels
// only when progress is shown.
class IndexCanvas final : public FrameCanvas {
public:
    IndexCanvas(int width, int height, bool countPixels, bool keepCounts)
        : width_(width), countPixels_(countPixels), indices_(static_cast<std::size_t>(width) * height),
          counts_(keepCounts ? indices_.size() : 0)
    {}
    void plotXY(int x, int y, int clrIdx) override
    {
        indices_[static_cast<std::size_t>(y) * width_ + x] = static_cast<std::uint16_t>(clrIdx);
        if (countPixels_)
            plotted_.fetch_add(1, std::memory_order_relaxed);
    }
    void plotEscape(int x, int y, const Escape& e) override
    {
        if (!counts_.empty())
            counts_[static_cast<std::size_t>(y) * width_ + x] = e.count;
        plotXY(x, y, e.colorIdx);
    }
    // Most of a frame is painted blocks: a row at a time, not a call a pixel.
    void paintRect(const tagRECT& b, const Escape& e) override
    {
        const int width = b.right - b.left;
        if (width <= 0 || b.bottom <= b.top)
            return;
        for (int y = b.top; y < b.bottom; ++y) {
            const std::size_t at = static_cast<std::size_t>(y) * width_ + b.left;
            std::fill_n(indices_.begin() + static_cast<std::ptrdiff_t>(at), width,
                        static_cast<std::uint16_t>(e.colorIdx));
            if (!counts_.empty())
                std::fill_n(counts_.begin() + static_cast<std::ptrdiff_t>(at), width, e.count);
        }
        if (countPixels_)
            plotted_.fetch_add(static_cast<std::uint64_t>(width) * (b.bottom - b.top), std::memory_order_relaxed);
    }
    bool userHalt() override { return halted_; }

    // The palette indices of another colouring, from the counts.
    void recolour(Colouring rule, std::int32_t maxIters)
    {
        for (std::size_t i = 0; i < counts_.size(); ++i)
            indices_[i] = static_cast<std::uint16_t>(paletteIndex(rule, counts_[i], maxIters));
    }

    const std::vector<std::uint16_t>& indices() const { return indices_; }
    const std::vector<std::int32_t>& counts() const { return counts_; }
    const std::atomic<std::uint64_t>& plotted() const { return plotted_; }
    void halt() { halted_ = true; }

private:
    int width_;  // pixels a row
    bool countPixels_;
    std::vector<std::uint16_t> indices_;
    std::vector<std::int32_t> counts_;
    std::atomic<std::uint64_t> plotted_{0};
    std::atomic<bool> halted_{false};
};

class ToolHost final : public RenderHost {
public:
    explicit ToolHost(IndexCanvas& canvas) : canvas_(canvas) {}
    void invalidateFrame(short) override {}
    void startTimer(int) override {}
    void killTimer(int) override {}
    void refreshCopyMenu() override {}
    void fatalAlert(const char* msg) override
    {
        std::fprintf(stderr, "kavrel-render: fatal error: %s\n", msg);
        failed = true;
        canvas_.halt();
    }
    std::atomic<bool> failed{false};

private:
    IndexCanvas& canvas_;
};

std::string cannotWrite(const OutputFile& file)
{
    return "cannot write " + oneLine(QFile::decodeName(file.path().c_str())).toStdString() + ": " + file.error();
}

// Every file is written in full before any is put in place. Returns what
// went wrong, if anything.
std::string writeOutputs(const RenderOptions& o, const IndexCanvas& canvas, Progress* progress)
{
    const auto& indices = canvas.indices();
    const int width = o.frame.width, height = o.frame.height;
    std::atomic<std::uint64_t> rows{0};
    auto stage = [&](const QString& name) {
        rows = 0;
        if (progress)
            progress->stage("writing " + oneLine(name).toStdString(), &rows, static_cast<std::uint64_t>(height));
    };
    OutputFile png(QFile::encodeName(o.output).toStdString()), pgm(QFile::encodeName(o.indices).toStdString()),
        npy(QFile::encodeName(o.counts).toStdString());
    if (!o.output.isEmpty()) {
        stage(o.output);
        // Written row by row: memory stays at the index map and a few rows.
        const IndexedPicture picture{width, height, indices.data(), gColorList, kPaletteSize};
        const auto rowDone = [&] { rows.fetch_add(1, std::memory_order_relaxed); };
        if (!png.open() || !writePng(png, picture, pictureText(o.frame, o.colouring), rowDone))
            return cannotWrite(png);
    }
    if (!o.indices.isEmpty()) {
        stage(o.indices);
        const GrayRows values = [&](int y, std::uint16_t* out) {
            std::copy_n(indices.data() + static_cast<std::size_t>(y) * width, width, out);
            rows.fetch_add(1, std::memory_order_relaxed);
        };
        if (!pgm.open() || !writePgm(pgm, width, height, kPaletteSize - 1, values))
            return cannotWrite(pgm);
    }
    if (!o.counts.isEmpty()) {
        stage(o.counts);
        const CountRows counts = [&](int y, std::uint32_t* out) {
            std::copy_n(canvas.counts().data() + static_cast<std::size_t>(y) * width, width, out);
            rows.fetch_add(1, std::memory_order_relaxed);
        };
        if (!npy.open() || !writeNpy(npy, width, height, counts))
            return cannotWrite(npy);
    }
    for (OutputFile* file : {&png, &pgm, &npy})
        if (!file->path().empty() && !file->finish())
            return cannotWrite(*file);
    for (OutputFile* file : {&png, &pgm, &npy})
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
    const int width = o.frame.width, height = o.frame.height;
    const bool showProgress = isatty(STDERR_FILENO) != 0;
    IndexCanvas canvas(width, height, showProgress, !o.counts.isEmpty() || o.colouring != Colouring::Curve);
    ToolHost host(canvas);
    setRenderHost(&host);
    loadColors();

    std::unique_ptr<Progress> progress;
    OrbitCounter orbit;
    RenderLinks links{nullptr, &orbit, {}};
    if (showProgress) {
        progress = std::make_unique<Progress>();
        links.drawing = [&] { progress->stage("rendering", &canvas.plotted(), std::uint64_t(width) * height); };
        if (o.frame.deep())
            progress->stage("reference orbit", &orbit.points,
                            static_cast<std::uint64_t>(o.frame.maxIters) * (o.frame.julia() ? 2 : 1));
    }
    const auto start = std::chrono::steady_clock::now();
    const FrameRender drawn = renderFrame(o.frame, {0, 0, width, height}, canvas, o.threads, links);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    setRenderHost(nullptr);
    if (o.colouring != Colouring::Curve)
        canvas.recolour(o.colouring, o.frame.maxIters);

    const std::string failure = host.failed ? std::string() : writeOutputs(o, canvas, progress.get());
    progress.reset();  // before any message, which would land on its line
    if (!failure.empty())
        std::fprintf(stderr, "kavrel-render: %s\n", failure.c_str());
    if (host.failed || !failure.empty())
        return 1;
    if (o.stats) {
        const RenderStats& stats = drawn.grid;
        std::printf("pixels %lld\n", static_cast<long long>(width) * height);
        std::printf("evaluations %llu\n", static_cast<unsigned long long>(stats.evaluations));
        std::printf("iterations %llu\n", static_cast<unsigned long long>(stats.iterations));
        std::printf("speculative %llu\n", static_cast<unsigned long long>(stats.speculative));
        if (o.frame.deep()) {
            std::printf("reference_iterations %llu\n", static_cast<unsigned long long>(drawn.referenceIterations));
            std::printf("approximated_iterations %llu\n", static_cast<unsigned long long>(stats.approximated));
            std::printf("precision_bits %ld\n", drawn.precisionBits);
        }
        std::printf("seconds %.6f\n", seconds.count());
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
        return finishOutput(render(o));
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "kavrel-render: not enough memory for a %d x %d picture\n", o.frame.width, o.frame.height);
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "kavrel-render: cannot start a thread: %s\n", e.code().message().c_str());
    }
    return 1;
}
