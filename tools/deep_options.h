#pragma once

#include <QString>


struct RenderOptions;

// The iteration limit of a deep frame goes this far; --view keeps 99,000.
constexpr int kMaxDeepIters = 10'000'000;

// The --help text of `--iters auto`.
QString autoItersHelp();

// Reads --center and --radius (given when not null) into a deep view, and
// the Julia constant of --c as typed, for the frame's exact arithmetic.
// Returns one line naming the option at fault, or nothing.
QString readDeepFrame(bool viewGiven, bool exponentGiven, const QString& center, const QString& radius,
                      const QString& juliaC, RenderOptions* o);

// --colouring, or its default: curve with --view, smooth with --center.
QString readColouring(const QString& text, RenderOptions* o);
