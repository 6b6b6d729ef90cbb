#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <vector>

#include "tests/support/tool_support.h"

// Zoom videos as users make them, checked with ffmpeg's own programs.

namespace {

const QString kCentre = QStringLiteral("-0.743643887037158704752191506114774,0.131825904205311970493132056385139");
const int kWidth = 96, kHeight = 54, kFps = 8;
const double kEnd = 1e-5;  // 19 keyframes from radius 2, at 2^-i
const int kKeyframes = 19;

QStringList videoArgs(const QString& video, const QString& dir)
{
    return {QStringLiteral("--zoom-video"), video,         QStringLiteral("--keyframes"), dir,
            QStringLiteral("--center"),     kCentre,       QStringLiteral("--radius"),    QStringLiteral("1e-5"),
            QStringLiteral("--size"),       QStringLiteral("%1x%2").arg(kWidth).arg(kHeight),
            QStringLiteral("--fps"),        QString::number(kFps), QStringLiteral("--threads"), QStringLiteral("2")};
}

Outcome run(const QString& program, const QStringList& args)
{
    return runProcess(program, args, [](QProcess&) {});
}

// Frames the video holds by its own count, as the test works them out.
std::int64_t expectedFrames() { return std::llround(std::log2(2.0 / kEnd) * kFps) + 1; }

// ffprobe's "key=value" lines of the first video stream and the format.
QString probe(const QString& video)
{
    return QString::fromUtf8(
        run(QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"), QStringLiteral("-select_streams"),
             QStringLiteral("v:0"), QStringLiteral("-show_entries"),
             QStringLiteral("stream=width,height,pix_fmt,nb_read_frames,color_space,color_transfer,color_primaries,"
                            "color_range,codec_name:format=duration,format_name:format_tags=comment"),
             QStringLiteral("-of"), QStringLiteral("default=nw=1"), video})
            .out);
}

// Frame n of the video, decoded to RGB.
QImage decodedFrame(const QString& video, std::int64_t n)
{
    const Outcome o = run(QStringLiteral("ffmpeg"),
                          {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), video,
                           QStringLiteral("-vf"), QStringLiteral("select=eq(n\\,%1)").arg(n), QStringLiteral("-frames:v"),
                           QStringLiteral("1"), QStringLiteral("-f"), QStringLiteral("rawvideo"),
                           QStringLiteral("-pix_fmt"), QStringLiteral("rgb24"), QStringLiteral("-")});
    if (o.out.size() != kWidth * kHeight * 3)
        return {};
    QImage im(kWidth, kHeight, QImage::Format_RGB888);
    for (int y = 0; y < kHeight; ++y)
        std::memcpy(im.scanLine(y), o.out.constData() + y * kWidth * 3, kWidth * 3);
    return im;
}

// The md5 of every decoded frame: two videos of the same frames agree
// whatever their metadata.
QByteArray frameHashes(const QString& video)
{
    QByteArray out = run(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                                                     video, QStringLiteral("-f"), QStringLiteral("framemd5"),
                                                     QStringLiteral("-")})
                         .out;
    // Past the header comments, the lines are the frames'.
    QByteArray frames;
    for (const QByteArray& line : out.split('\n'))
        if (!line.isEmpty() && !line.startsWith('#'))
            frames += line + '\n';
    return frames;
}

// Each channel's values, blurred by a Gaussian of sigma pixels (0: as they are).
std::vector<double> channels(const QImage& image, double sigma)
{
    const QImage im = image.convertToFormat(QImage::Format_RGB888);
    const int w = im.width(), h = im.height();
    std::vector<double> v(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x)
            v[static_cast<std::size_t>(y) * w * 3 + x] = im.constScanLine(y)[x];
    if (sigma <= 0.0)
        return v;
    const int reach = static_cast<int>(std::ceil(3 * sigma));
    std::vector<double> kernel;
    for (int d = -reach; d <= reach; ++d)
        kernel.push_back(std::exp(-d * d / (2 * sigma * sigma)));
    for (const bool across : {true, false}) {
        std::vector<double> out(v.size());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) {
                    double sum = 0, weight = 0;
                    for (int d = -reach; d <= reach; ++d) {
                        const int xx = across ? std::clamp(x + d, 0, w - 1) : x;
                        const int yy = across ? y : std::clamp(y + d, 0, h - 1);
                        sum += kernel[d + reach] * v[(static_cast<std::size_t>(yy) * w + xx) * 3 + c];
                        weight += kernel[d + reach];
                    }
                    out[(static_cast<std::size_t>(y) * w + x) * 3 + c] = sum / weight;
                }
        v.swap(out);
    }
    return v;
}

// Of two images' channels as channels() gives them.
double psnr(const std::vector<double>& x, const std::vector<double>& y)
{
    double sum = 0;
    for (std::size_t i = 0; i < x.size(); ++i)
        sum += (x[i] - y[i]) * (x[i] - y[i]);
    const double mse = sum / static_cast<double>(x.size());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

double psnr(const QImage& a, const QImage& b, double sigma) { return psnr(channels(a, sigma), channels(b, sigma)); }

// The radius of frame k by the zoom's own rule: R0 2^-(k/(F-1) log2(R0/R_END)).
double radiusOf(std::int64_t k)
{
    const double halvings = std::log2(2.0 / kEnd);
    return 2.0 * std::exp2(-halvings * static_cast<double>(k) / static_cast<double>(expectedFrames() - 1));
}

class ZoomVideo : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new QTemporaryDir;
        const Outcome o = render(videoArgs(video(), keyframes()));
        ASSERT_EQ(o.status, 0) << o.err.constData();
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }
    static QString video() { return dir_->filePath(QStringLiteral("zoom.mp4")); }
    static QString keyframes() { return dir_->filePath(QStringLiteral("keys")); }
    static QTemporaryDir* dir_;
};
QTemporaryDir* ZoomVideo::dir_ = nullptr;

} // namespace

TEST_F(ZoomVideo, HoldsTheFramesSizeFormatAndTagsOfTheZoom)
{
    const QString p = probe(video());
    EXPECT_TRUE(p.contains(QStringLiteral("codec_name=h264"))) << qPrintable(p);
    EXPECT_TRUE(p.contains(QStringLiteral("width=%1\n").arg(kWidth)));
    EXPECT_TRUE(p.contains(QStringLiteral("height=%1\n").arg(kHeight)));
    EXPECT_TRUE(p.contains(QStringLiteral("pix_fmt=yuv420p\n")));
    for (const char* tag : {"color_space=bt709", "color_transfer=bt709", "color_primaries=bt709", "color_range=tv"})
        EXPECT_TRUE(p.contains(QLatin1String(tag))) << tag;
    EXPECT_TRUE(p.contains(QStringLiteral("nb_read_frames=%1\n").arg(expectedFrames()))) << qPrintable(p);
    const qsizetype at = p.indexOf(QStringLiteral("duration="));
    ASSERT_GE(at, 0);
    EXPECT_NEAR(p.mid(at + 9).section(u'\n', 0, 0).toDouble(), static_cast<double>(expectedFrames()) / kFps, 0.01);
    EXPECT_TRUE(p.contains(QStringLiteral("TAG:comment=kavrel-render --zoom-video ")));
    EXPECT_TRUE(p.contains(QStringLiteral("--center ") + kCentre));
    // Every keyframe, and nothing half written.
    const QStringList files = QDir(keyframes()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(files.size(), kKeyframes + 1) << files.join(u' ').toStdString();
    EXPECT_EQ(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("zoom.mp4")});
}

// A frame every few seconds against kavrel-render's own picture of its
// radius, supersampled: the same picture at the scale of a few pixels
// (blurred), and close pixel by pixel, where the sampling of filaments
// differs (two direct renders of 2 x 2 and 4 x 4 samples differ as much).
TEST_F(ZoomVideo, FramesAreTheFrameOfTheirRadius)
{
    QTemporaryDir scratch;
    for (const std::int64_t k : {std::int64_t{0}, expectedFrames() / 3, 2 * expectedFrames() / 3, expectedFrames() - 1}) {
        const QString direct = scratch.filePath(QStringLiteral("direct.png"));
        const Outcome o = render({QStringLiteral("--center"), kCentre, QStringLiteral("--radius"),
                                  QString::number(radiusOf(k), 'g', 17), QStringLiteral("--size"),
                                  QStringLiteral("%1x%2").arg(kWidth).arg(kHeight), QStringLiteral("--supersample"),
                                  QStringLiteral("4"), QStringLiteral("--output"), direct});
        ASSERT_EQ(o.status, 0) << o.err.constData();
        const QImage frame = decodedFrame(video(), k);
        ASSERT_FALSE(frame.isNull());
        const double blurred = psnr(frame, QImage(direct), 1.5), raw = psnr(frame, QImage(direct), 0.0);
        RecordProperty(QStringLiteral("psnr_frame_%1").arg(k).toStdString(),
                       QStringLiteral("%1 dB, blurred %2 dB").arg(raw, 0, 'f', 1).arg(blurred, 0, 'f', 1).toStdString());
        EXPECT_GE(blurred, 27.0) << "frame " << k;
        EXPECT_GE(raw, 17.0) << "frame " << k;
    }
}

// The radius of frames along the video, recovered by matching each against
// the keyframes (the middle of keyframe i, scaled down, at every scale
// between it and the next): it falls at the zoom's rate, never back.
TEST_F(ZoomVideo, TheZoomNeverGoesBack)
{
    // Every candidate's blurred channels, made once for all the frames.
    struct Candidate {
        double depth;
        std::vector<double> channels;
    };
    std::vector<Candidate> candidates;
    for (int i = 0; i < kKeyframes; ++i) {
        const QImage key(QDir(keyframes()).filePath(QStringLiteral("keyframe-%1.png").arg(i, 6, 10, QChar(u'0'))));
        ASSERT_FALSE(key.isNull()) << "keyframe " << i;
        for (double rho = 1.0; rho > 0.5; rho -= 1.0 / 64) {
            const int w = static_cast<int>(std::lround(2 * rho * kWidth)), h = static_cast<int>(std::lround(2 * rho * kHeight));
            const QImage middle = key.copy(kWidth - w / 2, kHeight - h / 2, w, h)
                                      .scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            candidates.push_back({i - std::log2(rho), channels(middle, 1.0)});
        }
    }
    double before = -1.0;
    for (std::int64_t k = 0; k < expectedFrames(); k += 5) {
        const QImage frame = decodedFrame(video(), k);
        ASSERT_FALSE(frame.isNull());
        const std::vector<double> seen = channels(frame, 1.0);
        double bestDepth = 0, bestError = 1e300;
        for (const Candidate& c : candidates) {
            const double error = -psnr(seen, c.channels);
            if (error < bestError) {
                bestError = error;
                bestDepth = c.depth;
            }
        }
        const double expected = std::log2(2.0 / radiusOf(k));
        EXPECT_NEAR(bestDepth, expected, 0.06) << "frame " << k;
        EXPECT_GT(bestDepth, before) << "frame " << k << " lies above the one before";
        before = bestDepth;
    }
}

// Keyframes in two jobs, then a video from the folder alone: the same
// frames as the video made in one run. Before the second job, the folder
// is incomplete and names what it misses.
TEST_F(ZoomVideo, KeyframesInTwoJobsThenAssembledMakeTheSameVideo)
{
    QTemporaryDir scratch;
    const QString dir = scratch.filePath(QStringLiteral("keys")), out = scratch.filePath(QStringLiteral("z.mp4"));
    QStringList first = videoArgs(out, dir);
    first.removeAt(0);
    first.removeAt(0);
    first << QStringLiteral("--only-keyframes") << QStringLiteral("0-8");
    Outcome o = render(first);
    ASSERT_EQ(o.status, 0) << o.err.constData();
    EXPECT_FALSE(QFileInfo::exists(out));
    const QStringList assemble{QStringLiteral("--zoom-video"), out, QStringLiteral("--keyframes"), dir,
                               QStringLiteral("--assemble")};
    o = render(assemble);
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(o.err.contains("missing keyframes 9-18")) << o.err.constData();
    EXPECT_FALSE(QFileInfo::exists(out));
    // The second job draws against the zoom's orbit, made once by a job
    // of its own, and computes none.
    const QString orbit = scratch.filePath(QStringLiteral("zoom.kvo"));
    QStringList makeOrbit = first.mid(0, first.size() - 2);
    o = render(QStringList(makeOrbit) << QStringLiteral("--make-orbit") << orbit);
    ASSERT_EQ(o.status, 0) << o.err.constData();
    QStringList second = first;
    second.last() = QStringLiteral("9-18");
    second << QStringLiteral("--orbit") << orbit << QStringLiteral("--stats");
    o = render(second);
    ASSERT_EQ(o.status, 0) << o.err.constData();
    EXPECT_TRUE(o.out.contains("\nreference_iterations 0\n")) << o.out.constData();
    o = render(assemble);
    ASSERT_EQ(o.status, 0) << o.err.constData();
    EXPECT_EQ(frameHashes(out), frameHashes(video()));
    EXPECT_EQ(frameHashes(out).count('\n'), expectedFrames());
}

// An orbit file is the deepest keyframe's of one zoom: another zoom's is
// refused before anything is drawn.
TEST(ZoomVideoOrbit, AnotherZoomsOrbitIsRefused)
{
    QTemporaryDir scratch;
    const QString dir = scratch.filePath(QStringLiteral("keys")), orbit = scratch.filePath(QStringLiteral("o.kvo"));
    QStringList args = videoArgs(scratch.filePath(QStringLiteral("z.mp4")), dir);
    args.removeAt(0);
    args.removeAt(0);
    ASSERT_EQ(render(QStringList(args) << QStringLiteral("--make-orbit") << orbit).status, 0);
    EXPECT_FALSE(QFileInfo::exists(dir));
    args[args.indexOf(QStringLiteral("--radius")) + 1] = QStringLiteral("1e-9");
    const Outcome o = render(QStringList(args) << QStringLiteral("--only-keyframes") << QStringLiteral("0-1")
                                               << QStringLiteral("--orbit") << orbit);
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(o.err.contains("another view or limit")) << o.err.constData();
    EXPECT_FALSE(QFileInfo::exists(dir));
}

// Killed while its keyframes render, then run again: the keyframes that
// were complete are not rendered again, nothing half written is left, and
// the video is the one made in one run.
TEST_F(ZoomVideo, AKilledRenderResumes)
{
    QTemporaryDir scratch;
    const QString dir = scratch.filePath(QStringLiteral("keys")), out = scratch.filePath(QStringLiteral("z.mp4"));
    QProcess p;
    p.start(QStringLiteral(KAVREL_RENDER), videoArgs(out, dir) << QStringLiteral("--supersample") << QStringLiteral("1"));
    const auto done = [&] {
        return QDir(dir).entryList({QStringLiteral("keyframe-*.png")}, QDir::Files).size();
    };
    for (int wait = 0; wait < 6000 && done() < 4 && p.state() != QProcess::NotRunning; ++wait)
        QThread::msleep(5);
    p.terminate();
    p.waitForFinished(30000);
    const QStringList before = QDir(dir).entryList({QStringLiteral("keyframe-*.png")}, QDir::Files);
    ASSERT_GE(before.size(), 4);
    if (before.size() == kKeyframes)
        GTEST_SKIP() << "the render finished before it could be stopped";
    EXPECT_FALSE(QFileInfo::exists(out));
    std::vector<QDateTime> times;
    for (const QString& f : before)
        times.push_back(QFileInfo(QDir(dir).filePath(f)).lastModified());
    const Outcome o = render(videoArgs(out, dir));
    ASSERT_EQ(o.status, 0) << o.err.constData();
    for (std::size_t i = 0; i < times.size(); ++i)
        EXPECT_EQ(QFileInfo(QDir(dir).filePath(before[static_cast<qsizetype>(i)])).lastModified(), times[i])
            << qPrintable(before[static_cast<qsizetype>(i)]) << " was rendered again";
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden).size(), kKeyframes + 1);
    EXPECT_EQ(frameHashes(out), frameHashes(video()));
}

// Ended while ffmpeg encodes: neither the video nor its copy is left, not
// even once ffmpeg, which goes on to the end of its input, has finished.
TEST(ZoomVideoStopped, AVideoEndedWhileEncodingLeavesNoFile)
{
    QTemporaryDir scratch;
    const QString out = scratch.filePath(QStringLiteral("z.mp4"));
    // Many frames of cheap keyframes: seconds of encoding.
    QStringList args = videoArgs(out, scratch.filePath(QStringLiteral("k")));
    args << QStringLiteral("--seconds-per-doubling") << QStringLiteral("20");
    args[args.indexOf(QStringLiteral("--fps")) + 1] = QStringLiteral("60");
    QProcess p;
    p.start(QStringLiteral(KAVREL_RENDER), args);
    const auto copy = [&] {
        const QStringList hidden = QDir(scratch.path()).entryList({QStringLiteral(".z.mp4.*")}, QDir::Files | QDir::Hidden);
        return hidden.isEmpty() ? qint64{0} : QFileInfo(QDir(scratch.path()).filePath(hidden.first())).size();
    };
    for (int wait = 0; wait < 6000 && copy() < 20000 && p.state() != QProcess::NotRunning; ++wait)
        QThread::msleep(5);
    ASSERT_NE(p.state(), QProcess::NotRunning) << "the video was done before it could be ended";
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(30000));
    QThread::msleep(1500);  // for ffmpeg to see the end of its input and finish
    EXPECT_EQ(QDir(scratch.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
}

// An encoder that fails leaves no video, and the one that was there stays.
TEST(ZoomVideoFailure, AFailedEncodeLeavesTheOldFile)
{
    QTemporaryDir scratch;
    const QString bin = scratch.filePath(QStringLiteral("bin")), out = scratch.filePath(QStringLiteral("z.mp4"));
    QDir().mkpath(bin);
    QFile fake(QDir(bin).filePath(QStringLiteral("ffmpeg")));
    ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
    fake.write("#!/bin/sh\nhead -c 1000 > /dev/null\necho 'no encoder here' >&2\nexit 3\n");
    fake.close();
    fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile old(out);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("the old video");
    old.close();
    const Outcome o = runProcess(QStringLiteral(KAVREL_RENDER), videoArgs(out, scratch.filePath(QStringLiteral("k"))),
                                 [&](QProcess& p) {
                                     QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                                     env.insert(QStringLiteral("PATH"), bin + u':' + env.value(QStringLiteral("PATH")));
                                     p.setProcessEnvironment(env);
                                 });
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(o.err.contains("ffmpeg")) << o.err.constData();
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("the old video"));
    EXPECT_EQ(QDir(scratch.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("z.mp4")});
}

// Each bad input gets one line naming what is wrong, exit 2, and nothing
// is written: no video, no folder, no manifest.
TEST(ZoomVideoInput, BadInputIsRefusedBeforeAnythingIsWritten)
{
    QTemporaryDir scratch;
    const QString out = scratch.filePath(QStringLiteral("z.mp4")), dir = scratch.filePath(QStringLiteral("k"));
    // A folder made for another zoom.
    QTemporaryDir other;
    const QString otherDir = other.filePath(QStringLiteral("k"));
    QStringList elsewhere = videoArgs(other.filePath(QStringLiteral("o.mp4")), otherDir);
    elsewhere.removeAt(0);
    elsewhere.removeAt(0);
    elsewhere << QStringLiteral("--only-keyframes") << QStringLiteral("0-0");
    ASSERT_EQ(render(elsewhere).status, 0);
    QFile notFolder(scratch.filePath(QStringLiteral("file")));
    ASSERT_TRUE(notFolder.open(QIODevice::WriteOnly));
    notFolder.close();
    const QString size = QStringLiteral("--size");
    const auto with = [&](QStringList args, const QString& option, const QString& value) {
        const qsizetype at = args.indexOf(option);
        if (at >= 0)
            args[at + 1] = value;
        else
            args << option << value;
        return args;
    };
    const QStringList good = videoArgs(out, dir);
    struct Case {
        QStringList args;
        const char* says;
    };
    const std::vector<Case> cases{
        {with(good, QStringLiteral("--radius"), QStringLiteral("3")), "--radius"},
        {with(good, QStringLiteral("--zoom-from"), QStringLiteral("1e-6")), "--radius"},
        {with(good, QStringLiteral("--zoom-from"), QStringLiteral("-1")), "--zoom-from"},
        {with(good, size, QStringLiteral("97x54")), "even"},
        {with(good, size, QStringLiteral("5000x2000")), "larger"},
        {with(good, QStringLiteral("--fps"), QStringLiteral("0")), "--fps"},
        {with(good, QStringLiteral("--fps"), QStringLiteral("121")), "--fps"},
        {with(good, QStringLiteral("--seconds-per-doubling"), QStringLiteral("0.01")), "--seconds-per-doubling"},
        {with(good, QStringLiteral("--seconds-per-doubling"), QStringLiteral("700")), "--seconds-per-doubling"},
        {with(good, QStringLiteral("--keyframes"), QStringLiteral("/proc/kavrel/keys")), "--keyframes"},
        {with(good, QStringLiteral("--keyframes"), notFolder.fileName()), "not a folder"},
        {with(good, QStringLiteral("--keyframes"), otherDir) << QStringLiteral("--fps") << QStringLiteral("9"),
         "another zoom"},
        {with(good, QStringLiteral("--zoom-video"), QStringLiteral("/proc/kavrel.mp4")), "--zoom-video"},
        {QStringList(good) << QStringLiteral("--exponent") << QStringLiteral("2,0.5"), "complex power"},
        {QStringList(good) << QStringLiteral("--output") << scratch.filePath(QStringLiteral("p.png")), "--output"},
        {{QStringLiteral("--zoom-video"), out, QStringLiteral("--keyframes"), dir, QStringLiteral("--assemble")},
         "no folder"},
        {{QStringLiteral("--zoom-video"), out, QStringLiteral("--keyframes"), otherDir, QStringLiteral("--assemble"),
          QStringLiteral("--center"), kCentre},
         "--center"},
        {{QStringLiteral("--zoom-video"), out, QStringLiteral("--keyframes"), otherDir, QStringLiteral("--assemble")},
         "missing keyframes 1-18"},
        {{QStringLiteral("--keyframes"), dir, QStringLiteral("--center"), kCentre, QStringLiteral("--radius"),
          QStringLiteral("1e-5"), QStringLiteral("--only-keyframes"), QStringLiteral("3-19")},
         "--only-keyframes"},
        {{QStringLiteral("--center"), kCentre, QStringLiteral("--radius"), QStringLiteral("1e-5"),
          QStringLiteral("--keyframes"), dir},
         "--keyframes"},
    };
    for (const Case& c : cases) {
        const Outcome o = render(c.args);
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        EXPECT_EQ(o.status, 2) << o.err.constData();
        EXPECT_TRUE(o.err.contains(c.says)) << o.err.constData();
        EXPECT_EQ(o.err.count('\n'), 1) << o.err.constData();
        EXPECT_EQ(QDir(scratch.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  QStringList{QStringLiteral("file")});
    }
    EXPECT_EQ(QDir(otherDir).entryList(QDir::Files).size(), 2) << "the other zoom's folder was written to";
}
