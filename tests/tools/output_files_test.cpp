#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "tests/support/tool_support.h"
#include "tools/output_files.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KAVREL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KAVREL_SANITIZED 1
#endif
#endif

namespace {

std::string local(const QString& path) { return QFile::encodeName(path).toStdString(); }

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Everything in a folder, hidden files too (where a temporary copy would
// show), as one line.
std::string entries(const QString& dir)
{
    return QDir(dir)
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name)
        .join(' ')
        .toStdString();
}

mode_t fileType(const QString& path)
{
    struct stat st;
    return ::lstat(local(path).c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

TEST(OutputFileTest, APngCarriesItsRowsAndTextChunksAndShowsOnlyOnCommit)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.png"));
    OutputFile file(local(path));
    const RgbRows rows = [](int y, std::uint8_t* rgb) {
        for (int x = 0; x < 5; ++x) {
            rgb[3 * x] = static_cast<std::uint8_t>(x * 50);
            rgb[3 * x + 1] = static_cast<std::uint8_t>(y * 60);
            rgb[3 * x + 2] = 7;
        }
    };
    ASSERT_TRUE(file.open()) << file.error();
    ASSERT_TRUE(writePng(file, 5, 3, rows, {{"Software", "kavrel-render 1.0"}, {"Comment", "two chunks"}}));
    EXPECT_FALSE(QFile::exists(path)) << "the picture showed before it was complete";
    ASSERT_TRUE(file.commit()) << file.error();
    const QImage image(path);
    ASSERT_EQ(image.size(), QSize(5, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(image.pixel(x, y), qRgb(x * 50, y * 60, 7)) << "pixel " << x << "," << y;
    EXPECT_EQ(image.text(QStringLiteral("Software")), QStringLiteral("kavrel-render 1.0"));
    EXPECT_EQ(image.text(QStringLiteral("Comment")), QStringLiteral("two chunks"));
    EXPECT_EQ(entries(dir.path()), "t.png");
}

// A table of 300 entries, all of different colours but for the last, which
// repeats entry 43.
std::vector<std::uint32_t> colourTable()
{
    std::vector<std::uint32_t> t(300);
    for (std::uint32_t i = 0; i < 299; ++i)
        t[i] = (i & 0xFF) | ((i * 7 + 3) & 0xFF) << 8 | (i >> 8 | 0x40) << 16;
    t[299] = t[43];
    return t;
}

QRgb decoded(std::uint32_t colorref) { return qRgb(colorref & 0xFF, colorref >> 8 & 0xFF, colorref >> 16 & 0xFF); }

TEST(OutputFileTest, AnIndexedPictureIsAPaletteUpTo256ColoursAndRgbBeyondBothDecodingToItsColours)
{
    QTemporaryDir dir;
    const std::vector<std::uint32_t> table = colourTable();
    // Entries 43 to 299: 257 indices but 256 colours; then 257 colours.
    struct Case { std::vector<std::uint16_t> indices; bool palette; };
    std::vector<std::uint16_t> shared(17 * 16, 43), many(17 * 16, 43);
    for (std::uint16_t i = 0; i < 256; ++i)
        shared[i] = many[i] = static_cast<std::uint16_t>(i * 7 % 256 + 43);
    shared[256] = 299;
    many[256] = 7;
    const Case cases[] = {{shared, true}, {many, false}};
    for (const Case& c : cases) {
        const QString path = dir.filePath(QStringLiteral("i.png"));
        OutputFile file(local(path));
        int rowsDone = 0;
        ASSERT_TRUE(file.open()) << file.error();
        ASSERT_TRUE(writePng(file, {17, 16, c.indices.data(), table.data(), table.size()}, {{"Command", "k --x"}},
                             [&] { ++rowsDone; }))
            << file.error();
        ASSERT_TRUE(file.commit()) << file.error();
        EXPECT_EQ(rowsDone, 16);
        const QImage image(path);
        ASSERT_EQ(image.size(), QSize(17, 16));
        EXPECT_EQ(image.format() == QImage::Format_Indexed8, c.palette) << "format " << image.format();
        if (c.palette) {
            EXPECT_EQ(image.colorCount(), 256);
        }
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 17; ++x)
                ASSERT_EQ(image.pixel(x, y), decoded(table[c.indices[y * 17 + x]])) << "pixel " << x << "," << y;
        EXPECT_EQ(image.text(QStringLiteral("Command")), QStringLiteral("k --x"));
    }

    // An index past the table fails the file and puts nothing in place.
    const QString bad = dir.filePath(QStringLiteral("bad.png"));
    std::vector<std::uint16_t> past(4, 1);
    past[3] = 300;
    OutputFile file(local(bad));
    ASSERT_TRUE(file.open());
    EXPECT_FALSE(writePng(file, {2, 2, past.data(), table.data(), table.size()}, {}));
    EXPECT_FALSE(file.commit());
    EXPECT_FALSE(QFile::exists(bad));
}

TEST(OutputFileTest, AFileGivenUpLeavesTheOldOneAndAReplacedOneKeepsItsPermissions)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.pgm"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    }
    ASSERT_EQ(::chmod(local(path).c_str(), 0640), 0);
    {
        OutputFile file(local(path));
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(file.write("new", 3));
    }  // never committed
    EXPECT_EQ(contents(path), QByteArray("old"));
    EXPECT_EQ(entries(dir.path()), "old.pgm");

    OutputFile file(local(path));
    const GrayRows values = [](int, std::uint16_t* v) { v[0] = 1, v[1] = 499; };
    ASSERT_TRUE(file.open() && writePgm(file, 2, 1, 499, values) && file.commit()) << file.error();
    EXPECT_EQ(contents(path), QByteArray("P5\n2 1\n499\n\x00\x01\x01\xF3", 15));
    struct stat st;
    ASSERT_EQ(::stat(local(path).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // Through a symbolic link the target is replaced and the link stays.
    const QString link = dir.filePath(QStringLiteral("link.pgm"));
    ASSERT_EQ(::symlink("old.pgm", local(link).c_str()), 0);
    OutputFile via(local(link));
    ASSERT_TRUE(via.open() && via.write("x", 1) && via.commit()) << via.error();
    EXPECT_EQ(fileType(link), static_cast<mode_t>(S_IFLNK));
    EXPECT_EQ(contents(path), QByteArray("x"));
}

TEST(OutputFileTest, APipeIsWrittenAsAStream)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(local(fifo).c_str(), 0600), 0) << std::strerror(errno);
    // Open both ways, the pipe blocks neither side and keeps what was written.
    const int reader = ::open(local(fifo).c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(reader, 0) << std::strerror(errno);
    OutputFile file(local(fifo));
    EXPECT_TRUE(file.open() && file.write("stream", 6) && file.commit()) << file.error();
    char got[16];
    const ssize_t n = ::read(reader, got, sizeof got);
    ::close(reader);
    EXPECT_EQ(std::string(got, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), "stream");
    EXPECT_EQ(fileType(fifo), static_cast<mode_t>(S_IFIFO));
    EXPECT_EQ(entries(dir.path()), "pipe");
}

// kavrel-render stopped by a signal while its picture is half done: here
// the picture is complete in its temporary copy, and the run waits to open a
// pipe that nobody reads. The copy must go with the program, the old picture
// stay, and the program end by the signal.
TEST(KavrelRenderOutputTest, ASignalDuringTheWritingLeavesNoTemporaryCopy)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        struct sigaction inherited {};
        if (::sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN)
            continue;  // the run would inherit the ignored signal
        SCOPED_TRACE(strsignal(signal));
        QTemporaryDir dir;
        const QString picture = dir.filePath(QStringLiteral("old.png")), pipe = dir.filePath(QStringLiteral("pipe"));
        {
            QFile old(picture);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        }
        ASSERT_EQ(::mkfifo(local(pipe).c_str(), 0600), 0) << std::strerror(errno);
        QProcess run;
        run.start(QStringLiteral(KAVREL_RENDER), {QStringLiteral("--size"), QStringLiteral("64"), QStringLiteral("--output"),
                                                  picture, QStringLiteral("--indices"), pipe});
        ASSERT_TRUE(run.waitForStarted());
        QElapsedTimer waited;
        waited.start();
        while (entries(dir.path()).rfind(".old.png.", 0) != 0 && waited.elapsed() < 20000)
            ::usleep(2000);
        ASSERT_EQ(entries(dir.path()).rfind(".old.png.", 0), 0u) << "no temporary copy showed: " << entries(dir.path());
        ::kill(static_cast<pid_t>(run.processId()), signal);
        ASSERT_TRUE(run.waitForFinished(20000));
        EXPECT_EQ(run.exitStatus(), QProcess::CrashExit);
        EXPECT_EQ(run.exitCode(), signal);
        EXPECT_EQ(entries(dir.path()), "old.png pipe");
        EXPECT_EQ(contents(picture), QByteArray("old"));
    }
}

// Ctrl-C during a long reference orbit ends the run there and then, by the
// signal, with nothing written; the deepest radius allowed starts at once.
TEST(KavrelRenderOutputTest, AnInterruptStopsALongReferenceOrbit)
{
    struct sigaction inherited {};
    if (::sigaction(SIGINT, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN)
        GTEST_SKIP() << "the run would inherit the ignored signal";
    QTemporaryDir dir;
    QProcess run;
    run.start(QStringLiteral(KAVREL_RENDER), {"--center", "0.25,0", "--radius", "1e-100000", "--size", "4",
                                              "--output", dir.filePath("deep.png")});
    ASSERT_TRUE(run.waitForStarted());
    ::usleep(500000);
    ASSERT_EQ(run.state(), QProcess::Running) << "10,000,000 points at 332,000 bits take hours";
    QElapsedTimer stopping;
    stopping.start();
    ::kill(static_cast<pid_t>(run.processId()), SIGINT);
    ASSERT_TRUE(run.waitForFinished(10000));
    EXPECT_LT(stopping.elapsed(), 2000);
    EXPECT_EQ(run.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(run.exitCode(), SIGINT);
    EXPECT_EQ(entries(dir.path()), "");
}

// A 64 KiB file system of the test's own, so that writes run out of space.
class SmallFileSystem {
public:
    SmallFileSystem()
    {
        if (::mount("kavrel-test", local(dir_.path()).c_str(), "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC,
                    "size=64k") == 0)
            mounted_ = true;
        else
            why_ = std::strerror(errno);
    }
    ~SmallFileSystem()
    {
        if (mounted_)
            ::umount2(local(dir_.path()).c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }
    QString path() const { return dir_.path(); }
    QString file(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
    std::string why_;
};

TEST(KavrelRenderOutputTest, AFullFileSystemFailsTheRunAndKeepsTheOldFile)
{
    SmallFileSystem fs;
    if (!fs.mounted())
        GTEST_SKIP() << "cannot mount a 64 KiB tmpfs here (" << fs.why() << "); as root it runs";
    const QString good = fs.file("good.png");
    ASSERT_EQ(render({"--size", "64", "--output", good}).status, 0);
    const QByteArray before = contents(good);
    ASSERT_FALSE(before.isEmpty());
    const struct { QStringList args; QString full; } cases[] = {
        {{"--size", "2000", "--output", good}, good},  // a bigger picture over the old one
        {{"--size", "300", "--indices", fs.file("new.pgm")}, fs.file("new.pgm")},
        // The picture fits, the indices do not: neither is put in place.
        {{"--size", "200", "--output", fs.file("small.png"), "--indices", fs.file("big.pgm")}, fs.file("big.pgm")},
        {{"--size", "300", "--exr", fs.file("new.exr")}, fs.file("new.exr")},
    };
    for (const auto& c : cases) {
        const Outcome r = render(c.args);
        const std::string run = c.args.join(' ').toStdString();
        EXPECT_EQ(r.status, 1) << run;
        EXPECT_EQ(r.err.toStdString(), "kavrel-render: cannot write " + local(c.full) + ": No space left on device\n");
        EXPECT_EQ(contents(good), before) << run;
        EXPECT_EQ(entries(fs.path()), "good.png") << run;
    }
}

TEST(KavrelRenderOutputTest, ADeviceIsWrittenInPlaceAndItsErrorsCount)
{
    QTemporaryDir dir;
    const QString null = dir.filePath(QStringLiteral("null")), full = dir.filePath(QStringLiteral("full"));
    if (::mknod(local(null).c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0
        || ::mknod(local(full).c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "cannot make device nodes here (" << std::strerror(errno) << "); as root it runs";
    if (const int fd = ::open(local(null).c_str(), O_WRONLY); fd >= 0)
        ::close(fd);
    else
        GTEST_SKIP() << "device nodes cannot be opened in " << local(dir.path()) << " (" << std::strerror(errno) << ")";
    const Outcome timed = render({"--size", "50", "--output", null, "--stats"});
    EXPECT_EQ(timed.status, 0) << timed.err.toStdString();
    EXPECT_TRUE(timed.out.startsWith("pixels 2500\n")) << timed.out.toStdString();
    const Outcome failed = render({"--size", "50", "--output", full});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err.toStdString(), "kavrel-render: cannot write " + local(full) + ": No space left on device\n");
    EXPECT_EQ(fileType(null), static_cast<mode_t>(S_IFCHR));
    EXPECT_EQ(fileType(full), static_cast<mode_t>(S_IFCHR));
    EXPECT_EQ(entries(dir.path()), "full null");
}

TEST(KavrelRenderOutputTest, AFullStandardOutputFailsTheRun)
{
    QTemporaryDir dir;
    for (const QStringList& args : {QStringList{"--help"},
                                    QStringList{"--size", "8", "--stats", "--indices", dir.filePath("s.pgm")}}) {
        const Outcome r = runProcess(QStringLiteral(KAVREL_RENDER), args,
                                     [](QProcess& p) { p.setStandardOutputFile(QStringLiteral("/dev/full")); });
        EXPECT_EQ(r.status, 1) << args.join(' ').toStdString();
        EXPECT_EQ(r.err.toStdString(), "kavrel-render: cannot write the standard output: No space left on device\n");
    }
}

TEST(KavrelRenderOutputTest, WithoutMemoryOrThreadsTheRunFailsInOneLine)
{
#ifdef KAVREL_SANITIZED
    GTEST_SKIP() << "a sanitizer reserves more address space than these limits leave";
#endif
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("x.png"));
    const auto limited = [&](const char* kilobytes, const QStringList& args) {
        const QString shell = QStringLiteral("ulimit -v %1 && exec \"$0\" \"$@\"").arg(QLatin1String(kilobytes));
        return runProcess(QStringLiteral("/bin/sh"),
                          QStringList{"-c", shell, QStringLiteral(KAVREL_RENDER)} + args + QStringList{"--output", out},
                          [](QProcess&) {});
    };
    // 800 MB of indices do not fit in 600 MB; a thousand stacks of 8 MB not in 1 GB.
    const Outcome memory = limited("600000", {"--size", "20000"});
    EXPECT_EQ(memory.status, 1);
    EXPECT_EQ(memory.err.toStdString(), "kavrel-render: not enough memory for a 20000 x 20000 picture\n");
    const Outcome threads = limited("1000000", {"--size", "64", "--threads", "1000"});
    EXPECT_EQ(threads.status, 1);
    EXPECT_TRUE(threads.err.startsWith("kavrel-render: cannot start a thread: ")) << threads.err.toStdString();
    EXPECT_EQ(threads.err.count('\n'), 1) << threads.err.toStdString();
    EXPECT_FALSE(QFile::exists(out));
}

// kavrel-render with its standard error on a terminal of the test's own:
// what it showed there and how long the run took, -1 ms without a terminal.
struct OnTerminal {
    Outcome outcome;
    QByteArray screen;
    qint64 ms = -1;
};

OnTerminal renderOnTerminal(const QStringList& args)
{
    OnTerminal run;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        if (master >= 0)
            ::close(master);
        return run;
    }
    const QString terminal = QString::fromLocal8Bit(::ptsname(master));
    // Held open here too, so that what was written stays readable after the run.
    const int slave = ::open(local(terminal).c_str(), O_RDWR | O_NOCTTY);
    QElapsedTimer clock;
    clock.start();
    run.outcome = runProcess(QStringLiteral(KAVREL_RENDER), args,
                             [&](QProcess& p) { p.setStandardErrorFile(terminal); });
    run.ms = clock.elapsed();
    pollfd ready{master, POLLIN, 0};
    char buffer[4096];
    while (::poll(&ready, 1, 200) > 0) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        run.screen.append(buffer, n);
    }
    ::close(slave);
    ::close(master);
    return run;
}

TEST(KavrelRenderOutputTest, ProgressOnATerminalCoversTheWritingAndCostsNothingAtTheEnd)
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("p.png"));
    const QStringList args{"--size", "16", "--output", png};
    const OnTerminal shown = renderOnTerminal(args);
    if (shown.ms < 0)
        GTEST_SKIP() << "no terminal can be opened here";
    ASSERT_EQ(shown.outcome.status, 0) << shown.screen.toStdString();
    const std::string screen = shown.screen.toStdString();
    EXPECT_TRUE(shown.screen.contains("rendering")) << screen;
    EXPECT_TRUE(shown.screen.contains("writing " + QFile::encodeName(png))) << screen;
    const QByteArray tail = shown.screen.mid(shown.screen.lastIndexOf('%') + 1);
    EXPECT_TRUE(tail.endsWith('\r') && tail.trimmed().isEmpty()) << "the line was not cleared: " << screen;

#ifdef KAVREL_SANITIZED
    // A sanitizer slows the terminal's writes alone by some 50 ms (ThreadSanitizer,
    // on a 16-pixel frame of 270 ms), as much as the margin below.
    return;
#endif
    // Best of five each way: a thread that has to be waited out at the end
    // (a tick of 100 ms) would cost every run on a terminal the same.
    qint64 onTerminal = LLONG_MAX, plain = LLONG_MAX;
    for (int i = 0; i < 5; ++i) {
        onTerminal = std::min(onTerminal, renderOnTerminal(args).ms);
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(render(args).status, 0);
        plain = std::min(plain, clock.elapsed());
    }
    EXPECT_LT(onTerminal, plain + 50) << "on a terminal " << onTerminal << " ms, without " << plain << " ms";
}

} // namespace
