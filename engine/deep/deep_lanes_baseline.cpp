// Compiled with the target's baseline flags: SSE2 on x86-64.
#include "engine/deep/deep_lane_step.h"

DeepLaneKernel baselineDeepLanes() { return deepLanes<double __attribute__((vector_size(16))), 4>(); }
