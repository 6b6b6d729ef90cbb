#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

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

// Reads a palette in the resources' text format: kPaletteSize lines of
// "red green blue", each a whole number 0 to 255, separated by spaces (a
// line may begin with spaces, as the resources' lines do, and end in CR LF).
// A last line break is optional. Fills entries (0x00BBGGRR) and returns
// nothing, or says what is wrong and where, leaving entries unspecified.
std::string readPaletteText(std::string_view text, std::uint32_t* entries);
