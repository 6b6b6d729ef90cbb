// Posters: tiles drawn one job at a time, orbits made once and read by
// every tile, and the tiles joined by libvips, each against one render of
// the whole frame.
#include <vips/vips.h>  // before Qt, whose keyword macros break glib's headers

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include "tests/support/tool_support.h"

namespace {

const QStringList kSeahorse{"--center", "-0.743643887037158704752191506114774,0.131825904205311970493132056385139",
                            "--radius", "1e-24", "--iters", "12000"};
const QStringList kJuliaDeep{"--set", "julia", "--c", "0,1", "--center", "1e-401,2e-401", "--radius", "1e-400",
                             "--iters", "3000"};

QStringList entries(const QString& dir) { return QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries); }

// Every tile of a C x R poster of the frame into `folder`.
void drawTiles(const QStringList& frame, const QString& size, int columns, int rows, const QString& folder,
               const QStringList& extra = {})
{
    for (int i = 0; i < columns * rows; ++i) {
        const Outcome r = render(QStringList(frame) << "--size" << size << "--tiles"
                                                    << QStringLiteral("%1x%2").arg(columns).arg(rows) << "--tile"
                                                    << QString::number(i) << "--output" << folder << extra);
        ASSERT_EQ(r.status, 0) << "tile " << i << ": " << r.err.toStdString();
    }
}

QImage rgb(const QString& path) { return QImage(path).convertToFormat(QImage::Format_RGB32); }

// The first pixel where two pictures differ, or "" where they are the same.
std::string firstDifference(const QImage& a, const QImage& b)
{
    if (a.isNull() || b.isNull() || a.size() != b.size())
        return "sizes differ or a picture is missing";
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
    return {};
}

struct PosterCase {
    const char* name;
    QStringList frame;
    QString size;
    int columns, rows;
};

void PrintTo(const PosterCase& c, std::ostream* os) { *os << c.name; }

class PosterTilesTest : public testing::TestWithParam<PosterCase> {};

// Unequal tiles of an odd-sized frame, joined, are the one render of the
// whole frame: blocks across tile edges decide as in the whole frame, and
// every tile lands where it belongs.
TEST_P(PosterTilesTest, JoinedTilesAreTheWholeFrame)
{
    const PosterCase& c = GetParam();
    QTemporaryDir dir;
    const QString tiles = dir.filePath("tiles"), whole = dir.filePath("whole.png"), joined = dir.filePath("joined.png");
    drawTiles(c.frame, c.size, c.columns, c.rows, tiles);
    const Outcome one = render(QStringList(c.frame) << "--size" << c.size << "--output" << whole);
    ASSERT_EQ(one.status, 0) << one.err.toStdString();
    const Outcome r = render({"--assemble-poster", tiles, "--output", joined});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(firstDifference(rgb(joined), rgb(whole)), "");
    // Each tile carries the whole frame's command and its own place.
    const QImage tile = QImage(QDir(tiles).filePath("tile-000001.png"));
    EXPECT_TRUE(tile.text("Command").contains("--size " + c.size)) << tile.text("Command").toStdString();
    EXPECT_TRUE(tile.text("Tile").startsWith(QStringLiteral("1 of %1x%2 at ").arg(c.columns).arg(c.rows)))
        << tile.text("Tile").toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Frames, PosterTilesTest,
    testing::Values(
        // Large painted blocks that cross the tiles' edges.
        PosterCase{"PlaneView", {"--view", "-2,1,-1.5,1.5", "--iters", "300"}, "97x61", 3, 2},
        PosterCase{"PlaneJulia", {"--set", "julia", "--c", "-0.75,0.11", "--view", "-1.5,1.5,-1,1"}, "81x80", 2, 3},
        PosterCase{"DeepSmooth", kSeahorse, "72x50", 3, 2},
        PosterCase{"DeepSupersampledDistance", QStringList(kSeahorse) << "--supersample" << "2" << "--colouring"
                                                                      << "distance",
                   "45x40", 2, 2},
        PosterCase{"DeepJulia", kJuliaDeep, "40", 3, 3},
        // More tiles than are joined at once: a row at a time, through strips.
        PosterCase{"ManyTilesJoinedRowByRow", {"--view", "-2,1,-1.5,1.5", "--iters", "200"}, "51x40", 17, 16}),
    [](const testing::TestParamInfo<PosterCase>& info) { return std::string(info.param.name); });

// Column c spans floor(W c / C) to floor(W (c + 1) / C): tiles a pixel
// apart at most, in order, covering the frame once.
TEST(PosterTilesTest, TilesAreCutEvenly)
{
    QTemporaryDir dir;
    drawTiles({"--view", "-2,1,-1.5,1.5", "--iters", "50"}, "10x7", 3, 2, dir.path());
    const int widths[] = {3, 3, 4}, heights[] = {3, 4};
    const QString lefts[] = {"0", "3", "6"}, tops[] = {"0", "3"};
    for (int i = 0; i < 6; ++i) {
        const QImage tile(QDir(dir.path()).filePath(QStringLiteral("tile-%1.png").arg(i, 6, 10, QChar('0'))));
        EXPECT_EQ(tile.width(), widths[i % 3]) << i;
        EXPECT_EQ(tile.height(), heights[i / 3]) << i;
        EXPECT_EQ(tile.text("Tile"), QStringLiteral("%1 of 3x2 at %2,%3").arg(i).arg(lefts[i % 3], tops[i / 3]));
    }
}

// A rerun keeps the tiles that are done and draws again the ones that are
// not what they should be; another poster's folder is refused.
TEST(PosterTilesTest, ARerunKeepsCompleteTilesOnly)
{
    QTemporaryDir dir;
    const QStringList frame{"--view", "-2,1,-1.5,1.5", "--iters", "200"};
    drawTiles(frame, "40", 2, 1, dir.path());
    const QString first = QDir(dir.path()).filePath("tile-000000.png"),
                  second = QDir(dir.path()).filePath("tile-000001.png");
    const QImage drawn = rgb(first);
    const QStringList again = QStringList(frame) << "--size" << "40" << "--tiles" << "2x1" << "--output" << dir.path()
                                                 << "--stats" << "--tile";
    Outcome r = render(QStringList(again) << "0");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "skipped 1\n");
    // Tile 1's file in tile 0's place: the right size, the wrong tile.
    ASSERT_TRUE(QFile::remove(first) && QFile::copy(second, first));
    r = render(QStringList(again) << "0");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith("pixels ")) << r.out.toStdString();
    EXPECT_EQ(firstDifference(rgb(first), drawn), "");
    // The same folder for a frame of another limit.
    r = render({"--view", "-2,1,-1.5,1.5", "--iters", "201", "--size", "40", "--tiles", "2x1", "--tile", "1",
                "--output", dir.path()});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("another poster")) << r.err.toStdString();
}

// Never a poster with holes: a missing or foreign tile fails the assembly,
// named, and no output is written.
TEST(PosterAssemblyTest, AMissingOrForeignTileFailsItByName)
{
    QTemporaryDir dir;
    const QString tiles = dir.filePath("tiles"), out = dir.filePath("poster.png");
    drawTiles({"--view", "-2,1,-1.5,1.5", "--iters", "100"}, "30x20", 2, 2, tiles);
    ASSERT_TRUE(QFile::remove(QDir(tiles).filePath("tile-000002.png")));
    Outcome r = render({"--assemble-poster", tiles, "--output", out});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("tile-000002.png missing")) << r.err.toStdString();
    // Tile 3 of another frame of the same size.
    QTemporaryDir other;
    drawTiles({"--view", "-2,1,-1.5,1.6", "--iters", "100"}, "30x20", 2, 2, other.path());
    ASSERT_TRUE(QFile::copy(QDir(other.path()).filePath("tile-000002.png"), QDir(tiles).filePath("tile-000002.png")));
    r = render({"--assemble-poster", tiles, "--output", out});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("tile-000002.png was drawn by another command")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out));
    r = render({"--assemble-poster", dir.filePath("nowhere"), "--output", out});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("kavrel-poster.txt")) << r.err.toStdString();
    EXPECT_EQ(entries(dir.path()), QStringList{"tiles"});
}

// The pyramid's description and deepest level hold the whole poster; the
// BigTIFF's full-size page is the poster, pixel for pixel.
TEST(PosterAssemblyTest, WritesADeepZoomPyramidAndABigTiff)
{
    QTemporaryDir dir;
    const QString tiles = dir.filePath("tiles"), whole = dir.filePath("whole.png");
    const QStringList frame{"--view", "-2,1,-1.5,1.5", "--iters", "300"};
    drawTiles(frame, "600x300", 3, 2, tiles);
    ASSERT_EQ(render(QStringList(frame) << "--size" << "600x300" << "--output" << whole).status, 0);

    const QString tif = dir.filePath("poster.tif");
    Outcome r = render({"--assemble-poster", tiles, "--output", tif});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    ASSERT_EQ(VIPS_INIT("poster_test"), 0);
    VipsImage* page = vips_image_new_from_file(QFile::encodeName(tif).constData(), nullptr);
    ASSERT_NE(page, nullptr) << vips_error_buffer();
    EXPECT_EQ(vips_image_get_width(page), 600);
    EXPECT_EQ(vips_image_get_height(page), 300);
    int pages = 0;
    VipsImage* level = nullptr;
    // The pyramid's levels follow as pages: 600, 300, 150 ... wide.
    if (vips_image_get_typeof(page, "n-pages"))
        vips_image_get_int(page, "n-pages", &pages);
    EXPECT_GE(pages, 3);
    if (vips_tiffload(QFile::encodeName(tif).constData(), &level, "page", 1, nullptr) == 0) {
        EXPECT_EQ(vips_image_get_width(level), 300);
        g_object_unref(level);
    } else {
        ADD_FAILURE() << "no second page: " << vips_error_buffer();
    }
    void* bytes = nullptr;
    size_t size = 0;
    ASSERT_EQ(vips_pngsave_buffer(page, &bytes, &size, nullptr), 0);
    g_object_unref(page);
    EXPECT_EQ(firstDifference(QImage::fromData(static_cast<const uchar*>(bytes), static_cast<int>(size))
                                  .convertToFormat(QImage::Format_RGB32),
                              rgb(whole)),
              "");
    g_free(bytes);

    const QString dzi = dir.filePath("poster.dzi");
    r = render({"--assemble-poster", tiles, "--output", dzi});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QFile description(dzi);
    ASSERT_TRUE(description.open(QIODevice::ReadOnly));
    const QByteArray xml = description.readAll();
    EXPECT_TRUE(xml.contains("Overlap=\"1\"") && xml.contains("TileSize=\"254\"")) << xml.toStdString();
    EXPECT_TRUE(xml.contains("Width=\"600\"") && xml.contains("Height=\"300\"")) << xml.toStdString();
    // Level 10 is 600 x 300 (2^10 >= 600): three tiles across, two down.
    const QString deepest = dir.filePath("poster_files/10");
    EXPECT_EQ(QImage(QDir(deepest).filePath("2_1.jpg")).size(), QSize(600 - 2 * 254 + 1, 300 - 254 + 1));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("poster_files/11")));
    QFile page2(dir.filePath("poster.html"));
    ASSERT_TRUE(page2.open(QIODevice::ReadOnly));
    const QByteArray html = page2.readAll();
    EXPECT_TRUE(html.contains("poster.dzi")) << html.left(400).toStdString();
    EXPECT_FALSE(html.contains("@KAVREL_"));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("openseadragon/openseadragon.min.js")));
    // Nothing else is left beside them.
    EXPECT_EQ(entries(dir.path()), (QStringList{"openseadragon", "poster.dzi", "poster.html", "poster.tif",
                                                "poster_files", "tiles", "whole.png"}));
}

// An orbit made once, for no size in particular, gives every frame of its
// view and limit the counts it has on its own, whatever its size; no orbit
// is computed.
TEST(OrbitFileTest, FramesOfAnySizeCountAsOnTheirOwn)
{
    for (const QStringList& frame : {kSeahorse, kJuliaDeep}) {
        QTemporaryDir dir;
        const QString orbit = dir.filePath("orbit.kvo");
        const Outcome made = render(QStringList(frame) << "--make-orbit" << orbit << "--stats");
        ASSERT_EQ(made.status, 0) << made.err.toStdString();
        EXPECT_TRUE(made.out.startsWith("reference_iterations ")) << made.out.toStdString();
        EXPECT_EQ(entries(dir.path()), QStringList{"orbit.kvo"});
        for (const QString size : {"64x40", "31"}) {
            const QString own = dir.filePath("own.npy"), read = dir.filePath("read.npy");
            const QStringList args = QStringList(frame) << "--size" << size << "--stats";
            ASSERT_EQ(render(QStringList(args) << "--counts" << own).status, 0);
            const Outcome r = render(QStringList(args) << "--counts" << read << "--orbit" << orbit);
            ASSERT_EQ(r.status, 0) << r.err.toStdString();
            EXPECT_TRUE(r.out.contains("\nreference_iterations 0\n")) << r.out.toStdString();
            const int w = size.section('x', 0, 0).toInt(), h = size.contains('x') ? size.section('x', 1).toInt() : w;
            const auto a = readCounts(own, w, h), b = readCounts(read, w, h);
            ASSERT_EQ(a.size(), static_cast<std::size_t>(w) * h);
            EXPECT_EQ(a, b) << frame.join(' ').toStdString() << " at " << size.toStdString();
        }
    }
}

// An orbit file is for one view and limit, and whole: any other is refused
// with status 2, and no picture is written.
TEST(OrbitFileTest, AnotherFramesOrADamagedFileIsRefused)
{
    QTemporaryDir dir;
    const QString orbit = dir.filePath("orbit.kvo"), out = dir.filePath("x.png");
    ASSERT_EQ(render(QStringList(kSeahorse) << "--make-orbit" << orbit).status, 0);
    QFile file(orbit);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    const auto refused = [&](const QStringList& frame, const char* why) {
        const Outcome r = render(QStringList(frame) << "--size" << "16" << "--orbit" << orbit << "--output" << out);
        EXPECT_EQ(r.status, 2) << why;
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(why)) << r.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(out));
    };
    QStringList other = kSeahorse;
    other[other.indexOf("12000")] = "11999";
    refused(other, "another view or limit");
    refused(QStringList(kSeahorse) << "--set" << "julia", "another view or limit");
    const auto rewrite = [&](const QByteArray& content) {
        QFile f(orbit);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(content), content.size());
    };
    rewrite(bytes.left(bytes.size() - 9));
    refused(kSeahorse, "ends early");
    QByteArray flipped = bytes;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x10);
    rewrite(flipped);
    refused(kSeahorse, "damaged");
    rewrite(bytes + "x");
    refused(kSeahorse, "past its end");
    rewrite("P5\n");
    refused(kSeahorse, "not an orbit file");
}

struct BadPosterCall {
    const char* name;
    QStringList args;
    const char* named;
};

void PrintTo(const BadPosterCall& c, std::ostream* os) { *os << c.args.join(' ').toStdString(); }

class PosterBadInputTest : public testing::TestWithParam<BadPosterCall> {};

TEST_P(PosterBadInputTest, ExitsTwoWithOneLineAndNoFile)
{
    QTemporaryDir dir;
    QStringList args;
    for (const QString& a : GetParam().args)
        args << QString(a).replace("DIR", dir.path());
    const Outcome r = render(args);
    EXPECT_EQ(r.status, 2) << r.err.toStdString();
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(GetParam().named)) << r.err.toStdString();
    EXPECT_TRUE(entries(dir.path()).isEmpty()) << entries(dir.path()).join(' ').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Rejected, PosterBadInputTest,
    testing::Values(
        BadPosterCall{"TilesWithoutTile", {"--tiles", "2x2", "--output", "DIR/t"}, "--tile"},
        BadPosterCall{"TileWithoutTiles", {"--tile", "0", "--output", "DIR/t"}, "--tiles"},
        BadPosterCall{"TilePastTheLast", {"--size", "40", "--tiles", "2x2", "--tile", "4", "--output", "DIR/t"},
                      "--tile: '4' is not a whole number from 0 to 3"},
        BadPosterCall{"MoreColumnsThanPixels", {"--size", "4", "--tiles", "5x1", "--tile", "0", "--output", "DIR/t"},
                      "--tiles"},
        BadPosterCall{"TilesTooLarge",
                      {"--size", "100000", "--tiles", "3x4", "--tile", "0", "--output", "DIR/t"}, "32767"},
        BadPosterCall{"PosterWiderThanATerapixel",
                      {"--size", "1048577", "--tiles", "64x64", "--tile", "0", "--output", "DIR/t"}, "--size"},
        BadPosterCall{"FrameTooLargeWithoutTiles", {"--size", "40000", "--output", "DIR/x.png"}, "--size"},
        BadPosterCall{"TileWithCounts",
                      {"--size", "40", "--tiles", "2x2", "--tile", "0", "--output", "DIR/t", "--counts", "DIR/c.npy"},
                      "--counts"},
        BadPosterCall{"OrbitOfAPlaneView", {"--view", "-2,2,-2,2", "--make-orbit", "DIR/o"}, "--make-orbit"},
        BadPosterCall{"MakeOrbitWithAPicture",
                      {"--center", "0,0", "--radius", "1e-20", "--make-orbit", "DIR/o", "--output", "DIR/x.png"},
                      "--output"},
        BadPosterCall{"MissingOrbitFile",
                      {"--center", "0,0", "--radius", "1e-20", "--orbit", "DIR/none", "--output", "DIR/x.png"},
                      "--orbit"},
        BadPosterCall{"AssembleWithAFrame", {"--assemble-poster", "DIR", "--output", "DIR/p.png", "--size", "8"},
                      "--size"},
        BadPosterCall{"AssembleToJpeg", {"--assemble-poster", "DIR", "--output", "DIR/p.jpg"}, "--output"},
        BadPosterCall{"AssembleWithoutOutput", {"--assemble-poster", "DIR"}, "--output"}),
    [](const testing::TestParamInfo<BadPosterCall>& info) { return std::string(info.param.name); });

} // namespace
