#pragma once

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

// While it lives, answers every message box of the application as soon as it
// shows, and keeps "caption: text" of each, in order; `seen` is told each too.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(std::function<void(const std::string&)> seen = {}, QObject* parent = nullptr)
        : QObject(parent), seen_(std::move(seen))
    {
        qApp->installEventFilter(this);
    }
    std::vector<std::string> boxes;
    std::vector<int> widths;  // of each box as it showed

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto* box = qobject_cast<QMessageBox*>(watched)) {
                boxes.push_back(box->windowTitle().toStdString() + ": " + box->text().toStdString());
                if (seen_)
                    seen_(boxes.back());
                // Once the box runs its own event loop, and has its size.
                QTimer::singleShot(0, box, [this, box] {
                    widths.push_back(box->width());
                    box->accept();
                });
            }
        }
        return false;
    }

private:
    std::function<void(const std::string&)> seen_;
};
