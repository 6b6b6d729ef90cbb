// Compiled with -mavx2 (and without -mfma): called only where the processor
// has AVX2.
#include "engine/deep/deep_lane_step.h"

DeepLaneKernel avx2DeepLanes() { return deepLanes<double __attribute__((vector_size(32))), 2>(); }
