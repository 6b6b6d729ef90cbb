#pragma once

#include <QString>
#include <QStringList>

#include "engine/colouring.h"

// What kavrel-render was asked to draw.
struct RenderOptions {
    short FuncSwitch = 11;  // 11 Mandelbrot, 22 Julia
    int whichFunc = 1;      // 1..4: z^2, z^3, z^5, z^10; 5: complex power
    double realExpon = 2.0, cplxExpon = 0.0;
    double cRe = 0.0, cIm = 0.63;
    double xmin = -2.0, xmax = 2.0, ymin = -2.0, ymax = 2.0;
    int size = 600;
    int iters = 0;  // 0: the automatic limit of the view and size
    int threads = 1;
    QString output;
    QString indices;
    QString counts;  // .npy of escape counts
    Colouring colouring = Colouring::Curve;
    bool stats = false;
    // --center and --radius: a deep frame, its numbers kept as typed.
    bool deep = false;
    QString centerRe, centerIm, radius;
    QString juliaReText = QStringLiteral("0"), juliaImText = QStringLiteral("0.63");
};

enum class ParseResult { Ok, Help, Error };

// The text with its line breaks shown as escapes ("\n", "\u2028"): an error
// message stays one line whatever the arguments it quotes hold.
QString oneLine(const QString& text);

// Parses the arguments (the program name first). On Error, *message is one
// line naming the option and what is wrong with it; on Help, the usage or the
// version text to print.
ParseResult parseRenderOptions(const QStringList& arguments, RenderOptions* options, QString* message);
