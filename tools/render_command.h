#pragma once

#include <string>
#include <vector>

#include "engine/colouring.h"
#include "engine/frame_spec.h"

// The shortest decimal text that reads back as exactly v, sign of zero included.
std::string exactNumber(double v);

// The word --colouring takes for a rule, and the rule a frame gets without
// it: curve for a plane view, smooth for a deep one.
const char* colouringName(Colouring rule);
Colouring defaultColouring(const FrameSpec& frame);

// The arguments, program name first, that make kavrel-render draw the frame
// in the colouring, written to `output` (the tool's default when empty).
// Plane views and a plane frame's constant are written as the shortest
// decimals of their doubles, deep views and a deep frame's constant as the
// decimals they are.
std::vector<std::string> renderArguments(const FrameSpec& frame, Colouring colouring, const std::string& output);

// How a picture is drawn beyond its frame: the colouring, its density, the
// palette file (the built-in palette when empty) and the supersampling.
struct PictureLook {
    Colouring colouring = Colouring::Curve;
    double density = 1.0;
    std::string palette;
    int supersample = 1;
};

// The same with the look's options, each only where it is not the default.
std::vector<std::string> renderArguments(const FrameSpec& frame, const PictureLook& look, const std::string& output);

// The same as one shell command line; no argument needs quoting (a palette
// file's name is written as given).
std::string renderCommandLine(const FrameSpec& frame, Colouring colouring, const std::string& output);
std::string renderCommandLine(const FrameSpec& frame, const PictureLook& look, const std::string& output);
