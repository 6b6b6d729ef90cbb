#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

namespace {

struct Outcome {
    bool ended;
    int status;
    QStringList boxes;
};

// The explorer with one fault put in place, run as a process of its own.
Outcome runWithFault(const QString& fault)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KAVREL_FAULT"), fault);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // A sanitizer's own finding, such as a leak at exit, must not pass for
    // the alert's status 1.
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":exitcode=86"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KAVREL_FAULTY));
    const bool ended = p.waitForFinished(60000);
    if (!ended) {
        p.kill();
        p.waitForFinished();
    }
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    return {ended, p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            out.split(u'\n', Qt::SkipEmptyParts)};
}

TEST(FaultTest, EachFaultShowsItsAlertOnceAndTheProgramEndsWithStatusOne)
{
    const struct {
        const char* fault;
        const char* text;
    } cases[] = {{"palette-missing", "couldn't load color string resource"},
                 {"palette-surplus", "color array out of bounds"},
                 {"thread-start", "CreateThread failed."},
                 {"map-alloc", "couldn't make bitmap at offBMP"},
                 {"render-alert", "bad func switch"}};
    for (const auto& c : cases) {
        const Outcome r = runWithFault(QString::fromLatin1(c.fault));
        EXPECT_TRUE(r.ended) << c.fault << ": the program hung";
        EXPECT_EQ(r.status, 1) << c.fault;
        EXPECT_EQ(r.boxes, QStringList{QStringLiteral("Fatal Error!: ") + QString::fromLatin1(c.text)})
            << c.fault << " showed: " << r.boxes.join(QStringLiteral(" | ")).toStdString();
    }
    // Without a fault the same program shows no box and ends with status 0
    // when its window is closed.
    const Outcome normal = runWithFault(QStringLiteral("none"));
    EXPECT_TRUE(normal.ended);
    EXPECT_EQ(normal.status, 0);
    EXPECT_TRUE(normal.boxes.isEmpty()) << normal.boxes.join(QStringLiteral(" | ")).toStdString();
}

} // namespace
