#pragma once

// Running what the clipboard's text says, and comparing its picture.
#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

// Runs a pasted command line as a shell would, in `dir`, and loads the
// picture it names after its --output.
inline QImage run(const QString& line, const QTemporaryDir& dir)
{
    QStringList args = line.split(u' ');
    EXPECT_EQ(args.value(0), QStringLiteral("kavrel-render"));
    const QString output = args.value(args.indexOf(QStringLiteral("--output")) + 1);
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(KAVREL_RENDER), args.mid(1));
    p.waitForFinished(120000);
    EXPECT_EQ(p.exitCode(), 0) << line.toStdString() << ": " << p.readAllStandardError().toStdString();
    return QImage(dir.filePath(output)).convertToFormat(QImage::Format_RGB32);
}

// The pixels where the two pictures differ.
inline std::vector<QPoint> differences(const QImage& a, const QImage& b)
{
    std::vector<QPoint> out;
    if (a.size() != b.size())
        return {QPoint(-1, -1)};
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                out.emplace_back(x, y);
    return out;
}

inline void expectSamePicture(const QImage& drawn, const QImage& copied, const QString& line)
{
    const std::vector<QPoint> d = differences(drawn, copied);
    EXPECT_TRUE(d.empty()) << line.toStdString() << "\n" << d.size() << " pixels differ, the first at "
                           << d[0].x() << "," << d[0].y() << " (a size mismatch is -1,-1)";
}

