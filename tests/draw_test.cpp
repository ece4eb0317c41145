// Tests of the drawing primitives: clipping per view, the eye shift, pen
// rules, line breaks, transparency, dimming and the scroll bar.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "render/assets/assets.h"
#include "render/draw.h"
#include "render/frame.h"

namespace {

const uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kWhite = 0xFFFFFF;

// Makes a frame of exactly `pairs` line pairs (buffer rows 0 and 2 pairs + 1
// spare), every pixel `fill`, white pen at (x, y).
CStereoFrame MakeFrame(int32_t width, int32_t pairs, uint32_t fill = 0, int32_t x = 0, int32_t y = 0)
{
    CStereoFrame f = {};
    Resize(&f, 1, width, 2 * pairs + 1);
    std::fill(f.pixels, f.pixels + f.capacity, fill);
    f.penX = x, f.penY = y, f.color = kWhite;
    return f;
}

uint32_t& Px(CStereoFrame& f, int32_t x, int32_t y, int view)
{
    return f.pixels[(2 * y + 1 + view) * f.stride + x];
}

// Requires every pixel to be want(column, line pair, view); the spare rows
// are line pairs -1 and `pairs`.
void ExpectPixels(CStereoFrame& f, const std::function<uint32_t(int32_t, int32_t, int)>& want)
{
    for (int32_t b = 0; b < 2 * f.pairs + 2; b++)
        for (int32_t x = 0; x < f.stride; x++)
            ASSERT_EQ(f.pixels[b * f.stride + x], want(x, b == 0 ? -1 : (b - 1) / 2, b == 0 ? 1 : (b - 1) % 2))
                << "column " << x << ", buffer row " << b;
}

// [SECTION] Clipping and the eye shift

TEST(DrawClip, EachViewIsClippedAtItsOwnPosition)
{
    // Each primitive drawn with the pen at (x, y) and the eye shift given into
    // a 40 x 12 frame and into one 300 larger on every side, where nothing is
    // clipped: each pixel of the small frame is the large one's there, and
    // the spare rows stay. Pens past each side and corner of every primitive.
    std::vector<uint8_t> thumb(2 * 96 * 192 * 3);
    for (size_t i = 0; i < thumb.size(); ++i)
        thumb[i] = (uint8_t)(i * 7 + i / 577);
    const std::function<void(CStereoFrame*)> draws[] = {[](CStereoFrame* f) { DrawGlyph(f, 0x4E00 + 0x123); },
                                                        [](CStereoFrame* f) { DrawByteText(f, "AW\r\nMg"); },
                                                        [&](CStereoFrame* f) { DrawThumbnail(f, thumb.data()); },
                                                        [](CStereoFrame* f) { DrawIcon(f, WebIcon); }};
    const int32_t pens[][2] = {{-7, 2},   {30, 2},   {5, -9},    {5, 4},     {-14, -14}, {36, 11},   {-200, 3},
                               {3, 200},  {-9, 9},   {3, 14},    {-31, -3},  {-100, -50}, {-180, 5}, {10, -90},
                               {30, 8},   {-191, -95}, {-20, -10}, {-63, -31}, {39, 11}};
    const int32_t m = 300;
    for (const auto& draw : draws)
        for (const auto& pen : pens)
            for (int32_t shift : {0, 5, -6, 40})
            {
                SCOPED_TRACE(testing::Message() << "pen " << pen[0] << "," << pen[1] << " shift " << shift);
                CStereoFrame big = MakeFrame(40 + 2 * m, 12 + 2 * m, 0, pen[0] + m, pen[1] + m);
                CStereoFrame small = MakeFrame(40, 12, 0, pen[0], pen[1]);
                big.eyeShift = small.eyeShift = shift;
                draw(&big);
                draw(&small);
                ExpectPixels(small, [&](int32_t x, int32_t y, int view) {
                    return y < 0 || y >= 12 ? 0u : Px(big, x + m, y + m, view);
                });
                Release(&big);
                Release(&small);
            }
}

TEST(DrawClip, NothingDrawsIntoAFrameWithoutPixelsOrPairs)
{
    std::vector<uint8_t> thumb(2 * 96 * 192 * 3);
    CStereoFrame f = {};
    for (int pass = 0; pass < 2; pass++, Resize(&f, 0, 0, 0))  // no buffer, then pairs -1
    {
        f.penX = 3;
        DrawGlyph(&f, 'A'), DrawThumbnail(&f, thumb.data()), DrawIcon(&f, HelpIcon), DrawByteText(&f, "AB");
        EXPECT_EQ(f.penX, 3 + 32);  // the pen still moves
        DimFrame(&f, 10, 10), DrawScrollBar(&f, 0, 100);
    }
    Release(&f);
}

// [SECTION] Glyphs and byte text

TEST(DrawText, GlyphsFollowTheirTablesWithViewOneShifted)
{
    // A UnicodeFont glyph keeps the pen; byte text moves it 16 columns per
    // byte, a space drawing nothing. View 1 lies 5 columns to the right.
    CStereoFrame f = MakeFrame(200, 80, 0, 4, 1);
    f.color = 0x00ABCDEF, f.eyeShift = 5;
    DrawGlyph(&f, 'A');
    EXPECT_TRUE(f.penX == 4 && f.penY == 1);
    f.penX = 100, f.penY = 60, f.color = kWhite;
    DrawByteText(&f, "A ");
    DrawByteText(&f, "");
    EXPECT_TRUE(f.penX == 132 && f.penY == 60);
    const uint16_t* cols = glyphColumns + glyphStarts['A'];
    ExpectPixels(f, [&](int32_t x, int32_t y, int view) {
        int32_t g = x - 4 - 5 * view, b = x - 100 - 5 * view;
        if (g >= 0 && g < glyphWidths['A'] && y >= 1 && y < 17 && ((cols[g] >> (y - 1)) & 1))
            return 0xABCDEFu;
        return b >= 0 && b < 16 && y >= 60 && y < 68 && ((byteGlyphRows[8 * 'A' + y - 60] >> b) & 1) ? kWhite : 0u;
    });
    Release(&f);
}

TEST(DrawText, LineBreaksCountPairsOnce)
{
    // CR LF and LF CR are one break, CR CR and LF LF two: the second letter
    // stands at the starting column, 9 pairs per line down.
    const std::pair<const char*, int32_t> cases[] = {{"A\r\nB", 1},   {"A\n\rB", 1},     {"A\n\nB", 2}, {"A\r\rB", 2},
                                                     {"A\r\n\nB", 2}, {"A\r\n\r\nB", 2}, {"A\rB", 1},   {"A\nB", 1}};
    for (const auto& [text, lines] : cases)
    {
        CStereoFrame f = MakeFrame(200, 80, 0, 100, 60), g = MakeFrame(200, 80, 0, 100, 60);
        DrawByteText(&f, text);
        EXPECT_TRUE(f.penX == 116 && f.penY == 60 - 9 * lines) << text;
        DrawByteText(&g, "A");
        g.penX = 100, g.penY = 60 - 9 * lines;
        DrawByteText(&g, "B");
        EXPECT_EQ(memcmp(f.pixels, g.pixels, (size_t)f.capacity * 4), 0) << text;
        Release(&f);
        Release(&g);
    }
}

// [SECTION] Pictures

TEST(DrawPicture, PicturesAreOpaqueButForPureBlackInIcons)
{
    // The thumbnail takes each view from its half, black included; the icon
    // draws both views alike, unshifted, and skips pure black, not near
    // black.
    std::vector<uint8_t> thumb(2 * 96 * 192 * 3, 0), icon(kIconBytes, 0);
    memcpy(&thumb[((96 + 2) * 192 + 3) * 3], "\x01\x02\x03", 3);  // view 1, row 2, column 3
    icon[0] = 1;                        // (0, 0): 0x000001
    icon[(5 * 64 + 7) * 3 + 2] = 0x80;  // (7, 5): 0x800000
    CStereoFrame f = MakeFrame(300, 120, 0x555555, 20, 10);
    DrawThumbnail(&f, thumb.data());
    f.penX = 230, f.penY = 80, f.eyeShift = 9;  // not for icons
    DrawIcon(&f, icon.data());
    EXPECT_TRUE(f.penX == 230 && f.penY == 80);
    ExpectPixels(f, [](int32_t x, int32_t y, int view) {
        if ((view && x == 23 && y == 12) || (x == 230 && y == 80) || (x == 237 && y == 85))
            return x == 23 ? 0x030201u : x == 230 ? 0x000001u : 0x800000u;
        return x >= 20 && x < 212 && y >= 10 && y < 106 ? 0u : 0x555555u;
    });
    Release(&f);
}

// [SECTION] Dimming

TEST(DrawDim, HalvesAndBlursEachViewInTheRectangleCutToTheFrame)
{
    // Empty or wholly outside rectangles change nothing but the pen.
    CStereoFrame f = MakeFrame(37, 9, 0x00FF7F03);
    const int32_t nothing[][4] = {{20, 2, 10, 8}, {2, 8, 20, 3}, {37, 0, 60, 5}, {0, 9, 36, 12}, {-9, -9, -1, -1}};
    for (const auto& r : nothing)
    {
        f.penX = r[0], f.penY = r[1];
        DimFrame(&f, r[2], r[3]);
        EXPECT_TRUE(f.penX == r[2] && f.penY == r[3]);
    }
    EXPECT_EQ(std::count(f.pixels, f.pixels + f.capacity, 0x00FF7F03u), f.capacity);
    // A band past every side, as a toolbar taller than the frame: each pixel
    // is the mean of itself, its right neighbour and the two pixels two pairs
    // above, halved, in its own view; the top pairs and the last column take
    // themselves for what lies beyond. The spare rows stay.
    Px(f, 5, 5, 0) = 0x070707;
    f.penX = -40, f.penY = -7;
    DimFrame(&f, 500, 42);
    EXPECT_TRUE(f.penX == 500 && f.penY == 42);
    ExpectPixels(f, [](int32_t x, int32_t y, int view) {
        bool mixed = !view && (x == 4 || x == 5) && (y == 3 || y == 5);  // takes in 0x070707
        return y < 0 || y >= 9 ? 0x00FF7F03u : mixed ? 0x603002u : 0x7F3F01u;
    });
    Release(&f);
}

// [SECTION] Scroll bar

TEST(DrawScroll, BarIsRedWhereTheViewStandsGreenElsewhere)
{
    // Frame width and pairs, scroll, content height; colour of the bottom and
    // the top pair; pairs of red, within one.
    const int64_t cases[][7] = {
        {100, 50, 0, 50, kRed, kRed, 50},      {100, 50, 0, 10, kRed, kRed, 50},  // the content fits
        {100, 50, 350, 400, kRed, kGreen, 6},  {100, 50, 0, 400, kGreen, kRed, 6},  // the ends reach the end pairs
        {40, 1000, 2000000000 - 1000, 2000000000, kRed, kGreen, 0},                // products beyond 32 bits
        {40, 1, 7, 1000, kRed, kRed, 1},       {10, 6, 0, 3, kRed, kRed, 6}};  // one pair; narrower than the bar
    for (const auto& c : cases)
    {
        const int32_t w = (int32_t)c[0], pairs = (int32_t)c[1];
        CStereoFrame f = MakeFrame(w, pairs);
        DrawScrollBar(&f, (int32_t)c[2], (int32_t)c[3]);
        // Both rows of a pair, across the 16 rightmost columns, in one colour.
        ExpectPixels(f, [&](int32_t x, int32_t y, int) {
            return y < 0 || y >= pairs || x < w - 16 ? 0u : Px(f, w - 1, y, 0);
        });
        int64_t red = std::count(f.pixels, f.pixels + f.capacity, kRed) / (2 * std::min(w, 16));
        EXPECT_TRUE(Px(f, w - 1, 0, 0) == c[4] && Px(f, w - 1, pairs - 1, 0) == c[5] && std::abs(red - c[6]) <= 1)
            << w << "x" << pairs << " scroll " << c[2] << " of " << c[3];
        Release(&f);
    }
}

}  // namespace
