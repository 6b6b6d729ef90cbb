// libvips (through glib) first: Qt's keyword macros would break its headers.
#include <vips/vips.h>

#include "tools/poster_assembly.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <vector>

#include "tools/output_files.h"
#include "tools/poster_folder.h"

#ifndef KAVREL_POSTER_ASSETS
#define KAVREL_POSTER_ASSETS ""
#endif
#ifndef KAVREL_POSTER_ASSETS_FROM_BINDIR
#define KAVREL_POSTER_ASSETS_FROM_BINDIR ""
#endif

namespace {

// Up to this many tiles are joined straight from their files; more are
// joined a row at a time into strips first, so that no more than a row's
// tiles, and then the strips, are open at once.
constexpr std::int64_t kJoinedAtOnce = 256;

std::string shown(const QString& path) { return oneLine(path).toStdString(); }

std::string vipsError()
{
    std::string e = vips_error_buffer();
    vips_error_clear();
    while (!e.empty() && (e.back() == '\n' || e.back() == ' '))
        e.pop_back();
    for (char& ch : e)
        if (ch == '\n')
            ch = ' ';
    return e.empty() ? std::string("libvips failed") : e;
}

// A reference to a libvips image, released with it.
class Image {
public:
    Image() = default;
    explicit Image(VipsImage* p) : p_(p) {}
    Image(Image&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    Image& operator=(Image&& o) noexcept
    {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Image()
    {
        if (p_)
            g_object_unref(p_);
    }
    VipsImage* get() const { return p_; }
    VipsImage** out() { return &p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    VipsImage* p_ = nullptr;
};

// The images joined in a balanced tree, left to right or top to bottom.
Image joinAll(std::vector<Image> parts, VipsDirection direction, std::string* error)
{
    while (parts.size() > 1) {
        std::vector<Image> next;
        for (std::size_t i = 0; i < parts.size(); i += 2) {
            if (i + 1 == parts.size()) {
                next.push_back(std::move(parts[i]));
                continue;
            }
            Image joined;
            if (vips_join(parts[i].get(), parts[i + 1].get(), joined.out(), direction, nullptr) != 0) {
                *error = vipsError();
                return {};
            }
            next.push_back(std::move(joined));
        }
        parts = std::move(next);
    }
    return parts.empty() ? Image{} : std::move(parts.front());
}

Image openTile(const QString& path, std::string* error)
{
    Image tile(vips_image_new_from_file(QFile::encodeName(path).constData(), "access", VIPS_ACCESS_SEQUENTIAL,
                                        nullptr));
    if (!tile)
        *error = shown(path) + ": " + vipsError();
    return tile;
}

// A folder beside the output for what is made before it goes in place;
// removed with the object.
class Scratch {
public:
    explicit Scratch(const QString& beside)
    {
        const QByteArray pattern = QFile::encodeName(QFileInfo(beside).absoluteDir().filePath(".kavrel-poster-XXXXXX"));
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (::mkdtemp(name.data()))
            path_ = QFile::decodeName(name.data());
    }
    ~Scratch()
    {
        if (!path_.isEmpty())
            QDir(path_).removeRecursively();
    }
    bool made() const { return !path_.isEmpty(); }
    QString file(const QString& name) const { return QDir(path_).filePath(name); }

private:
    QString path_;
};

// The whole poster, the tiles joined.
Image joinTiles(const QString& folder, const PosterPlan& plan, const Scratch& scratch, std::string* error)
{
    const auto tile = [&](std::int64_t i) { return QDir(folder).filePath(QString::fromStdString(tileFile(i))); };
    std::vector<Image> rows;
    const bool strips = plan.grid.count() > kJoinedAtOnce;
    for (int r = 0; r < plan.grid.rows; ++r) {
        std::vector<Image> row;
        for (int c = 0; c < plan.grid.columns; ++c) {
            row.push_back(openTile(tile(std::int64_t{r} * plan.grid.columns + c), error));
            if (!row.back())
                return {};
        }
        Image joined = joinAll(std::move(row), VIPS_DIRECTION_HORIZONTAL, error);
        if (!joined)
            return {};
        if (strips) {
            // Written out whole, and read back mapped: the row's tiles close.
            const QByteArray strip = QFile::encodeName(scratch.file(QStringLiteral("row-%1.v").arg(r)));
            if (vips_image_write_to_file(joined.get(), strip.constData(), nullptr) != 0) {
                *error = vipsError();
                return {};
            }
            joined = Image(vips_image_new_from_file(strip.constData(), nullptr));
            if (!joined) {
                *error = vipsError();
                return {};
            }
        }
        rows.push_back(std::move(joined));
    }
    return joinAll(std::move(rows), VIPS_DIRECTION_VERTICAL, error);
}

// Where the viewer's page and OpenSeadragon are: KAVREL_POSTER_ASSETS in
// the environment, the installed ones beside the program, or the build's.
QString viewerAssets()
{
    QStringList candidates;
    if (const char* own = std::getenv("KAVREL_POSTER_ASSETS"); own && *own)
        candidates << QFile::decodeName(own);
    if (const QString installed = QStringLiteral(KAVREL_POSTER_ASSETS_FROM_BINDIR); !installed.isEmpty())
        candidates << QDir(QCoreApplication::applicationDirPath()).filePath(installed);
    candidates << QStringLiteral(KAVREL_POSTER_ASSETS);
    for (const QString& dir : candidates)
        if (!dir.isEmpty() && QFileInfo::exists(QDir(dir).filePath(QStringLiteral("poster.html"))) &&
            QFileInfo::exists(QDir(dir).filePath(QStringLiteral("openseadragon/openseadragon.min.js"))))
            return dir;
    return {};
}

QString htmlEscaped(const QString& text) { return text.toHtmlEscaped(); }

// Copies the folder `from` into `to`, file by file, each written whole.
bool copyTree(const QString& from, const QString& to, std::string* error)
{
    QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = QDir(to).filePath(QDir(from).relativeFilePath(source));
        QFile in(source);
        if (!QDir().mkpath(QFileInfo(target).path()) || !in.open(QIODevice::ReadOnly)) {
            *error = "cannot copy " + shown(source) + " to " + shown(target);
            return false;
        }
        const QByteArray bytes = in.readAll();
        OutputFile out(QFile::encodeName(target).toStdString());
        if (!out.open() || !out.write(bytes.constData(), static_cast<std::size_t>(bytes.size())) || !out.commit()) {
            *error = "cannot write " + shown(target) + ": " + out.error();
            return false;
        }
    }
    return true;
}

// A pyramid's parts, made in the scratch folder, put in place: the tiles'
// folder replaces the one there (the old one removed after), then the .dzi.
bool placePyramid(const Scratch& scratch, const QString& dzi, std::string* error)
{
    const QFileInfo target(dzi);
    const QString base = target.completeBaseName();
    const QString files = target.dir().filePath(base + QStringLiteral("_files"));
    const QString made = scratch.file(base + QStringLiteral("_files"));
    const QString old = scratch.file(QStringLiteral("old_files"));
    if (QFileInfo::exists(files) && !QDir().rename(files, old)) {
        *error = "cannot replace " + shown(files);
        return false;
    }
    if (!QDir().rename(made, files) ||
        std::rename(QFile::encodeName(scratch.file(base + QStringLiteral(".dzi"))).constData(),
                    QFile::encodeName(dzi).constData()) != 0) {
        *error = "cannot put " + shown(dzi) + " in place";
        return false;
    }
    return true;
}

bool writePage(const QString& dzi, const QString& assets, const PosterPlan& plan, std::string* error)
{
    QFile in(QDir(assets).filePath(QStringLiteral("poster.html")));
    if (!in.open(QIODevice::ReadOnly)) {
        *error = "cannot read " + shown(in.fileName());
        return false;
    }
    const QFileInfo target(dzi);
    QString page = QString::fromUtf8(in.readAll());
    page.replace(QStringLiteral("@KAVREL_DZI@"), QString::fromLatin1(QUrl::toPercentEncoding(target.fileName())));
    page.replace(QStringLiteral("@KAVREL_TITLE@"), htmlEscaped(QString::fromStdString(plan.command)));
    const QByteArray bytes = page.toUtf8();
    const QString html = target.dir().filePath(target.completeBaseName() + QStringLiteral(".html"));
    OutputFile out(QFile::encodeName(html).toStdString());
    if (!out.open() || !out.write(bytes.constData(), static_cast<std::size_t>(bytes.size())) || !out.commit()) {
        *error = "cannot write " + shown(html) + ": " + out.error();
        return false;
    }
    return copyTree(QDir(assets).filePath(QStringLiteral("openseadragon")),
                    target.dir().filePath(QStringLiteral("openseadragon")), error);
}

// One row of tiles, then the rows, are open at once: let as many files be.
void allowOpenFiles()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int assemble(const RenderOptions& o, const PosterPlan& plan)
{
    const QString suffix = QFileInfo(o.output).suffix().toLower();
    const bool pyramid = suffix == u"dzi", tiff = suffix == u"tif" || suffix == u"tiff";
    if (suffix == u"png" && (plan.width > 65535 || plan.height > 65535)) {
        std::fprintf(stderr, "kavrel-render: --output: a PNG of %dx%d is too large to open anywhere; make a .dzi or a .tif\n",
                     plan.width, plan.height);
        return 2;
    }
    const QString assets = pyramid ? viewerAssets() : QString();
    if (pyramid && assets.isEmpty()) {
        std::fprintf(stderr, "kavrel-render: the viewer's page and OpenSeadragon are not installed "
                             "(set KAVREL_POSTER_ASSETS to their folder)\n");
        return 1;
    }
    allowOpenFiles();
    Scratch scratch(o.output);
    if (!scratch.made()) {
        std::fprintf(stderr, "kavrel-render: cannot make a folder beside %s\n", shown(o.output).c_str());
        return 1;
    }
    std::string error;
    const Image poster = joinTiles(o.poster.assemble, plan, scratch, &error);
    if (!poster) {
        std::fprintf(stderr, "kavrel-render: cannot join the tiles: %s\n", error.c_str());
        return 1;
    }
    if (pyramid) {
        const QByteArray name = QFile::encodeName(scratch.file(QFileInfo(o.output).completeBaseName()));
        if (vips_dzsave(poster.get(), name.constData(), "suffix", ".jpg[Q=90]", nullptr) != 0 ||
            !placePyramid(scratch, o.output, &error) || !writePage(o.output, assets, plan, &error)) {
            std::fprintf(stderr, "kavrel-render: cannot write %s: %s\n", shown(o.output).c_str(),
                         error.empty() ? vipsError().c_str() : error.c_str());
            return 1;
        }
        return 0;
    }
    OutputFile out(QFile::encodeName(o.output).toStdString());
    if (!out.open() || !out.finish()) {
        std::fprintf(stderr, "kavrel-render: cannot write %s: %s\n", shown(o.output).c_str(), out.error().c_str());
        return 1;
    }
    // libvips writes the file by name, beside the target; the commit puts
    // it in place. A device or a pipe cannot take a TIFF's seeks.
    const std::string& written = out.temporaryPath().empty() ? out.path() : out.temporaryPath();
    const int saved =
        tiff ? vips_tiffsave(poster.get(), written.c_str(), "tile", TRUE, "pyramid", TRUE, "bigtiff", TRUE,
                             "compression", VIPS_FOREIGN_TIFF_COMPRESSION_DEFLATE, "tile_width", 256, "tile_height",
                             256, nullptr)
             : vips_pngsave(poster.get(), written.c_str(), "compression", 6, nullptr);
    if (saved != 0) {
        out.fail(vipsError());
        std::fprintf(stderr, "kavrel-render: cannot write %s: %s\n", shown(o.output).c_str(), out.error().c_str());
        return 1;
    }
    if (!out.commit()) {
        std::fprintf(stderr, "kavrel-render: cannot write %s: %s\n", shown(o.output).c_str(), out.error().c_str());
        return 1;
    }
    return 0;
}

} // namespace

int assemblePoster(const RenderOptions& o)
{
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    const std::optional<PosterPlan> plan = readPosterFolder(o.poster.assemble, &error);
    if (!plan) {
        std::fprintf(stderr, "kavrel-render: --assemble-poster %s: %s\n", shown(o.poster.assemble).c_str(),
                     error.c_str());
        return 2;
    }
    // Every tile is checked before any is joined: never a poster with holes.
    std::string problems;
    std::int64_t bad = 0;
    for (std::int64_t i = 0; i < plan->grid.count(); ++i) {
        const QString path = QDir(o.poster.assemble).filePath(QString::fromStdString(tileFile(i)));
        const std::string problem = tileProblem(QFile::encodeName(path).toStdString(), *plan, i);
        if (problem.empty())
            continue;
        if (++bad <= 5)
            problems += (problems.empty() ? "" : "; ") + tileFile(i) + " " + problem;
    }
    if (bad > 0) {
        std::fprintf(stderr, "kavrel-render: --assemble-poster %s: %lld of %lld tiles are missing or foreign: %s%s\n",
                     shown(o.poster.assemble).c_str(), static_cast<long long>(bad),
                     static_cast<long long>(plan->grid.count()), problems.c_str(), bad > 5 ? "; ..." : "");
        return 2;
    }
    if (VIPS_INIT("kavrel-render") != 0) {
        std::fprintf(stderr, "kavrel-render: cannot start libvips: %s\n", vipsError().c_str());
        return 1;
    }
    const int status = assemble(o, *plan);
    vips_shutdown();
    if (status == 0 && o.stats) {
        std::printf("pixels %lld\n", static_cast<long long>(plan->width) * plan->height);
        std::printf("tiles %lld\n", static_cast<long long>(plan->grid.count()));
        std::printf("seconds %.6f\n",
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return status;
}
