#include "tools/zoom_video.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <unistd.h>

#include "engine/palette.h"
#include "render/frame_render.h"
#include "tools/orbit_file.h"
#include "tools/output_files.h"
#include "tools/picture_canvas.h"
#include "tools/picture_text.h"
#include "tools/progress.h"
#include "tools/tool_host.h"
#include "tools/video_encoder.h"
#include "tools/zoom_frames.h"
#include "tools/zoom_plan.h"

namespace {

struct BadInput {
    std::string text;
};

std::string quoted(const QString& path)
{
    std::string text(1, '\'');
    text += oneLine(path).toStdString();
    text += '\'';
    return text;
}

// About how long, for the progress line.
std::string timeLeft(double seconds)
{
    if (!(seconds >= 0.0) || seconds > 1e7)
        return "";
    if (seconds < 90.0)
        return ", " + std::to_string(static_cast<int>(std::ceil(seconds))) + " s left";
    if (seconds < 5400.0)
        return ", " + std::to_string(static_cast<int>(std::lround(seconds / 60.0))) + " min left";
    return ", " + std::to_string(static_cast<int>(std::lround(seconds / 3600.0))) + " h left";
}

ZoomPlan planOf(const RenderOptions& o)
{
    ZoomPlan p;
    p.frame = o.frame;
    p.zoomFrom = o.video.zoomFrom.toStdString();
    p.autoIters = o.autoIters;
    p.look = {o.colouring, o.density, QFile::encodeName(o.palette).toStdString(), o.supersample};
    p.fps = o.video.fps;
    p.secondsPerDoubling = o.video.secondsPerDoubling;
    return p;
}

QString keyframePath(const QString& dir, int i) { return QDir(dir).filePath(QString::fromStdString(keyframeFile(i))); }

// A keyframe that is there is complete: each is put in place whole. One of
// another size is not this zoom's.
bool keyframeThere(const ZoomPlan& plan, const QString& dir, int i)
{
    const QImageReader reader(keyframePath(dir, i));
    return reader.size() == QSize(plan.frame.width * 2, plan.frame.height * 2);
}

// The folder's plan, from its manifest; none where there is no manifest.
std::optional<ZoomPlan> folderPlan(const QString& dir)
{
    QFile file(QDir(dir).filePath(QString::fromLatin1(kManifestFile)));
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly))
        throw BadInput{"--keyframes: cannot read the manifest of " + quoted(dir) + ": " +
                       file.errorString().toStdString()};
    std::string error;
    std::optional<ZoomPlan> plan = readManifest(file.read(1 << 16).toStdString(), &error);
    if (!plan)
        throw BadInput{"--keyframes: the manifest of " + quoted(dir) + " is not one this program wrote: " + error};
    return plan;
}

// "3, 7-9": the keyframes missing from the folder.
std::string missingKeyframes(const ZoomPlan& plan, const QString& dir)
{
    std::string list;
    const int count = keyframeCount(plan);
    for (int i = 0; i < count;) {
        if (keyframeThere(plan, dir, i)) {
            ++i;
            continue;
        }
        int j = i;
        while (j + 1 < count && !keyframeThere(plan, dir, j + 1))
            ++j;
        if (!list.empty())
            list += ", ";
        list += std::to_string(i);
        if (j > i) {
            list += '-';
            list += std::to_string(j);
        }
        i = j + 1;
    }
    return list;
}

bool writable(const QString& dir) { return ::access(QFile::encodeName(dir).constData(), W_OK | X_OK) == 0; }

// Everything that would make the job fail before it wrote anything, and
// the folder's manifest compared with the plan.
void checkInput(const RenderOptions& o, const ZoomPlan& plan)
{
    if (o.video.mode == VideoOptions::Mode::Orbit)
        return;  // the orbit's file alone: no folder, no video
    const QString& dir = o.video.keyframes;
    const QFileInfo info(dir);
    if (info.exists() && !info.isDir())
        throw BadInput{"--keyframes: " + quoted(dir) + " is not a folder"};
    if (info.exists() && o.video.mode != VideoOptions::Mode::Assemble && !writable(dir))
        throw BadInput{"--keyframes: cannot write in " + quoted(dir)};
    if (!info.exists()) {
        if (o.video.mode == VideoOptions::Mode::Assemble)
            throw BadInput{"--keyframes: there is no folder " + quoted(dir)};
        const QString parent = info.absoluteDir().path();
        if (!QFileInfo(parent).isDir() || !writable(parent))
            throw BadInput{"--keyframes: cannot make the folder " + quoted(dir) + " in " + quoted(parent)};
    }
    if (o.video.mode != VideoOptions::Mode::Assemble)
        if (const std::optional<ZoomPlan> there = folderPlan(dir))
            if (const std::string d = manifestDifference(plan, *there); !d.empty())
                throw BadInput{"--keyframes: " + quoted(dir) + " holds the keyframes of another zoom: " + d};
    if (o.video.mode != VideoOptions::Mode::Keyframes) {
        const QString parent = QFileInfo(o.video.video).absoluteDir().path();
        if (QFileInfo(o.video.video).isDir() || !writable(parent))
            throw BadInput{"--zoom-video: cannot write " + quoted(o.video.video)};
    }
    if (o.video.mode == VideoOptions::Mode::Assemble)
        if (const std::string missing = missingKeyframes(plan, dir); !missing.empty())
            throw BadInput{"--assemble: " + quoted(dir) + " is missing keyframes " + missing};
}

// What the job draws with, and how it shows how far it has come.
struct Job {
    const RenderOptions& o;
    const ZoomPlan& plan;
    Progress* progress;
    std::atomic<bool>& halted;
    // The zoom's deepest keyframe, read from --orbit; null: computed here.
    const PreparedFrame* deepest = nullptr;
};

// The deepest keyframe of the zoom, at the size it is drawn (supersampled).
FrameSpec deepestKeyframe(const ZoomPlan& plan, int i)
{
    FrameSpec f = keyframe(plan, i);
    f.width *= plan.look.supersample;
    f.height *= plan.look.supersample;
    return f;
}

// What the job cost, for --stats.
struct ZoomStats {
    std::uint64_t keyframes = 0, keyframePoints = 0, referenceIterations = 0;
    double orbitSeconds = 0, keyframeSeconds = 0, resampleSeconds = 0, encodeSeconds = 0;
    std::int64_t frames = 0;
};

double since(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// Keyframe i, drawn against the deepest keyframe's orbits and written as a
// picture of its own (its command line in its text). Returns what failed.
std::string renderKeyframe(const Job& job, int i, const PreparedFrame& deepest, const std::string& stageText,
                           ZoomStats& stats)
{
    const FrameSpec f = keyframe(job.plan, i);
    const PictureLook& look = job.plan.look;
    const int k = look.supersample;
    // The frame drawn: the keyframe itself, or K times its size for K x K
    // samples a pixel.
    FrameSpec drawn = f;
    drawn.width *= k;
    drawn.height *= k;
    const PreparedFrame prepared(drawn, deepest);
    if (prepared.stopped())
        return job.halted ? "stopped" : "keyframe " + std::to_string(i) + " does not fit the deepest one's orbit";
    const PixelColour colour{look.colouring, f.maxIters, look.density, gColorList};
    const EscapeDetail detail = followsDistance(look.colouring)   ? EscapeDetail::Distance
                                : followsFraction(look.colouring) ? EscapeDetail::Fraction
                                                                  : EscapeDetail::Count;
    const bool show = job.progress != nullptr;
    OutputFile png(QFile::encodeName(keyframePath(job.o.video.keyframes, i)).toStdString());
    std::unique_ptr<EscapeCanvas> escapes;
    std::unique_ptr<LightCanvas> band;
    const Progress::Pausing pausing{job.progress};  // before the canvases, whose counts it shows, go
    if (k == 1) {
        escapes = std::make_unique<EscapeCanvas>(tagRECT{0, 0, f.width, f.height}, show, true, detail);
        if (show)
            job.progress->stage(stageText, &escapes->plotted(), std::uint64_t(f.width) * f.height);
        prepared.draw(*escapes, job.o.threads, detail);
    }
    bool stopped = false;
    const RgbRows rows = [&](int y, std::uint8_t* rgb) {
        if (k > 1 && (!band || y >= band->bottom())) {
            const int rows = std::min(f.height - y, bandRows(f.width));
            if (show)
                job.progress->pause();  // the band it counts goes
            band.reset();
            band = std::make_unique<LightCanvas>(tagRECT{0, y, f.width, y + rows}, k, colour, show, job.o.threads > 1);
            if (show)
                job.progress->stage(stageText, &band->plotted(), std::uint64_t(f.width) * rows * k * k);
            prepared.draw(*band, job.o.threads, detail);
        }
        for (int x = 0; x < f.width; ++x, rgb += 3) {
            if (k > 1) {
                band->pixel(x, y, rgb);
                continue;
            }
            const LinearRgb light = colour.light(escapes->escape(static_cast<std::size_t>(y) * f.width + x));
            rgb[0] = linearToSrgb(light.r);
            rgb[1] = linearToSrgb(light.g);
            rgb[2] = linearToSrgb(light.b);
        }
        stopped = stopped || job.halted;
    };
    bool written = png.open() && writePng(png, f.width, f.height, rows, pictureText(f, look));
    if (stopped || job.halted)
        return "stopped";
    if (!written || !png.commit())
        return "cannot write " + png.path() + ": " + png.error();
    ++stats.keyframes;
    stats.keyframePoints += std::uint64_t(drawn.width) * drawn.height;
    return {};
}

// The keyframes first to last that are not there yet, the orbit computed
// once, for the deepest of them.
std::string renderKeyframes(const Job& job, int first, int last, ZoomStats& stats)
{
    std::vector<int> todo;
    for (int i = first; i <= last; ++i)
        if (!keyframeThere(job.plan, job.o.video.keyframes, i))
            todo.push_back(i);
    if (todo.empty())
        return {};
    const FrameSpec deepestFrame = deepestKeyframe(job.plan, todo.back());
    OrbitCounter orbit;
    const Progress::Pausing pausing{job.progress};
    if (job.progress && !job.deepest)
        job.progress->stage("reference orbit", &orbit.points,
                            std::uint64_t(deepestFrame.maxIters) * (deepestFrame.julia() ? 2 : 1));
    const auto orbitStart = std::chrono::steady_clock::now();
    std::optional<PreparedFrame> own;
    if (!job.deepest)
        own.emplace(deepestFrame, [&] { return job.halted.load(); }, &orbit);
    const PreparedFrame& deepest = job.deepest ? *job.deepest : *own;
    if (deepest.stopped())
        return "stopped";
    stats.orbitSeconds = since(orbitStart);
    stats.referenceIterations = own ? deepest.referenceIterations() : 0;
    const int count = keyframeCount(job.plan);
    const auto begun = std::chrono::steady_clock::now();
    for (std::size_t n = 0; n < todo.size(); ++n) {
        const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
        const std::string left = n == 0 ? "" : timeLeft(spent / n * static_cast<double>(todo.size() - n));
        const std::string text = "keyframe " + std::to_string(todo[n]) + " (" + std::to_string(n + 1) + " of " +
                                 std::to_string(todo.size()) + " to render, " + std::to_string(count) +
                                 " in all" + left + ")";
        if (std::string e = renderKeyframe(job, todo[n], deepest, text, stats); !e.empty())
            return e;
    }
    stats.keyframeSeconds = since(begun);
    return {};
}

// The video from the complete folder, written beside its target and put
// in place once ffmpeg has written all of it.
std::string assembleVideo(const Job& job, OutputFile& video, ZoomStats& stats)
{
    const ZoomPlan& plan = job.plan;
    const QString& dir = job.o.video.keyframes;
    const int W = plan.frame.width, H = plan.frame.height, count = keyframeCount(plan);
    const std::int64_t frames = frameCount(plan);
    VideoEncoder encoder;
    const std::string command = "kavrel-render --zoom-video " + oneLine(job.o.video.video).toStdString() +
                                " --center " + plan.frame.deepView().re + "," + plan.frame.deepView().im +
                                " --radius " + plan.frame.deepView().radius + " --zoom-from " + plan.zoomFrom +
                                " --size " + std::to_string(W) + "x" + std::to_string(H) + " --fps " +
                                std::to_string(plan.fps) + " --seconds-per-doubling " +
                                exactNumber(plan.secondsPerDoubling) + " --keyframes " + oneLine(dir).toStdString();
    std::vector<std::string> extra;
    for (const std::string& a : renderArguments(keyframe(plan, 0), plan.look, "x.png"))
        extra.push_back(a);
    std::string look;
    for (std::size_t i = 0; i < extra.size(); ++i)
        if (extra[i] == "--colouring" || extra[i] == "--density" || extra[i] == "--palette" ||
            extra[i] == "--supersample" || extra[i] == "--set" || extra[i] == "--power" || extra[i] == "-c")
            look += " " + extra[i] + " " + extra[i + 1];
    if (!encoder.start(video.temporaryPath(), W, H, plan.fps,
                       command + look + (plan.autoIters ? "" : " --iters " + std::to_string(plan.frame.maxIters))))
        return encoder.error();
    std::atomic<std::uint64_t> encoded{0};
    const Progress::Pausing pausing{job.progress};
    LinearImage outer, inner, innerHalf;
    int outerIndex = -1;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(W) * H * 3);
    const auto begun = std::chrono::steady_clock::now();
    for (std::int64_t f = 0; f < frames; ++f) {
        if (job.halted)
            return "stopped";
        const double depth = frameDepth(plan, f);
        const int i = std::clamp(static_cast<int>(std::floor(depth + 1e-12)), 0, count - 1);
        if (i != outerIndex) {
            std::string error;
            if (i == outerIndex + 1 && !inner.rgb.empty())
                outer = std::move(inner);
            else
                outer = readKeyframe(QFile::encodeName(keyframePath(dir, i)).toStdString(), 2 * W, 2 * H, &error);
            inner = {};
            innerHalf = {};
            if (i + 1 < count) {
                inner = readKeyframe(QFile::encodeName(keyframePath(dir, i + 1)).toStdString(), 2 * W, 2 * H, &error);
                innerHalf = halfSize(inner);
            }
            if (outer.rgb.empty() || (i + 1 < count && inner.rgb.empty()))
                return error;
            outerIndex = i;
        }
        const FrameGeometry g{W, H, std::exp2(-(depth - i)), plan.look.supersample};
        const auto composing = std::chrono::steady_clock::now();
        composeFrame(g, outer, innerHalf.rgb.empty() ? nullptr : &innerHalf, rgb.data(), job.o.threads);
        const auto writing = std::chrono::steady_clock::now();
        stats.resampleSeconds += std::chrono::duration<double>(writing - composing).count();
        // ffmpeg encodes while frames are resampled: what is left is the
        // time spent waiting for it.
        if (!encoder.write(rgb.data()))
            return encoder.error();
        stats.encodeSeconds += since(writing);
        encoded.fetch_add(1, std::memory_order_relaxed);
        if (job.progress && (f % 64 == 0)) {
            const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
            const std::string left = f == 0 ? "" : timeLeft(spent / f * static_cast<double>(frames - f));
            job.progress->stage("keyframes " + std::to_string(count) + " of " + std::to_string(count) +
                                    ", frames encoded" + left,
                                &encoded, static_cast<std::uint64_t>(frames));
        }
    }
    const auto finishing = std::chrono::steady_clock::now();
    if (!encoder.finish())
        return encoder.error();
    stats.encodeSeconds += since(finishing);
    stats.frames = frames;
    if (!video.commit())
        return "cannot write " + video.path() + ": " + video.error();
    return {};
}

} // namespace

int zoomVideo(const RenderOptions& o)
{
    const VideoOptions& v = o.video;
    std::optional<ZoomPlan> plan;
    try {
        if (v.mode == VideoOptions::Mode::Assemble && !QFileInfo(v.keyframes).isDir())
            throw BadInput{"--keyframes: there is no folder " + quoted(v.keyframes)};
        plan = v.mode == VideoOptions::Mode::Assemble ? folderPlan(v.keyframes) : planOf(o);
        if (!plan)
            throw BadInput{"--assemble: " + quoted(v.keyframes) + " holds no keyframe manifest (" + kManifestFile +
                           ")"};
        checkInput(o, *plan);
    } catch (const BadInput& bad) {
        std::fprintf(stderr, "kavrel-render: %s\n", bad.text.c_str());
        return 2;
    }
    // The video's copy beside its target, made before anything else is
    // written: a folder that takes no file is bad input.
    OutputFile video(QFile::encodeName(v.video).toStdString());
    if (v.mode != VideoOptions::Mode::Keyframes && v.mode != VideoOptions::Mode::Orbit && (!video.open() || video.temporaryPath().empty())) {
        std::fprintf(stderr, "kavrel-render: --zoom-video: cannot write %s: %s\n", quoted(v.video).c_str(),
                     video.failed() ? video.error().c_str() : "a video goes to a regular file");
        return 2;
    }
    // The zoom's orbit read once for every keyframe, or made into a file.
    const int lastKeyframe = keyframeCount(*plan) - 1;
    std::unique_ptr<PreparedFrame> deepest;
    if (!o.poster.orbit.isEmpty()) {
        std::string error;
        std::unique_ptr<const DeepFrame> read = readOrbitFile(QFile::encodeName(o.poster.orbit).toStdString(),
                                                              deepestKeyframe(*plan, lastKeyframe), &error);
        if (!read) {
            std::fprintf(stderr, "kavrel-render: --orbit %s: %s (it is the deepest keyframe's, %d)\n",
                         quoted(o.poster.orbit).c_str(), error.c_str(), lastKeyframe);
            return 2;
        }
        deepest = std::make_unique<PreparedFrame>(std::move(read));
    }
    if (v.mode == VideoOptions::Mode::Orbit) {
        const auto started = std::chrono::steady_clock::now();
        const std::unique_ptr<const DeepFrame> frame =
            DeepFrame::buildForAnySize(deepestKeyframe(*plan, lastKeyframe), {});
        std::string error;
        if (!frame || !writeOrbitFile(QFile::encodeName(o.poster.makeOrbit).toStdString(), *frame, &error)) {
            std::fprintf(stderr, "kavrel-render: cannot write %s: %s\n", quoted(o.poster.makeOrbit).c_str(),
                         error.c_str());
            return 1;
        }
        if (o.stats) {
            std::printf("reference_iterations %llu\n", static_cast<unsigned long long>(frame->referenceIterations()));
            std::printf("precision_bits %ld\n", static_cast<long>(frame->precisionBits()));
            std::printf("seconds %.6f\n", since(started));
        }
        return 0;
    }
    loadColors();
    if (!o.paletteEntries.empty())
        std::copy(o.paletteEntries.begin(), o.paletteEntries.end(), gColorList);
    std::atomic<bool> halted{false};
    ToolHost host([&] { halted = true; });
    setRenderHost(&host);
    std::unique_ptr<Progress> progress;
    if (isatty(STDERR_FILENO) != 0)
        progress = std::make_unique<Progress>();
    const Job job{o, *plan, progress.get(), halted, deepest.get()};
    std::string failure;
    ZoomStats stats;
    const auto started = std::chrono::steady_clock::now();
    if (v.mode != VideoOptions::Mode::Assemble) {
        // The folder and its manifest, then the keyframes.
        if (!QFileInfo(v.keyframes).exists() && !QDir().mkpath(v.keyframes))
            failure = "cannot make the folder " + quoted(v.keyframes);
        const QString manifest = QDir(v.keyframes).filePath(QString::fromLatin1(kManifestFile));
        if (failure.empty() && !QFileInfo(manifest).exists()) {
            OutputFile file(QFile::encodeName(manifest).toStdString());
            const std::string text = manifestText(*plan);
            if (!file.open() || !file.write(text.data(), text.size()) || !file.commit())
                failure = "cannot write " + file.path() + ": " + file.error();
        }
        const int last = v.mode == VideoOptions::Mode::Keyframes ? v.last : keyframeCount(*plan) - 1;
        if (failure.empty())
            failure = renderKeyframes(job, v.mode == VideoOptions::Mode::Keyframes ? v.first : 0, last, stats);
    }
    if (failure.empty() && v.mode != VideoOptions::Mode::Keyframes)
        failure = assembleVideo(job, video, stats);
    setRenderHost(nullptr);
    progress.reset();
    if (!failure.empty())
        std::fprintf(stderr, "kavrel-render: %s\n", failure.c_str());
    if (!failure.empty() || host.failed)
        return 1;
    if (o.stats) {
        const std::uint64_t k2 = std::uint64_t(plan->look.supersample) * plan->look.supersample;
        std::printf("keyframes_rendered %llu\n", static_cast<unsigned long long>(stats.keyframes));
        std::printf("keyframe_points %llu\n", static_cast<unsigned long long>(stats.keyframePoints));
        if (stats.frames > 0) {
            std::printf("frames %lld\n", static_cast<long long>(stats.frames));
            // A render of every frame on its own, sampled as the keyframes are.
            std::printf("frame_by_frame_points %llu\n",
                        static_cast<unsigned long long>(stats.frames) * plan->frame.width * plan->frame.height * k2);
        }
        std::printf("reference_iterations %llu\n", static_cast<unsigned long long>(stats.referenceIterations));
        std::printf("orbit_seconds %.6f\n", stats.orbitSeconds);
        std::printf("keyframe_seconds %.6f\n", stats.keyframeSeconds);
        std::printf("resample_seconds %.6f\n", stats.resampleSeconds);
        std::printf("encode_wait_seconds %.6f\n", stats.encodeSeconds);
        std::printf("seconds %.6f\n", since(started));
    }
    return 0;
}
