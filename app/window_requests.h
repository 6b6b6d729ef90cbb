#pragma once

class QImage;
class QString;
class QWidget;

// What a menu command may ask of the main window.

// The plane rectangle a frame is to show.
struct PlaneBounds {
    double xmin = 0.0, xmax = 0.0, ymin = 0.0, ymax = 0.0;
};

// The frame (kMandelbrot or kJulia) shows `bounds`, in doubles: its view and
// the pixel sizes of both frames are set anew and its render starts again.
void restartFrameView(short frame, const PlaneBounds& bounds);

struct DeepView;
// The same for a deep view; the frame's record takes the nearest doubles of
// the view's edges.
void restartFrameDeep(short frame, const DeepView& view);

// The frame is rendered again as the view state stands.
void redrawFrame(short frame);

// The frame's picture (kMandelbrot or kJulia) from its map, which must exist.
QImage frameImage(short frame);

// The client area as shown, in device pixels, as wide as it and a frame plus
// its margins above and below high.
QImage windowBand();

// A modal box with an OK button only, over the main window.
void showWindowMessage(const QString& caption, const QString& text);

// The window that owns the commands' dialogs.
QWidget* dialogOwner();
