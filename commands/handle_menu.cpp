#include "commands/handle_menu.h"

#include <QCoreApplication>

#include "app/menus.h"

int handleMenu(int menuCode)
{
    switch (menuCode) {
    case kExit:
        QCoreApplication::exit(0);
        return 0;
    default:
        return 0;
    }
}
