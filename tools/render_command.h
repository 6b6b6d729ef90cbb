#pragma once

#include <string>
#include <vector>

// Everything that decides the pixels of one frame, as kavrel-render takes it.
struct FrameCommand {
    bool julia = false;
    int whichFunc = 1;  // 1..4: z^2, z^3, z^5, z^10; 5: z^(realExpon + cplxExpon i)
    double realExpon = 2.0, cplxExpon = 0.0;
    double cRe = 0.0, cIm = 0.0;  // the Julia constant; the Mandelbrot set has none
    double xmin = -2.0, xmax = 2.0, ymin = -2.0, ymax = 2.0;
    int size = 600;
    int iters = 100;
    std::string output;  // a plain file name, or empty for the tool's default
    // A deep frame instead of the view: centre, radius and Julia constant as
    // typed. Empty for a frame of the view.
    std::string centerRe, centerIm, radius, cReText, cImText;
    bool cycle = false;  // coloured by --colouring cycle
};

// The shortest decimal text that reads back as exactly v, sign of zero included.
std::string exactNumber(double v);

// The arguments, program name first, that make kavrel-render draw the frame.
std::vector<std::string> renderArguments(const FrameCommand& frame);

// The same as one shell command line; no argument needs quoting.
std::string renderCommandLine(const FrameCommand& frame);
