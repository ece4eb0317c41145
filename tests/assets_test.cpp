// Tests of the built-in font tables: widths, sharing, vertical metrics,
// blanks, fallbacks, coverage and the byte font's layout.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "render/assets/assets.h"

namespace {

// Returns the lowest and highest bit set in any column of a glyph, or -1, -1.
void InkRange(uint16_t u, int* low, int* high)
{
    uint16_t all = 0;
    for (int j = 0; j < glyphWidths[u]; ++j)
        all |= glyphColumns[glyphStarts[u] + j];
    *low = all ? __builtin_ctz(all) : -1;
    *high = all ? 31 - __builtin_clz(all) : -1;
}

bool IsBlank(uint16_t u)
{
    int low, high;
    InkRange(u, &low, &high);
    return low < 0;
}

bool SameGlyph(uint16_t a, uint16_t b)
{
    return glyphWidths[a] == glyphWidths[b] && glyphStarts[a] == glyphStarts[b];
}

TEST(UnicodeFont, EveryCodeUnitAdvancesAndStaysInTheTable)
{
    std::vector<bool> used(glyphColumnCount, false);
    for (int u = 0; u < kGlyphCount; ++u)
    {
        ASSERT_GE(glyphWidths[u], 1) << std::hex << u;
        ASSERT_GE(glyphStarts[u], 0);
        ASSERT_LE(glyphStarts[u] + glyphWidths[u], glyphColumnCount) << std::hex << u;
        for (int j = 0; j < glyphWidths[u]; ++j)
            used[glyphStarts[u] + j] = true;
    }
    for (int32_t i = 0; i < glyphColumnCount; ++i)
        ASSERT_TRUE(used[i]) << "column " << i << " belongs to no glyph";
}

TEST(UnicodeFont, CapitalsAndDigitsStandOnBitThreeAndReachBitTwelve)
{
    const char16_t capitals[] = u"ABCDEFGHIKLMNOPRSTUVWXYZ0123456789АБВГЕЖЗИКЛМНОПРСТУХЧШЫЬЭЮЯ";
    for (const char16_t* p = capitals; *p; ++p)
    {
        int low, high;
        InkRange(*p, &low, &high);
        EXPECT_EQ(low, 3) << (int)*p;
        EXPECT_EQ(high, 12) << (int)*p;
    }
}

TEST(UnicodeFont, LowerCaseAndDescendersKeepTheirLines)
{
    // Lower case without ascenders sits on bit 3 and reaches bit 9;
    // ascenders reach the height of the capitals.
    for (const char16_t* p = u"acemnorsuvwxzавгежзиклмнопстхчшыьэюя"; *p; ++p)
    {
        int low, high;
        InkRange(*p, &low, &high);
        EXPECT_EQ(low, 3) << (int)*p;
        EXPECT_EQ(high, 9) << (int)*p;
    }
    for (const char16_t* p = u"bdhkl"; *p; ++p)
    {
        int low, high;
        InkRange(*p, &low, &high);
        EXPECT_EQ(low, 3) << (int)*p;
        EXPECT_EQ(high, 12) << (int)*p;
    }
    for (const char16_t* p = u"gjpqyруф"; *p; ++p)
    {
        int low, high;
        InkRange(*p, &low, &high);
        EXPECT_EQ(low, 0) << (int)*p;
    }
    // An accent over a capital keeps the capital on the baseline.
    int low, high;
    InkRange(u'Ё', &low, &high);
    EXPECT_EQ(low, 3);
    EXPECT_GT(high, 12);
}

TEST(UnicodeFont, BlankGlyphsHaveTheirWidths)
{
    struct Blank
    {
        uint16_t u;
        int width;
    };
    const Blank blanks[] = {{0x0020, 4}, {0x0000, 8}, {0x0009, 1}, {0x000A, 1}, {0x000D, 1},
                            {0x00A0, 9}, {0x3000, 12}};
    for (const Blank& b : blanks)
    {
        EXPECT_TRUE(IsBlank(b.u)) << std::hex << b.u;
        EXPECT_EQ(glyphWidths[b.u], b.width) << std::hex << b.u;
    }
    for (int u : {0x200B, 0x200C, 0x200D, 0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0xFEFF})
    {
        EXPECT_TRUE(IsBlank((uint16_t)u)) << std::hex << u;
        EXPECT_GE(glyphWidths[u], 1);
    }
}

TEST(UnicodeFont, UncoveredCodeUnitsShareTheFallbacks)
{
    const uint16_t box = 0x03B1;  // Greek alpha
    EXPECT_EQ(glyphWidths[box], 5);
    const uint16_t boxed[] = {0x00C9, 0x0391, 0x03C9, 0xAC00, 0xD7A3, 0xE000, 0xF8FF, 0x9FA6, 0xFFFF, 0x0B05};
    for (uint16_t u : boxed)
        EXPECT_TRUE(SameGlyph(u, box)) << std::hex << u;
    for (int u = 0xD800; u < 0xE000; ++u)
        ASSERT_TRUE(SameGlyph((uint16_t)u, 0x0402)) << std::hex << u;
    EXPECT_EQ(glyphWidths[0x0402], 14);
}

TEST(UnicodeFont, CoveredScriptsHaveGlyphsOfTheirOwn)
{
    const uint16_t own[] = {
        'a',    0x0416, 0x2014, 0x2026, 0x20AC, 0x2116, 0x2122, 0x0301, 0x0531, 0x05D0, 0x0628, 0x0710,
        0x0780, 0x0915, 0x0995, 0x0A15, 0x0A95, 0x0B95, 0x0C15, 0x0C95, 0x0D15, 0x0E01, 0x10D0, 0x1100,
        0x3001, 0x3042, 0x30A2, 0x3105, 0x3231, 0x3300, 0x4E00, 0x9FA5, 0xF900, 0xFA2D, 0xFB2A, 0xFB13,
        0xFE30, 0xFE50, 0xFF21, 0xFF76};
    for (uint16_t u : own)
    {
        EXPECT_FALSE(IsBlank(u)) << std::hex << u;
        EXPECT_FALSE(SameGlyph(u, 0x03B1)) << std::hex << u;
        EXPECT_FALSE(SameGlyph(u, 0xD800)) << std::hex << u;
    }
}

TEST(UnicodeFont, IdeographsUseNearlyTheFullHeight)
{
    int tall = 0;
    for (int u = 0x4E00; u <= 0x9FA5; ++u)
    {
        int low, high;
        InkRange((uint16_t)u, &low, &high);
        ASSERT_GE(glyphWidths[u], 1);
        ASSERT_LE(glyphWidths[u], 16);
        tall += low <= 1 && high >= 14;
    }
    EXPECT_GT(tall, (0x9FA5 - 0x4E00) * 9 / 10);
    EXPECT_EQ(glyphWidths[0x4E00], 15);
}

TEST(ByteFont, CapitalAHasApexFeetAndLeftEdge)
{
    const uint16_t* a = byteGlyphRows + 8 * 'A';
    EXPECT_EQ(a[0], 0);
    EXPECT_NE(a[1], 0);
    EXPECT_NE(a[7], 0);
    EXPECT_EQ(a[1] & 3, 3);  // leftmost pixels in columns 0 and 1
    uint16_t all = 0;
    for (int r = 0; r < 8; ++r)
        all |= a[r];
    EXPECT_EQ(all & 3, 3);
    EXPECT_EQ(__builtin_popcount(a[7]) < __builtin_popcount(a[1]), true);  // apex narrower than feet
}

TEST(ByteFont, ExactlyTheSixBlankCodesAreEmpty)
{
    for (int b = 0; b < 256; ++b)
    {
        uint16_t all = 0;
        for (int r = 0; r < 8; ++r)
            all |= byteGlyphRows[8 * b + r];
        bool blank = b == 0x00 || b == 0x09 || b == 0x0A || b == 0x0D || b == 0x20 || b == 0xA0;
        EXPECT_EQ(all == 0, blank) << std::hex << b;
        // Pixels are two columns wide.
        for (int r = 0; r < 8; ++r)
        {
            uint16_t w = byteGlyphRows[8 * b + r];
            ASSERT_EQ(w & 0x5555, (w >> 1) & 0x5555) << std::hex << b;
        }
    }
}

TEST(ByteFont, CyrillicFollowsCodePage1251)
{
    // Capitals 0xC0..0xDF reach the top row; lower case 0xE0..0xFF mostly not.
    const uint16_t* question = byteGlyphRows + 8 * '?';
    int tallCapitals = 0, shortSmall = 0;
    for (int b = 0xC0; b < 0x100; ++b)
    {
        const uint16_t* g = byteGlyphRows + 8 * b;
        EXPECT_NE(memcmp(g, question, 16), 0) << std::hex << b;
        if (b < 0xE0)
            tallCapitals += g[7] != 0;
        else
            shortSmall += g[7] == 0;
    }
    EXPECT_EQ(tallCapitals, 32);
    EXPECT_GE(shortSmall, 28);
}

}  // namespace
