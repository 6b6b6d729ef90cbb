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

namespace {

std::string badLine(int line, std::string_view body)
{
    constexpr std::size_t kShown = 40;
    const std::string shown = body.size() > kShown ? std::string(body.substr(0, kShown)) + "..." : std::string(body);
    return "line " + std::to_string(line + 1) + ": expected three whole numbers from 0 to 255, got '" + shown + "'";
}

} // namespace

std::string readPaletteText(std::string_view text, std::uint32_t* entries)
{
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    int line = 0;
    for (std::size_t start = 0; start <= text.size(); ++line) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view body = text.substr(start, end - start);
        start = end + 1;
        if (!body.empty() && body.back() == '\r')
            body.remove_suffix(1);
        if (line >= kPaletteSize)
            return "more than " + std::to_string(kPaletteSize) + " lines";
        int parts[3] = {};
        int found = 0;
        std::size_t at = 0;
        const auto space = [&] {
            while (at < body.size() && (body[at] == ' ' || body[at] == '\t'))
                ++at;
        };
        for (space(); at < body.size(); space()) {
            const std::size_t first = at;
            int value = 0;
            while (at < body.size() && body[at] >= '0' && body[at] <= '9' && at - first < 4)
                value = value * 10 + (body[at++] - '0');
            const bool ended = at == body.size() || body[at] == ' ' || body[at] == '\t';
            // At most three digits, as in the built-in palette's lines.
            if (at == first || at - first > 3 || !ended || value > 255 || found == 3)
                return badLine(line, body);
            parts[found++] = value;
        }
        if (found != 3)
            return badLine(line, body);
        entries[line] = static_cast<std::uint32_t>(parts[0]) | static_cast<std::uint32_t>(parts[1]) << 8 |
                        static_cast<std::uint32_t>(parts[2]) << 16;
    }
    if (line != kPaletteSize)
        return std::to_string(line) + " lines where a palette has " + std::to_string(kPaletteSize);
    return {};
}
