// Tests of image loading: the split of two-stream JPEG files, which stream and
// half feed which view, conversions, failures, and thumbnail sampling.
#include <gtest/gtest.h>

#include <FreeImage.h>
#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "folder/folder_list.h"
#include "folder/image_load.h"
#include "tests/temp_folder.h"
#include "tools/picture_kit.h"

namespace {

typedef std::vector<uint8_t> Bytes;

int32_t Split(const Bytes& b) { return FindStreamSplit(b.data(), (int32_t)b.size()); }

// [SECTION] Stream split

TEST(StreamSplit, FixtureFilesSplitAfterTheirFirstStream)
{
    // Offsets past the first stream (left.JPS, the first of each), or 0.
    const int32_t a = (int32_t)testfs::Fixture("left.JPS").size();
    ASSERT_GT(a, 100);
    const std::pair<const char*, int32_t> cases[] = {
        {"two_streams.jpg", a},  {"gap_between.jpg", a + 13}, {"three_streams.jpg", a}, {"empty_first_stream.jpg", 4},
        {"left.JPS", 0},         {"preview_in_app1.jpg", 0},  {"rst_before_eoi.jpg", 0}, {"comment_ffd9.jpg", 0},
        {"truncated_header.jpg", 0}};
    for (const auto& [name, split] : cases)
        EXPECT_EQ(Split(testfs::Fixture(name)), split) << name;
    // A camera's file: right after the first EOI, at the second SOI.
    const Bytes camera = testfs::Fixture("camera_pair.mpo");
    const size_t split = (size_t)Split(camera);
    ASSERT_GT(split, 4u);
    EXPECT_EQ(Bytes(camera.begin() + (long)split - 2, camera.begin() + (long)split + 2),
              Bytes({0xFF, 0xD9, 0xFF, 0xD8}));
}

TEST(StreamSplit, MarkerRules)
{
    // Bytes and the split: two bare streams, bytes between them, bytes
    // before the first SOI; SOI inside the first stream, EOI before any SOI,
    // EOI after the first stream, one stream, 0xFF last, nothing.
    const std::pair<Bytes, int32_t> cases[] = {
        {{0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xD9}, 4}, {{0xFF, 0xD8, 0xFF, 0xD9, 0x00, 0x01, 0xFF, 0xD8}, 6},
        {{0x00, 0x00, 0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xD8}, 6}, {{0xFF, 0xD8, 0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xD8}, 0},
        {{0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xD8}, 0}, {{0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xD9, 0xFF, 0xD8}, 0},
        {{0xFF, 0xD8, 0xFF, 0xD9}, 0}, {{0xFF, 0xD8, 0xFF, 0xD9, 0xFF}, 0}, {{}, 0},
        // TEM and RST step three bytes: the EOI right after them goes unseen.
        {{0xFF, 0xD8, 0xFF, 0x01, 0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xD9}, 0},
        {{0xFF, 0xD8, 0xFF, 0xD7, 0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xD9}, 0},
        {{0xFF, 0xD8, 0xFF, 0xD0, 0x12, 0xFF, 0xD9, 0xFF, 0xD8}, 7},
        // Stuffed zero, fill and comment markers step two bytes.
        {{0xFF, 0xD8, 0xFF, 0x00, 0xFF, 0xD9, 0xFF, 0xD8}, 6}, {{0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xD9, 0xFF, 0xD8}, 6},
        {{0xFF, 0xD8, 0xFF, 0xFE, 0xFF, 0xD9, 0xFF, 0xD8}, 6},
        // Segments with a length are skipped whole (a preview inside APP1, an
        // empty one); a length below 2, cut off or past the end ends the search.
        {{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x08, 0xFF, 0xD8, 0xFF, 0xD9, 0x00, 0x00, 0xFF, 0xD9, 0xFF, 0xD8}, 14},
        {{0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x02, 0xFF, 0xD9, 0xFF, 0xD8}, 8},
        {{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0xFF, 0xD9, 0xFF, 0xD8}, 0},
        {{0xFF, 0xD8, 0xFF, 0xDB, 0x00}, 0}, {{0xFF, 0xD8, 0xFF, 0xDA, 0x00}, 0},
        {{0xFF, 0xD8, 0xFF, 0xDB, 0x40, 0x00, 0xFF, 0xD9, 0xFF, 0xD8}, 0}};
    for (const auto& [bytes, split] : cases)
        EXPECT_EQ(Split(bytes), split) << ::testing::PrintToString(bytes);
    // A segment length near the end of a large buffer must not wrap around.
    Bytes b(70000, 0x00);
    memcpy(b.data(), "\xFF\xD8", 2);
    memcpy(b.data() + b.size() - 4, "\xFF\xE1\xFF\xFF", 4);
    EXPECT_EQ(Split(b), 0);
}

// [SECTION] Loading

// Runs inside the fixtures folder, as the viewer runs inside the listed one.
class LoadEntryImageTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(chdir(ORVALE_FIXTURES), 0); }
    void TearDown() override
    {
        std::for_each(entries.begin(), entries.end(), FreeEntries);
        FreeImage_Unload(primary), FreeImage_Unload(secondary);  // either may be null
    }
    // Loads an entry made as the listing makes it, its thumbnail grey and
    // pending, so that what is made of it shows.
    CFileEntry* Load(const std::u16string& name, int32_t format, uint8_t flat, uint8_t thumbnailOnly = 1)
    {
        CFileEntry* e = entries.emplace_back((CFileEntry*)calloc(1, sizeof(CFileEntry)));
        EXPECT_EQ(InitEntry(e, name.c_str(), 0, flat), 1);
        e->format = format;
        memset(e->thumb, 0x7F, sizeof e->thumb);
        LoadEntryImage(e, thumbnailOnly, &primary, &secondary);
        return e;
    }
    testfs::TempFolder keep;  // restores the current folder
    std::vector<CFileEntry*> entries;
    FIBITMAP* primary = nullptr;
    FIBITMAP* secondary = nullptr;
};

// Answers whether a pixel is within a few steps (JPEG rounding) of a colour
// 0x00RRGGBB.
bool Near(const uint8_t* p, uint32_t rgb)
{
    int d0 = p[0] - (int)(rgb & 0xFF), d1 = p[1] - (int)(rgb >> 8 & 0xFF), d2 = p[2] - (int)(rgb >> 16);
    return d0 * d0 + d1 * d1 + d2 * d2 < 3 * 8 * 8;
}

bool ViewNear(const CFileEntry* e, int view, uint32_t rgb)
{
    for (size_t i = 0; i < sizeof e->thumb[0]; i += 3)
        if (!Near(&e->thumb[view][0][0][0] + i, rgb))
            return false;
    return true;
}

const uint32_t kRed = 0xC02020, kBlue = 0x2020C0, kGreen = 0x20C020, kFailure = 0xFF1616;

TEST_F(LoadEntryImageTest, ViewZeroComesFromTheSecondStreamAtTheSmallerSize)
{
    // With two streams view 0 shows the second and view 1 the first; a
    // first stream that does not decode, or a split missed, leaves one stream.
    const struct { const char16_t* name; int32_t format; uint32_t view0, view1; int32_t width, height; } cases[] = {
        {u"two_streams.jpg", FIF_JPEG, kBlue, kRed, 64, 40}, {u"gap_between.jpg", FIF_JPEG, kBlue, kRed, 64, 40},
        {u"three_streams.jpg", FIF_JPEG, kBlue, kRed, 64, 40},  // the third stays with the second
        {u"empty_first_stream.jpg", FIF_JPEG, kBlue, kBlue, 80, 40},
        {u"rst_before_eoi.jpg", FIF_JPEG, kRed, kRed, 64, 48}, {u"preview_in_app1.jpg", FIF_JPEG, kRed, kRed, 64, 48},
        {u"caf\xDCE9.jpg", FIF_JPEG, kGreen, kGreen, 32, 32},  // a name that is not UTF-8
        {u"rgba.png", FIF_PNG, 0x336699, 0x336699, 40, 30},    // 32-bit, made 24-bit
        {u"truncated_data.jpg", FIF_JPEG, 0, 0, 320, 240}};    // cut in its scan: the decoder fills the rest
    for (const auto& c : cases)
    {
        CFileEntry* e = Load(c.name, c.format, 1);
        EXPECT_TRUE(e->loadFailed == 0 && e->thumbPending == 0 && e->width == c.width && e->height == c.height &&
                    (!c.view0 || (ViewNear(e, 0, c.view0) && ViewNear(e, 1, c.view1))) && !primary && !secondary)
            << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)) << " " << e->width;
    }
}

TEST_F(LoadEntryImageTest, PaletteAndSixteenBitGreyAreConverted)
{
    // Four bands of 16 columns: the square is the green and the blue one.
    CFileEntry* palette = Load(u"palette.png", FIF_PNG, 1);
    EXPECT_TRUE(palette->loadFailed == 0 && Near(palette->thumb[0][0][0], 0x00FF00) &&
                Near(palette->thumb[1][50][191], 0x0000FF));
    CFileEntry* grey = Load(u"grey16.png", FIF_PNG, 1);
    EXPECT_TRUE(grey->loadFailed == 0 && grey->width == 50);
    EXPECT_LT(grey->thumb[0][10][0][1], grey->thumb[0][10][191][1]);  // the ramp survives
}

TEST_F(LoadEntryImageTest, OpenModeKeepsBothStreamsTwentyFourBit)
{
    CFileEntry* e = Load(u"two_streams.jpg", FIF_JPEG, 1, 0);
    ASSERT_TRUE(primary && secondary);
    EXPECT_TRUE(FreeImage_GetWidth(primary) == 80 && FreeImage_GetWidth(secondary) == 64);
    EXPECT_TRUE(FreeImage_GetBPP(primary) == 24 && FreeImage_GetBPP(secondary) == 24);
    EXPECT_TRUE(e->thumbPending == 0 && ViewNear(e, 0, kBlue));
    // A camera's two eyes differ (parallax).
    e = Load(u"camera_pair.mpo", FIF_JPEG, 1, 0);
    ASSERT_TRUE(primary && secondary);
    EXPECT_TRUE(e->width == 96 && e->height == 64 && memcmp(e->thumb[0], e->thumb[1], sizeof e->thumb[0]) != 0);
    // The next open frees both; a thumbnail already made stays as it is.
    CFileEntry* palette = (CFileEntry*)calloc(1, sizeof(CFileEntry));
    entries.push_back(palette);
    ASSERT_EQ(InitEntry(palette, u"palette.png", 0, 1), 1);
    palette->format = FIF_PNG, palette->thumbPending = 0;
    LoadEntryImage(palette, 0, &primary, &secondary);
    EXPECT_TRUE(primary && !secondary && FreeImage_GetBPP(primary) == 24 && palette->thumb[0][0][0][0] == 0);
}

TEST_F(LoadEntryImageTest, FailuresGiveTheFailureThumbnailAndEmptySlots)
{
    testfs::TempFolder t;
    int fd = open(t.At("big.jpg").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_TRUE(fd >= 0 && ftruncate(fd, (off_t)1 << 31) == 0);  // 2 GiB, sparse
    close(fd);
    // A cut header, text, nothing, no file, headers claiming 100000 and 60000
    // pixels square, side-by-side views of no width, a PNG listed as a JPEG,
    // a folder listed as a file, 2 GiB.
    const std::pair<std::u16string, int32_t> cases[] = {
        {u"truncated_header.jpg", FIF_JPEG}, {u"x.jpg", FIF_JPEG},           {u"empty.jpg", FIF_JPEG},
        {u"missing.jpg", FIF_JPEG},          {u"huge_header.png", FIF_PNG},  {u"huge_header.jpg", FIF_JPEG},
        {u"one_pixel_wide.jps", FIF_PNG},    {u"x.bmp", FIF_JPEG},           {u"sub.jps", FIF_JPEG},
        {std::u16string(t.path.begin(), t.path.end()) + u"/big.jpg", FIF_JPEG}};
    for (const auto& [name, format] : cases)
        for (uint8_t thumbnailOnly : {(uint8_t)1, (uint8_t)0})
        {
            CFileEntry* e = Load(name, format, name == u"one_pixel_wide.jps" ? 0 : 1, thumbnailOnly);
            EXPECT_TRUE(e->loadFailed == 1 && e->thumbPending == 0 && ViewNear(e, 0, kFailure) &&
                        ViewNear(e, 1, kFailure) && !primary && !secondary)
                << std::string(name.begin(), name.end()) << " " << (int)thumbnailOnly;
        }
}

TEST_F(LoadEntryImageTest, FolderOnlyClearsTheFlags)
{
    CFileEntry* e = entries.emplace_back((CFileEntry*)calloc(1, sizeof(CFileEntry)));
    ASSERT_EQ(InitEntry(e, u"sub.jps", 1, 1), 1);
    e->thumbPending = e->loadFailed = 1;
    FIBITMAP* marker = primary = FreeImage_Allocate(1, 1, 24);
    LoadEntryImage(e, 0, &primary, &secondary);
    EXPECT_TRUE(e->thumbPending == 0 && e->loadFailed == 0 && primary == marker);  // slots untouched, even to open
}

// [SECTION] Thumbnail sampling

// Checks every thumbnail pixel of a coordinate picture against the source
// pixel it must come from: view v's column offset, the square's offsets, and
// nearest sampling of side x side onto 192 x 96, corners onto corners.
void ExpectSampling(const CFileEntry* e, int side, int xOff, int yOff, int view1Shift)
{
    for (int v = 0; v < 2; v++)
        for (int r = 0; r < kThumbHeight; r++)
            for (int c = 0; c < kThumbWidth; c++)
            {
                uint8_t want[3];
                CoordinatePixel(xOff + (95 + c * (side - 1)) / 191 + v * view1Shift, yOff + (47 + r * (side - 1)) / 95,
                                want);
                ASSERT_EQ(memcmp(e->thumb[v][r][c], want, 3), 0) << "view " << v << " row " << r << " column " << c;
            }
    uint8_t first[3], last[3];  // corners onto corners
    CoordinatePixel(xOff + view1Shift, yOff, first);
    CoordinatePixel(xOff + view1Shift + side - 1, yOff + side - 1, last);
    EXPECT_TRUE(memcmp(e->thumb[1][0][0], first, 3) == 0 && memcmp(e->thumb[1][95][191], last, 3) == 0);
}

TEST_F(LoadEntryImageTest, ThumbnailSamplesTheCentredOrTopSquareOfEachView)
{
    // Side-by-side halves; a landscape's centred square; a portrait's top
    // square (rows count from the bottom); a small square rounded to nearest.
    const struct { const char16_t* name; uint8_t flat; int side, xOff, yOff, view1Shift; } cases[] = {
        {u"sbs_2000x1000.jps", 0, 1000, 0, 0, 1000}, {u"landscape_1200x800.png", 1, 800, 200, 0, 0},
        {u"portrait_800x1200.png", 1, 800, 0, 400, 0}, {u"flat_100.png", 1, 100, 0, 0, 0}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
        CFileEntry* e = Load(c.name, FIF_PNG, c.flat);
        ASSERT_EQ(e->loadFailed, 0);
        ExpectSampling(e, c.side, c.xOff, c.yOff, c.view1Shift);
    }
    // Two streams of different sizes (pitches 904 and 752), each sampled with
    // its own pitch.
    FIBITMAP* wide = CoordinatePicture(301, 200);
    FIBITMAP* narrow = CoordinatePicture(250, 220);
    CFileEntry* e = entries.emplace_back((CFileEntry*)calloc(1, sizeof(CFileEntry)));
    e->flat = 1, e->width = 250, e->height = 200;
    MakeThumbnail(e, wide, narrow);
    ExpectSampling(e, 200, 25, 0, 0);
    FreeImage_Unload(wide), FreeImage_Unload(narrow);
}

}  // namespace
