// Compiled with -mavx512f: called only where the processor has AVX-512F.
#include "engine/deep/deep_lane_step.h"

DeepLaneKernel avx512DeepLanes() { return deepLanes<double __attribute__((vector_size(64))), 2>(); }
