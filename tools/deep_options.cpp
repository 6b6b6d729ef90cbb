#include "tools/deep_options.h"

#include <QStringList>

#include <cmath>

#include "engine/deep/decimal.h"
#include "engine/deep/deep_frame.h"
#include "tools/render_command.h"
#include "tools/render_options.h"

namespace {

// Two decimals separated by a comma, each as typed.
QString readPair(const QString& option, const QString& text, QString* re, QString* im)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 2)
        return QStringLiteral("--%1: expected two decimals separated by a comma, got '%2'").arg(option, text);
    for (const QString& part : parts)
        if (!isDecimal(part.toStdString()))
            return QStringLiteral("--%1: '%2' is not a decimal number").arg(option, part);
    *re = parts[0];
    *im = parts[1];
    return {};
}

} // namespace

QString autoItersHelp()
{
    return QStringLiteral("With --center, auto is 1000 for every decimal digit of depth: "
                          "1000 * floor(-log10 R), at least 1000, at most 10000000.");
}

QString readDeepFrame(bool viewGiven, bool exponentGiven, const QString& center, const QString& radius,
                      const QString& juliaC, RenderOptions* o)
{
    if (center.isNull() && radius.isNull())
        return {};
    if (viewGiven)
        return QStringLiteral("--view excludes --center and --radius");
    if (center.isNull() || radius.isNull())
        return QStringLiteral("--%1 needs --%2").arg(center.isNull() ? u"radius" : u"center",
                                                      center.isNull() ? u"center" : u"radius");
    if (exponentGiven)
        return QStringLiteral("--exponent: the complex power cannot be drawn with --center; use --power");
    QString re, im;
    if (QString e = readPair(QStringLiteral("center"), center, &re, &im); !e.isEmpty())
        return e;
    const std::string r = radius.toStdString();
    if (!isDecimal(r))
        return QStringLiteral("--radius: '%1' is not a decimal number").arg(radius);
    const BigFloat value = readDecimal(r);
    if (mpfr_sgn(value.get()) <= 0 || !mpfr_number_p(value.get()))
        return QStringLiteral("--radius: '%1' is not a positive finite number").arg(radius);
    if (radiusLog2(r) * std::log10(2.0) < kDeepestRadiusLog10)
        return QStringLiteral("--radius: '%1' is deeper than 1e%2, the deepest this program computes "
                              "(its reference orbit would take days)")
            .arg(radius)
            .arg(kDeepestRadiusLog10, 0, 'f', 0);
    QString cRe = QStringLiteral("0"), cIm = QStringLiteral("0.63");
    if (!juliaC.isNull())
        if (QString e = readPair(QStringLiteral("c"), juliaC, &cRe, &cIm); !e.isEmpty())
            return e;
    o->frame.view = DeepView{re.toStdString(), im.toStdString(), radius.toStdString()};
    o->frame.c = juliaOfDecimals(cRe.toStdString(), cIm.toStdString());
    return {};
}

QString readColouring(const QString& text, RenderOptions* o)
{
    if (text.isNull()) {
        o->colouring = defaultColouring(o->frame);
        return {};
    }
    for (const Colouring rule :
         {Colouring::Curve, Colouring::Cycle, Colouring::Extended, Colouring::Smooth, Colouring::Distance})
        if (text == QLatin1String(colouringName(rule))) {
            o->colouring = rule;
            return {};
        }
    return QStringLiteral("--colouring: '%1' is not curve, cycle, extended, smooth or distance").arg(text);
}
