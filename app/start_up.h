#pragma once

#include <functional>

class MainWindow;
class QtHost;

// Loads the palette, puts the view state in its start state and builds the
// main window with its menus, size grip and check marks, ready to be shown.
// ESC anywhere in the application asks both renders to stop from then on.
MainWindow* startUp(QtHost& host, std::function<int(int)> handleMenu);
