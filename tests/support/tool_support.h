#pragma once

#include <QFile>
#include <QProcess>
#include <QStringList>

#include <cstdint>
#include <vector>

// kavrel-render (KAVREL_RENDER) as a process.
struct Outcome {
    int status;  // -1: it crashed or did not end
    QByteArray out, err;
};

// `prepare` can redirect the process's channels before it starts.
template <typename Prepare>
Outcome runProcess(const QString& program, const QStringList& args, Prepare prepare)
{
    QProcess p;
    prepare(p);
    p.start(program, args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

inline Outcome render(const QStringList& args)
{
    return runProcess(QStringLiteral(KAVREL_RENDER), args, [](QProcess&) {});
}

// The palette indices of a PGM as kavrel-render writes it, `side` pixels
// across and `height` down (a square when 0).
inline std::vector<int> readIndices(const QString& path, int side, int height = 0)
{
    height = height == 0 ? side : height;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = f.readAll();
    const QByteArray header = QStringLiteral("P5\n%1 %2\n499\n").arg(side).arg(height).toLatin1();
    if (!data.startsWith(header) || data.size() != header.size() + 2 * side * height)
        return {};
    std::vector<int> v;
    for (qsizetype i = header.size(); i < data.size(); i += 2)
        v.push_back(static_cast<unsigned char>(data[i]) << 8 | static_cast<unsigned char>(data[i + 1]));
    return v;
}

// The counts of a .npy file as kavrel-render writes it: '<u4', (height,
// side), a square when height is 0.
inline std::vector<std::int64_t> readCounts(const QString& path, int side, int height = 0)
{
    height = height == 0 ? side : height;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = f.readAll();
    if (!data.startsWith(QByteArray("\x93NUMPY\x01\x00", 8)) || data.size() < 10)
        return {};
    const int headerLength = static_cast<unsigned char>(data[8]) | static_cast<unsigned char>(data[9]) << 8;
    const QByteArray header = data.mid(10, headerLength);
    const QByteArray dict = QStringLiteral("{'descr': '<u4', 'fortran_order': False, 'shape': (%1, %2), }").arg(height).arg(side).toLatin1();
    if ((10 + headerLength) % 64 != 0 || !header.startsWith(dict) || !header.endsWith('\n')
        || data.size() != 10 + headerLength + 4 * side * height)
        return {};
    std::vector<std::int64_t> v;
    for (qsizetype i = 10 + headerLength; i < data.size(); i += 4) {
        std::uint32_t c = 0;
        for (int b = 3; b >= 0; --b)
            c = c << 8 | static_cast<unsigned char>(data[i + b]);
        v.push_back(c);
    }
    return v;
}
