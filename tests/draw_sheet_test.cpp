// Draws a sample sheet through the primitives (text in several scripts, the
// byte font, every icon over a dimmed band, both folder pictures, the scroll
// bar) and compares it with tests/data/draw_sheet.png, so that a change in any
// table or primitive shows. The sheet drawn is also saved as draw_sheet.png in
// the working folder to look at.
//
// To accept a deliberate change: ORVALE_UPDATE_REFERENCE=1 ctest -R draw_sheet
#include <gtest/gtest.h>

#include <FreeImage.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "render/assets/assets.h"
#include "render/draw.h"
#include "render/frame.h"

#ifndef ORVALE_TEST_DATA
#error "ORVALE_TEST_DATA must name the folder of the reference pictures"
#endif

namespace {

const int32_t kSheetWidth = 1040;
const int32_t kSheetPairs = 480;

// Draws UTF-16 text with one blank column between glyphs, as the grid does.
void DrawText16(CStereoFrame* f, int32_t x, int32_t y, uint32_t colour, const char16_t* text)
{
    f->penX = x;
    f->penY = y;
    f->color = colour;
    f->eyeShift = 0;
    for (const char16_t* p = text; *p; ++p)
    {
        DrawGlyph(f, *p);
        f->penX += glyphWidths[*p] + 1;
    }
}

void DrawSheet(CStereoFrame* f)
{
    // Text in several scripts, 20 line pairs apart.
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
    {
        DrawText16(f, 8, y, 0xFFFFFF, line);
        y -= 20;
    }
    // A glyph in stereo: view 1 shifted by 4 columns, and glyphs clipped at
    // the left and right edges.
    DrawText16(f, 8, y, 0xFFC040, u"Depth +4:");
    f->penX = 140;
    f->eyeShift = 4;
    for (const char16_t* p = u"STEREO"; *p; ++p)
    {
        DrawGlyph(f, *p);
        f->penX += glyphWidths[*p] + 1;
    }
    DrawText16(f, -5, y - 20, 0x80FF80, u"Wclipped");
    DrawText16(f, kSheetWidth - 60, y - 20, 0x80FF80, u"clippedW");

    // The byte font: all 256 codes in 16 rows of 16, then a text with breaks.
    y -= 40;
    for (int b = 0; b < 256; ++b)
    {
        char one[2] = {(char)b, 0};
        f->penX = 8 + (b % 16) * 18;
        f->penY = y - 9 * (b / 16) - 8;
        f->color = b < 0x80 ? 0xFFFFFF : 0x80C0FF;
        f->eyeShift = 0;
        if (b != 0x0A && b != 0x0D)
            DrawByteText(f, one);
    }
    f->penX = 320;
    f->penY = y - 8;
    f->color = 0xFFFF80;
    DrawByteText(f, "Drives  Prev  Next  Help  Web\r\nOrvale Viewer - stereo photos\n\rline after LF CR\n\nafter a blank line");

    // A shaded backdrop, dimmed like the toolbar band, with every icon on it.
    const int32_t bandTop = y - 9 * 16 - 14;
    for (int32_t p = bandTop - 40; p <= bandTop; ++p)
        for (int32_t x = 0; x < kSheetWidth; ++x)
        {
            uint32_t v = ((uint32_t)(x * 255 / kSheetWidth) << 16) | ((uint32_t)((p * 5) & 0xFF) << 8) | 0x60;
            f->pixels[(2 * p + 1) * f->stride + x] = v;
            f->pixels[(2 * p + 2) * f->stride + x] = v ^ 0x202020;
        }
    f->penX = 0;
    f->penY = bandTop - 40;
    DimFrame(f, kSheetWidth - 200, bandTop);
    const uint8_t* icons[] = {DriveIcons[0], DriveIcons[1], DriveIcons[2], DriveIcons[3], DriveIcons[4],
                              DriveIcons[5], PrevIcon,      NextIcon,      HelpIcon,      WebIcon};
    for (int i = 0; i < 10; ++i)
    {
        f->penX = 8 + i * 72;
        f->penY = bandTop - 35;
        DrawIcon(f, icons[i]);
    }

    // Both folder pictures as two-view thumbnails, and a stereo test card.
    std::vector<uint8_t> thumb(2 * kPictureBytes);
    const uint8_t* pictures[] = {FolderPicture, ParentPicture};
    for (int i = 0; i < 2; ++i)
    {
        memcpy(thumb.data(), pictures[i], kPictureBytes);
        memcpy(thumb.data() + kPictureBytes, pictures[i], kPictureBytes);
        f->penX = 8 + i * 200;
        f->penY = 4;
        f->eyeShift = 0;
        DrawThumbnail(f, thumb.data());
    }
    for (int view = 0; view < 2; ++view)
        for (int j = 0; j < 96; ++j)
            for (int k = 0; k < 192; ++k)
            {
                uint8_t* p = &thumb[((view * 96 + j) * 192 + k) * 3];
                p[0] = (uint8_t)(view ? 255 : k);
                p[1] = (uint8_t)(j * 2);
                p[2] = (uint8_t)(view ? k : 255);
            }
    f->penX = 408;
    f->penY = 4;
    f->eyeShift = 6;
    DrawThumbnail(f, thumb.data());
    f->eyeShift = 0;

    DrawScrollBar(f, 120, 1500);
}

// Turns the frame into screen rows, top first: view 1 above view 0 of each pair.
std::vector<uint8_t> ScreenRows(const CStereoFrame& f)
{
    std::vector<uint8_t> rgb((size_t)f.stride * 2 * f.pairs * 3);
    for (int32_t row = 0; row < 2 * f.pairs; ++row)
    {
        int32_t pair = f.pairs - 1 - row / 2;
        int view = row % 2 == 0 ? 1 : 0;
        const uint32_t* src = f.pixels + (2 * pair + 1 + view) * f.stride;
        for (int32_t x = 0; x < f.stride; ++x)
        {
            uint8_t* d = &rgb[((size_t)row * f.stride + x) * 3];
            d[0] = (uint8_t)(src[x] >> 16);
            d[1] = (uint8_t)(src[x] >> 8);
            d[2] = (uint8_t)src[x];
        }
    }
    return rgb;
}

bool SavePng(const std::string& path, int32_t w, int32_t h, const std::vector<uint8_t>& rgb)
{
    FIBITMAP* bmp = FreeImage_Allocate(w, h, 24);
    for (int32_t y = 0; y < h; ++y)
    {
        BYTE* line = FreeImage_GetScanLine(bmp, h - 1 - y);
        for (int32_t x = 0; x < w; ++x)
        {
            const uint8_t* s = &rgb[((size_t)y * w + x) * 3];
            line[x * 3 + FI_RGBA_RED] = s[0];
            line[x * 3 + FI_RGBA_GREEN] = s[1];
            line[x * 3 + FI_RGBA_BLUE] = s[2];
        }
    }
    bool ok = FreeImage_Save(FIF_PNG, bmp, path.c_str(), PNG_Z_BEST_COMPRESSION) != 0;
    FreeImage_Unload(bmp);
    return ok;
}

bool LoadPng(const std::string& path, int32_t* w, int32_t* h, std::vector<uint8_t>* rgb)
{
    FIBITMAP* loaded = FreeImage_Load(FIF_PNG, path.c_str(), 0);
    if (!loaded)
        return false;
    FIBITMAP* bmp = FreeImage_ConvertTo24Bits(loaded);
    FreeImage_Unload(loaded);
    *w = (int32_t)FreeImage_GetWidth(bmp);
    *h = (int32_t)FreeImage_GetHeight(bmp);
    rgb->assign((size_t)*w * *h * 3, 0);
    for (int32_t y = 0; y < *h; ++y)
    {
        const BYTE* line = FreeImage_GetScanLine(bmp, *h - 1 - y);
        for (int32_t x = 0; x < *w; ++x)
        {
            uint8_t* d = &(*rgb)[((size_t)y * *w + x) * 3];
            d[0] = line[x * 3 + FI_RGBA_RED];
            d[1] = line[x * 3 + FI_RGBA_GREEN];
            d[2] = line[x * 3 + FI_RGBA_BLUE];
        }
    }
    FreeImage_Unload(bmp);
    return true;
}

TEST(DrawSheet, MatchesTheReferencePicture)
{
    CStereoFrame f = {};
    Resize(&f, 1, kSheetWidth, 2 * kSheetPairs + 1);
    ASSERT_EQ(f.pairs, kSheetPairs);
    DrawSheet(&f);
    std::vector<uint8_t> rgb = ScreenRows(f);
    const int32_t height = 2 * kSheetPairs;
    Release(&f);

    EXPECT_TRUE(SavePng("draw_sheet.png", kSheetWidth, height, rgb));
    const std::string reference = std::string(ORVALE_TEST_DATA) + "/draw_sheet.png";
    const char* update = getenv("ORVALE_UPDATE_REFERENCE");
    if (update && *update && strcmp(update, "0") != 0)
    {
        ASSERT_TRUE(SavePng(reference, kSheetWidth, height, rgb));
        GTEST_SKIP() << "reference written to " << reference;
    }

    int32_t w = 0, h = 0;
    std::vector<uint8_t> want;
    ASSERT_TRUE(LoadPng(reference, &w, &h, &want)) << reference;
    ASSERT_EQ(w, kSheetWidth);
    ASSERT_EQ(h, height);
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < want.size(); i += 3)
        if (memcmp(&want[i], &rgb[i], 3) != 0 && differing++ == 0)
            first = i / 3;
    EXPECT_EQ(differing, 0u) << "first at x " << first % kSheetWidth << ", screen row " << first / kSheetWidth
                             << "; see draw_sheet.png in the test's working folder";
}

}  // namespace
