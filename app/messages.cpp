#include "app/messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QSet>

QWidget* gTheWindow = nullptr;

namespace {
QSet<QString> shownAlerts;
}

void showMessage(QWidget* owner, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

void showFatalAlert(const QString& text)
{
    if (shownAlerts.contains(text))
        return;
    shownAlerts.insert(text);
    QApplication::beep();
    showMessage(gTheWindow, QStringLiteral("Fatal Error!"), text);
    QCoreApplication::exit(1);
}

bool fatalAlertRaised() { return !shownAlerts.isEmpty(); }

void clearFatalAlerts() { shownAlerts.clear(); }
