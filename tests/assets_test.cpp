// Tests of the built-in font tables: widths and sharing, vertical metrics,
// blanks, fallbacks, coverage and the byte font's layout.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "render/assets/assets.h"

namespace {

typedef std::initializer_list<uint16_t> Units;

// Returns the lowest and highest bit set in any column of a glyph, -1 for a
// blank one.
std::pair<int, int> Ink(uint16_t u)
{
    uint16_t all = 0;
    for (int j = 0; j < glyphWidths[u]; ++j)
        all |= glyphColumns[glyphStarts[u] + j];
    return all ? std::pair(__builtin_ctz(all), 31 - __builtin_clz(all)) : std::pair(-1, -1);
}

bool SameGlyph(uint16_t a, uint16_t b)
{
    return glyphWidths[a] == glyphWidths[b] && glyphStarts[a] == glyphStarts[b];
}

TEST(UnicodeFont, EveryCodeUnitAdvancesAndEveryColumnBelongsToAGlyph)
{
    std::vector<bool> used(glyphColumnCount, false);
    for (int u = 0; u < kGlyphCount; ++u)
    {
        ASSERT_TRUE(glyphWidths[u] >= 1 && glyphStarts[u] >= 0 && glyphStarts[u] + glyphWidths[u] <= glyphColumnCount)
            << u;
        std::fill(used.begin() + glyphStarts[u], used.begin() + glyphStarts[u] + glyphWidths[u], true);
    }
    EXPECT_EQ(std::count(used.begin(), used.end(), false), 0);
}

TEST(UnicodeFont, LettersKeepTheirLines)
{
    // Capitals, digits and ascenders stand on bit 3 and reach bit 12, lower
    // case without ascenders bit 9; descenders go down to bit 0; an accent
    // over a capital keeps it on the baseline and reaches higher.
    const struct { const char16_t* letters; int low, highMin, highMax; } cases[] = {
        {u"ABCDEFGHIKLMNOPRSTUVWXYZ0123456789АБВГЕЖЗИКЛМНОПРСТУХЧШЫЬЭЮЯbdhkl", 3, 12, 12},
        {u"acemnorsuvwxzавгежзиклмнопстхчшыьэюя", 3, 9, 9}, {u"gjpqyруф", 0, 0, 15}, {u"Ё", 3, 13, 15}};
    for (const auto& c : cases)
        for (const char16_t* p = c.letters; *p; ++p)
            EXPECT_TRUE(Ink(*p) >= std::pair(c.low, c.highMin) && Ink(*p) <= std::pair(c.low, c.highMax)) << (int)*p;
}

TEST(UnicodeFont, BlanksFallbacksAndCoveredScripts)
{
    // Blanks with their widths; zero-width controls and marks blank too.
    const std::pair<uint16_t, int> blanks[] = {{0x20, 4}, {0x00, 8}, {0x09, 1},   {0x0A, 1},
                                               {0x0D, 1}, {0xA0, 9}, {0x3000, 12}};
    for (const auto& [u, width] : blanks)
        EXPECT_TRUE(Ink(u).first < 0 && glyphWidths[u] == width) << std::hex << u;
    for (uint16_t u : Units{0x200B, 0x200C, 0x200D, 0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0xFEFF})
        EXPECT_TRUE(Ink(u).first < 0 && glyphWidths[u] >= 1) << std::hex << u;
    // Uncovered code units share the box of Greek alpha, 5 wide; surrogates
    // share another, 14 wide.
    EXPECT_TRUE(glyphWidths[0x03B1] == 5 && glyphWidths[0x0402] == 14);
    for (uint16_t u : Units{0x00C9, 0x0391, 0x03C9, 0xAC00, 0xD7A3, 0xE000, 0xF8FF, 0x9FA6, 0xFFFF, 0x0B05})
        EXPECT_TRUE(SameGlyph(u, 0x03B1)) << std::hex << u;
    for (int u = 0xD800; u < 0xE000; ++u)
        ASSERT_TRUE(SameGlyph((uint16_t)u, 0x0402)) << std::hex << u;
    // Covered scripts have glyphs of their own.
    for (uint16_t u : Units{'a',    0x0416, 0x2014, 0x2026, 0x20AC, 0x2116, 0x2122, 0x0301, 0x0531, 0x05D0, 0x0628,
                            0x0710, 0x0780, 0x0915, 0x0995, 0x0A15, 0x0A95, 0x0B95, 0x0C15, 0x0C95, 0x0D15, 0x0E01,
                            0x10D0, 0x1100, 0x3001, 0x3042, 0x30A2, 0x3105, 0x3231, 0x3300, 0x4E00, 0x9FA5, 0xF900,
                            0xFA2D, 0xFB2A, 0xFB13, 0xFE30, 0xFE50, 0xFF21, 0xFF76})
        EXPECT_TRUE(Ink(u).first >= 0 && !SameGlyph(u, 0x03B1) && !SameGlyph(u, 0xD800)) << std::hex << u;
}

TEST(UnicodeFont, IdeographsUseNearlyTheFullHeight)
{
    int tall = 0;
    for (int u = 0x4E00; u <= 0x9FA5; ++u)
    {
        ASSERT_LE(glyphWidths[u], 16);
        tall += Ink((uint16_t)u).first <= 1 && Ink((uint16_t)u).second >= 14;
    }
    EXPECT_GT(tall, (0x9FA5 - 0x4E00) * 9 / 10);
    EXPECT_EQ(glyphWidths[0x4E00], 15);
}

TEST(ByteFont, GlyphsFollowTheirCodePage)
{
    // Exactly the six blank codes are empty, and pixels are two columns wide.
    for (int b = 0; b < 256; ++b)
    {
        uint16_t all = 0, unpaired = 0;
        for (const uint16_t* r = byteGlyphRows + 8 * b; r < byteGlyphRows + 8 * b + 8; ++r)
            all |= *r, unpaired |= (*r ^ *r >> 1) & 0x5555;
        EXPECT_EQ(unpaired, 0) << std::hex << b;
        EXPECT_EQ(all == 0, b == 0 || b == 0x09 || b == 0x0A || b == 0x0D || b == 0x20 || b == 0xA0) << std::hex << b;
    }
    // A: empty bottom row, feet wider than the apex, the left edge used.
    const uint16_t* a = byteGlyphRows + 8 * 'A';
    EXPECT_TRUE(a[0] == 0 && a[7] != 0 && (a[1] & 3) == 3 && __builtin_popcount(a[7]) < __builtin_popcount(a[1]));
    // Code page 1251: Cyrillic, not '?', from 0xC0; capitals to 0xDF reach
    // the top row, lower case mostly not.
    int tallCapitals = 0, shortSmall = 0;
    for (int b = 0xC0; b < 0x100; ++b)
    {
        EXPECT_NE(memcmp(byteGlyphRows + 8 * b, byteGlyphRows + 8 * '?', 16), 0) << std::hex << b;
        (b < 0xE0 ? tallCapitals : shortSmall) += (byteGlyphRows[8 * b + 7] != 0) == (b < 0xE0);
    }
    EXPECT_TRUE(tallCapitals == 32 && shortSmall >= 28);
}

}  // namespace
