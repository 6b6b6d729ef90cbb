#pragma once

class QWidget;

// Which frame the custom count dialog is for: 1 the Julia frame, else the
// Mandelbrot frame.
extern int gProcTalk;

// The custom count dialog: the new count (10..99000), or 0 when cancelled.
int handleManIters();

// The fractional power dialog: 1 when valid exponent parts were confirmed
// and stored in gRealExpon and gCplxExpon, 0 when cancelled.
int handleFracPwr();

// "Unreadable or invalid input, please try again.", with a beep.
void showInvalidInput(QWidget* owner);
