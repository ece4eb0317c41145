// Tests of the UnicodeFont tables: advances, blanks, fallbacks and coverage.
// The draw sheet (draw_sheet_test) shows the glyphs themselves, their
// metrics in several scripts and every byte of the byte font.
#include <gtest/gtest.h>

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

bool SameGlyph(uint16_t a, uint16_t b) { return glyphWidths[a] == glyphWidths[b] && glyphStarts[a] == glyphStarts[b]; }

// Every code unit advances, its columns lie in the table and none is wider
// than 16; blanks, fallbacks and scripts the draw sheet does not show.
TEST(UnicodeFont, GlyphsBlanksFallbacksAndCoveredScripts)
{
    for (int u = 0; u < kGlyphCount; ++u)
        ASSERT_TRUE(glyphWidths[u] >= 1 && glyphWidths[u] <= 16 && glyphStarts[u] >= 0 &&
                    glyphStarts[u] + glyphWidths[u] <= glyphColumnCount)
            << u;
    // Blanks the sheet does not show, with their widths; zero-width controls
    // and marks blank too.
    const std::pair<uint16_t, int> blanks[] = {{0x00, 8}, {0x09, 1}, {0x0A, 1}, {0x0D, 1}, {0xA0, 9}};
    for (const auto& [u, width] : blanks)
    {
        EXPECT_LT(Ink(u).first, 0) << std::hex << u;
        EXPECT_EQ(glyphWidths[u], width) << std::hex << u;
    }
    for (uint16_t u : Units{0x200B, 0x200C, 0x200D, 0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0xFEFF})
    {
        EXPECT_LT(Ink(u).first, 0) << std::hex << u;
        EXPECT_GE(glyphWidths[u], 1) << std::hex << u;
    }
    // Uncovered code units share the box of Greek alpha, 5 wide; surrogates
    // share another, 14 wide.
    EXPECT_EQ(glyphWidths[0x03B1], 5);
    EXPECT_EQ(glyphWidths[0x0402], 14);
    for (uint16_t u : Units{0x00C9, 0x0391, 0x03C9, 0xAC00, 0xD7A3, 0xE000, 0xF8FF, 0x9FA6, 0xFFFF, 0x0B05})
        EXPECT_TRUE(SameGlyph(u, 0x03B1)) << std::hex << u;
    for (int u = 0xD800; u < 0xE000; ++u)
        ASSERT_TRUE(SameGlyph((uint16_t)u, 0x0402)) << std::hex << u;
    // Covered scripts have glyphs of their own.
    for (uint16_t u : Units{0x0301, 0x0710, 0x0780, 0x1100, 0x3001, 0x3105, 0x3231, 0x3300, 0x9FA5, 0xF900, 0xFA2D,
                            0xFB2A, 0xFB13, 0xFE30, 0xFE50})
    {
        EXPECT_GE(Ink(u).first, 0) << std::hex << u;
        EXPECT_FALSE(SameGlyph(u, 0x03B1)) << std::hex << u;
        EXPECT_FALSE(SameGlyph(u, 0xD800)) << std::hex << u;
    }
}

}  // namespace
