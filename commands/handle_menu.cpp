#include "commands/handle_menu.h"

#include <QCoreApplication>
#include <QMenu>
#include <QMessageBox>

#include "app/menus.h"
#include "app/window_requests.h"
#include "commands/clipboard.h"
#include "commands/dialogs.h"
#include "engine/view.h"
#include "render/host.h"

namespace {

constexpr int iter[6] = {100, 500, 1000, 2000, 5000, 9000};
constexpr int pwr[4] = {2, 3, 5, 10};
constexpr int kOtherCount = 6;

// The item of a count in the submenu at `base`: its preset, else "Other ...".
int countItem(int base, int count)
{
    for (int i = 0; i < kOtherCount; ++i)
        if (iter[i] == count)
            return base + i;
    return base + kOtherCount;
}

constexpr PlaneBounds kStartBounds{-2.0, 2.0, -2.0, 2.0};

void resetJulia() { restartFrameView(kJulia, kStartBounds); }

void resetMandelbrot()
{
    restartFrameView(kMandelbrot, kStartBounds);
    resetJulia();
}

// A deep frame's orbit is as long as its limit: a new limit draws it again,
// while a plane frame takes the new limit for the points it evaluates next.
void limitChanged(short frame)
{
    if (frameDeepView(frame))
        redrawFrame(frame);
}

int autoIters()
{
    if (gIterFlag != 2)
        return 0;
    CheckMenuItem(jitters, countItem(kJuliaIters, Jgraph.iters), false);
    CheckMenuItem(mitters, countItem(kMandelbrotIters, Mgraph.iters), false);
    CheckMenuItem(optionMenu, kAutoIters, true);
    gIterFlag = 1;
    const int julia = Jgraph.iters, mandelbrot = Mgraph.iters;
    newPxl();
    if (Mgraph.iters != mandelbrot)
        limitChanged(kMandelbrot);
    if (Jgraph.iters != julia)
        limitChanged(kJulia);
    return 0;
}

// The function item checked now, or 0 when the exponent matches none.
int checkedFunction()
{
    if (whichFunc == 5)
        return kFuncOther;
    const int oldPwr = static_cast<int>(gRealExpon);
    for (int i = 0; i < 4; ++i)
        if (pwr[i] == oldPwr)
            return kFuncSquare + i;
    ShowAlert("exponent mismatch");
    return 0;
}

bool isPresetExponent()
{
    if (gCplxExpon != 0.0)
        return false;
    for (int p : pwr)
        if (gRealExpon == p)
            return true;
    return false;
}

// `redraw`: a deep frame is drawn again at its new limit (a function change,
// which redraws both frames anyway, does without).
int setIterations(int menuCode, bool redraw = true)
{
    const bool julia = menuCode < kMandelbrotIters;
    const int base = julia ? kJuliaIters : kMandelbrotIters;
    grafStats& view = julia ? Jgraph : Mgraph;
    QMenu* submenu = julia ? jitters : mitters;
    int k = menuCode - base;
    int newIters;
    if (k == kOtherCount) {
        gProcTalk = julia ? 1 : 2;
        newIters = handleManIters();
        if (newIters == 0)
            return 1;
        k = countItem(base, newIters) - base;  // a preset typed in checks its own item
    } else {
        newIters = iter[k];
    }
    const int oldIters = view.iters;
    if (newIters == oldIters)
        return 1;
    view.iters = newIters;
    CheckMenuItem(submenu, base + k, true);
    if (gIterFlag == 1) {
        CheckMenuItem(optionMenu, kAutoIters, false);
        const int otherBase = julia ? kMandelbrotIters : kJuliaIters;
        CheckMenuItem(julia ? mitters : jitters, countItem(otherBase, (julia ? Mgraph : Jgraph).iters), true);
        gIterFlag = 2;
    } else if (countItem(base, oldIters) != base + k) {
        CheckMenuItem(submenu, countItem(base, oldIters), false);
    }
    if (redraw)
        limitChanged(julia ? kJulia : kMandelbrot);
    return 0;
}

int changeFunction(int menuCode)
{
    const int checkedMenu = checkedFunction();
    if (whichFunc != 5 && checkedMenu == menuCode)
        return 0;
    if (menuCode == kFuncOther) {
        if (handleFracPwr() == 0)
            return 0;
        if (isPresetExponent())
            showWindowMessage(QStringLiteral("Suggestion:"),
                              QStringLiteral("It is better to choose exponents from the menu\n"
                                             " where possible; they run much faster."));
        whichFunc = 5;
    } else {
        gRealExpon = pwr[menuCode - kFuncSquare];
        whichFunc = static_cast<std::int16_t>(menuCode - 703);
    }
    if (checkedMenu != menuCode) {
        if (checkedMenu != 0)
            CheckMenuItem(optionMenu, checkedMenu, false);
        CheckMenuItem(optionMenu, menuCode, true);
    }
    if (gIterFlag == 2) {
        // Both counts back to 100 before the renders restart: a count changed
        // later would reach renders already under way, and part of a picture
        // would be drawn at the old limit.
        setIterations(kJuliaIters, false);
        setIterations(kMandelbrotIters, false);
    }
    Jreal = 0.0;
    Jcomplex = 0.63;
    gJrealText.clear();
    gJcomplexText.clear();
    resetMandelbrot();
    return 0;
}

} // namespace

int handleMenu(int menuCode)
{
    switch (menuCode) {
    case kAbout:
        DoAboutBox();
        return 0;
    case kExit:
        QCoreApplication::exit(0);
        return 0;
    case kCopyLeft:
    case kCopyRight:
    case kCopyWindow:
        handleCopy(menuCode);
        return 0;
    case kAutoIters:
        return autoIters();
    case kFuncSquare:
    case kFuncCube:
    case kFuncFifth:
    case kFuncTenth:
    case kFuncOther:
        return changeFunction(menuCode);
    case kResetJulia:
        resetJulia();
        return 0;
    case kResetMandelbrot:
        resetMandelbrot();
        return 0;
    default:
        if ((menuCode >= kJuliaIters && menuCode <= kJuliaIters + kOtherCount)
            || (menuCode >= kMandelbrotIters && menuCode <= kMandelbrotIters + kOtherCount))
            return setIterations(menuCode);
        return 0;
    }
}
