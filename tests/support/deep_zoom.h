#pragma once

// Zooms of the window aimed at a point, as a user's presses are: for the
// tests of deep frames and the README's picture of one.
#include <QPoint>
#include <QTest>

#include <cmath>
#include <string>

#include "app/gestures.h"
#include "engine/deep/decimal.h"
#include "engine/deep/deep_view.h"
#include "engine/view.h"
#include "tests/support/gui_support.h"

inline const tagRECT& frameRect(short frame) { return frame == kJulia ? gJRect : gMRect; }

// log10 of the frame's pixel, plane or deep.
inline double pixelLog10Of(short frame)
{
    const grafStats& g = frameView(frame);
    if (const auto& deep = frameDeepView(frame))
        return pixelLog10(*deep, g.horizpxls);
    return std::log10(g.Xpxl);
}

// log10 of the view's radius, half the frame's side.
inline double radiusLog10Of(short frame) { return pixelLog10Of(frame) + std::log10(frameView(frame).horizpxls / 2.0); }

// The frame's pixel whose point lies nearest the target, worked out in MPFR
// from the view as the frame draws it.
inline tagPOINT pixelNearest(short frame, const std::string& re, const std::string& im)
{
    const mpfr_prec_t bits = 4000;
    const grafStats& g = frameView(frame);
    BigFloat left(bits), top(bits), stepX(bits), stepY(bits), t(bits);
    if (const auto& deep = frameDeepView(frame)) {
        const BigFloat r = readDecimal(deep->radius, bits);
        mpfr_sub(left.get(), readDecimal(deep->re, bits).get(), r.get(), MPFR_RNDN);
        mpfr_add(top.get(), readDecimal(deep->im, bits).get(), r.get(), MPFR_RNDN);
        mpfr_mul_2ui(stepX.get(), r.get(), 1, MPFR_RNDN);
        mpfr_div_si(stepX.get(), stepX.get(), g.horizpxls, MPFR_RNDN);
        mpfr_set(stepY.get(), stepX.get(), MPFR_RNDN);
    } else {
        mpfr_set_d(left.get(), g.Xmin, MPFR_RNDN);
        mpfr_set_d(top.get(), g.Ymax, MPFR_RNDN);
        mpfr_set_d(stepX.get(), g.Xpxl, MPFR_RNDN);
        mpfr_set_d(stepY.get(), g.Ypxl, MPFR_RNDN);
    }
    mpfr_sub(t.get(), readDecimal(re, bits).get(), left.get(), MPFR_RNDN);
    mpfr_div(t.get(), t.get(), stepX.get(), MPFR_RNDN);
    const long col = mpfr_get_si(t.get(), MPFR_RNDN);
    mpfr_sub(t.get(), top.get(), readDecimal(im, bits).get(), MPFR_RNDN);
    mpfr_div(t.get(), t.get(), stepY.get(), MPFR_RNDN);
    return {static_cast<int>(col), static_cast<int>(mpfr_get_si(t.get(), MPFR_RNDN))};
}

// Presses at the frame's pixel and holds for ten selection ticks: a zoom to
// the square two pixels either side of it, about 49 times at 195 pixels.
inline void zoomAt(Shell& shell, short frame, tagPOINT pixel)
{
    const tagRECT& r = frameRect(frame);
    const QPoint at(r.left + pixel.x, r.top + pixel.y);
    QTest::mousePress(shell.area, Qt::LeftButton, {}, at);
    for (int tick = 0; tick < 10; ++tick)
        shell.area->gestures().tick();
    QTest::mouseRelease(shell.area, Qt::LeftButton, {}, at);
    shell.waitForRenders();
}

