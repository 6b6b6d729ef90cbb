#include "tools/poster_folder.h"

#include <QDir>
#include <QFile>

#include "tools/output_files.h"
#include "tools/render_options.h"

std::optional<PosterPlan> readPosterFolder(const QString& folder, std::string* error)
{
    QFile file(QDir(folder).filePath(QString::fromLatin1(kPosterManifestFile)));
    if (!file.open(QIODevice::ReadOnly)) {
        *error = "no " + std::string(kPosterManifestFile) + ": " + file.errorString().toStdString();
        return std::nullopt;
    }
    const QByteArray text = file.read(1 << 16);
    std::string why;
    std::optional<PosterPlan> plan = readPosterManifest(text.toStdString(), &why);
    if (!plan)
        *error = std::string(kPosterManifestFile) + ": " + why;
    return plan;
}

FolderCheck preparePosterFolder(const QString& folder, const PosterPlan& plan, std::int64_t index, bool* complete)
{
    *complete = false;
    const QString shown = oneLine(folder);
    if (!QDir().mkpath(folder))
        return {1, "cannot make the folder " + shown.toStdString()};
    const QString manifest = QDir(folder).filePath(QString::fromLatin1(kPosterManifestFile));
    if (QFile::exists(manifest)) {
        std::string error;
        const std::optional<PosterPlan> there = readPosterFolder(folder, &error);
        if (!there)
            return {2, shown.toStdString() + ": " + error};
        if (posterManifest(*there) != posterManifest(plan))
            return {2, shown.toStdString() + " holds the tiles of another poster: " + there->command + ", " +
                           std::to_string(there->width) + "x" + std::to_string(there->height) + " in " +
                           std::to_string(there->grid.columns) + "x" + std::to_string(there->grid.rows) + " tiles"};
    } else {
        // Every job of the poster writes the same text, so that jobs that
        // start together may all write it.
        OutputFile out(QFile::encodeName(manifest).toStdString());
        const std::string text = posterManifest(plan);
        if (!out.open() || !out.write(text.data(), text.size()) || !out.commit())
            return {1, "cannot write " + oneLine(manifest).toStdString() + ": " + out.error()};
    }
    const QString tile = QDir(folder).filePath(QString::fromStdString(tileFile(index)));
    *complete = tileProblem(QFile::encodeName(tile).toStdString(), plan, index).empty();
    return {};
}
