#pragma once

#include <QMainWindow>

class ClientArea;

// "Kavrel For Windows v 1.0": the menu bar over the client area.
class MainWindow : public QMainWindow {
public:
    MainWindow();
    ClientArea* clientArea() const { return area_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    ClientArea* area_;
};
