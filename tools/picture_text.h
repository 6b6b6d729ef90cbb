#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/colouring.h"
#include "engine/frame_spec.h"
#include "tools/render_command.h"

// Keyword and text of each text chunk a picture carries, so that it can be
// made again: the software and its version, and the command line that draws
// the frame in the colouring (written to the tool's default file).
std::vector<std::pair<std::string, std::string>> pictureText(const FrameSpec& frame, Colouring colouring);
std::vector<std::pair<std::string, std::string>> pictureText(const FrameSpec& frame, const PictureLook& look);
