// Tests of the interleaved frame: row parity, growth and clearing, presenting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/headless/headless.h"
#include "render/frame.h"

namespace {

// Wherever the window stands, above the primary monitor too: view 0 lands on
// even screen rows with view 1 right above it, pair 0 lowest, and rows outside
// a whole pair stay black. A client area without rows presents nothing.
TEST(Frame, ViewZeroLandsOnEvenScreenRowsFromABufferThatOnlyGrows)
{
    HeadlessReset(), windowDC = PlatGetDC(PlatCreateWindow(u"t", nullptr));
    for (int32_t top : {100, 101, -4, -3, -1, 0, 1, 7})
        for (int32_t height : {0, 1, 2, 6, 7, 8, 9})
        {
            SCOPED_TRACE(testing::Message() << "top " << top << " height " << height);
            // Client rows from the top: pixel value b + 1 stands for buffer row b.
            std::vector<uint32_t> want((size_t)height, 0);
            uint32_t pairs = 0;
            for (int32_t y = height - 1; y >= 1; y--)
                if (((top + y) & 1) == 0)
                    want[y] = 2 * pairs + 2, want[y - 1] = 2 * pairs + 3, pairs++;
            CStereoFrame f = {};
            Resize(&f, top, 1, height);
            EXPECT_EQ(std::max(f.pairs, 0), (int32_t)pairs);
            for (int32_t b = 1; b <= 2 * f.pairs; b++)
                f.pixels[b] = (uint32_t)b + 1;
            const int before = HeadlessPresentCount();
            Present(&f);
            ASSERT_EQ(HeadlessPresentCount() - before, height > 0 ? 1 : 0);
            for (int32_t y = 0; y < height; y++)
                EXPECT_EQ(HeadlessLastPresent()->bits[height - 1 - y], want[y]) << "client row " << y;
            Release(&f);
        }
    // The buffer holds the client area and a spare row, only grows and is
    // cleared whole. A size too large to hold, a client area without columns
    // (minimised) or a pass before the window has its DC shows nothing.
    // Release zeroes the record and is harmless twice.
    CStereoFrame f = {}, zero = {};
    const int presented = HeadlessPresentCount();
    Release(&f);
    Resize(&f, 0, 10, 9);
    uint32_t* first = f.pixels;
    ASSERT_EQ(f.capacity, 100);
    std::fill_n(f.pixels, 100, 0x123456u);
    Resize(&f, 0, 5, 5);  // smaller: the same buffer, every pixel cleared
    EXPECT_EQ(f.pixels, first);
    EXPECT_EQ(f.capacity, 100);
    EXPECT_EQ(std::count(first, first + 100, 0u), 100);
    Resize(&f, 0, 10, 10);  // one row taller than ever: exactly the new need
    ASSERT_EQ(f.capacity, 110);
    EXPECT_EQ(std::count(f.pixels, f.pixels + 110, 0u), 110);
    Resize(&f, 0, 1 << 20, 1 << 20);
    EXPECT_EQ(f.width, 0);
    EXPECT_EQ(f.stride, 0);
    EXPECT_LE(f.pairs, 0);
    EXPECT_EQ(f.capacity, 110);
    Present(&f), Resize(&f, 5, 0, 10), Present(&f);
    Resize(&f, 0, 10, 10), windowDC = nullptr, Present(&f);
    EXPECT_EQ(HeadlessPresentCount(), presented);
    Release(&f), Release(&f);
    EXPECT_EQ(memcmp(&f, &zero, sizeof f), 0);
}

}  // namespace
