#pragma once

#include "engine/escape_batch.h"

// The kernels each instruction set's file provides, for func 1 to 4 (null
// otherwise). The AVX2 and AVX-512 ones exist on x86-64 only, and may run only
// where the processor has those instructions.
EscapeKernel baselineKernel(int func);
EscapeKernel avx2Kernel(int func);
EscapeKernel avx512Kernel(int func);
