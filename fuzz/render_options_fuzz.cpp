// Any command line for kavrel-render: the input is cut at zero bytes into
// arguments. Accepted options keep every bound the help text states, a view
// of finite extent with pixels of some size, and two different outputs; a
// rejection is one line that names an option or the argument at fault.
#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "engine/deep/decimal.h"
#include "fuzz/check.h"
#include "tools/render_options.h"

namespace {

const QStringList kOptions{"set",       "power",   "exponent",   "c",         "view",      "center",
                           "radius",    "size",    "iters",      "threads",   "colouring", "output",
                           "indices",   "counts",  "stats",      "help",      "zoom-video", "keyframes",
                           "zoom-from", "fps",     "seconds-per-doubling", "only-keyframes", "assemble",
                           "tiles",     "tile",    "orbit",      "make-orbit", "assemble-poster"};

QStringList argumentsOf(const std::uint8_t* data, std::size_t size)
{
    QStringList args{QStringLiteral("kavrel-render")};
    if (size == 0)
        return args;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QByteArray& piece : bytes.split('\0'))
        args << QString::fromUtf8(piece);
    return args;
}

bool breaksLine(QChar ch)
{
    return ch == u'\n' || ch == u'\r' || ch == u'\v' || ch == u'\f' || ch == QChar(0x85) ||
           ch == QChar(0x2028) || ch == QChar(0x2029);
}

// Whether the message names an argument: quoted as typed, its line breaks
// shown as escapes, or, for an option, by its long name ("--size=5" by
// "--size"). Past a lone "--" every argument is a plain one.
bool names(const QString& message, const QString& arg, bool isOption)
{
    if (message.contains(u'\'' + oneLine(arg) + u'\''))
        return true;
    const QString name = arg.section(u'=', 0, 0);
    return isOption && name.startsWith(QStringLiteral("--")) && name.size() > 2 && message.contains(oneLine(name));
}

bool namesTheFault(const QString& message, const QStringList& args)
{
    for (const QString& option : kOptions)
        if (message.contains(QStringLiteral("--") + option))
            return true;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (!optionsEnded && args[i] == u"--") {
            optionsEnded = true;
            continue;
        }
        if (names(message, args[i], !optionsEnded))
            return true;
    }
    return false;
}

bool within(double v, double low, double high) { return std::isfinite(v) && v >= low && v <= high; }

void checkAccepted(const RenderOptions& o)
{
    const PosterOptions& poster = o.poster;
    if (!poster.assemble.isEmpty()) {
        // The poster comes from its folder: only where it goes.
        const QString suffix = QFileInfo(o.output).suffix().toLower();
        FUZZ_CHECK(suffix == u"dzi" || suffix == u"tif" || suffix == u"tiff" || suffix == u"png", "a poster into '%s'",
                   qPrintable(o.output));
        return;
    }
    const FrameSpec& f = o.frame;
    FUZZ_CHECK((poster.orbit.isEmpty() && poster.makeOrbit.isEmpty()) || f.deep(), "an orbit of a plane view");
    if (poster.tiled()) {
        FUZZ_CHECK(poster.folder == o.output && !poster.folder.isEmpty(), "tiles into '%s'", qPrintable(poster.folder));
        FUZZ_CHECK(o.indices.isEmpty() && o.counts.isEmpty() && o.exr.isEmpty(), "a tile with other outputs");
        FUZZ_CHECK(poster.columns >= 1 && poster.columns <= f.width && poster.rows >= 1 && poster.rows <= f.height,
                   "%dx%d tiles of %dx%d", poster.columns, poster.rows, f.width, f.height);
        FUZZ_CHECK(poster.tile >= 0 && poster.tile < std::int64_t{poster.columns} * poster.rows, "tile %lld",
                   static_cast<long long>(poster.tile));
        FUZZ_CHECK((f.width + poster.columns - 1) / poster.columns <= 32767 &&
                       (f.height + poster.rows - 1) / poster.rows <= 32767,
                   "tiles of %dx%d", f.width / poster.columns, f.height / poster.rows);
    }
    const bool posterFrame = poster.tiled() || !poster.makeOrbit.isEmpty();
    const IterFunc& func = f.func;
    FUZZ_CHECK(f.FuncSwitch == 11 || f.FuncSwitch == 22, "frame %d", f.FuncSwitch);
    FUZZ_CHECK(func.which >= 1 && func.which <= 5, "function %d", func.which);
    if (func.which < 5) {
        const double powers[] = {2.0, 3.0, 5.0, 10.0};
        FUZZ_CHECK(func.realExpon == powers[func.which - 1] && func.cplxExpon == 0.0, "power %g%+gi for function %d",
                   func.realExpon, func.cplxExpon, func.which);
    }
    FUZZ_CHECK(within(func.realExpon, -99.99, 99.99) && within(func.cplxExpon, -99.99, 99.99), "exponent %g%+gi",
               func.realExpon, func.cplxExpon);
    FUZZ_CHECK(std::isfinite(f.c.re) && std::isfinite(f.c.im), "constant %g%+gi", f.c.re, f.c.im);
    const int largest = posterFrame ? 1 << 20 : 32767;
    FUZZ_CHECK(f.width >= 1 && f.width <= largest && f.height >= 1 && f.height <= largest, "size %dx%d", f.width,
               f.height);
    FUZZ_CHECK(o.supersample >= 1 && o.supersample <= 16, "supersample %d", o.supersample);
    FUZZ_CHECK(within(o.density, 0.01, 100.0), "density %g", o.density);
    FUZZ_CHECK(o.palette.isEmpty() == o.paletteEntries.empty(), "palette '%s' of %zu entries", qPrintable(o.palette),
               o.paletteEntries.size());
    if (!f.deep()) {
        const PlaneView& v = f.plane();
        FUZZ_CHECK(std::isfinite(v.Xmin) && std::isfinite(v.Xmax) && v.Xmin < v.Xmax, "x from %g to %g", v.Xmin, v.Xmax);
        FUZZ_CHECK(std::isfinite(v.Ymin) && std::isfinite(v.Ymax) && v.Ymin < v.Ymax, "y from %g to %g", v.Ymin, v.Ymax);
        for (const auto& [extent, pixels] : {std::pair{v.Xmax - v.Xmin, f.width}, {v.Ymax - v.Ymin, f.height}})
            FUZZ_CHECK(std::isfinite(extent) && extent / pixels > 0.0, "an extent of %g at %d pixels", extent, pixels);
    }
    FUZZ_CHECK(f.maxIters >= 1 && f.maxIters <= (f.deep() ? 10000000 : 99000), "iters %d", f.maxIters);
    FUZZ_CHECK(o.threads >= 1, "threads %d", o.threads);
    const VideoOptions& video = o.video;
    if (video.mode != VideoOptions::Mode::None) {
        // A zoom video writes its keyframes and video, nothing else.
        FUZZ_CHECK(o.output.isEmpty() && o.indices.isEmpty() && o.counts.isEmpty() && o.exr.isEmpty(),
                   "a picture with a video");
        FUZZ_CHECK(!video.keyframes.isEmpty(), "no keyframe folder");
        FUZZ_CHECK(video.mode == VideoOptions::Mode::Keyframes || video.mode == VideoOptions::Mode::Orbit ||
                       !video.video.isEmpty(),
                   "no video file");
        FUZZ_CHECK((video.mode == VideoOptions::Mode::Orbit) == !poster.makeOrbit.isEmpty(), "the zoom's orbit");
        if (video.mode != VideoOptions::Mode::Assemble) {
            FUZZ_CHECK(f.deep(), "a zoom video of a plane view");
            FUZZ_CHECK(f.width % 2 == 0 && f.height % 2 == 0 && f.width <= 4096 && f.height <= 4096,
                       "video size %dx%d", f.width, f.height);
            FUZZ_CHECK(video.fps >= 1 && video.fps <= 120, "fps %d", video.fps);
            FUZZ_CHECK(within(video.secondsPerDoubling, 0.05, 600.0), "%g s a doubling", video.secondsPerDoubling);
            FUZZ_CHECK(video.mode != VideoOptions::Mode::Keyframes || (video.first >= 0 && video.first <= video.last),
                       "keyframes %d-%d", video.first, video.last);
        }
        return;
    }
    FUZZ_CHECK(!o.output.isEmpty() || !o.indices.isEmpty() || !o.counts.isEmpty() || !o.exr.isEmpty() ||
                   !poster.makeOrbit.isEmpty(),
               "nothing to write");
    FUZZ_CHECK(poster.makeOrbit.isEmpty() || (o.output.isEmpty() && o.indices.isEmpty() && o.counts.isEmpty() &&
                                              o.exr.isEmpty() && !poster.tiled()),
               "an orbit file with pictures");
    for (const auto& [a, b] : {std::pair{o.output, o.indices}, {o.output, o.counts}, {o.indices, o.counts},
                               {o.output, o.exr}, {o.indices, o.exr}, {o.counts, o.exr}})
        FUZZ_CHECK(a.isEmpty() || a != b, "two outputs into '%s'", qPrintable(a));
    if (f.deep()) {
        const DeepView& v = f.deepView();
        for (const std::string& part : {v.re, v.im, v.radius, f.c.reText, f.c.imText})
            FUZZ_CHECK(isDecimal(part), "'%s' is not a decimal", part.c_str());
        const BigFloat r = readDecimal(v.radius);
        FUZZ_CHECK(mpfr_sgn(r.get()) > 0 && mpfr_number_p(r.get()), "radius %s", v.radius.c_str());
        FUZZ_CHECK(func.which <= 4, "the complex power deep");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QStringList args = argumentsOf(data, size);
    RenderOptions o;
    QString message;
    switch (parseRenderOptions(args, &o, &message)) {
    case ParseResult::Ok:
        checkAccepted(o);
        break;
    case ParseResult::Help:
        FUZZ_CHECK(message.contains(QStringLiteral("--size")), "help without the options");
        break;
    case ParseResult::Error:
        FUZZ_CHECK(!message.isEmpty(), "an empty error");
        FUZZ_CHECK(std::none_of(message.begin(), message.end(), breaksLine), "more than one line: %s",
                   qPrintable(message));
        FUZZ_CHECK(namesTheFault(message, args), "names no option: %s", qPrintable(message));
        break;
    }
    return 0;
}
