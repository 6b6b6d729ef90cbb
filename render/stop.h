#pragma once

#include <atomic>
#include <cstdint>

// Thread state of a frame's render.
constexpr std::int16_t kRunning = 44;
constexpr std::int16_t kStopRequested = 55;
constexpr std::int16_t kFinished = 66;

extern std::atomic<std::int16_t> gMthd, gJthd;     // Mandelbrot, Julia state
extern std::atomic<std::uint32_t> mThdID, jThdID;  // 0: the frame has no render thread

// Asks the render of frame 11, 22 or both (33) to stop; does not wait.
void stopThread(int thread2stop);

// 1 once a stop of the frame's render has been requested (11 Mandelbrot,
// anything else Julia).
int userHalt(int funcSwitch);

bool anyRenderRunning();
