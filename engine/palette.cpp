#include "engine/palette.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "engine/fatal.h"
#include "resources/string_table.h"

std::uint32_t gColorList[kPaletteSize];

int loadStringResource(int id, char* buffer, int capacity)
{
    const char* text = findStringResource(id);
    if (!text || capacity <= 0)
        return 0;
    const int n = static_cast<int>(strnlen(text, static_cast<std::size_t>(capacity - 1)));
    std::memcpy(buffer, text, static_cast<std::size_t>(n));
    buffer[n] = '\0';
    return n;
}

namespace {

StringLoader& stringLoader()
{
    static StringLoader load = loadStringResource;
    return load;
}

// A line is "red green blue": numbers of at most three characters separated
// by spaces. The state runs on across all five strings.
struct ColorParser {
    int rgbIdx = 0;  // next entry
    int cIdx = 0;    // component being read
    int chIdx = 0;   // next character within the number
    char parts[3][4] = {};

    void endLine()
    {
        const std::uint32_t entry = (std::atoi(parts[0]) & 0xFF)
                                    | (std::atoi(parts[1]) & 0xFF) << 8
                                    | (std::atoi(parts[2]) & 0xFF) << 16;
        if (rgbIdx < 0 || rgbIdx >= kPaletteSize)
            raiseFatal("color array out of bounds");
        else
            gColorList[rgbIdx] = entry;
        ++rgbIdx;
        std::memset(parts, 0, sizeof parts);
        chIdx = 0;
        cIdx = 0;
    }

    void take(char ch)
    {
        if (ch == '\n') {
            endLine();
        } else if (ch == ' ') {
            if (chIdx != 0) {
                ++cIdx;
                chIdx = 0;
            }
        } else {
            // Digits past the third of a number, and numbers past the third
            // of a line, have nowhere to go and are dropped.
            if (cIdx < 3 && chIdx < 3)
                parts[cIdx][chIdx] = ch;
            ++chIdx;
        }
    }
};

} // namespace

void setStringLoader(StringLoader load)
{
    stringLoader() = load ? std::move(load) : StringLoader(loadStringResource);
}

void loadColors() { loadColors(stringLoader()); }

void loadColors(const StringLoader& load)
{
    constexpr int kChunk = 2000;
    ColorParser parser;
    char colorChunk[kChunk];
    for (int k = 0; k < 5; ++k) {
        std::memset(colorChunk, 0, sizeof colorChunk);
        if (load((k + 1) * 100, colorChunk, kChunk) == 0)
            raiseFatal("couldn't load color string resource");
        colorChunk[kChunk - 1] = '\0';
        const std::size_t x = std::strlen(colorChunk);
        for (std::size_t i = 0; i < x; ++i)
            parser.take(colorChunk[i]);
    }
}
