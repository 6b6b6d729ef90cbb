#include <gtest/gtest.h>

#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include "app/frame_paint.h"
#include "app/menus.h"
#include "commands/handle_menu.h"
#include "engine/view.h"
#include "render/off_map.h"
#include "tests/support/gui_support.h"

namespace {

// Steps for the scripted dialogs.
ModalScript::Step type(std::vector<std::pair<const char*, QString>> fields, std::vector<std::string>* seen = nullptr)
{
    return [fields, seen](QWidget* dialog) {
        if (seen)
            seen->push_back(dialog->windowTitle().toStdString());
        for (const auto& [name, text] : fields)
            dialog->findChild<QLineEdit*>(QLatin1String(name))->setText(text);
        dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    };
}

ModalScript::Step cancel()
{
    return [](QWidget* dialog) { dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click(); };
}

// Dismisses the invalid-input notice, remembering it was shown.
ModalScript::Step notice(std::vector<std::string>* seen)
{
    return [seen](QWidget* dialog) {
        seen->push_back(dialog->windowTitle().toStdString());
        dialog->findChild<QPushButton*>(QStringLiteral("willDoButton"))->click();
    };
}

// Looks at the field the dialog left focused and selected after a
// rejection, then goes on with `next`.
ModalScript::Step inspect(const char* field, QString* text, bool* selected, ModalScript::Step next)
{
    return [=](QWidget* dialog) {
        auto* edit = dialog->findChild<QLineEdit*>(QLatin1String(field));
        *text = edit->text();
        // The window may not be active on the offscreen platform; ask it
        // which of its widgets has the focus.
        *selected = edit->selectedText() == edit->text() && dialog->focusWidget() == edit;
        next(dialog);
    };
}

QStringList checkedItems()
{
    QStringList out;
    for (QMenu* m : {optionMenu, jitters, mitters})
        for (QAction* a : m->actions())
            if (a->isChecked())
                out << m->title() + "/" + a->text();
    return out;
}

struct CommandsTest : testing::Test {
    Shell shell{400, 300, handleMenu};
};

TEST_F(CommandsTest, FunctionChangeResetsViewsAndConstantAndRestartsBothFrames)
{
    loadStats(&Mgraph, -1.0, 0.0, -0.5, 0.5);
    loadStats(&Jgraph, -1.0, 1.0, -1.0, 1.0);
    Jreal = 0.3;
    const QImage mBefore = shell.frame(gMRect), jBefore = shell.frame(gJRect);
    handleMenu(kFuncSquare);  // already the function: nothing happens
    EXPECT_EQ(Jreal, 0.3);
    EXPECT_EQ(Mgraph.Xmin, -1.0);

    handleMenu(kFuncFifth);
    EXPECT_EQ(whichFunc, 3);
    EXPECT_EQ(gRealExpon, 5.0);
    EXPECT_EQ(Jreal, 0.0);
    EXPECT_EQ(Jcomplex, 0.63);
    EXPECT_EQ(Mgraph.Xmin, -2.0);
    EXPECT_EQ(Jgraph.Ymax, 2.0);
    EXPECT_EQ(checkedItems(), (QStringList{"&Option/Auto Iters", "&Option/X^5 + C"}));
    shell.waitForRenders();
    // Both frames were drawn anew with the new function.
    EXPECT_NE(shell.frame(gMRect), mBefore);
    EXPECT_NE(shell.frame(gJRect), jBefore);
    EXPECT_EQ(shell.frame(gMRect).pixel(92, 92), qRgb(0, 0, 0));

    // Resets: the Julia frame alone, or both.
    loadStats(&Jgraph, -1.0, 1.0, -1.0, 1.0);
    loadStats(&Mgraph, -1.0, 1.0, -1.0, 1.0);
    handleMenu(kResetJulia);
    EXPECT_EQ(Jgraph.Xmin, -2.0);
    EXPECT_EQ(Mgraph.Xmin, -1.0);
    handleMenu(kResetMandelbrot);
    EXPECT_EQ(Mgraph.Xmin, -2.0);
    EXPECT_EQ(Jcomplex, 0.63);
}

TEST_F(CommandsTest, FractionalDialogValidatesEachPartAndSuggestsTheMenuForPresets)
{
    std::vector<std::string> seen;
    QString text;
    bool selected = false;
    ModalScript script({
        type({{"realPart", "2abc"}, {"complexPart", "abc"}}, &seen),
        notice(&seen),
        inspect("complexPart", &text, &selected, cancel()),
    });
    EXPECT_EQ(handleMenu(kFuncOther), 0);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(seen, (std::vector<std::string>{"Fractional Powers", "Invalid Input"}));
    EXPECT_EQ(text, QStringLiteral("abc"));  // the typed text stays, selected
    EXPECT_TRUE(selected);
    EXPECT_EQ(whichFunc, 1);  // cancelled: nothing changed
    EXPECT_EQ(gRealExpon, 2.0);

    // 3 + 0i is accepted, with the suggestion, and the mark moves to 708.
    BoxAnswerer boxes;
    ModalScript accept({type({{"realPart", "3"}, {"complexPart", "  "}})});
    handleMenu(kFuncOther);
    EXPECT_EQ(whichFunc, 5);
    EXPECT_EQ(gRealExpon, 3.0);
    EXPECT_EQ(gCplxExpon, 0.0);
    EXPECT_EQ(boxes.boxes, (std::vector<std::string>{
                               "Suggestion:: It is better to choose exponents from the menu\n where possible; they run much faster."}));
    EXPECT_EQ(checkedItems(), (QStringList{"&Option/Auto Iters", "&Option/Other, Fractional ..."}));

    // Chosen again, it reopens with the exponent in use; rounding on OK.
    QString shownReal, shownComplex;
    ModalScript again({[&](QWidget* dialog) {
        shownReal = dialog->findChild<QLineEdit*>("realPart")->text();
        shownComplex = dialog->findChild<QLineEdit*>("complexPart")->text();
        type({{"realPart", "12.3456789"}, {"complexPart", "-99.99"}})(dialog);
    }});
    handleMenu(kFuncOther);
    EXPECT_EQ(shownReal, QStringLiteral("3.00"));
    EXPECT_EQ(shownComplex, QStringLiteral("0.00"));
    EXPECT_EQ(gRealExpon, 12.35);
    EXPECT_EQ(gCplxExpon, -9999 * 0.01);
    shell.waitForRenders();
}

TEST_F(CommandsTest, CountDialogResetsARejectedFieldToTheCurrentCount)
{
    std::vector<std::string> seen;
    QString afterReject;
    bool selected = false;
    ModalScript script({
        type({{"count", "-50"}}, &seen),
        notice(&seen),
        inspect("count", &afterReject, &selected, type({{"count", "99001"}})),
        notice(&seen),
        type({{"count", "2000"}}),
    });
    const int autoCount = Mgraph.iters;
    EXPECT_EQ(handleMenu(kMandelbrotIters + 6), 0);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(seen, (std::vector<std::string>{"Custom Iteration Settings", "Invalid Input", "Invalid Input"}));
    EXPECT_EQ(afterReject, QString::number(autoCount));
    EXPECT_TRUE(selected);
    EXPECT_EQ(Mgraph.iters, 2000);
    // A typed preset checks the preset's item; the other frame keeps its count.
    EXPECT_TRUE(isMenuItemChecked(mitters, kMandelbrotIters + 3));
    EXPECT_FALSE(isMenuItemChecked(mitters, kMandelbrotIters + 6));
    EXPECT_EQ(gIterFlag, 2);

    ModalScript cancelled({cancel()});
    EXPECT_EQ(handleMenu(kJuliaIters + 6), 1);
    EXPECT_EQ(Jgraph.iters, autoCount);
}

TEST_F(CommandsTest, CheckMarksFollowAutoManualPresetAndCustomCounts)
{
    // In automatic mode the preset equal to the count changes nothing.
    Jgraph.iters = 100;
    EXPECT_EQ(handleMenu(kJuliaIters), 1);
    EXPECT_EQ(gIterFlag, 1);
    EXPECT_EQ(checkedItems(), (QStringList{"&Option/Auto Iters", "&Option/X^2 + C"}));

    Mgraph.iters = 1234;
    EXPECT_EQ(handleMenu(kJuliaIters + 1), 0);  // " 500"
    EXPECT_EQ(checkedItems(), (QStringList{"&Option/X^2 + C", "Julia Iters/ 500", "Mbrot Iters/Other ..."}));

    ModalScript custom({type({{"count", "777"}}), type({{"count", "778"}})});
    handleMenu(kMandelbrotIters + 6);
    handleMenu(kMandelbrotIters + 6);
    EXPECT_EQ(Mgraph.iters, 778);
    EXPECT_EQ(checkedItems(), (QStringList{"&Option/X^2 + C", "Julia Iters/ 500", "Mbrot Iters/Other ..."}));
    handleMenu(kMandelbrotIters + 5);
    EXPECT_EQ(checkedItems(), (QStringList{"&Option/X^2 + C", "Julia Iters/ 500", "Mbrot Iters/9000"}));

    handleMenu(kAutoIters);
    EXPECT_EQ(gIterFlag, 1);
    EXPECT_EQ(checkedItems(), (QStringList{"&Option/Auto Iters", "&Option/X^2 + C"}));
    EXPECT_EQ(Mgraph.iters, autoIters(Mgraph.Xpxl));
    EXPECT_EQ(handleMenu(kAutoIters), 0);
}

TEST_F(CommandsTest, ManualFunctionChangeBringsBothCountsBackTo100)
{
    handleMenu(kJuliaIters + 2);
    handleMenu(kMandelbrotIters + 4);
    EXPECT_EQ(Jgraph.iters, 1000);
    EXPECT_EQ(Mgraph.iters, 5000);
    handleMenu(kFuncCube);
    // Before any event is handled: the renders that just started draw at 100.
    EXPECT_EQ(Jgraph.iters, 100);
    EXPECT_EQ(Mgraph.iters, 100);
    EXPECT_EQ(checkedItems(), (QStringList{"&Option/X^3 + C", "Julia Iters/ 100", "Mbrot Iters/ 100"}));
    shell.waitForRenders();
    EXPECT_EQ(checkedItems(), (QStringList{"&Option/X^3 + C", "Julia Iters/ 100", "Mbrot Iters/ 100"}));
}

TEST_F(CommandsTest, ManualFunctionChangeDrawsTheNewPictureAtOneLimitThroughout)
{
    handleMenu(kMandelbrotIters + 5);  // "9000"
    handleMenu(kFuncCube);
    // No event is handled until the render is over, however long it takes:
    // whatever would still change the limit arrives too late for all of it.
    waitForRender(kMandelbrot);
    const QImage drawn = mapImage(*gMMap);
    shell.waitForRenders();
    EXPECT_EQ(Mgraph.iters, 100);
    drawFigure({0, 0, gMMap->width, gMMap->height}, kMandelbrot);
    shell.waitForRenders();
    EXPECT_EQ(drawn, mapImage(*gMMap)) << "the picture after the change was not drawn at 100 throughout";
}

TEST_F(CommandsTest, IterationCommandChangesARunningRendersLimitWithoutRestartingIt)
{
    makeViewsSlow();
    const int side = gMRect.bottom - gMRect.top;
    drawFigure({0, 0, side, side}, kMandelbrot);
    const std::uint32_t running = mThdID;
    handleMenu(kMandelbrotIters);  // " 100"
    EXPECT_EQ(Mgraph.iters, 100);
    EXPECT_EQ(mThdID, running);
    EXPECT_TRUE(waitUntil([] { return !anyRenderRunning(); }, 5000)) << "the render kept the old limit";
}

TEST_F(CommandsTest, CopiesPutTheFramesAndTheWindowBandOnTheClipboard)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    handleMenu(kCopyLeft);
    const QImage left = clipboard->image().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(left.size(), QSize(gJMap->width, gJMap->height));
    EXPECT_EQ(left, shell.frame(gJRect));
    handleMenu(kCopyRight);
    const QImage right = clipboard->image().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(right, shell.frame(gMRect));
    EXPECT_NE(right, left);
    handleMenu(kCopyWindow);
    const QImage band = clipboard->image().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(band.size(), QSize(400, gMMap->height + 20));
    EXPECT_EQ(band, shell.area->screenImage().copy(0, 0, 400, gMMap->height + 20));

    BoxAnswerer boxes;
    handleMenu(kAbout);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].rfind("Kavrel For Windows v 1.0: ", 0), 0u);
    EXPECT_EQ(handleMenu(999), 0);
}

} // namespace
