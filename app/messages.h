#pragma once

class QString;
class QWidget;

// A modal box with an OK button only, owned by `owner` (none when null), at
// least as wide as the room its caption needs in a title bar.
void showMessage(QWidget* owner, const QString& caption, const QString& text);

// The fatal alert as the user sees it: a beep, the box captioned "Fatal
// Error!", then the end of the program with status 1. Each text is shown once:
// a render thread may raise the same alert many times before it stops.
void showFatalAlert(const QString& text);
bool fatalAlertRaised();
void clearFatalAlerts();  // a fresh start, for tests

extern QWidget* gTheWindow;
