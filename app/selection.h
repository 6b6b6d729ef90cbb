#pragma once

#include "engine/geometry.h"

// The left-button gesture: a short click, or a press held until a square
// selection grows around the press point.
extern tagPOINT gLastMClick;  // the press point; the release point once the button is up
extern int gNumMsgs;          // selection ticks since the press; -1: the press started no gesture
extern tagRECT gFrame;        // the selection as last drawn

constexpr int kSelectionTimer = 989;
constexpr int kSelectionPeriodMs = 50;
constexpr int kClickTicks = 9;  // a release within this many ticks is a click

// One 50 ms tick of a selection inside the frame boundsRect. Nothing shows
// during the first nine ticks; from the tenth on both renders are asked to
// stop, the selection grows by one step and gFrame takes its new bounds.
// Returns 1 when gFrame changed and the outline is to be drawn anew.
int SelectRange(const tagRECT& boundsRect);
