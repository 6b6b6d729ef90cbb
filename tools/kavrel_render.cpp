// kavrel-render: one frame of the explorer, drawn without a window.
#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>
#include <vector>

#include "engine/palette.h"
#include "engine/frame_params.h"
#include "engine/view.h"
#include "render/grid_pool.h"
#include "render/host.h"
#include "render/off_map.h"
#include "tools/counts_file.h"
#include "tools/deep_options.h"
#include "tools/deep_render.h"
#include "tools/picture_text.h"
#include "tools/render_options.h"

namespace {

// Keeps each pixel's palette index and escape count; counts pixels only
// when progress is shown.
class IndexCanvas final : public FrameCanvas {
public:
    IndexCanvas(int side, bool countPixels)
        : side_(side), countPixels_(countPixels), indices_(static_cast<std::size_t>(side) * side),
          counts_(indices_.size())
    {}
    void plotXY(int x, int y, int clrIdx) override
    {
        indices_[static_cast<std::size_t>(y) * side_ + x] = static_cast<std::uint16_t>(clrIdx);
        if (countPixels_)
            plotted_.fetch_add(1, std::memory_order_relaxed);
    }
    void plotEscape(int x, int y, const Escape& e) override
    {
        counts_[static_cast<std::size_t>(y) * side_ + x] = e.count;
        plotXY(x, y, e.colorIdx);
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
    std::uint64_t plotted() const { return plotted_; }
    void halt() { halted_ = true; }

private:
    int side_;
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

// The frame the options describe, on a square of o.size pixels.
FrameParams frameParamsOf(const RenderOptions& o)
{
    FrameParams f = planeFrame(o.FuncSwitch, o.xmin, o.xmax, o.ymin, o.ymax, o.size, o.size);
    f.func = {static_cast<std::int16_t>(o.whichFunc), o.realExpon, o.cplxExpon};
    f.juliaRe = o.cRe;
    f.juliaIm = o.cIm;
    return f;
}

QByteArray pgm(const std::vector<std::uint16_t>& indices, int side)
{
    QByteArray data = QStringLiteral("P5\n%1 %1\n499\n").arg(side).toLatin1();
    data.reserve(data.size() + static_cast<qsizetype>(indices.size()) * 2);
    for (std::uint16_t v : indices) {
        data.append(static_cast<char>(v >> 8));
        data.append(static_cast<char>(v & 0xFF));
    }
    return data;
}

QImage picture(const std::vector<std::uint16_t>& indices, int side)
{
    QImage image(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < side; ++x)
            line[x] = displayColor(gColorList[indices[static_cast<std::size_t>(y) * side + x]]);
    }
    return image;
}

// All files are written in full or not at all; the picture names the limit
// `iters` it was drawn with.
bool writeOutputs(const RenderOptions& o, int iters, const IndexCanvas& canvas)
{
    QSaveFile png(o.output), indices(o.indices), counts(o.counts);
    if (!o.output.isEmpty()) {
        QImageWriter writer(&png, "png");
        QImage image = picture(canvas.indices(), o.size);
        for (const auto& [key, text] : pictureText(frameOf(o, iters)))
            image.setText(QString::fromStdString(key), QString::fromStdString(text));
        if (!png.open(QIODevice::WriteOnly) || !writer.write(image)) {
            std::fprintf(stderr, "kavrel-render: cannot write %s: %s\n", qPrintable(o.output),
                         qPrintable(png.isOpen() ? writer.errorString() : png.errorString()));
            return false;
        }
    }
    if (!o.indices.isEmpty()) {
        if (!indices.open(QIODevice::WriteOnly) || indices.write(pgm(canvas.indices(), o.size)) < 0) {
            std::fprintf(stderr, "kavrel-render: cannot write %s: %s\n", qPrintable(o.indices),
                         qPrintable(indices.errorString()));
            return false;
        }
    }
    if (!o.counts.isEmpty()) {
        if (!counts.open(QIODevice::WriteOnly) || counts.write(npyCounts(canvas.counts(), o.size)) < 0) {
            std::fprintf(stderr, "kavrel-render: cannot write %s: %s\n", qPrintable(o.counts),
                         qPrintable(counts.errorString()));
            return false;
        }
    }
    for (QSaveFile* file : {&png, &indices, &counts}) {
        if (file->isOpen() && !file->commit()) {
            std::fprintf(stderr, "kavrel-render: cannot write %s: %s\n", qPrintable(file->fileName()),
                         qPrintable(file->errorString()));
            return false;
        }
    }
    return true;
}

// Shows how far a long render has come, on stderr when that is a terminal.
class Progress {
public:
    Progress(const IndexCanvas& canvas, std::uint64_t total) : canvas_(canvas), total_(total)
    {
        thread_ = std::thread([this] { run(); });
    }
    ~Progress()
    {
        done_ = true;
        thread_.join();
        std::fprintf(stderr, "\r%*s\r", 20, "");
    }

private:
    void run()
    {
        using namespace std::chrono_literals;
        while (!done_) {
            std::this_thread::sleep_for(100ms);
            std::fprintf(stderr, "\rrendering %3d%%", static_cast<int>(100 * canvas_.plotted() / total_));
        }
    }
    const IndexCanvas& canvas_;
    std::uint64_t total_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    RenderOptions o;
    QString message;
    switch (parseRenderOptions(QCoreApplication::arguments(), &o, &message)) {
    case ParseResult::Help:
        std::printf("%s", qPrintable(message));
        return 0;
    case ParseResult::Error:
        std::fprintf(stderr, "kavrel-render: %s\n", qPrintable(message));
        return 2;
    case ParseResult::Ok:
        break;
    }

    const bool showProgress = isatty(STDERR_FILENO) != 0;
    IndexCanvas canvas(o.size, showProgress);
    ToolHost host(canvas);
    setRenderHost(&host);
    loadColors();
    const FrameParams frame = frameParamsOf(o);
    const DeepParams deepParams = o.deep ? deepParamsOf(o) : DeepParams{};
    const std::atomic<std::int32_t> iters{o.deep ? deepParams.maxIters : o.iters != 0 ? o.iters : autoIters(frame.Xpxl)};

    const auto start = std::chrono::steady_clock::now();
    RenderStats stats;
    DeepRenderStats deepStats;
    {
        std::unique_ptr<Progress> progress;
        if (showProgress)
            progress = std::make_unique<Progress>(canvas, std::uint64_t(o.size) * o.size);
        if (o.deep)
            stats = (deepStats = renderDeep(DeepFrame(deepParams), canvas, o.threads)).grid;
        else
            stats = renderParallel({0, 0, o.size, o.size}, frame, iters, canvas, o.threads);
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    setRenderHost(nullptr);

    if (host.failed)
        return 1;
    if (o.colouring != Colouring::Curve)
        canvas.recolour(o.colouring, iters);
    if (!writeOutputs(o, iters, canvas))
        return 1;
    if (o.stats) {
        std::printf("pixels %lld\n", static_cast<long long>(o.size) * o.size);
        std::printf("evaluations %llu\n", static_cast<unsigned long long>(stats.evaluations));
        std::printf("iterations %llu\n", static_cast<unsigned long long>(stats.iterations));
        std::printf("speculative %llu\n", static_cast<unsigned long long>(stats.speculative));
        if (o.deep) {
            std::printf("reference_iterations %llu\n", static_cast<unsigned long long>(deepStats.referenceIterations));
            std::printf("approximated_iterations %llu\n", static_cast<unsigned long long>(deepStats.approximated));
            std::printf("precision_bits %ld\n", deepStats.precisionBits);
        }
        std::printf("seconds %.6f\n", seconds.count());
    }
    return 0;
}
