#pragma once

#include <memory>
#include <string>

#include "engine/deep/deep_frame.h"

// A deep frame's orbits in a file (--make-orbit), and a frame drawn against
// them (--orbit): see DeepFrame::save and load. The file is written
// atomically; false, with *error, when it could not be.
bool writeOrbitFile(const std::string& path, const DeepFrame& frame, std::string* error);
std::unique_ptr<const DeepFrame> readOrbitFile(const std::string& path, const FrameSpec& frame, std::string* error);
