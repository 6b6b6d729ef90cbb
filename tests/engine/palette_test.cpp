#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "engine/palette.h"
#include "tests/support/support.h"

namespace {

struct Rgb {
    int r, g, b;
};

Rgb rgbOf(std::uint32_t colour)
{
    return {static_cast<int>(colour & 0xFF), static_cast<int>(colour >> 8 & 0xFF),
            static_cast<int>(colour >> 16 & 0xFF)};
}

// A loader over strings held by the test; a missing id loads nothing.
StringLoader loaderOf(std::map<int, std::string> strings)
{
    return [strings](int id, char* buffer, int capacity) {
        const auto it = strings.find(id);
        if (it == strings.end())
            return 0;
        const int n = std::min(static_cast<int>(it->second.size()), capacity - 1);
        std::memcpy(buffer, it->second.data(), static_cast<std::size_t>(n));
        buffer[n] = '\0';
        return n;
    };
}

std::string lines(int count, const std::string& line)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += (i ? " " : "") + line + "\n";
    return text;
}

std::string shipped(int id)
{
    char buffer[2000];
    const int n = loadStringResource(id, buffer, sizeof buffer);
    return std::string(buffer, static_cast<std::size_t>(n));
}

TEST(PaletteTest, ShippedStringsKeepTheLineFormat)
{
    for (int id = 100; id <= 500; id += 100) {
        const std::string text = shipped(id);
        EXPECT_GE(text.size(), 1212u) << "string " << id;
        EXPECT_LE(text.size(), 1221u) << "string " << id;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 100) << "string " << id;
        EXPECT_EQ(text.find('\r'), std::string::npos) << "string " << id;
        ASSERT_FALSE(text.empty());
        EXPECT_NE(text.front(), ' ') << "string " << id << " begins with a space";
        EXPECT_EQ(text.back(), '\n') << "string " << id;
        std::size_t start = 0;
        for (int line = 0; line < 100; ++line) {
            const std::size_t end = text.find('\n', start);
            std::string body = text.substr(start, end - start);
            if (line > 0) {
                ASSERT_EQ(body.front(), ' ') << "string " << id << " line " << line;
                body.erase(0, 1);
            }
            int r = -1, g = -1, b = -1, used = 0;
            ASSERT_EQ(std::sscanf(body.c_str(), "%3d %3d %3d%n", &r, &g, &b, &used), 3)
                << "string " << id << " line " << line << ": '" << body << "'";
            EXPECT_EQ(static_cast<std::size_t>(used), body.size()) << "string " << id << " line " << line;
            EXPECT_EQ(std::to_string(r) + " " + std::to_string(g) + " " + std::to_string(b), body);
            EXPECT_TRUE(r <= 255 && g <= 255 && b <= 255) << body;
            start = end + 1;
        }
    }
}

TEST(PaletteTest, ShippedPaletteHasItsFixedRowsAndSmoothSaturatedRuns)
{
    AlertRecorder alerts;
    loadColors();
    EXPECT_TRUE(alerts.messages().empty());
    const std::map<int, std::uint32_t> fixed = {
        {0, 0x00FFFFFF}, {1, 0x00A8B0E9}, {2, 0x00D8DFFF}, {99, 0x005F5FF8}, {100, 0x00727AFE},
        {199, 0x000100F0}, {200, 0x00000EE9}, {299, 0x007373F8}, {300, 0x00656EFE},
        {399, 0x00B2B2F0}, {400, 0x00B1B4E9}, {498, 0x003326EF}, {499, 0x00000000}};
    for (const auto& [idx, value] : fixed)
        EXPECT_EQ(gColorList[idx], value) << "entry " << idx;

    int steps = 0, saturated = 0;
    for (int i = 0; i < kPaletteSize; ++i) {
        const Rgb c = rgbOf(gColorList[i]);
        if (i != 0) {
            EXPECT_NE(gColorList[i], 0x00FFFFFFu) << "entry " << i << " is white";
        }
        if (i != 499) {
            EXPECT_NE(gColorList[i], 0u) << "entry " << i << " is black";
        }
        if (i >= 2 && i < 498) {
            const Rgb n = rgbOf(gColorList[i + 1]);
            const int step = std::max({std::abs(c.r - n.r), std::abs(c.g - n.g), std::abs(c.b - n.b)});
            EXPECT_LE(step, 40) << "entries " << i << " and " << i + 1;
            steps += step;
        }
        if (i >= 2 && i <= 498) {
            const int hi = std::max({c.r, c.g, c.b}), lo = std::min({c.r, c.g, c.b});
            saturated += (hi - lo) * 10 >= hi * 6;
        }
    }
    const double meanStep = steps / 496.0;
    EXPECT_GT(meanStep, 10.0);
    EXPECT_LT(meanStep, 18.0);
    EXPECT_GE(saturated, 497 * 8 / 10) << "fewer than 80% strongly saturated entries";
}

TEST(PaletteTest, ParserReadsLooseSpacingAndKeepsLowBits)
{
    std::map<int, std::string> strings;
    strings[100] = lines(99, "1 2 3") + " 12 3 200\n";
    strings[200] = "0 0 0\n" + lines(99, "4  5   6").substr(0);
    strings[300] = lines(100, "300 256 7");
    strings[400] = lines(100, "7 8 9 10");
    strings[500] = lines(100, "1234 5 6");
    AlertRecorder alerts;
    loadColors(loaderOf(strings));
    EXPECT_TRUE(alerts.messages().empty());
    EXPECT_EQ(gColorList[0], 0x00030201u);
    EXPECT_EQ(gColorList[99], 0x00C8030Cu);
    EXPECT_EQ(gColorList[100], 0u);
    EXPECT_EQ(gColorList[101], 0x00060504u);  // two or three spaces separate like one
    EXPECT_EQ(gColorList[200], 0x0007002Cu);  // 300 -> 44, 256 -> 0
    EXPECT_EQ(gColorList[300], 0x00090807u);  // a fourth number is dropped
    EXPECT_EQ(gColorList[400], 0x0006057Bu);  // digits past the third are dropped: 123
}

TEST(PaletteTest, MissingStringAlertsAndLaterStringsMoveUp)
{
    std::map<int, std::string> strings;
    for (int id = 100; id <= 500; id += 100)
        strings[id] = lines(100, std::to_string(id / 100) + " 0 0");
    strings.erase(300);
    std::fill(std::begin(gColorList), std::end(gColorList), 0xDEADu);
    AlertRecorder alerts;
    loadColors(loaderOf(strings));
    ASSERT_EQ(alerts.messages(), std::vector<std::string>{"couldn't load color string resource"});
    EXPECT_EQ(gColorList[199], 2u);
    EXPECT_EQ(gColorList[200], 4u);  // string 400 fills from the next free entry
    EXPECT_EQ(gColorList[399], 5u);
    EXPECT_EQ(gColorList[400], 0xDEADu);
}

TEST(PaletteTest, SurplusLinesAlertOnceEachAndAreNotStored)
{
    std::map<int, std::string> strings;
    for (int id = 100; id <= 500; id += 100)
        strings[id] = lines(100, "9 9 9");
    strings[500] = lines(102, "9 9 9");
    AlertRecorder alerts;
    loadColors(loaderOf(strings));
    EXPECT_EQ(alerts.messages(), std::vector<std::string>(2, "color array out of bounds"));
    EXPECT_EQ(gColorList[499], 0x00090909u);
}

} // namespace
