#pragma once

#include <string>

// kavrel-render against a brute-force render of the same frame, each a
// process of its own, on one thread: the ratios of the whole processes' CPU
// times, medians of `rounds` runs taken in turns.
void frameVsBruteLines(const std::string& renderTool, int side, int rounds);
