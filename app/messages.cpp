#include "app/messages.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QSet>
#include <QStyle>

QWidget* gTheWindow = nullptr;

namespace {
QSet<QString> shownAlerts;

int captionWidth(const QWidget& box)
{
    // Window managers draw the caption in a bold font, beside an icon and up
    // to three buttons about as wide as the title bar is high.
    QFont bold = box.font();
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + 4 * box.style()->pixelMetric(QStyle::PM_TitleBarHeight);
}
} // namespace

void showMessage(QWidget* owner, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    // The box sizes itself to its text alone; a short text left the window
    // manager too little room for the caption, which it cut short.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(captionWidth(box), 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0,
                      1, grid->columnCount());
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
