// The manual page and the bash completion list exactly the options that
// kavrel-render --help lists, with the same value names.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <map>
#include <set>

namespace {

using Options = std::map<std::string, std::string>;  // name without dashes -> value name

QString source(const char* path)
{
    QFile f(QStringLiteral(KAVREL_SOURCE_DIR "/") + QLatin1String(path));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path;
    return QString::fromUtf8(f.readAll());
}

// "  --view <XMIN,XMAX,YMIN,YMAX>  Plane rectangle ..." after "Options:".
Options helpOptions()
{
    QProcess p;
    p.start(QStringLiteral(KAVREL_RENDER), {QStringLiteral("--help")});
    p.waitForFinished(60000);
    const QString help = QString::fromLocal8Bit(p.readAllStandardOutput());
    Options out;
    static const QRegularExpression line(QStringLiteral(R"(^  --?([a-z][a-z-]*)(?: <([^>]+)>)?)"),
                                         QRegularExpression::MultilineOption);
    for (auto m = line.globalMatch(help.section(QStringLiteral("Options:"), 1)); m.hasNext();) {
        const auto match = m.next();
        out[match.captured(1).toStdString()] = match.captured(2).toStdString();
    }
    return out;
}

// The heading line after each ".TP" of the OPTIONS section, its fonts and
// quotes taken out: "--iters N|auto", "-c RE,IM, --c RE,IM".
Options pageOptions()
{
    const QString page = source("desktop/kavrel-render.1.in").section(QStringLiteral(".SH OPTIONS"), 1).section(QStringLiteral(".SH "), 0, 0);
    Options out;
    const QStringList lines = page.split(u'\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i] != u".TP")
            continue;
        QString heading = lines[i + 1].section(u' ', 1);
        heading.remove(QRegularExpression(QStringLiteral(R"(\\f[RBI]|")"))).replace(QStringLiteral("\\-"), QStringLiteral("-"));
        static const QRegularExpression entry(QStringLiteral(R"(--?([a-z][a-z-]*) *([^ ,]*(?:,[^ ,]+)*)?)"));
        for (auto m = entry.globalMatch(heading); m.hasNext();) {
            const auto match = m.next();
            out[match.captured(1).toStdString()] = match.captured(2).trimmed().toStdString();
        }
    }
    return out;
}

std::set<std::string> names(const Options& options)
{
    std::set<std::string> out;
    for (const auto& [name, value] : options)
        out.insert(name);
    return out;
}

TEST(ManualTest, ThePageDescribesEveryOptionOfTheHelpAndNoOther)
{
    const Options help = helpOptions();
    ASSERT_GE(help.size(), 10u) << "the help text was not read";
    EXPECT_EQ(pageOptions(), help);
}

TEST(ManualTest, TheCompletionOffersEveryOptionOfTheHelpAndNoOther)
{
    const QString script = source("desktop/kavrel-render.bash-completion");
    const QString offered = script.section(QStringLiteral("COMPREPLY=($(compgen -W '--"), -1).section(u'\'', 0, 0);
    std::set<std::string> completed;
    for (const QString& word : (QStringLiteral("--") + offered).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
        completed.insert(word.mid(word.startsWith(QStringLiteral("--")) ? 2 : 1).toStdString());
    EXPECT_EQ(completed, names(helpOptions()));
}

} // namespace
