#pragma once

#include <string>
#include <vector>

// kavrel-render against a brute-force render of the same frame, each a
// process of its own, on one thread: the ratios of the whole processes' CPU
// times, medians of `rounds` runs taken in turns. Several builds of the tool
// (before and after a change) take their turns in the same rounds.
void frameVsBruteLines(const std::vector<std::string>& renderTools, int side, int rounds);
