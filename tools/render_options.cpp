#include "tools/render_options.h"

#include <QCommandLineParser>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <thread>

#include "engine/deep/decimal.h"
#include "engine/deep/deep_frame.h"
#include "engine/palette.h"
#include "engine/view.h"
#include "tools/deep_options.h"
#include "tools/poster_tiles.h"
#include "tools/zoom_plan.h"

namespace {

struct Failure {
    QString text;
};

double number(const QString& option, const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        throw Failure{QStringLiteral("--%1: '%2' is not a finite number").arg(option, text)};
    return v;
}

QList<double> numbers(const QString& option, const QString& text, int count)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != count)
        throw Failure{QStringLiteral("--%1: expected %2 numbers separated by commas, got '%3'")
                          .arg(option).arg(count).arg(text)};
    QList<double> values;
    for (const QString& part : parts)
        values.append(number(option, part));
    return values;
}

int whole(const QString& option, const QString& text, int low, int high)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < low || v > high)
        throw Failure{QStringLiteral("--%1: '%2' is not a whole number from %3 to %4")
                          .arg(option, text).arg(low).arg(high)};
    return v;
}

// --size N (a square) or WxH, each side 1..32767; a poster's, cut into
// tiles, up to kLargestPosterSide.
void readSize(const QString& text, RenderOptions* o, int largest)
{
    const QStringList sides = text.split(u'x');
    if (sides.size() > 2)
        throw Failure{QStringLiteral("--size: expected N or WxH, got '%1'").arg(text)};
    o->frame.width = whole(QStringLiteral("size"), sides.first(), 1, largest);
    o->frame.height = whole(QStringLiteral("size"), sides.last(), 1, largest);
}

// --tiles CxR and --tile I: a tile of the frame, which no other output goes
// with; each tile at most kLargestTileSide a side.
void readTile(const QString& tiles, const QString& tile, RenderOptions* o)
{
    PosterOptions& p = o->poster;
    const QStringList parts = tiles.split(u'x');
    if (parts.size() != 2)
        throw Failure{QStringLiteral("--tiles: expected CxR, got '%1'").arg(tiles)};
    p.columns = whole(QStringLiteral("tiles"), parts[0], 1, o->frame.width);
    p.rows = whole(QStringLiteral("tiles"), parts[1], 1, o->frame.height);
    if (std::int64_t{p.columns} * p.rows > kMostTiles)
        throw Failure{QStringLiteral("--tiles: %1 tiles are more than %2").arg(std::int64_t{p.columns} * p.rows).arg(kMostTiles)};
    const int widest = (o->frame.width + p.columns - 1) / p.columns, tallest = (o->frame.height + p.rows - 1) / p.rows;
    if (widest > kLargestTileSide || tallest > kLargestTileSide)
        throw Failure{QStringLiteral("--tiles: tiles of %1x%2 are larger than %3 a side; take more of them")
                          .arg(widest).arg(tallest).arg(kLargestTileSide)};
    bool ok = false;
    p.tile = tile.trimmed().toLongLong(&ok);
    if (!ok || p.tile < 0 || p.tile >= std::int64_t{p.columns} * p.rows)
        throw Failure{QStringLiteral("--tile: '%1' is not a whole number from 0 to %2")
                          .arg(tile).arg(std::int64_t{p.columns} * p.rows - 1)};
}

void readExponent(const QString& text, RenderOptions* o)
{
    // The window keeps a typed part as a count of hundredths times 0.01, and
    // 9999 * 0.01 lies a little above 99.99: its copied command must still work.
    const double limit = 9999 * 0.01;
    const QList<double> parts = numbers(QStringLiteral("exponent"), text, 2);
    for (double part : parts)
        if (part < -limit || part > limit)
            throw Failure{QStringLiteral("--exponent: %1 is outside -99.99 to 99.99").arg(part)};
    o->frame.func = {5, parts[0], parts[1]};
}

void readPower(const QString& text, RenderOptions* o)
{
    const QStringList powers{QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("5"), QStringLiteral("10")};
    const auto i = powers.indexOf(text.trimmed());
    if (i < 0)
        throw Failure{QStringLiteral("--power: '%1' is not one of 2, 3, 5, 10").arg(text)};
    o->frame.func = {static_cast<std::int16_t>(i + 1), powers[i].toDouble(), 0.0};
}

void readView(const QString& text, RenderOptions* o)
{
    const QList<double> v = numbers(QStringLiteral("view"), text, 4);
    if (v[0] >= v[1] || v[2] >= v[3])
        throw Failure{QStringLiteral("--view: needs XMIN < XMAX and YMIN < YMAX, got '%1'").arg(text)};
    o->frame.view = PlaneView{v[0], v[1], v[2], v[3]};
}

// Finite bounds can still be too far apart for a double (a width of
// infinity), or too close for a pixel to have any size at all.
void checkViewSize(const QString& text, const RenderOptions& o)
{
    const PlaneView& v = o.frame.plane();
    for (const auto& [extent, pixels] : {std::pair{v.Xmax - v.Xmin, o.frame.width}, {v.Ymax - v.Ymin, o.frame.height}}) {
        const double pixel = extent / pixels;
        if (!std::isfinite(extent) || !(pixel > 0.0))
            throw Failure{QStringLiteral("--view: the width, height and pixel size must be finite and above zero, "
                                         "got '%1' at %2 x %3 pixels").arg(text).arg(o.frame.width).arg(o.frame.height)};
    }
}

// --iters auto: the explorer's rule for a plane view, the depth's for a
// deep one. A view wider than 1 / 0.7 pixels a unit gets 1, the least limit
// there is: the rule gives 0, which no picture's command line could name.
std::int32_t automaticLimit(const FrameSpec& f)
{
    if (f.deep())
        return deepAutoIters(f.deepView().radius);
    return std::max(1, autoIters(pixelSize(f.plane().Xmin, f.plane().Xmax, f.width)));
}

// --palette: the file's text, checked as the built-in palette's.
void readPaletteFile(const QString& name, RenderOptions* o)
{
    QFile file(name);
    if (name.isEmpty() || !file.open(QIODevice::ReadOnly))
        throw Failure{QStringLiteral("--palette: cannot read '%1': %2").arg(name, file.errorString())};
    // A palette is some 6 kB; a file far larger is not one.
    const QByteArray text = file.read(1 << 20);
    std::vector<std::uint32_t> entries(kPaletteSize);
    if (const std::string e = readPaletteText(std::string_view(text.constData(), static_cast<std::size_t>(text.size())),
                                              entries.data());
        !e.empty())
        throw Failure{QStringLiteral("--palette: '%1': %2").arg(name, QString::fromStdString(e))};
    o->palette = name;
    o->paletteEntries = std::move(entries);
}

double density(const QString& text)
{
    const double v = number(QStringLiteral("density"), text);
    if (!(v >= 0.01 && v <= 100.0))
        throw Failure{QStringLiteral("--density: '%1' is not from 0.01 to 100").arg(text)};
    return v;
}

QString outputFile(const QString& option, const QString& name)
{
    if (name.isEmpty())
        throw Failure{QStringLiteral("--%1: the file name is empty").arg(option)};
    return name;
}

// Two outputs into one file would leave only the later one there.
bool sameFile(const QString& a, const QString& b)
{
    const QFileInfo fa(a), fb(b);
    if (fa.absoluteFilePath() == fb.absoluteFilePath())
        return true;
    return fa.exists() && fb.exists() && fa.canonicalFilePath() == fb.canonicalFilePath();
}

// The first argument that holds an option the parser does not know, as
// typed. The parser itself lists bare names, which shows nothing at all for
// "--=x"; "-abc" is a group of the one-letter options a, b and c.
QString unknownArgument(const QStringList& arguments, const QStringList& unknown)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == u"--")
            continue;  // the end of the options, or a value
        if (arg.startsWith(QStringLiteral("--"))) {
            if (unknown.contains(arg.mid(2).section(u'=', 0, 0)))
                return arg;
        } else if (arg.startsWith(u'-')) {
            for (const QChar letter : arg.mid(1))
                if (unknown.contains(QString(letter)))
                    return arg;
        }
    }
    return QStringLiteral("--") + unknown.value(0);
}

// Which zoom-video command this is, if any.
bool readVideoMode(bool zoomVideo, bool keyframes, bool onlyKeyframes, bool assemble, bool makeOrbit,
                   RenderOptions* o)
{
    using Mode = VideoOptions::Mode;
    if (keyframes && makeOrbit && (zoomVideo || onlyKeyframes))
        throw Failure{QStringLiteral("--make-orbit with --keyframes makes the zoom's orbit alone: "
                                     "it goes with no --zoom-video or --only-keyframes")};
    if (keyframes && makeOrbit) {
        o->video.mode = Mode::Orbit;
        return true;
    }
    if (assemble && (!zoomVideo || !keyframes))
        throw Failure{QStringLiteral("--assemble needs --zoom-video and --keyframes")};
    if (onlyKeyframes && (zoomVideo || !keyframes))
        throw Failure{QStringLiteral("--only-keyframes needs --keyframes, and makes no --zoom-video")};
    if (keyframes && !zoomVideo && !onlyKeyframes)
        throw Failure{QStringLiteral("--keyframes goes with --zoom-video or --only-keyframes")};
    o->video.mode = assemble ? Mode::Assemble : zoomVideo ? Mode::Video : onlyKeyframes ? Mode::Keyframes : Mode::None;
    return o->video.mode != Mode::None;
}

// The zoom's rate, range and files. Keyframes lie beside the video unless
// named.
void readVideo(const QString& video, const QString& keyframes, const QString& zoomFrom, const QString& fps,
               const QString& seconds, const QString& only, RenderOptions* o)
{
    VideoOptions& v = o->video;
    if (!video.isNull())
        v.video = outputFile(QStringLiteral("zoom-video"), video);
    if (!keyframes.isNull())
        v.keyframes = outputFile(QStringLiteral("keyframes"), keyframes);
    else
        v.keyframes = QFileInfo(v.video).dir().filePath(QFileInfo(v.video).completeBaseName() +
                                                         QStringLiteral("-keyframes"));
    if (v.mode == VideoOptions::Mode::Assemble)
        return;
    if (!fps.isNull())
        v.fps = whole(QStringLiteral("fps"), fps, 1, 120);
    if (!seconds.isNull()) {
        v.secondsPerDoubling = number(QStringLiteral("seconds-per-doubling"), seconds);
        if (!(v.secondsPerDoubling >= 0.05 && v.secondsPerDoubling <= 600.0))
            throw Failure{QStringLiteral("--seconds-per-doubling: '%1' is not from 0.05 to 600").arg(seconds)};
    }
    if (!zoomFrom.isNull()) {
        const std::string r0 = zoomFrom.toStdString();
        if (!isDecimal(r0) || !(mpfr_sgn(readDecimal(r0).get()) > 0) || !mpfr_number_p(readDecimal(r0).get()))
            throw Failure{QStringLiteral("--zoom-from: '%1' is not a positive decimal").arg(zoomFrom)};
        if (radiusLog2(r0) > 20.0)
            throw Failure{QStringLiteral("--zoom-from: '%1' is wider than 1e6: the set is long out of sight").arg(zoomFrom)};
        v.zoomFrom = zoomFrom;
    }
    const double halvings = radiusLog2(v.zoomFrom.toStdString()) - radiusLog2(o->frame.deepView().radius);
    if (!(halvings > 0.0))
        throw Failure{QStringLiteral("--radius: %1 is not below --zoom-from %2: a zoom video zooms in")
                          .arg(QString::fromStdString(o->frame.deepView().radius), v.zoomFrom)};
    if (halvings * v.secondsPerDoubling * v.fps > 10'000'000.0)
        throw Failure{QStringLiteral("--zoom-video: %1 frames are more than 10,000,000")
                          .arg(std::ceil(halvings * v.secondsPerDoubling * v.fps), 0, 'f', 0)};
    if (!only.isNull()) {
        const QStringList ends = only.split(u'-');
        bool okA = false, okB = false;
        if (ends.size() == 2) {
            v.first = ends[0].toInt(&okA);
            v.last = ends[1].toInt(&okB);
        }
        ZoomPlan plan;
        plan.frame = o->frame;
        plan.zoomFrom = v.zoomFrom.toStdString();
        const int count = keyframeCount(plan);
        if (!okA || !okB || v.first < 0 || v.first > v.last || v.last >= count)
            throw Failure{QStringLiteral("--only-keyframes: '%1' is not A-B with 0 <= A <= B <= %2, the last keyframe")
                              .arg(only).arg(count - 1)};
    }
}

} // namespace

QString oneLine(const QString& text)
{
    QString out;
    for (const QChar ch : text) {
        switch (ch.unicode()) {
        case u'\n': out += QStringLiteral("\\n"); break;
        case u'\r': out += QStringLiteral("\\r"); break;
        case u'\v': out += QStringLiteral("\\v"); break;
        case u'\f': out += QStringLiteral("\\f"); break;
        case 0x85:
        case 0x2028:
        case 0x2029: out += QStringLiteral("\\u%1").arg(ch.unicode(), 4, 16, QChar(u'0')); break;
        default: out += ch;
        }
    }
    return out;
}

ParseResult parseRenderOptions(const QStringList& arguments, RenderOptions* o, QString* message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Renders one frame of the Kavrel explorer without a window: the same "
        "engine, block renderer and palette."));
    const QCommandLineOption set(QStringLiteral("set"), QStringLiteral("mandelbrot (default) or julia."), QStringLiteral("SET"));
    const QCommandLineOption power(QStringLiteral("power"), QStringLiteral("2 (default), 3, 5 or 10."), QStringLiteral("N"));
    const QCommandLineOption exponent(QStringLiteral("exponent"), QStringLiteral("A complex power z^(RE+IM i), each part -99.99..99.99."), QStringLiteral("RE,IM"));
    const QCommandLineOption c(QStringLiteral("c"), QStringLiteral("Julia constant (default 0,0.63)."), QStringLiteral("RE,IM"));
    const QCommandLineOption view(QStringLiteral("view"), QStringLiteral("Plane rectangle (default -2,2,-2,2)."), QStringLiteral("XMIN,XMAX,YMIN,YMAX"));
    const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("A square of N pixels a side, or W x H pixels; each side 1..32767 (default 600)."), QStringLiteral("N|WxH"));
    const QCommandLineOption center(QStringLiteral("center"), QStringLiteral("Deep frame: its centre, two decimals of any length, read exactly."), QStringLiteral("RE,IM"));
    const QCommandLineOption radius(QStringLiteral("radius"), QStringLiteral("Deep frame: half its height, a positive decimal such as 2.5e-1000; pixels are square."), QStringLiteral("R"));
    const QCommandLineOption iters(QStringLiteral("iters"), QStringLiteral("Iteration limit 1..99000 (1..10000000 with --center), or auto (default). %1").arg(autoItersHelp()), QStringLiteral("N|auto"));
    const QCommandLineOption colouring(QStringLiteral("colouring"), QStringLiteral("curve (the explorer's colours; default with --view), cycle (the palette up and down with the count), extended (the explorer's curve, continued past its last colour: the window's deep frames) smooth (the continuous escape value through a logarithm, the palette's entries blended; default with --center) or distance (smooth, darkened within a few pixels of the set by the estimated distance)."), QStringLiteral("RULE"));
    const QCommandLineOption densityOption(QStringLiteral("density"), QStringLiteral("How fast the smooth and distance colourings walk the palette, 0.01..100 (default 1): 2 makes their bands twice as narrow."), QStringLiteral("D"));
    const QCommandLineOption palette(QStringLiteral("palette"), QStringLiteral("A palette file in place of the built-in one: 500 lines of red green blue, each 0..255."), QStringLiteral("FILE"));
    const QCommandLineOption supersample(QStringLiteral("supersample"), QStringLiteral("Each pixel of the picture the mean of K x K samples, in linear light, 1..16 (default 1); --indices and --counts keep one value a pixel."), QStringLiteral("K"));
    const QCommandLineOption counts(QStringLiteral("counts"), QStringLiteral("NumPy .npy of every pixel's escape count, <u4, rows from the top."), QStringLiteral("FILE.npy"));
    const QCommandLineOption exr(QStringLiteral("exr"), QStringLiteral("OpenEXR of every pixel's raw data: N (uint32, the count plus 1; 0xFFFFFFFF never escaped), NF (float, its fraction) and DE (float, the distance to the set in pixels), with the view in the header."), QStringLiteral("FILE.exr"));
    const QCommandLineOption threads(QStringLiteral("threads"), QStringLiteral("Render threads (default: the number of cores)."), QStringLiteral("N"));
    const QCommandLineOption output(QStringLiteral("output"), QStringLiteral("PNG in the palette's colours (default kavrel.png)."), QStringLiteral("FILE.png"));
    const QCommandLineOption indices(QStringLiteral("indices"), QStringLiteral("16-bit binary PGM of palette indices, maxval 499."), QStringLiteral("FILE.pgm"));
    const QCommandLineOption stats(QStringLiteral("stats"), QStringLiteral("Print pixels, evaluations, iterations, speculative evaluations and seconds; deep frames add reference_iterations, approximated_iterations, recounted and precision_bits; --supersample adds samples. With a zoom video: the keyframes rendered and their points, the frames and the points of rendering each on its own, the orbit's points and seconds, and the seconds spent on keyframes, resampling and waiting for the encoder."));
    const QCommandLineOption zoomVideo(QStringLiteral("zoom-video"), QStringLiteral("A zoom video, H.264 in MP4, from radius --zoom-from into --center down to --radius, rendered from keyframes (one for each halving of the radius) and encoded by ffmpeg; with --assemble, made from the complete keyframe folder alone."), QStringLiteral("FILE.mp4"));
    const QCommandLineOption keyframes(QStringLiteral("keyframes"), QStringLiteral("The folder of a zoom video's keyframes (default: FILE-keyframes beside the video); keyframes already there are not rendered again."), QStringLiteral("DIR"));
    const QCommandLineOption zoomFrom(QStringLiteral("zoom-from"), QStringLiteral("The radius a zoom video starts from, a decimal above --radius (default 2)."), QStringLiteral("R0"));
    const QCommandLineOption fps(QStringLiteral("fps"), QStringLiteral("A zoom video's frames a second, 1..120 (default 30)."), QStringLiteral("N"));
    const QCommandLineOption secondsPerDoubling(QStringLiteral("seconds-per-doubling"), QStringLiteral("A zoom video's seconds for each halving of the radius, 0.05..600 (default 1)."), QStringLiteral("S"));
    const QCommandLineOption onlyKeyframes(QStringLiteral("only-keyframes"), QStringLiteral("Render keyframes A to B of the zoom (0 is at --zoom-from) into --keyframes, and no video."), QStringLiteral("A-B"));
    const QCommandLineOption assemble(QStringLiteral("assemble"), QStringLiteral("Make the --zoom-video from the complete --keyframes folder, with the location and look it was made for."));
    const QCommandLineOption tiles(QStringLiteral("tiles"), QStringLiteral("Cut the frame into C x R tiles (row by row from the top left; --size up to 1048576 a side, each tile up to 32767) and draw the one that --tile names into the folder --output, as the whole frame would draw it; a complete tile already there is kept."), QStringLiteral("CxR"));
    const QCommandLineOption tile(QStringLiteral("tile"), QStringLiteral("The tile to draw, 0 .. C*R - 1."), QStringLiteral("I"));
    const QCommandLineOption orbit(QStringLiteral("orbit"), QStringLiteral("Draw a deep frame against the reference orbit that --make-orbit wrote for it, instead of computing it."), QStringLiteral("FILE"));
    const QCommandLineOption makeOrbit(QStringLiteral("make-orbit"), QStringLiteral("Compute the deep frame's reference orbit and bilinear steps once, into FILE, for its tiles' --orbit; draws nothing."), QStringLiteral("FILE"));
    const QCommandLineOption assemblePoster(QStringLiteral("assemble-poster"), QStringLiteral("Join the complete folder of a poster's tiles into --output: a Deep Zoom pyramid (.dzi, with poster.html to view it), a pyramidal BigTIFF (.tif) or a PNG (.png)."), QStringLiteral("DIR"));
    const QCommandLineOption help(QStringLiteral("help"), QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version."));
    parser.addOptions({set, power, exponent, c, view, center, radius, size, iters, threads, colouring, densityOption,
                       palette, supersample, output, indices, counts, exr, stats, zoomVideo, keyframes, zoomFrom, fps,
                       secondsPerDoubling, onlyKeyframes, assemble, tiles, tile, orbit, makeOrbit, assemblePoster,
                       help, version});

    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        *message = oneLine(unknown.isEmpty() ? parser.errorText()
                                             : QStringLiteral("unknown option '%1'").arg(unknownArgument(arguments, unknown)));
        return ParseResult::Error;
    }
    if (parser.isSet(help)) {
        *message = parser.helpText();
        return ParseResult::Help;
    }
    if (parser.isSet(version)) {
        *message = QStringLiteral("kavrel-render " KAVREL_VERSION "\n");
        return ParseResult::Help;
    }
    *o = RenderOptions{};
    o->frame.c = juliaOfDoubles(0.0, 0.63);
    o->threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    try {
        if (!parser.positionalArguments().isEmpty())
            throw Failure{QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first())};
        if (parser.isSet(assemblePoster)) {
            // Everything else comes from the folder's manifest.
            for (const QString& name : parser.optionNames())
                if (name != u"assemble-poster" && name != u"output" && name != u"stats")
                    throw Failure{QStringLiteral("--assemble-poster takes the poster from its folder: "
                                                 "--%1 cannot go with it").arg(name)};
            o->poster.assemble = outputFile(QStringLiteral("assemble-poster"), parser.value(assemblePoster));
            if (!parser.isSet(output))
                throw Failure{QStringLiteral("--assemble-poster needs --output poster.dzi, poster.tif or poster.png")};
            o->output = outputFile(QStringLiteral("output"), parser.value(output));
            const QString suffix = QFileInfo(o->output).suffix().toLower();
            if (suffix != u"dzi" && suffix != u"tif" && suffix != u"tiff" && suffix != u"png")
                throw Failure{QStringLiteral("--output: '%1' is not a .dzi, .tif or .png").arg(o->output)};
            o->stats = parser.isSet(stats);
            return ParseResult::Ok;
        }
        if (parser.isSet(set)) {
            const QString s = parser.value(set);
            if (s == u"mandelbrot")
                o->frame.FuncSwitch = kMandelbrot;
            else if (s == u"julia")
                o->frame.FuncSwitch = kJulia;
            else
                throw Failure{QStringLiteral("--set: '%1' is not mandelbrot or julia").arg(s)};
        }
        if (parser.isSet(power) && parser.isSet(exponent))
            throw Failure{QStringLiteral("--power and --exponent exclude each other")};
        if (parser.isSet(power))
            readPower(parser.value(power), o);
        if (parser.isSet(exponent))
            readExponent(parser.value(exponent), o);
        if (parser.isSet(c)) {
            const QList<double> v = numbers(QStringLiteral("c"), parser.value(c), 2);
            o->frame.c = juliaOfDoubles(v[0], v[1]);
        }
        if (parser.isSet(view))
            readView(parser.value(view), o);
        const auto valueOf = [&](const QCommandLineOption& option) {
            return parser.isSet(option) ? parser.value(option) : QString();
        };
        if (const QString e = readDeepFrame(parser.isSet(view), parser.isSet(exponent), valueOf(center), valueOf(radius),
                                            valueOf(c), o);
            !e.isEmpty())
            throw Failure{e};
        const bool video = readVideoMode(parser.isSet(zoomVideo), parser.isSet(keyframes), parser.isSet(onlyKeyframes),
                                         parser.isSet(assemble), parser.isSet(makeOrbit), o);
        if (o->video.mode == VideoOptions::Mode::Assemble) {
            // Everything else comes from the folder's manifest.
            for (const QCommandLineOption* other :
                 {&set, &power, &exponent, &c, &view, &center, &radius, &size, &iters, &colouring, &densityOption,
                  &palette, &supersample, &zoomFrom, &fps, &secondsPerDoubling})
                if (parser.isSet(*other))
                    throw Failure{QStringLiteral("--assemble takes the video's frame from the keyframe folder: "
                                                 "--%1 cannot go with it").arg(other->names().first())};
        } else if (video && !o->frame.deep()) {
            throw Failure{parser.isSet(exponent)
                              ? QStringLiteral("--zoom-video: the complex power has no deep frames; use --power")
                              : QStringLiteral("--zoom-video and --keyframes need --center and --radius")};
        }
        const bool poster = parser.isSet(tiles) || parser.isSet(tile) || (parser.isSet(makeOrbit) && !video);
        if (parser.isSet(size))
            readSize(parser.value(size), o, poster ? kLargestPosterSide : 32767);
        else if (video)
            o->frame.width = 1920, o->frame.height = 1080;
        if (video && o->video.mode != VideoOptions::Mode::Assemble) {
            if (o->frame.width % 2 != 0 || o->frame.height % 2 != 0)
                throw Failure{QStringLiteral("--size: a video's sides must be even, got %1x%2")
                                  .arg(o->frame.width).arg(o->frame.height)};
            if (std::max(o->frame.width, o->frame.height) > 4096 ||
                std::int64_t{o->frame.width} * o->frame.height > 3840 * 2160)
                throw Failure{QStringLiteral("--size: a video of %1x%2 is larger than 3840x2160 (4096 a side)")
                                  .arg(o->frame.width).arg(o->frame.height)};
        }
        if (parser.isSet(view))
            checkViewSize(parser.value(view), *o);
        o->autoIters = !parser.isSet(iters) || parser.value(iters) == u"auto";
        if (!o->autoIters)
            o->frame.maxIters =
                whole(QStringLiteral("iters"), parser.value(iters), 1, o->frame.deep() ? kMaxDeepIters : 99000);
        else
            o->frame.maxIters = automaticLimit(o->frame);
        if (const QString e = readColouring(valueOf(colouring), o); !e.isEmpty())
            throw Failure{e};
        if (parser.isSet(densityOption)) {
            if (!followsFraction(o->colouring))
                throw Failure{QStringLiteral("--density: only the smooth and distance colourings have one")};
            o->density = density(parser.value(densityOption));
        }
        if (parser.isSet(palette))
            readPaletteFile(parser.value(palette), o);
        if (parser.isSet(supersample))
            o->supersample = whole(QStringLiteral("supersample"), parser.value(supersample), 1, 16);
        if (parser.isSet(threads))
            o->threads = whole(QStringLiteral("threads"), parser.value(threads), 1, 1024);
        if (parser.isSet(output))
            o->output = outputFile(QStringLiteral("output"), parser.value(output));
        if (parser.isSet(indices))
            o->indices = outputFile(QStringLiteral("indices"), parser.value(indices));
        if (parser.isSet(counts))
            o->counts = outputFile(QStringLiteral("counts"), parser.value(counts));
        if (parser.isSet(exr))
            o->exr = outputFile(QStringLiteral("exr"), parser.value(exr));
        if (o->output.isEmpty() && o->indices.isEmpty() && o->counts.isEmpty() && o->exr.isEmpty())
            o->output = QStringLiteral("kavrel.png");
        if (!o->output.isEmpty() && !o->indices.isEmpty() && sameFile(o->output, o->indices))
            throw Failure{QStringLiteral("--output and --indices name the same file '%1'").arg(o->indices)};
        for (const QString& other : {o->output, o->indices})
            if (!o->counts.isEmpty() && !other.isEmpty() && sameFile(other, o->counts))
                throw Failure{QStringLiteral("--counts names the same file '%1' as --%2")
                                  .arg(o->counts, other == o->output ? u"output" : u"indices")};
        for (const QString& other : {o->output, o->indices, o->counts})
            if (!o->exr.isEmpty() && !other.isEmpty() && sameFile(other, o->exr))
                throw Failure{QStringLiteral("--exr names the same file '%1' as --%2")
                                  .arg(o->exr, other == o->output    ? u"output"
                                               : other == o->indices ? u"indices"
                                                                     : u"counts")};
        o->stats = parser.isSet(stats);
        if (parser.isSet(tiles) != parser.isSet(tile))
            throw Failure{QStringLiteral("--tiles and --tile go together")};
        if ((parser.isSet(orbit) || parser.isSet(makeOrbit)) && !o->frame.deep())
            throw Failure{QStringLiteral("--%1: only a deep frame (--center, --radius) has a reference orbit")
                              .arg(parser.isSet(orbit) ? u"orbit" : u"make-orbit")};
        if (parser.isSet(orbit) && parser.isSet(makeOrbit))
            throw Failure{QStringLiteral("--orbit and --make-orbit exclude each other")};
        if ((parser.isSet(tiles) || parser.isSet(tile)) && video)
            throw Failure{QStringLiteral("--tiles cannot go with a zoom video")};
        if (parser.isSet(orbit) && video && o->video.mode != VideoOptions::Mode::Keyframes &&
            o->video.mode != VideoOptions::Mode::Video)
            throw Failure{QStringLiteral("--orbit goes with the keyframes of a zoom video, not with --%1")
                              .arg(o->video.mode == VideoOptions::Mode::Assemble ? u"assemble" : u"make-orbit")};
        if (parser.isSet(orbit))
            o->poster.orbit = outputFile(QStringLiteral("orbit"), parser.value(orbit));
        if (parser.isSet(makeOrbit)) {
            for (const QCommandLineOption* other : {&output, &indices, &counts, &exr, &tiles})
                if (parser.isSet(*other))
                    throw Failure{QStringLiteral("--make-orbit draws nothing: --%1 cannot go with it")
                                      .arg(other->names().first())};
            o->poster.makeOrbit = outputFile(QStringLiteral("make-orbit"), parser.value(makeOrbit));
            o->output.clear();
        }
        if (parser.isSet(tiles)) {
            for (const QCommandLineOption* other : {&indices, &counts, &exr})
                if (parser.isSet(*other))
                    throw Failure{QStringLiteral("--%1: a tile job draws its tile of the picture only")
                                      .arg(other->names().first())};
            if (!parser.isSet(output))
                throw Failure{QStringLiteral("--tiles needs --output, the folder of the poster's tiles")};
            readTile(parser.value(tiles), parser.value(tile), o);
            o->poster.folder = o->output;
        }
        if (video) {
            for (const QCommandLineOption* other : {&output, &indices, &counts, &exr})
                if (parser.isSet(*other))
                    throw Failure{QStringLiteral("--%1 draws one frame: it cannot go with a zoom video")
                                      .arg(other->names().first())};
            o->output.clear();
            readVideo(valueOf(zoomVideo), valueOf(keyframes), valueOf(zoomFrom), valueOf(fps),
                      valueOf(secondsPerDoubling), valueOf(onlyKeyframes), o);
        }
    } catch (const Failure& f) {
        *message = oneLine(f.text);
        return ParseResult::Error;
    }
    return ParseResult::Ok;
}
