#include <gtest/gtest.h>

#include <vector>

#include "engine/palette.h"
#include "render/off_map.h"
#include "tests/support/faults.h"
#include "tests/support/support.h"

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFF, kBlack = 0xFF000000;

TEST(OffMapTest, NewMapIsBackgroundAndPixelsTakePaletteColours)
{
    loadColors();
    offBMP map({0, 0, 30, 20});
    EXPECT_EQ(map.width, 30);
    EXPECT_EQ(map.height, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            ASSERT_EQ(map.pixel(x, y), displayColor(kWindowColor)) << x << "," << y;
    map.plotXY(0, 0, 499);
    map.plotXY(29, 19, 0);
    map.plotXY(3, 4, 99);
    EXPECT_EQ(map.pixel(0, 0), kBlack);
    EXPECT_EQ(map.pixel(29, 19), kWhite);
    EXPECT_EQ(map.pixel(3, 4), 0xFFF85F5Fu);  // entry 99: 248 95 95
    map.eraseMap();
    EXPECT_EQ(map.pixel(0, 0), kWhite);
}

TEST(OffMapTest, FillRectColoursExactlyTheRectanglesPixels)
{
    offBMP map({0, 0, 10, 10});
    const unsigned long marker = 0x0028C8ED;  // red 237, green 200, blue 40
    const tagRECT r{5, 5, 7, 7};
    map.fillRect(&r, &marker);
    int marked = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            if (map.pixel(x, y) == 0xFFEDC828u) {
                ++marked;
                EXPECT_TRUE(x >= 5 && x <= 6 && y >= 5 && y <= 6) << x << "," << y;
            }
    EXPECT_EQ(marked, 4);
    // A rectangle reaching past the map is clipped to it.
    const tagRECT edge{8, 8, 12, 12};
    map.fillRect(&edge, &marker);
    EXPECT_EQ(map.pixel(9, 9), 0xFFEDC828u);
}

TEST(OffMapTest, CopyPlacesTheMapRowByRow)
{
    offBMP map({0, 0, 3, 2});
    map.plotXY(2, 1, 499);
    std::vector<std::uint32_t> window(5 * 4, 0);
    map.cpyMap2Win(window.data() + 1 * 5 + 1, 5);  // at (1, 1) of a 5-wide window
    EXPECT_EQ(window[0], 0u);
    EXPECT_EQ(window[1 * 5 + 1], kWhite);
    EXPECT_EQ(window[2 * 5 + 3], kBlack);
    EXPECT_EQ(window[2 * 5 + 4], 0u);
    EXPECT_EQ(window[3 * 5 + 1], 0u);
}

TEST(OffMapTest, DestroyingOneFramesMapLeavesTheOther)
{
    gJMap = std::make_unique<offBMP>(tagRECT{0, 0, 4, 4});
    gMMap = std::make_unique<offBMP>(tagRECT{0, 0, 4, 4});
    offBMP* julia = gJMap.get();
    gMMap.reset();
    EXPECT_EQ(gMMap, nullptr);
    EXPECT_EQ(gJMap.get(), julia);
    gJMap.reset();
}

TEST(OffMapTest, MapThatCannotBeMadeAlertsOnceAndShowsAsBackground)
{
    AlertRecorder alerts;
    setMapAllocator(noPixels);
    offBMP map({0, 0, 4, 3});
    setMapAllocator(nullptr);
    EXPECT_EQ(alerts.messages(), std::vector<std::string>{"couldn't make bitmap at offBMP"});
    EXPECT_EQ(map.width, 4);
    // Drawing on it does nothing; the window shows it as background, never
    // as whatever was in the window's buffer.
    map.plotXY(1, 1, 499);
    const unsigned long black = 0;
    const tagRECT all{0, 0, 4, 3};
    map.fillRect(&all, &black);
    EXPECT_EQ(map.pixel(1, 1), kWhite);
    std::vector<std::uint32_t> window(4 * 3, 0x12345678u);
    map.cpyMap2Win(window.data(), 4);
    for (std::size_t i = 0; i < window.size(); ++i)
        EXPECT_EQ(window[i], kWhite) << "window pixel " << i;

    offBMP next({0, 0, 2, 2});
    next.plotXY(1, 1, 499);
    EXPECT_EQ(next.pixel(1, 1), kBlack) << "the standard allocation is not back";
    EXPECT_EQ(alerts.messages().size(), 1u);
}

} // namespace
