// Tests of the drawing primitives: clipping per view, pen rules, line breaks,
// transparency, dimming and the scroll bar.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "render/assets/assets.h"
#include "render/draw.h"
#include "render/frame.h"

namespace {

// Makes a frame of exactly `pairs` line pairs (height 2 * pairs + 1, phase 1).
CStereoFrame MakeFrame(int32_t width, int32_t pairs)
{
    CStereoFrame f = {};
    Resize(&f, 1, width, 2 * pairs + 1);
    EXPECT_EQ(f.pairs, pairs);
    return f;
}

uint32_t& Px(CStereoFrame& f, int32_t x, int32_t y, int view)
{
    return f.pixels[(2 * y + 1 + view) * f.stride + x];
}

void Fill(CStereoFrame& f, uint32_t v)
{
    for (int32_t i = 0; i < f.capacity; ++i)
        f.pixels[i] = v;
}

using DrawFn = std::function<void(CStereoFrame*)>;

// Draws with the pen at (x, y) into a small frame and into a large one where
// nothing is clipped, and checks that every pixel of the small frame, each
// view on its own, equals the large frame's pixel at the same place; also that
// the spare rows outside the line pairs are untouched.
void ExpectClippedLikeUnclipped(const DrawFn& draw, int32_t x, int32_t y, int32_t shift, int32_t width = 40,
                                int32_t pairs = 12)
{
    const int32_t margin = 300;
    CStereoFrame big = MakeFrame(width + 2 * margin, pairs + 2 * margin);
    CStereoFrame small = MakeFrame(width, pairs);
    big.color = small.color = 0x123456;
    big.eyeShift = small.eyeShift = shift;
    big.penX = x + margin;
    big.penY = y + margin;
    small.penX = x;
    small.penY = y;
    draw(&big);
    draw(&small);
    int differences = 0;
    for (int view = 0; view < 2; ++view)
        for (int32_t py = 0; py < pairs; ++py)
            for (int32_t px = 0; px < width; ++px)
                differences += Px(small, px, py, view) != Px(big, px + margin, py + margin, view);
    EXPECT_EQ(differences, 0) << "pen " << x << "," << y << " shift " << shift;
    for (int32_t i = 0; i < width; ++i)
    {
        EXPECT_EQ(small.pixels[i], 0u);
        EXPECT_EQ(small.pixels[(2 * pairs + 1) * width + i], 0u);
    }
    Release(&big);
    Release(&small);
}

int CountNonZero(CStereoFrame& f, int view)
{
    int n = 0;
    for (int32_t y = 0; y < f.pairs; ++y)
        for (int32_t x = 0; x < f.stride; ++x)
            n += Px(f, x, y, view) != 0;
    return n;
}

std::vector<uint8_t> TwoViewThumb()
{
    std::vector<uint8_t> t(2 * 96 * 192 * 3);
    for (size_t i = 0; i < t.size(); ++i)
        t[i] = (uint8_t)(i * 7 + i / 577);
    return t;
}

// [SECTION] clipping

TEST(DrawClip, GlyphClipsEachViewAtItsOwnPosition)
{
    DrawFn glyph = [](CStereoFrame* f) { DrawGlyph(f, 0x4E00 + 0x123); };
    const int32_t pens[][2] = {{-7, 2}, {30, 2}, {5, -9}, {5, 4}, {-14, -14}, {36, 11}, {-200, 3}, {3, 200}};
    for (const auto& p : pens)
        for (int32_t shift : {0, 5, -5, 40})
            ExpectClippedLikeUnclipped(glyph, p[0], p[1], shift);
}

TEST(DrawClip, ByteTextClipsEachViewAtItsOwnPosition)
{
    DrawFn text = [](CStereoFrame* f) { DrawByteText(f, "AW\r\nMg"); };
    const int32_t pens[][2] = {{-9, 9}, {20, 9}, {3, 2}, {3, 14}, {-31, -3}};
    for (const auto& p : pens)
        for (int32_t shift : {0, 5, -3})
            ExpectClippedLikeUnclipped(text, p[0], p[1], shift);
}

TEST(DrawClip, ThumbnailClipsEachViewAtItsOwnPosition)
{
    std::vector<uint8_t> thumb = TwoViewThumb();
    DrawFn draw = [&](CStereoFrame* f) { DrawThumbnail(f, thumb.data()); };
    const int32_t pens[][2] = {{-100, -50}, {-180, 5}, {10, -90}, {30, 8}, {-191, -95}};
    for (const auto& p : pens)
        for (int32_t shift : {0, 5, -6})
            ExpectClippedLikeUnclipped(draw, p[0], p[1], shift, 64, 20);
}

TEST(DrawClip, IconClipsAndIgnoresTheEyeShift)
{
    DrawFn draw = [](CStereoFrame* f) { DrawIcon(f, WebIcon); };
    const int32_t pens[][2] = {{-20, -10}, {20, 5}, {-63, -31}, {39, 11}};
    for (const auto& p : pens)
        ExpectClippedLikeUnclipped(draw, p[0], p[1], 7);

    CStereoFrame f = MakeFrame(80, 40);
    f.eyeShift = 9;
    DrawIcon(&f, WebIcon);
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 80; ++x)
            ASSERT_EQ(Px(f, x, y, 0), Px(f, x, y, 1));
    Release(&f);
}

TEST(DrawClip, EyeShiftMovesOnlyViewOne)
{
    CStereoFrame f = MakeFrame(60, 20);
    f.color = 0xFFFFFF;
    f.penX = 10;
    f.penY = 2;
    f.eyeShift = 5;
    DrawGlyph(&f, 'H');
    ASSERT_GT(CountNonZero(f, 0), 10);
    EXPECT_EQ(CountNonZero(f, 0), CountNonZero(f, 1));
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x + 5 < 60; ++x)
            ASSERT_EQ(Px(f, x, y, 0), Px(f, x + 5, y, 1));
    Release(&f);
}

TEST(DrawClip, NothingDrawsIntoAnEmptyFrame)
{
    CStereoFrame f = {};
    f.penX = 3;
    DrawGlyph(&f, 'A');
    DrawByteText(&f, "AB");
    EXPECT_EQ(f.penX, 3 + 32);  // the pen still moves
    std::vector<uint8_t> thumb = TwoViewThumb();
    DrawThumbnail(&f, thumb.data());
    DrawIcon(&f, HelpIcon);
    DimFrame(&f, 10, 10);
    DrawScrollBar(&f, 0, 100);
    Resize(&f, 0, 0, 0);  // pairs -1
    DrawScrollBar(&f, 0, 100);
    DimFrame(&f, 10, 10);
    DrawGlyph(&f, 'A');
    Release(&f);
}

// [SECTION] glyphs and byte text

TEST(DrawText, GlyphPenStaysAndColumnsFollowTheTable)
{
    CStereoFrame f = MakeFrame(60, 20);
    f.color = 0x00ABCDEF;
    f.penX = 4;
    f.penY = 1;
    DrawGlyph(&f, 'A');
    EXPECT_EQ(f.penX, 4);
    EXPECT_EQ(f.penY, 1);
    const uint16_t* cols = glyphColumns + glyphStarts['A'];
    for (int32_t j = 0; j < 60; ++j)
        for (int k = 0; k < 19; ++k)
        {
            bool inGlyph = j >= 4 && j < 4 + glyphWidths['A'] && k >= 1 && k < 17 && ((cols[j - 4] >> (k - 1)) & 1);
            ASSERT_EQ(Px(f, j, k, 0), inGlyph ? 0x00ABCDEFu : 0u) << j << "," << k;
        }
    Release(&f);
}

// Returns the pen after drawing `text` from (100, 60) and the frame.
CStereoFrame TextAt(const char* text)
{
    CStereoFrame f = MakeFrame(200, 80);
    f.color = 0xFFFFFF;
    f.penX = 100;
    f.penY = 60;
    DrawByteText(&f, text);
    return f;
}

TEST(DrawText, LineBreaksCountPairsOnce)
{
    struct Case
    {
        const char* text;
        int32_t lines;
    };
    const Case cases[] = {{"A\r\nB", 1}, {"A\n\rB", 1}, {"A\n\nB", 2}, {"A\r\rB", 2},
                          {"A\r\n\nB", 2}, {"A\r\n\r\nB", 2}, {"A\rB", 1}, {"A\nB", 1}};
    for (const Case& c : cases)
    {
        CStereoFrame f = TextAt(c.text);
        EXPECT_EQ(f.penY, 60 - 9 * c.lines) << c.text;
        EXPECT_EQ(f.penX, 116) << c.text;
        // The second letter stands at the starting column, 9 pairs per line down.
        CStereoFrame g = MakeFrame(200, 80);
        g.color = 0xFFFFFF;
        g.penX = 100;
        g.penY = 60;
        DrawByteText(&g, "A");
        g.penX = 100;
        g.penY = 60 - 9 * c.lines;
        DrawByteText(&g, "B");
        EXPECT_EQ(memcmp(f.pixels, g.pixels, (size_t)f.capacity * 4), 0) << c.text;
        Release(&f);
        Release(&g);
    }
}

TEST(DrawText, EmptyTextDrawsNothingAndKeepsThePen)
{
    CStereoFrame f = TextAt("");
    EXPECT_EQ(f.penX, 100);
    EXPECT_EQ(f.penY, 60);
    EXPECT_EQ(CountNonZero(f, 0) + CountNonZero(f, 1), 0);
    Release(&f);
}

TEST(DrawText, SpaceAdvancesSixteenColumnsAndDrawsNothing)
{
    CStereoFrame f = TextAt("  ");
    EXPECT_EQ(f.penX, 132);
    EXPECT_EQ(CountNonZero(f, 0) + CountNonZero(f, 1), 0);
    Release(&f);
}

TEST(DrawText, ByteGlyphCoversItsRowWordsInBothViews)
{
    CStereoFrame f = TextAt("A");
    for (int r = 0; r < 8; ++r)
        for (int i = 0; i < 16; ++i)
        {
            uint32_t want = (byteGlyphRows[8 * 'A' + r] >> i) & 1 ? 0xFFFFFFu : 0u;
            ASSERT_EQ(Px(f, 100 + i, 60 + r, 0), want);
            ASSERT_EQ(Px(f, 100 + i, 60 + r, 1), want);
        }
    EXPECT_EQ(f.penX, 116);
    Release(&f);
}

// [SECTION] pictures

TEST(DrawPicture, IconSkipsPureBlackButDrawsNearBlack)
{
    std::vector<uint8_t> icon(kIconBytes, 0);
    icon[0] = 1;                        // (0, 0): 0x000001
    icon[(5 * 64 + 7) * 3 + 2] = 0x80;  // (7, 5): 0x800000
    CStereoFrame f = MakeFrame(100, 40);
    Fill(f, 0x00777777);
    f.penX = 10;
    f.penY = 3;
    DrawIcon(&f, icon.data());
    for (int view = 0; view < 2; ++view)
    {
        EXPECT_EQ(Px(f, 10, 3, view), 0x000001u);
        EXPECT_EQ(Px(f, 17, 8, view), 0x800000u);
        EXPECT_EQ(Px(f, 11, 3, view), 0x777777u);
        EXPECT_EQ(Px(f, 73, 34, view), 0x777777u);
    }
    EXPECT_EQ(f.penX, 10);
    Release(&f);
}

TEST(DrawPicture, ThumbnailDrawsBlackAndTakesEachViewFromItsHalf)
{
    std::vector<uint8_t> thumb(2 * 96 * 192 * 3, 0);
    // view 1, row 2, column 3: blue 1, green 2, red 3
    uint8_t* p = &thumb[((96 + 2) * 192 + 3) * 3];
    p[0] = 1;
    p[1] = 2;
    p[2] = 3;
    CStereoFrame f = MakeFrame(300, 120);
    Fill(f, 0x00555555);
    f.penX = 20;
    f.penY = 10;
    DrawThumbnail(&f, thumb.data());
    EXPECT_EQ(Px(f, 23, 12, 1), 0x030201u);
    EXPECT_EQ(Px(f, 23, 12, 0), 0u);
    EXPECT_EQ(Px(f, 20, 10, 0), 0u);
    EXPECT_EQ(Px(f, 211, 105, 1), 0u);
    EXPECT_EQ(Px(f, 212, 105, 1), 0x555555u);
    EXPECT_EQ(Px(f, 19, 10, 0), 0x555555u);
    EXPECT_EQ(Px(f, 20, 106, 0), 0x555555u);
    Release(&f);
}

// [SECTION] dimming

TEST(DrawDim, UniformColourHalvesEverywhereIncludingTheEdges)
{
    CStereoFrame f = MakeFrame(37, 9);
    Fill(f, 0x00FF7F03);
    f.penX = 0;
    f.penY = 0;
    DimFrame(&f, 36, 8);
    for (int view = 0; view < 2; ++view)
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 37; ++x)
                ASSERT_EQ(Px(f, x, y, view), 0x007F3F01u) << x << "," << y;
    EXPECT_EQ(f.penX, 36);
    EXPECT_EQ(f.penY, 8);
    Release(&f);
}

TEST(DrawDim, SamplesRightAndTwoPairsUpWithinOneView)
{
    CStereoFrame f = MakeFrame(20, 20);
    Px(f, 5, 5, 0) = 0x080808;
    f.penX = 0;
    f.penY = 0;
    DimFrame(&f, 19, 19);
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 20; ++x)
        {
            bool lit = (x == 4 || x == 5) && (y == 3 || y == 5);
            ASSERT_EQ(Px(f, x, y, 0), lit ? 0x010101u : 0u) << x << "," << y;
            ASSERT_EQ(Px(f, x, y, 1), 0u);
        }
    Release(&f);
}

TEST(DrawDim, EmptyRectangleOnlyMovesThePen)
{
    CStereoFrame f = MakeFrame(30, 10);
    Fill(f, 0x00808080);
    f.penX = 20;
    f.penY = 2;
    DimFrame(&f, 10, 8);
    EXPECT_EQ(f.penX, 10);
    EXPECT_EQ(f.penY, 8);
    f.penX = 2;
    f.penY = 9;
    DimFrame(&f, 20, 3);
    EXPECT_EQ(f.penX, 20);
    EXPECT_EQ(f.penY, 3);
    for (int32_t i = 0; i < f.capacity; ++i)
        ASSERT_EQ(f.pixels[i], 0x00808080u);
    Release(&f);
}

TEST(DrawDim, RectangleReachingOutsideDimsOnlyTheFrame)
{
    CStereoFrame f = MakeFrame(30, 10);
    Fill(f, 0x00808080);
    f.penX = -40;
    f.penY = -7;
    DimFrame(&f, 500, 42);  // a toolbar band taller than the frame
    EXPECT_EQ(f.penX, 500);
    EXPECT_EQ(f.penY, 42);
    for (int32_t i = 0; i < 30; ++i)
    {
        EXPECT_EQ(f.pixels[i], 0x00808080u);  // buffer row 0 is no pair's
        EXPECT_EQ(f.pixels[21 * 30 + i], 0x00808080u);
    }
    for (int view = 0; view < 2; ++view)
        for (int32_t y = 0; y < 10; ++y)
            for (int32_t x = 0; x < 30; ++x)
                ASSERT_EQ(Px(f, x, y, view), 0x00404040u);

    // Wholly outside: nothing changes.
    Fill(f, 0x00808080);
    f.penX = 31;
    f.penY = 0;
    DimFrame(&f, 60, 5);
    f.penX = 0;
    f.penY = 10;
    DimFrame(&f, 29, 12);
    f.penX = -9;
    f.penY = -9;
    DimFrame(&f, -1, -1);
    for (int32_t i = 0; i < f.capacity; ++i)
        ASSERT_EQ(f.pixels[i], 0x00808080u);
    Release(&f);
}

// [SECTION] scroll bar

// Returns the colours of the bar's line pairs, bottom first, checking that
// both rows of each pair and all 16 columns agree.
std::vector<uint32_t> BarColours(CStereoFrame& f)
{
    std::vector<uint32_t> out;
    for (int32_t y = 0; y < f.pairs; ++y)
    {
        uint32_t c = Px(f, f.stride - 1, y, 0);
        for (int32_t x = f.stride - 16; x < f.stride; ++x)
        {
            EXPECT_EQ(Px(f, x, y, 0), c);
            EXPECT_EQ(Px(f, x, y, 1), c);
        }
        out.push_back(c);
    }
    return out;
}

TEST(DrawScroll, FittingContentGivesAnAllRedBar)
{
    CStereoFrame f = MakeFrame(100, 50);
    DrawScrollBar(&f, 0, 50);
    for (uint32_t c : BarColours(f))
        EXPECT_EQ(c, 0xFF0000u);
    DrawScrollBar(&f, 0, 10);
    for (uint32_t c : BarColours(f))
        EXPECT_EQ(c, 0xFF0000u);
    EXPECT_EQ(Px(f, 83, 0, 0), 0u);
    Release(&f);
}

TEST(DrawScroll, LargestScrollReachesTheBottomPair)
{
    CStereoFrame f = MakeFrame(100, 50);
    const int32_t content = 400;
    DrawScrollBar(&f, content - 50, content);
    std::vector<uint32_t> bar = BarColours(f);
    EXPECT_EQ(bar.front(), 0xFF0000u);
    EXPECT_EQ(bar.back(), 0x00FF00u);
    int red = 0;
    for (uint32_t c : bar)
        red += c == 0xFF0000u;
    EXPECT_NEAR(red, 50 * 50 / content, 1);

    DrawScrollBar(&f, 0, content);
    bar = BarColours(f);
    EXPECT_EQ(bar.front(), 0x00FF00u);
    EXPECT_EQ(bar.back(), 0xFF0000u);
    Release(&f);
}

TEST(DrawScroll, HugeContentDoesNotOverflow)
{
    CStereoFrame f = MakeFrame(40, 1000);
    const int32_t content = 2000000000;
    DrawScrollBar(&f, content - 1000, content);
    std::vector<uint32_t> bar = BarColours(f);
    EXPECT_EQ(bar.front(), 0xFF0000u);
    EXPECT_EQ(bar.back(), 0x00FF00u);
    Release(&f);
}

TEST(DrawScroll, OnePairFrameShowsOneRedPair)
{
    CStereoFrame f = MakeFrame(40, 1);
    DrawScrollBar(&f, 7, 1000);
    EXPECT_EQ(BarColours(f), std::vector<uint32_t>{0xFF0000u});
    EXPECT_EQ(Px(f, 23, 0, 0), 0u);
    Release(&f);
}

TEST(DrawScroll, NarrowFrameStaysInsideItsRows)
{
    CStereoFrame f = MakeFrame(10, 6);
    DrawScrollBar(&f, 0, 3);
    for (int32_t i = 0; i < 10; ++i)
    {
        EXPECT_EQ(f.pixels[i], 0u);
        EXPECT_EQ(f.pixels[13 * 10 + i], 0u);
    }
    for (int view = 0; view < 2; ++view)
        for (int32_t y = 0; y < 6; ++y)
            for (int32_t x = 0; x < 10; ++x)
                ASSERT_EQ(Px(f, x, y, view), 0xFF0000u);
    Release(&f);
}

}  // namespace
