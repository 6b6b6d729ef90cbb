#pragma once

#include <cstdint>
#include <functional>

constexpr int kPaletteSize = 500;

// The palette, 0x00BBGGRR per entry: 0 is white, 499 black. Written once by
// loadColors before any render thread exists, read-only afterwards.
extern std::uint32_t gColorList[kPaletteSize];

// Fetches string resource `id` into `buffer`: at most capacity - 1 characters
// and a terminating zero. Returns the number of characters copied, 0 when the
// string does not exist.
using StringLoader = std::function<int(int id, char* buffer, int capacity)>;

// The loader over the strings compiled into the program.
int loadStringResource(int id, char* buffer, int capacity);

// The loader loadColors() reads through: loadStringResource unless another
// was put in its place, so that a faulty palette can be tried on the whole
// program. An empty loader puts loadStringResource back. Start-up only.
void setStringLoader(StringLoader load);

// Parses the five palette strings 100..500 into gColorList.
void loadColors();
void loadColors(const StringLoader& load);
