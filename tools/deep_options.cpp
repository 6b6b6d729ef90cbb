#include "tools/deep_options.h"

#include <QStringList>

#include "engine/deep/decimal.h"
#include "engine/deep/deep_frame.h"
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
    if (QString e = readPair(QStringLiteral("center"), center, &o->centerRe, &o->centerIm); !e.isEmpty())
        return e;
    const std::string r = radius.toStdString();
    if (!isDecimal(r))
        return QStringLiteral("--radius: '%1' is not a decimal number").arg(radius);
    const BigFloat value = readDecimal(r);
    if (mpfr_sgn(value.get()) <= 0 || !mpfr_number_p(value.get()))
        return QStringLiteral("--radius: '%1' is not a positive finite number").arg(radius);
    o->radius = radius;
    if (!juliaC.isNull())
        if (QString e = readPair(QStringLiteral("c"), juliaC, &o->juliaReText, &o->juliaImText); !e.isEmpty())
            return e;
    o->deep = true;
    return {};
}

DeepParams deepParamsOf(const RenderOptions& o)
{
    DeepParams p;
    p.centerRe = o.centerRe.toStdString();
    p.centerIm = o.centerIm.toStdString();
    p.radius = o.radius.toStdString();
    p.julia = o.FuncSwitch == 22;
    p.juliaRe = o.juliaReText.toStdString();
    p.juliaIm = o.juliaImText.toStdString();
    p.power = static_cast<int>(o.realExpon);
    p.size = o.size;
    p.maxIters = o.iters != 0 ? o.iters : deepAutoIters(p.radius);
    return p;
}

QString readColouring(const QString& text, RenderOptions* o)
{
    if (text.isNull())
        o->colouring = o->deep ? Colouring::Cycle : Colouring::Curve;
    else if (text == u"curve")
        o->colouring = Colouring::Curve;
    else if (text == u"cycle")
        o->colouring = Colouring::Cycle;
    else
        return QStringLiteral("--colouring: '%1' is not curve or cycle").arg(text);
    return {};
}
