// Tests of the drawing primitives: clipping per view with the eye shift, the
// pen, dimming at the frame's edges and the scroll bar. What each primitive
// draws is pinned by the draw sheet (draw_sheet_test).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <numeric>
#include <vector>

#include "render/assets/assets.h"
#include "render/draw.h"
#include "render/frame.h"

namespace {

const uint32_t kRed = 0xFF0000, kGreen = 0x00FF00;

// Makes a frame of exactly `pairs` line pairs (buffer rows 0 and 2 pairs + 1
// spare), every pixel `fill`, the pen at (x, y).
CStereoFrame MakeFrame(int32_t width, int32_t pairs, uint32_t fill = 0, int32_t x = 0, int32_t y = 0)
{
    CStereoFrame f = {};
    Resize(&f, 1, width, 2 * pairs + 1);
    std::fill_n(f.pixels, f.capacity, fill);
    f.penX = x, f.penY = y, f.color = 0xFFFFFF;
    return f;
}

uint32_t& Px(CStereoFrame& f, int32_t x, int32_t y, int view) { return f.pixels[(2 * y + 1 + view) * f.stride + x]; }

// Requires every pixel to be want(column, line pair, view); the spare rows
// are line pairs -1 and `pairs`.
void ExpectPixels(CStereoFrame& f, const std::function<uint32_t(int32_t, int32_t, int)>& want)
{
    for (int32_t b = 0; b < 2 * f.pairs + 2; b++)
        for (int32_t x = 0; x < f.stride; x++)
            ASSERT_EQ(f.pixels[b * f.stride + x], want(x, b == 0 ? -1 : (b - 1) / 2, b == 0 ? 1 : (b - 1) % 2))
                << "column " << x << ", buffer row " << b;
}

TEST(DrawClip, EachViewIsClippedAtItsOwnPositionAndNothingDrawsWithoutPairs)
{
    // Each primitive drawn with the pen at (x, y) and the eye shift given into
    // a 40 x 12 frame and into one 300 larger on every side, where nothing is
    // clipped: each pixel of the small frame is the large one's there, and
    // the spare rows stay. Pens past each side and corner of every primitive;
    // the last shows 5 pixels of the thumbnail's top row, its buffer's end.
    std::vector<uint8_t> thumb(2 * 96 * 192 * 3);
    std::iota(thumb.begin(), thumb.end(), (uint8_t)1);
    const std::function<void(CStereoFrame*)> draws[] = {[](CStereoFrame* f) { DrawGlyph(f, 0x4E00 + 0x123); },
                                                        [](CStereoFrame* f) { DrawByteText(f, "AW\r\nMg"); },
                                                        [&](CStereoFrame* f) { DrawThumbnail(f, thumb.data()); },
                                                        [](CStereoFrame* f) { DrawIcon(f, WebIcon); }};
    const int32_t pens[][2] = {{-7, 2},  {30, 2},   {5, -9},     {5, 4},     {-14, -14}, {36, 11}, {-200, 3},
                               {3, 200}, {-9, 9},   {3, 14},     {-31, -3},  {-100, -50}, {-180, 5}, {10, -90},
                               {30, 8},  {-191, -95}, {-20, -10}, {-63, -31}, {39, 11}, {-187, -90}};
    const int32_t m = 300;
    for (const auto& draw : draws)
        for (const auto& pen : pens)
            for (int32_t shift : {0, 5, -6, 40})
            {
                SCOPED_TRACE(testing::Message() << "pen " << pen[0] << "," << pen[1] << " shift " << shift);
                CStereoFrame big = MakeFrame(40 + 2 * m, 12 + 2 * m, 0, pen[0] + m, pen[1] + m);
                big.eyeShift = shift;
                SetDrawPath(DRAW_PATH_PLAIN), draw(&big);
                // Every thumbnail row loop clips as the plain one draws whole.
                for (DrawPath path : {DRAW_PATH_PLAIN, DRAW_PATH_SSE2, DRAW_PATH_SSSE3, DRAW_PATH_AVX2})
                    if (SetDrawPath(path))
                    {
                        CStereoFrame small = MakeFrame(40, 12, 0, pen[0], pen[1]);
                        small.eyeShift = shift;
                        draw(&small);
                        ExpectPixels(small, [&](int32_t x, int32_t y, int view) {
                            return y < 0 || y >= 12 ? 0u : Px(big, x + m, y + m, view);
                        });
                        Release(&small);
                    }
                Release(&big);
            }
    SetDrawPath(DRAW_PATH_AUTO);
    // Nothing draws into a frame without a buffer, then one with a row of
    // buffer and no pair (pairs -1).
    CStereoFrame f = {};
    for (int pass = 0; pass < 2; pass++, Resize(&f, 0, 4, 0))
    {
        for (const auto& draw : draws)
            f.penX = 3, f.penY = -1, f.color = 0xFFFFFF, draw(&f);
        DimFrame(&f, 10, 10), DrawScrollBar(&f, 0, 100);
        EXPECT_EQ(std::count(f.pixels, f.pixels + f.capacity, 0u), f.capacity);
    }
    Release(&f);
}

TEST(DrawDim, HalvesAndBlursEachViewInTheRectangleCutToTheFrame)
{
    // Empty or wholly outside rectangles change nothing; then a band past
    // every side, as a toolbar taller than the frame: each pixel is the mean
    // of itself, its right neighbour and the two pixels two pairs above,
    // halved, in its own view; the top pairs and the last column take
    // themselves for what lies beyond. The spare rows stay.
    CStereoFrame f = MakeFrame(37, 9, 0x00FF7F03);
    Px(f, 0, 5, 0) = 0x070707;  // the last column of the row below must not take it
    for (const auto& r : {std::array{20, 2, 10, 8}, {2, 8, 20, 3}, {37, 0, 60, 5}, {0, 9, 36, 12}, {-9, -9, -1, -1},
                          {-40, -7, 500, 42}})
        f.penX = r[0], f.penY = r[1], DimFrame(&f, r[2], r[3]);
    ExpectPixels(f, [](int32_t x, int32_t y, int view) {
        bool mixed = !view && x == 0 && (y == 3 || y == 5);  // takes in 0x070707
        return y < 0 || y >= 9 ? 0x00FF7F03u : mixed ? 0x603002u : 0x7F3F01u;
    });
    Release(&f);
}

TEST(DrawScroll, BarIsRedWhereTheViewStandsGreenElsewhere)
{
    // Frame width and pairs, scroll, content height; colour of the bottom and
    // the top pair; pairs of red, within one, counting both rows of the 16
    // rightmost columns.
    // The formula over a tall grid is pinned end to end (tests/e2e/test_grid.py).
    const int64_t cases[][7] = {{100, 50, 0, 10, kRed, kRed, 50},  // the content fits
                                {40, 1000, 2000000000 - 1000, 2000000000, kRed, kGreen, 0},  // products beyond 32 bits
                                {40, 1, 7, 1000, kRed, kRed, 1}, {10, 6, 0, 3, kRed, kRed, 6}};  // one pair; narrow
    for (const auto& c : cases)
    {
        const int32_t w = (int32_t)c[0], pairs = (int32_t)c[1];
        CStereoFrame f = MakeFrame(w, pairs);
        DrawScrollBar(&f, (int32_t)c[2], (int32_t)c[3]);
        int64_t red = std::count(f.pixels, f.pixels + f.capacity, kRed) / (2 * std::min(w, 16));
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(pairs) + " scroll " + std::to_string(c[2]) + " of " +
                     std::to_string(c[3]));
        EXPECT_EQ(Px(f, w - 1, 0, 0), (uint32_t)c[4]);
        EXPECT_EQ(Px(f, w - 1, pairs - 1, 0), (uint32_t)c[5]);
        EXPECT_LE(std::abs(red - c[6]), 1);
        Release(&f);
    }
}

}  // namespace
