// Build check for the Windows libraries made by tools/build/windows_deps.sh, run by
// that script under Wine: FreeImage's format numbers, JPEG, PNG and BMP saved
// and read back through wide (UTF-16) file names, GoogleTest with the posix
// thread model's std::thread, and libheif's DLLs loading with their HEVC and
// AV1 decoders.
#define FREEIMAGE_LIB
#include <FreeImage.h>
#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

struct Format { FREE_IMAGE_FORMAT fif; const char* name; bool reads; };

// In FreeImage.h's order; the left-out formats keep their numbers.
const Format kFormats[] = {
    {FIF_BMP, "BMP", true},     {FIF_ICO, "ICO", true},       {FIF_JPEG, "JPEG", true},
    {FIF_JNG, "JNG", true},     {FIF_KOALA, "KOALA", true},   {FIF_LBM, "IFF", true},
    {FIF_MNG, "MNG", true},     {FIF_PBM, "PBM", true},       {FIF_PBMRAW, "PBMRAW", true},
    {FIF_PCD, "PCD", true},     {FIF_PCX, "PCX", true},       {FIF_PGM, "PGM", true},
    {FIF_PGMRAW, "PGMRAW", true}, {FIF_PNG, "PNG", true},     {FIF_PPM, "PPM", true},
    {FIF_PPMRAW, "PPMRAW", true}, {FIF_RAS, "RAS", true},     {FIF_TARGA, "TARGA", true},
    {FIF_TIFF, "TIFF", false},  {FIF_WBMP, "WBMP", true},     {FIF_PSD, "PSD", true},
    {FIF_CUT, "CUT", true},     {FIF_XBM, "XBM", true},       {FIF_XPM, "XPM", true},
    {FIF_DDS, "DDS", true},     {FIF_GIF, "GIF", true},       {FIF_HDR, "HDR", true},
    {FIF_FAXG3, "G3", false},   {FIF_SGI, "SGI", true},       {FIF_EXR, "EXR", false},
    {FIF_J2K, "J2K", false},    {FIF_JP2, "JP2", false},      {FIF_PFM, "PFM", true},
    {FIF_PICT, "PICT", true},   {FIF_RAW, "RAW", false},      {FIF_WEBP, "WebP", false},
    {FIF_JXR, "JPEG-XR", false},
};

TEST(WindowsDeps, FormatNumbersFollowFreeImageH) {
  ASSERT_EQ(FreeImage_GetFIFCount(), (int)(sizeof kFormats / sizeof kFormats[0]));
  for (const Format& f : kFormats) {
    EXPECT_EQ(FreeImage_GetFIFFromFormat(f.name), f.fif) << f.name;
    EXPECT_EQ(FreeImage_FIFSupportsReading(f.fif) != FALSE, f.reads) << f.name;
  }
  EXPECT_EQ(FreeImage_GetFIFFromFormat("JPEG"), 2);
  EXPECT_EQ(FreeImage_GetFIFFromFormat("PNG"), 13);
  EXPECT_EQ(FreeImage_GetFIFFromFilename("x.tif"), FIF_TIFF);
}

// A smooth gradient survives JPEG within a few levels.
TEST(WindowsDeps, JpegPngBmpRoundTripThroughWideNames) {
  const struct { FREE_IMAGE_FORMAT fif; const wchar_t* name; int flags; int tolerance; } cases[] = {
      {FIF_BMP, L"\u0444\u043e\u0442\u043e \u00df.bmp", BMP_DEFAULT, 0},
      {FIF_PNG, L"\u0444\u043e\u0442\u043e \u00df.png", PNG_DEFAULT, 0},
      {FIF_JPEG, L"\u0444\u043e\u0442\u043e \u00df.jpg", JPEG_QUALITYSUPERB, 12},
  };
  FIBITMAP* source = FreeImage_Allocate(32, 16, 24);
  ASSERT_NE(source, nullptr);
  for (unsigned y = 0; y < 16; ++y)
    for (unsigned x = 0; x < 32; ++x) {
      RGBQUAD c = {(BYTE)(x * 4), (BYTE)(y * 8), (BYTE)(200 - x * 2), 0};
      FreeImage_SetPixelColor(source, x, y, &c);
    }
  for (const auto& c : cases) {
    ASSERT_TRUE(FreeImage_SaveU(c.fif, source, c.name, c.flags)) << c.fif;
    EXPECT_EQ(FreeImage_GetFileTypeU(c.name), c.fif);
    FIBITMAP* back = FreeImage_LoadU(c.fif, c.name);
    ASSERT_NE(back, nullptr) << c.fif;
    EXPECT_EQ(FreeImage_GetWidth(back), 32u);
    EXPECT_EQ(FreeImage_GetHeight(back), 16u);
    int worst = 0;
    for (unsigned y = 0; y < 16; ++y)
      for (unsigned x = 0; x < 32; ++x) {
        RGBQUAD a, b;
        FreeImage_GetPixelColor(source, x, y, &a);
        FreeImage_GetPixelColor(back, x, y, &b);
        worst = std::max({worst, std::abs(a.rgbRed - b.rgbRed), std::abs(a.rgbGreen - b.rgbGreen),
                          std::abs(a.rgbBlue - b.rgbBlue)});
      }
    EXPECT_LE(worst, c.tolerance) << c.fif;
    FreeImage_Unload(back);
    _wremove(c.name);
  }
  FreeImage_Unload(source);
}

TEST(WindowsDeps, StdThreadRuns) {
  int count = 0;
  std::thread worker([&count] { count = FreeImage_GetFIFCount(); });
  worker.join();
  EXPECT_EQ(count, 37);
}

TEST(WindowsDeps, HeifDllsDecodeHevcAndAv1) {
  EXPECT_EQ(heif_get_version_number(), (uint32_t)LIBHEIF_NUMERIC_VERSION);
  EXPECT_TRUE(heif_have_decoder_for_format(heif_compression_HEVC));
  EXPECT_TRUE(heif_have_decoder_for_format(heif_compression_AV1));
  // Bytes that are no HEIF file are refused, not crashed on.
  heif_context* context = heif_context_alloc();
  const uint8_t junk[32] = {0, 0, 0, 32, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c'};
  EXPECT_NE(heif_context_read_from_memory_without_copy(context, junk, sizeof junk, nullptr).code, heif_error_Ok);
  heif_context_free(context);
}

}  // namespace

int main(int argc, char** argv) {
  FreeImage_Initialise(TRUE);  // a static FreeImage has no DllMain to do it
  testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  FreeImage_DeInitialise();
  return result;
}
