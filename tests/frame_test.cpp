// Tests of the interleaved frame: parity, pairs, growth, clearing, presenting.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/headless/headless.h"
#include "render/frame.h"

namespace {

struct Example
{
    int32_t top, height;
    uint8_t rowPhase;
    int32_t pairs;
};

// The worked examples: client rows counted from the top map to pairs as given.
TEST(Frame, ResizeFollowsTheWorkedExamples)
{
    const Example examples[] = {
        {100, 7, 0, 3}, {100, 6, 1, 2}, {101, 6, 0, 3}, {101, 7, 1, 3}, {-3, 7, 1, 3},
        {-4, 7, 0, 3},  {-4, 6, 1, 2},  {-1, 0, 0, 0},  {0, 0, 1, -1},  {7, 1, 1, 0},
    };
    for (const Example& e : examples)
    {
        CStereoFrame f = {};
        Resize(&f, e.top, 10, e.height);
        EXPECT_EQ(f.rowPhase, e.rowPhase) << "top " << e.top << " height " << e.height;
        EXPECT_EQ(f.pairs, e.pairs) << "top " << e.top << " height " << e.height;
        EXPECT_EQ(f.stride, 10);
        EXPECT_LE(2 * f.pairs, f.height);
        Release(&f);
    }
}

// Presents the frame on the headless host and returns the client row (from the
// top) where the pixel of view `view` of pair `pair` appears, or -1.
int ClientRowOf(CStereoFrame* f, int32_t pair, int view)
{
    uint32_t mark = 0x00ABCDEF;
    f->pixels[(2 * pair + 1 + view) * f->stride] = mark;
    Present(f);
    const HeadlessPresent* p = HeadlessLastPresent();
    int found = -1;
    for (int y = 0; y < p->height; y++)
        if (p->bits[(size_t)(p->height - 1 - y) * p->width] == mark)
            found = y;
    f->pixels[(2 * pair + 1 + view) * f->stride] = 0;
    return found;
}

class PresentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        HeadlessReset();
        windowDC = PlatGetDC(PlatCreateWindow(u"t", nullptr));
    }
    void TearDown() override
    {
        windowDC = nullptr;
        HeadlessReset();
    }
};

// View 0 must land on even screen rows and view 1 directly above it, wherever
// the window stands, including above the primary monitor.
TEST_F(PresentTest, ViewZeroLandsOnEvenScreenRows)
{
    for (int32_t top : {100, 101, -3, -4, 0, 1})
        for (int32_t height : {6, 7, 8, 9})
        {
            CStereoFrame f = {};
            Resize(&f, top, 4, height);
            for (int32_t pair = 0; pair < f.pairs; pair++)
            {
                int row0 = ClientRowOf(&f, pair, 0);
                int row1 = ClientRowOf(&f, pair, 1);
                ASSERT_GE(row0, 0);
                EXPECT_EQ(((top + row0) % 2 + 2) % 2, 0) << "top " << top << " height " << height;
                EXPECT_EQ(row1, row0 - 1);
                EXPECT_EQ(row0, height - 2 - 2 * pair + (1 - f.rowPhase));
            }
            Release(&f);
        }
}

// Rows outside any whole pair stay black whatever sits in buffer rows that
// belong to no pair.
TEST_F(PresentTest, RowsOutsideWholePairsStayBlack)
{
    CStereoFrame f = {};
    Resize(&f, 100, 3, 6);  // rowPhase 1, pairs 2: client rows 0 and 5 belong to none
    for (int32_t p = 0; p < f.pairs; p++)
        for (int e = 0; e < 2; e++)
            for (int32_t x = 0; x < f.stride; x++)
                f.pixels[(2 * p + 1 + e) * f.stride + x] = 0xFFFFFF;
    Present(&f);
    const HeadlessPresent* p = HeadlessLastPresent();
    for (int32_t x = 0; x < 3; x++)
    {
        EXPECT_EQ(p->bits[(size_t)(6 - 1 - 0) * 3 + x], 0u);  // top client row
        EXPECT_EQ(p->bits[(size_t)(6 - 1 - 5) * 3 + x], 0u);  // bottom client row
    }
    Release(&f);
}

// A minimised window, or a pass before the window has its DC, shows nothing.
TEST_F(PresentTest, NothingToShowPresentsNothing)
{
    CStereoFrame f = {};
    Resize(&f, 5, 0, 0);
    Present(&f);
    Resize(&f, 5, 100, 0);
    Present(&f);
    Resize(&f, 0, 10, 10);
    windowDC = nullptr;
    Present(&f);
    EXPECT_EQ(HeadlessPresentCount(), 0);
    Release(&f);
}

TEST(Frame, BufferOnlyGrowsAndIsClearedWhole)
{
    CStereoFrame f = {};
    Resize(&f, 0, 10, 9);
    EXPECT_EQ(f.capacity, 100);
    uint32_t* first = f.pixels;
    for (int32_t i = 0; i < f.capacity; i++)
        f.pixels[i] = 0x123456;

    Resize(&f, 0, 5, 5);  // smaller: same buffer, every pixel cleared
    EXPECT_EQ(f.pixels, first);
    EXPECT_EQ(f.capacity, 100);
    for (int32_t i = 0; i < f.capacity; i++)
        ASSERT_EQ(f.pixels[i], 0u) << i;

    Resize(&f, 0, 10, 10);  // one row taller than ever: exactly the new need
    EXPECT_EQ(f.capacity, 110);
    for (int32_t i = 0; i < f.capacity; i++)
        ASSERT_EQ(f.pixels[i], 0u) << i;
    Release(&f);
}

TEST(Frame, ReleaseZeroesAndIsHarmlessTwice)
{
    CStereoFrame f = {};
    Release(&f);  // empty frame: nothing to free
    Resize(&f, 3, 20, 20);
    f.penX = 4;
    f.color = 7;
    Release(&f);
    CStereoFrame zero = {};
    EXPECT_EQ(memcmp(&f, &zero, sizeof f), 0);
    Release(&f);
    EXPECT_EQ(memcmp(&f, &zero, sizeof f), 0);
}

// A client area too large to hold leaves a frame nothing can draw into.
TEST(Frame, ImpossibleSizeLeavesAnEmptyFrame)
{
    CStereoFrame f = {};
    Resize(&f, 0, 8, 8);
    Resize(&f, 0, 1 << 20, 1 << 20);
    EXPECT_EQ(f.width, 0);
    EXPECT_EQ(f.stride, 0);
    EXPECT_LE(f.pairs, 0);
    EXPECT_EQ(f.capacity, 72);
    Release(&f);
}

}  // namespace
