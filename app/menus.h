#pragma once

#include <functional>

class QAction;
class QMainWindow;
class QMenu;
class QMenuBar;

// Command identifiers of the menu items.
enum MenuCommand {
    kAbout = 500, kExit = 502,
    kCut = 600, kPaste = 602,
    kCopyLeft = 611, kCopyRight = 612, kCopyWindow = 613,
    kAutoIters = 700,
    kFuncSquare = 704, kFuncCube = 705, kFuncFifth = 706, kFuncTenth = 707, kFuncOther = 708,
    kResetJulia = 720, kResetMandelbrot = 721,
    kJuliaIters = 800,       // + index of the preset; + 6 is "Other ..."
    kMandelbrotIters = 900,  // likewise
};

extern QMenuBar* topLmenu;
extern QMenu *fileMenu, *editMenu, *optionMenu, *clipSelect, *magSelect, *iterFunc, *jitters, *mitters;

// Builds the whole menu tree on the window. Every command reaches `handleMenu`
// with its identifier. Check marks change only through CheckMenuItem.
void buildMenus(QMainWindow* window, std::function<int(int)> handleMenu);

// Sets or clears the check mark of command `id` in `menu` or its submenus.
void CheckMenuItem(QMenu* menu, int id, bool checked);
bool isMenuItemChecked(QMenu* menu, int id);
QAction* findCommand(QMenu* menu, int id);
