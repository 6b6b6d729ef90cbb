#include "app/menus.h"

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

QMenuBar* topLmenu = nullptr;
QMenu *fileMenu, *editMenu, *optionMenu, *clipSelect, *magSelect, *iterFunc, *jitters, *mitters;

namespace {

std::function<int(int)> dispatch;

QAction* command(QMenu* menu, int id, const QString& text, bool checkable = false)
{
    QAction* action = menu->addAction(text);
    action->setData(id);
    action->setCheckable(checkable);
    QObject::connect(action, &QAction::triggered, action, [action, id] {
        // The command decides the check marks; undo Qt's own toggle first.
        if (action->isCheckable())
            action->setChecked(!action->isChecked());
        dispatch(id);
    });
    return action;
}

void grayed(QMenu* menu, int id, const QString& text) { command(menu, id, text)->setEnabled(false); }

void fillCounts(QMenu* menu, int base)
{
    const char* counts[] = {" 100", " 500", "1000", "2000", "5000", "9000", "Other ..."};
    for (int i = 0; i < 7; ++i)
        command(menu, base + i, QString::fromLatin1(counts[i]), true);
}

} // namespace

void buildMenus(QMainWindow* window, std::function<int(int)> handleMenu)
{
    dispatch = std::move(handleMenu);
    topLmenu = new QMenuBar(window);

    fileMenu = new QMenu(QStringLiteral("&File"), topLmenu);
    command(fileMenu, kAbout, QStringLiteral("About Kavrel"));
    fileMenu->addSeparator();
    command(fileMenu, kExit, QStringLiteral("&Exit"));

    clipSelect = new QMenu(QStringLiteral("Copy"), topLmenu);
    command(clipSelect, kCopyLeft, QStringLiteral("Left Frame"));
    command(clipSelect, kCopyRight, QStringLiteral("Right Frame"));
    command(clipSelect, kCopyWindow, QStringLiteral("Entire Window"));

    magSelect = new QMenu(QStringLiteral("Reset Magnification"), topLmenu);
    command(magSelect, kResetJulia, QStringLiteral("Julia Window"));
    command(magSelect, kResetMandelbrot, QStringLiteral("Mandelbrot Window"));

    editMenu = new QMenu(QStringLiteral("&Edit"), topLmenu);
    grayed(editMenu, kCut, QStringLiteral("Cut"));
    editMenu->addMenu(clipSelect);
    grayed(editMenu, kPaste, QStringLiteral("Paste"));

    jitters = new QMenu(QStringLiteral("Julia Iters"), topLmenu);
    fillCounts(jitters, kJuliaIters);
    mitters = new QMenu(QStringLiteral("Mbrot Iters"), topLmenu);
    fillCounts(mitters, kMandelbrotIters);
    iterFunc = new QMenu(QStringLiteral("Manual Iters"), topLmenu);
    iterFunc->addMenu(jitters);
    iterFunc->addMenu(mitters);

    optionMenu = new QMenu(QStringLiteral("&Option"), topLmenu);
    command(optionMenu, kAutoIters, QStringLiteral("Auto Iters"), true);
    optionMenu->addMenu(iterFunc);
    optionMenu->addMenu(magSelect);
    optionMenu->addSeparator();
    command(optionMenu, kFuncSquare, QStringLiteral("X^2 + C"), true);
    command(optionMenu, kFuncCube, QStringLiteral("X^3 + C"), true);
    command(optionMenu, kFuncFifth, QStringLiteral("X^5 + C"), true);
    command(optionMenu, kFuncTenth, QStringLiteral("X^10 + C"), true);
    command(optionMenu, kFuncOther, QStringLiteral("Other, Fractional ..."), true);

    topLmenu->addMenu(fileMenu);
    topLmenu->addMenu(editMenu);
    topLmenu->addMenu(optionMenu);
    window->setMenuBar(topLmenu);
}

QAction* findCommand(QMenu* menu, int id)
{
    for (QAction* action : menu->actions()) {
        if (action->menu()) {
            if (QAction* found = findCommand(action->menu(), id))
                return found;
        } else if (!action->isSeparator() && action->data().toInt() == id) {
            return action;
        }
    }
    return nullptr;
}

void CheckMenuItem(QMenu* menu, int id, bool checked)
{
    if (QAction* action = findCommand(menu, id))
        action->setChecked(checked);
}

bool isMenuItemChecked(QMenu* menu, int id)
{
    const QAction* action = findCommand(menu, id);
    return action && action->isChecked();
}
