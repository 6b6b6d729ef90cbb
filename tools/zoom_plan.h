#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/frame_spec.h"
#include "tools/render_command.h"

// A zoom video: from radius zoomFrom into the frame's centre, down to the
// frame's own radius, halving the radius every secondsPerDoubling seconds.
struct ZoomPlan {
    // The video's frame: centre, set, power, constant and size; its radius
    // is the last frame's (R_END) and its limit the one kept throughout
    // unless autoIters.
    FrameSpec frame;
    std::string zoomFrom = "2";  // R0, a decimal
    bool autoIters = true;       // each keyframe gets the automatic limit of its depth
    PictureLook look;
    int fps = 30;
    double secondsPerDoubling = 1.0;
};

// log2(R0 / R_END): how often the radius halves from the first frame to the
// last (above 0 for a plan that zooms in).
double halvings(const ZoomPlan& plan);

// Keyframe i is the frame at radius R0 / 2^i, twice the video's size each
// way, so that every frame between it and the next is resampled from the
// two at no magnification. Keyframes 0 .. keyframeCount - 1 reach R_END.
int keyframeCount(const ZoomPlan& plan);
FrameSpec keyframe(const ZoomPlan& plan, int i);

// The video's frames: one every 1/fps seconds over halvings() *
// secondsPerDoubling seconds, the first at R0 and the last at R_END.
std::int64_t frameCount(const ZoomPlan& plan);
// How many halvings below R0 frame k lies.
double frameDepth(const ZoomPlan& plan, std::int64_t k);

// The keyframe's file in a keyframe folder, and the folder's manifest.
std::string keyframeFile(int i);
constexpr const char* kManifestFile = "kavrel-zoom.txt";

// The manifest: everything a keyframe folder was made for, one "key value"
// line each, and the plan read back from one (or why it cannot be).
std::string manifestText(const ZoomPlan& plan);
std::optional<ZoomPlan> readManifest(const std::string& text, std::string* error);
// The first manifest line in which two plans' folders differ ("" where
// they are the same): a folder serves one plan only.
std::string manifestDifference(const ZoomPlan& a, const ZoomPlan& b);
