#include "commands/dialogs.h"

#include <QApplication>
#include <QDialog>

#include "app/window_requests.h"
#include "commands/validate.h"
#include "engine/view.h"
#include "render/host.h"
#include "ui_custom_iterations.h"
#include "ui_fractional_powers.h"
#include "ui_invalid_input.h"

int gProcTalk = 1;

namespace {

// Typed text as the rules see it: one byte a character.
std::string typed(const QLineEdit* field) { return field->text().toLatin1().toStdString(); }

void reselect(QLineEdit* field)
{
    field->setFocus();
    field->selectAll();
}

class CustomIterationsDialog : public QDialog {
public:
    explicit CustomIterationsDialog(QWidget* owner) : QDialog(owner)
    {
        ui_.setupUi(this);
        showCurrentCount();
        connect(ui_.okButton, &QPushButton::clicked, this, &CustomIterationsDialog::confirm);
    }

private:
    void showCurrentCount()
    {
        ui_.count->setText(QString::number(gProcTalk == 1 ? Jgraph.iters : Mgraph.iters));
        reselect(ui_.count);
    }
    void confirm()
    {
        if (const int count = readIterCount(typed(ui_.count))) {
            done(count);
            return;
        }
        showInvalidInput(this);
        showCurrentCount();
    }
    Ui::CustomIterationsDialog ui_;
};

class FractionalPowersDialog : public QDialog {
public:
    explicit FractionalPowersDialog(QWidget* owner) : QDialog(owner)
    {
        ui_.setupUi(this);
        showExponent(ui_.realPart, gRealExpon);
        showExponent(ui_.complexPart, whichFunc == 5 ? gCplxExpon.load() : 0.0);
        reselect(ui_.realPart);
        connect(ui_.okButton, &QPushButton::clicked, this, &FractionalPowersDialog::confirm);
    }

private:
    static void showExponent(QLineEdit* field, double part)
    {
        const std::string text = formatExponent(part);
        if (text.empty() || text.size() > 12)
            ShowAlert("bad exponent");
        field->setText(QString::fromStdString(text));
    }
    void confirm()
    {
        const auto re = readRealPart(typed(ui_.realPart));
        if (!re) {
            reject(ui_.realPart);
            return;
        }
        const auto im = readComplexPart(typed(ui_.complexPart));
        if (!im) {
            reject(ui_.complexPart);
            return;
        }
        gRealExpon = *re;
        gCplxExpon = *im;
        done(1);
    }
    // What was typed stays, selected, for the user to mend.
    void reject(QLineEdit* offending)
    {
        showInvalidInput(this);
        reselect(offending);
    }
    Ui::FractionalPowersDialog ui_;
};

} // namespace

void showInvalidInput(QWidget* owner)
{
    QDialog notice(owner);
    Ui::InvalidInputDialog ui;
    ui.setupUi(&notice);
    QApplication::beep();
    ui.willDoButton->setFocus();
    notice.exec();
}

int handleManIters()
{
    CustomIterationsDialog dialog(dialogOwner());
    return dialog.exec();
}

int handleFracPwr()
{
    FractionalPowersDialog dialog(dialogOwner());
    return dialog.exec();
}
