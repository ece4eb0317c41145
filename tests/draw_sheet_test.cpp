// Draws a sample sheet through the primitives (text in several scripts, the
// byte font, every icon over a dimmed band, both folder pictures, the scroll
// bar) and compares it with tests/data/draw_sheet.png, so that a change in any
// table or primitive shows. The sheet drawn is saved as draw_sheet.png in the
// test's working folder: to accept a deliberate change, look at it and copy it
// over the reference.
#include <gtest/gtest.h>

#include <FreeImage.h>

#include <cstring>
#include <string>
#include <vector>

#include "render/assets/assets.h"
#include "render/draw.h"
#include "render/frame.h"

namespace {

const int32_t kSheetWidth = 1040, kSheetPairs = 480;

// Draws UTF-16 text with one blank column between glyphs, as the grid does.
void DrawText16(CStereoFrame* f, int32_t x, int32_t y, uint32_t colour, const char16_t* text, int32_t shift = 0)
{
    f->penX = x, f->penY = y, f->color = colour, f->eyeShift = shift;
    for (const char16_t* p = text; *p; ++p)
        DrawGlyph(f, *p), f->penX += glyphWidths[*p] + 1;
}

void DrawSheet(CStereoFrame* f)
{
    // Text in several scripts, 20 line pairs apart; a glyph in stereo (view 1
    // 4 columns right), glyphs clipped at the left and right edges.
    const char16_t* lines[] = {
        u"Latin: The quick brown fox jumps over the lazy dog. 0123456789 (gjpqy) [Ё Й] …",
        u"Кириллица: Съешь же ещё этих мягких французских булок, да выпей чаю — №42 «€» ™",
        u"Greek falls back: Ελληνικά; Latin-1 too: Ünïcödé; surrogates: \xD83D\xDE00 \xDC80",
        u"עברית: שלום עולם   العربية: مرحبا بالعالم   Հայերեն   ქართული   ไทย",
        u"中文 日本語のテキスト カタカナ ｶﾀｶﾅ ＡＢＣ 漢字　한글 (syllables fall back) 한",
        u"हिन्दी देवनागरी  বাংলা  தமிழ்  తెలుగు  ಕನ್ನಡ  മലയാളം  ગુજરાતી  ਪੰਜਾਬੀ",
    };
    int32_t y = kSheetPairs - 20;
    for (const char16_t* line : lines)
        DrawText16(f, 8, y, 0xFFFFFF, line), y -= 20;
    DrawText16(f, 8, y, 0xFFC040, u"Depth +4:");
    DrawText16(f, 140, y, 0xFFC040, u"STEREO", 4);
    DrawText16(f, -5, y - 20, 0x80FF80, u"Wclipped");
    DrawText16(f, kSheetWidth - 60, y - 20, 0x80FF80, u"clippedW");
    // The byte font: all 256 codes in 16 rows of 16, then a text with breaks.
    y -= 40;
    for (int b = 0; b < 256; ++b)
        f->penX = 8 + (b % 16) * 18, f->penY = y - 9 * (b / 16) - 8, f->color = b < 0x80 ? 0xFFFFFF : 0x80C0FF,
        DrawByteText(f, b == 0x0A || b == 0x0D ? "" : std::string(1, (char)b).c_str());
    f->penX = 320, f->penY = y - 8, f->color = 0xFFFF80;
    DrawByteText(f, "Drives  Prev  Next  Help  Web\r\nOrvale Viewer - stereo photos\n\rline after LF CR\n\n"
                    "after a blank line");
    // A shaded backdrop, dimmed like the toolbar band, with every icon on it.
    const int32_t top = y - 9 * 16 - 14;
    for (int32_t p = top - 40; p <= top; ++p)
        for (uint32_t x = 0, v; x < kSheetWidth; ++x)
            v = x * 255 / kSheetWidth << 16 | (uint32_t)(p * 5 & 0xFF) << 8 | 0x60,
            f->pixels[(2 * p + 1) * kSheetWidth + x] = v, f->pixels[(2 * p + 2) * kSheetWidth + x] = v ^ 0x202020;
    f->penX = 0, f->penY = top - 40;
    DimFrame(f, kSheetWidth - 200, top);
    const uint8_t* icons[] = {DriveIcons[0], DriveIcons[1], DriveIcons[2], DriveIcons[3], DriveIcons[4],
                              DriveIcons[5], PrevIcon,      NextIcon,      HelpIcon,      WebIcon};
    for (int i = 0; i < 10; ++i)
        f->penX = 8 + i * 72, f->penY = top - 35, DrawIcon(f, icons[i]);
    // Both folder pictures as two-view thumbnails, and a stereo test card
    // with view 1 six columns right. The card's byte k: green twice its row,
    // blue its column in view 0 and 255 in view 1, red the other way round.
    auto card = [](size_t k) {
        size_t view = k / kPictureBytes, c = k % 3;
        return (uint8_t)(c == 1 ? k % kPictureBytes / 576 * 2 : (c == 0) == (view == 1) ? 255 : k / 3 % 192);
    };
    std::vector<uint8_t> thumb(2 * kPictureBytes);
    for (int i = 0; i < 3; ++i)
    {
        const uint8_t* picture = i ? ParentPicture : FolderPicture;
        for (size_t k = 0; k < thumb.size(); ++k)
            thumb[k] = i == 2 ? card(k) : picture[k % kPictureBytes];
        f->penX = 8 + i * 200, f->penY = 4, f->eyeShift = i < 2 ? 0 : 6, DrawThumbnail(f, thumb.data());
    }
    DrawScrollBar(f, 120, 1500);
}

TEST(DrawSheet, MatchesTheReferencePicture)
{
    CStereoFrame f = {};
    Resize(&f, 1, kSheetWidth, 2 * kSheetPairs + 1);  // exactly kSheetPairs
    DrawSheet(&f);
    // As on the screen, view 1 above view 0 of each pair: bitmap rows count
    // from the bottom, so row r is buffer row r + 1.
    FIBITMAP* raw = FreeImage_ConvertFromRawBits((BYTE*)(f.pixels + kSheetWidth), kSheetWidth, 2 * kSheetPairs,
                                                 4 * kSheetWidth, 32, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                                                 FI_RGBA_BLUE_MASK);
    FIBITMAP* drawn = FreeImage_ConvertTo24Bits(raw);
    EXPECT_TRUE(FreeImage_Save(FIF_PNG, drawn, "draw_sheet.png", PNG_Z_BEST_COMPRESSION));
    FIBITMAP* loaded = FreeImage_Load(FIF_PNG, ORVALE_TEST_DATA "/draw_sheet.png", 0);
    FIBITMAP* want = loaded ? FreeImage_ConvertTo24Bits(loaded) : nullptr;
    ASSERT_TRUE(want && FreeImage_GetWidth(want) == kSheetWidth && FreeImage_GetHeight(want) == 2 * kSheetPairs)
        << ORVALE_TEST_DATA;
    int32_t first = -1;  // the first screen row from the top that differs
    for (int32_t r = 2 * kSheetPairs - 1; r >= 0 && first < 0; --r)
        if (memcmp(FreeImage_GetScanLine(drawn, r), FreeImage_GetScanLine(want, r), 3 * kSheetWidth))
            first = 2 * kSheetPairs - 1 - r;
    EXPECT_EQ(first, -1) << "see draw_sheet.png in the test's working folder";
    FreeImage_Unload(raw), FreeImage_Unload(drawn), FreeImage_Unload(loaded), FreeImage_Unload(want);
    Release(&f);
}

}  // namespace
