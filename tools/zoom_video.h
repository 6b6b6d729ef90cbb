#pragma once

#include "tools/render_options.h"

// A zoom video's job (options.video.mode is not None): its keyframes, as
// many as are missing of those asked for, then the video where one is
// asked for. Returns the exit status: 0 done, 1 failed, 2 bad input (then
// nothing was written).
int zoomVideo(const RenderOptions& options);
