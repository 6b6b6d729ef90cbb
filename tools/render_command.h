#pragma once

#include <string>
#include <vector>

#include "engine/colouring.h"
#include "engine/frame_spec.h"

// The shortest decimal text that reads back as exactly v, sign of zero included.
std::string exactNumber(double v);

// The word --colouring takes for a rule, and the rule a frame gets without
// it: curve for a plane view, cycle for a deep one.
const char* colouringName(Colouring rule);
Colouring defaultColouring(const FrameSpec& frame);

// The arguments, program name first, that make kavrel-render draw the frame
// in the colouring, written to `output` (the tool's default when empty).
// Plane views and a plane frame's constant are written as the shortest
// decimals of their doubles, deep views and a deep frame's constant as the
// decimals they are.
std::vector<std::string> renderArguments(const FrameSpec& frame, Colouring colouring, const std::string& output);

// The same as one shell command line; no argument needs quoting.
std::string renderCommandLine(const FrameSpec& frame, Colouring colouring, const std::string& output);
