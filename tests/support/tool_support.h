#pragma once

#include <QProcess>
#include <QStringList>

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
