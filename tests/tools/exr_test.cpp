#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfIntAttribute.h>
#include <ImfStringAttribute.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <vector>

#include "tests/support/deep_reference.h"
#include "tests/support/tool_support.h"

namespace {

struct Raw {
    int width = 0, height = 0;
    std::vector<std::uint32_t> n;
    std::vector<float> nf, de;
    Imf::Header header;
};

Raw readExr(const QString& path)
{
    Imf::InputFile file(QFile::encodeName(path).constData());
    Raw r;
    r.header = file.header();
    const Imath::Box2i window = file.header().dataWindow();
    r.width = window.max.x - window.min.x + 1;
    r.height = window.max.y - window.min.y + 1;
    const std::size_t pixels = static_cast<std::size_t>(r.width) * r.height;
    r.n.resize(pixels);
    r.nf.resize(pixels);
    r.de.resize(pixels);
    Imf::FrameBuffer buffer;
    buffer.insert("N", Imf::Slice::Make(Imf::UINT, r.n.data(), window));
    buffer.insert("NF", Imf::Slice::Make(Imf::FLOAT, r.nf.data(), window));
    buffer.insert("DE", Imf::Slice::Make(Imf::FLOAT, r.de.data(), window));
    file.setFrameBuffer(buffer);
    file.readPixels(window.min.y, window.max.y);
    return r;
}

std::string text(const Imf::Header& h, const char* name)
{
    const auto* a = h.findTypedAttribute<Imf::StringAttribute>(name);
    return a ? a->value() : "(none)";
}

int number(const Imf::Header& h, const char* name)
{
    const auto* a = h.findTypedAttribute<Imf::IntAttribute>(name);
    return a ? a->value() : -1;
}

} // namespace

// The EXR read back holds the counts of --counts (biased by one, the
// interior as 0xFFFFFFFF), fractions in [0, 1), distances above 0 where a
// point escaped, and the view in its header; wide frames, plane and deep.
TEST(ExrTest, TheRawDataReadsBackAsTheCountsWithTheViewInTheHeader)
{
    QTemporaryDir dir;
    const QString exr = dir.filePath("f.exr"), npy = dir.filePath("f.npy");
    const Nucleus copy = nucleusNearI(-2);
    const struct { QStringList frame; int width, height, iters; std::string re, radius; } cases[] = {
        {{"--center", QString::fromStdString(copy.re + ',' + copy.im), "--radius", "1e-20"}, 48, 30, 4000, copy.re,
         "1e-20"},
        {{"--view", "-2,1,-1,1", "--set", "julia", "--c", "-0.8,0.156"}, 36, 24, 300, "-0.5", "1"},
    };
    for (const auto& c : cases) {
        const Outcome r = render(c.frame + QStringList{"--size", QStringLiteral("%1x%2").arg(c.width).arg(c.height),
                                                        "--iters", QString::number(c.iters), "--exr", exr, "--counts", npy});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const Raw raw = readExr(exr);
        const std::vector<std::int64_t> counts = readCounts(npy, c.width, c.height);
        ASSERT_EQ(raw.width, c.width);
        ASSERT_EQ(raw.height, c.height);
        ASSERT_EQ(counts.size(), raw.n.size());
        ASSERT_NE(raw.header.channels().findChannel("N"), nullptr);
        EXPECT_EQ(raw.header.channels().findChannel("N")->type, Imf::UINT);
        EXPECT_EQ(raw.header.channels().findChannel("NF")->type, Imf::FLOAT);
        EXPECT_EQ(raw.header.channels().findChannel("DE")->type, Imf::FLOAT);
        const int bias = number(raw.header, "IterationsBias");
        EXPECT_EQ(bias, 1);
        EXPECT_EQ(number(raw.header, "Iterations"), c.iters);
        int interior = 0, escaped = 0;
        for (std::size_t i = 0; i < counts.size(); ++i) {
            if (counts[i] == c.iters) {
                ++interior;
                ASSERT_EQ(raw.n[i], 0xFFFFFFFFu) << "pixel " << i;
                continue;
            }
            ++escaped;
            ASSERT_EQ(static_cast<std::int64_t>(raw.n[i]) - bias, counts[i]) << "pixel " << i;
            ASSERT_GE(raw.nf[i], 0.0f) << "pixel " << i;
            ASSERT_LT(raw.nf[i], 1.0f) << "pixel " << i;
            ASSERT_GT(raw.de[i], 0.0f) << "pixel " << i;
        }
        EXPECT_GT(escaped, 100);
        EXPECT_EQ(text(raw.header, "Re"), c.re);
        EXPECT_EQ(text(raw.header, "Radius"), c.radius);
        EXPECT_EQ(text(raw.header, "Power"), "2");
        EXPECT_EQ(text(raw.header, "Set"), c.frame.contains("julia") ? "julia" : "mandelbrot");
        EXPECT_NE(text(raw.header, "Command").find("kavrel-render "), std::string::npos);
        if (c.frame.contains("--center")) {
            EXPECT_GT(interior, 0) << "the copy's interior";
        }
    }
}

// An EXR that cannot be written fails the run, leaves the file that was
// there, and writes no other output; a name that clashes is refused first.
TEST(ExrTest, AFailedOrClashingExrWritesNothing)
{
    QTemporaryDir dir;
    const QString old = dir.filePath("old.exr"), png = dir.filePath("p.png");
    {
        QFile f(old);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("before");
    }
    // A pipe cannot take a file that goes back to fill in its offsets.
    if (QFile::exists(QStringLiteral("/dev/full"))) {
        const Outcome r = render({"--size", "16", "--exr", "/dev/full", "--output", png});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.startsWith("kavrel-render: cannot write /dev/full: ")) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(png)) << "nothing is put in place when one file fails";
    }
    for (const QStringList& args : {QStringList{"--exr", ""}, QStringList{"--exr", old, "--output", old},
                                    QStringList{"--exr", old, "--counts", old}}) {
        const Outcome r = render(QStringList{"--size", "16"} + args);
        EXPECT_EQ(r.status, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("kavrel-render: --exr")) << r.err.toStdString();
    }
    QFile f(old);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("before"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.exr"});
}
