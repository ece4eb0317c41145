// Tests of image loading: the split of two-stream JPEG files, which stream and
// half feed which view, thumbnail sampling, conversions, and failures.
#include <gtest/gtest.h>

#include <FreeImage.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
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

TEST(StreamSplit, FixtureFiles)
{
    const Bytes a = testfs::Fixture("left.JPS");  // the first stream of each
    ASSERT_GT(a.size(), 100u);
    EXPECT_EQ(Split(testfs::Fixture("two_streams.jpg")), (int32_t)a.size());
    EXPECT_EQ(Split(testfs::Fixture("gap_between.jpg")), (int32_t)a.size() + 13);
    EXPECT_EQ(Split(testfs::Fixture("three_streams.jpg")), (int32_t)a.size());
    EXPECT_EQ(Split(testfs::Fixture("empty_first_stream.jpg")), 4);
    EXPECT_EQ(Split(a), 0);
    EXPECT_EQ(Split(testfs::Fixture("preview_in_app1.jpg")), 0);
    EXPECT_EQ(Split(testfs::Fixture("rst_before_eoi.jpg")), 0);
    EXPECT_EQ(Split(testfs::Fixture("comment_ffd9.jpg")), 0);
    EXPECT_EQ(Split(testfs::Fixture("truncated_header.jpg")), 0);

    const Bytes camera = testfs::Fixture("camera_pair.mpo");
    int32_t split = Split(camera);
    ASSERT_GT(split, 4);
    EXPECT_EQ(camera[(size_t)split], 0xFF);
    EXPECT_EQ(camera[(size_t)split + 1], 0xD8);
    EXPECT_EQ(camera[(size_t)split - 2], 0xFF);  // right after the first EOI
    EXPECT_EQ(camera[(size_t)split - 1], 0xD9);
}

TEST(StreamSplit, MarkerRules)
{
    struct Case
    {
        Bytes bytes;
        int32_t split;
        const char* what;
    } cases[] = {
        {{0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xD9}, 4, "two bare streams"},
        {{0xFF, 0xD8, 0xFF, 0xD9, 0x00, 0x01, 0xFF, 0xD8}, 6, "bytes between the streams"},
        {{0xFF, 0xD8, 0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xD8}, 0, "SOI inside the first stream"},
        {{0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xD8}, 0, "EOI before any SOI"},
        {{0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xD9, 0xFF, 0xD8}, 0, "EOI after the first stream"},
        {{0xFF, 0xD8, 0xFF, 0xD9}, 0, "one stream"},
        {{0xFF, 0xD8, 0xFF, 0xD9, 0xFF}, 0, "0xFF as the last byte"},
        {{}, 0, "no bytes"},
        // TEM and RST step three bytes: the EOI right after them goes unseen.
        {{0xFF, 0xD8, 0xFF, 0x01, 0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xD9}, 0, "TEM before EOI"},
        {{0xFF, 0xD8, 0xFF, 0xD7, 0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xD9}, 0, "RST7 before EOI"},
        {{0xFF, 0xD8, 0xFF, 0xD0, 0x12, 0xFF, 0xD9, 0xFF, 0xD8}, 7, "RST0 and one data byte"},
        // Stuffed zero, fill and comment markers step two bytes.
        {{0xFF, 0xD8, 0xFF, 0x00, 0xFF, 0xD9, 0xFF, 0xD8}, 6, "stuffed zero"},
        {{0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xD9, 0xFF, 0xD8}, 6, "fill byte"},
        {{0xFF, 0xD8, 0xFF, 0xFE, 0xFF, 0xD9, 0xFF, 0xD8}, 6, "comment length unused"},
        // Segments with a length are skipped whole.
        {{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x08, 0xFF, 0xD8, 0xFF, 0xD9, 0x00, 0x00, 0xFF, 0xD9, 0xFF, 0xD8}, 14,
         "preview inside APP1"},
        {{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0xFF, 0xD9, 0xFF, 0xD8}, 0, "length below 2"},
        {{0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x02, 0xFF, 0xD9, 0xFF, 0xD8}, 8, "length 2: an empty segment"},
        {{0xFF, 0xD8, 0xFF, 0xDB, 0x00}, 0, "length cut off"},
        {{0xFF, 0xD8, 0xFF, 0xDA, 0x00}, 0, "SOS length cut off"},
        {{0xFF, 0xD8, 0xFF, 0xDB, 0x40, 0x00, 0xFF, 0xD9, 0xFF, 0xD8}, 0, "segment runs past the end"},
        {{0x00, 0x00, 0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xD8}, 6, "bytes before the first SOI"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Split(c.bytes), c.split) << c.what;
}

// A segment length near the end of a large buffer must not wrap around.
TEST(StreamSplit, LengthsNearTheEndStayInside)
{
    Bytes b(70000, 0x00);
    b[0] = 0xFF;
    b[1] = 0xD8;
    b[b.size() - 4] = 0xFF;
    b[b.size() - 3] = 0xE1;
    b[b.size() - 2] = 0xFF;
    b[b.size() - 1] = 0xFF;
    EXPECT_EQ(Split(b), 0);
}

// [SECTION] Loading

// An entry as the listing makes it, for a file in the current folder.
struct Entry
{
    CFileEntry* e = (CFileEntry*)calloc(1, sizeof(CFileEntry));
    Entry(const char16_t* name, int32_t format, uint8_t flat)
    {
        EXPECT_EQ(InitEntry(e, name, 0, flat), 1);
        e->format = format;
        memset(e->thumb, 0x7F, sizeof e->thumb);
    }
    ~Entry() { FreeEntries(e); }
    const uint8_t* Pixel(int view, int row, int column) const { return e->thumb[view][row][column]; }
};

// Runs the tests inside the fixtures folder, as the viewer runs inside the
// listed folder.
class LoadEntryImageTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(chdir(ORVALE_FIXTURES), 0); }
    testfs::TempFolder keep;  // restores the current folder
    FIBITMAP* primary = nullptr;
    FIBITMAP* secondary = nullptr;
    void TearDown() override
    {
        if (primary)
            FreeImage_Unload(primary);
        if (secondary)
            FreeImage_Unload(secondary);
    }
};

// Answers whether a thumbnail pixel is within a few steps of a colour (JPEG
// rounding) given as 0x00RRGGBB.
bool Near(const uint8_t* bgr, uint32_t rgb)
{
    int d0 = bgr[0] - (int)(rgb & 0xFF), d1 = bgr[1] - (int)((rgb >> 8) & 0xFF), d2 = bgr[2] - (int)(rgb >> 16);
    return d0 * d0 + d1 * d1 + d2 * d2 < 3 * 8 * 8;
}

bool WholeViewNear(const Entry& x, int view, uint32_t rgb)
{
    for (int r = 0; r < kThumbHeight; r++)
        for (int c = 0; c < kThumbWidth; c++)
            if (!Near(x.Pixel(view, r, c), rgb))
                return false;
    return true;
}

bool IsFailureThumbnail(const Entry& x)
{
    const uint8_t* b = &x.e->thumb[0][0][0][0];
    for (size_t i = 0; i < sizeof x.e->thumb; i += 3)
        if (b[i] != 0x16 || b[i + 1] != 0x16 || b[i + 2] != 0xFF)
            return false;
    return true;
}

const uint32_t kRed = 0xC02020, kBlue = 0x2020C0, kGreen = 0x20C020;

// View 0 from the second stream, view 1 from the first; the size is the
// smaller of each dimension.
TEST_F(LoadEntryImageTest, TwoStreamsFeedViewZeroFromTheSecond)
{
    struct Case
    {
        const char16_t* name;
        uint32_t view0, view1;
        int32_t width, height;
    } cases[] = {
        {u"two_streams.jpg", kBlue, kRed, 64, 40},
        {u"gap_between.jpg", kBlue, kRed, 64, 40},
        {u"three_streams.jpg", kBlue, kRed, 64, 40},  // the third stays in the primary range
        {u"empty_first_stream.jpg", kBlue, kBlue, 80, 40},  // first stream does not decode
        {u"rst_before_eoi.jpg", kRed, kRed, 64, 48},        // no split: one stream
        {u"preview_in_app1.jpg", kRed, kRed, 64, 48},
    };
    for (const Case& c : cases)
    {
        Entry x(c.name, FIF_JPEG, 1);
        LoadEntryImage(x.e, 1, &primary, &secondary);
        SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
        EXPECT_EQ(x.e->loadFailed, 0);
        EXPECT_EQ(x.e->thumbPending, 0);
        EXPECT_EQ(x.e->width, c.width);
        EXPECT_EQ(x.e->height, c.height);
        EXPECT_TRUE(WholeViewNear(x, 0, c.view0));
        EXPECT_TRUE(WholeViewNear(x, 1, c.view1));
        EXPECT_EQ(primary, nullptr);
        EXPECT_EQ(secondary, nullptr);
    }
}

// Open mode keeps both decoded streams, 24-bit, and frees the previous ones.
TEST_F(LoadEntryImageTest, OpenModeKeepsTwentyFourBitBitmaps)
{
    Entry x(u"two_streams.jpg", FIF_JPEG, 1);
    LoadEntryImage(x.e, 0, &primary, &secondary);
    ASSERT_NE(primary, nullptr);
    ASSERT_NE(secondary, nullptr);
    EXPECT_EQ(FreeImage_GetWidth(primary), 80u);
    EXPECT_EQ(FreeImage_GetWidth(secondary), 64u);
    EXPECT_EQ(FreeImage_GetBPP(primary), 24u);
    EXPECT_EQ(FreeImage_GetBPP(secondary), 24u);
    EXPECT_EQ(x.e->thumbPending, 0);
    EXPECT_TRUE(WholeViewNear(x, 0, kBlue));

    // A second open replaces both; a thumbnail already made stays as it is.
    Entry y(u"palette.png", FIF_PNG, 1);
    y.e->thumbPending = 0;
    LoadEntryImage(y.e, 0, &primary, &secondary);
    ASSERT_NE(primary, nullptr);
    EXPECT_EQ(secondary, nullptr);
    EXPECT_EQ(FreeImage_GetBPP(primary), 24u);
    EXPECT_EQ(y.Pixel(0, 0, 0)[0], 0x7F);
}

TEST_F(LoadEntryImageTest, CameraFileGivesTwoDifferentViews)
{
    Entry x(u"camera_pair.mpo", FIF_JPEG, 1);
    LoadEntryImage(x.e, 0, &primary, &secondary);
    ASSERT_NE(primary, nullptr);
    ASSERT_NE(secondary, nullptr);
    EXPECT_EQ(x.e->width, 96);
    EXPECT_EQ(x.e->height, 64);
    EXPECT_NE(memcmp(x.e->thumb[0], x.e->thumb[1], sizeof x.e->thumb[0]), 0);  // parallax
}

// Palette, 32-bit and 16-bit grey pictures are made 24-bit before sampling.
TEST_F(LoadEntryImageTest, OtherPixelFormatsAreConverted)
{
    Entry palette(u"palette.png", FIF_PNG, 1);
    LoadEntryImage(palette.e, 1, &primary, &secondary);
    EXPECT_EQ(palette.e->loadFailed, 0);
    // 64 x 32 in four bands of 16 columns: the square is columns 16 to 47.
    EXPECT_TRUE(Near(palette.Pixel(0, 0, 0), 0x00FF00));
    EXPECT_TRUE(Near(palette.Pixel(1, 50, 191), 0x0000FF));

    Entry rgba(u"rgba.png", FIF_PNG, 1);
    LoadEntryImage(rgba.e, 1, &primary, &secondary);
    EXPECT_EQ(rgba.e->loadFailed, 0);
    EXPECT_TRUE(WholeViewNear(rgba, 0, 0x336699));
    EXPECT_TRUE(WholeViewNear(rgba, 1, 0x336699));

    Entry grey(u"grey16.png", FIF_PNG, 1);
    LoadEntryImage(grey.e, 1, &primary, &secondary);
    EXPECT_EQ(grey.e->loadFailed, 0);
    EXPECT_EQ(grey.e->width, 50);
    EXPECT_LT(grey.Pixel(0, 10, 0)[1], grey.Pixel(0, 10, 191)[1]);  // the ramp survives
    EXPECT_EQ(primary, nullptr);
}

TEST_F(LoadEntryImageTest, FailuresGiveTheFailureThumbnailAndEmptySlots)
{
    testfs::TempFolder t;
    int fd = open(t.At("big.jpg").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, (off_t)1 << 31), 0);
    close(fd);
    struct Case
    {
        std::u16string name;
        int32_t format;
        uint8_t flat;
    } cases[] = {
        {u"truncated_header.jpg", FIF_JPEG, 1},
        {u"x.jpg", FIF_JPEG, 1},          // text
        {u"empty.jpg", FIF_JPEG, 1},
        {u"missing.jpg", FIF_JPEG, 1},
        {u"huge_header.png", FIF_PNG, 1},  // claims 100000 x 100000
        {u"huge_header.jpg", FIF_JPEG, 1},  // claims 60000 x 60000
        {u"one_pixel_wide.jps", FIF_PNG, 0},  // side-by-side views of no width
        {u"x.bmp", FIF_JPEG, 1},  // a PNG decoded as the JPEG it was listed as
        {u"sub.jps", FIF_JPEG, 1},  // a folder where a file was listed
        {std::u16string(t.path.begin(), t.path.end()) + u"/big.jpg", FIF_JPEG, 1},  // 2 GiB
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
        for (uint8_t thumbnailOnly : {(uint8_t)1, (uint8_t)0})
        {
            Entry x(c.name.c_str(), c.format, c.flat);
            LoadEntryImage(x.e, thumbnailOnly, &primary, &secondary);
            EXPECT_EQ(x.e->loadFailed, 1);
            EXPECT_EQ(x.e->thumbPending, 0);
            EXPECT_TRUE(IsFailureThumbnail(x));
            EXPECT_EQ(primary, nullptr);
            EXPECT_EQ(secondary, nullptr);
        }
    }
}

// A JPEG cut in its scan data still decodes: the decoder fills the rest.
TEST_F(LoadEntryImageTest, TruncatedScanDataStillDecodes)
{
    Entry x(u"truncated_data.jpg", FIF_JPEG, 1);
    LoadEntryImage(x.e, 1, &primary, &secondary);
    EXPECT_EQ(x.e->loadFailed, 0);
    EXPECT_EQ(x.e->width, 320);
}

// The name on disk is not UTF-8; the escaped name still reads the file.
TEST_F(LoadEntryImageTest, NameThatIsNotUtf8Loads)
{
    Entry x(u"caf\xDCE9.jpg", FIF_JPEG, 1);
    LoadEntryImage(x.e, 1, &primary, &secondary);
    EXPECT_EQ(x.e->loadFailed, 0);
    EXPECT_TRUE(WholeViewNear(x, 0, kGreen));
}

TEST_F(LoadEntryImageTest, FolderOnlyClearsTheFlags)
{
    CFileEntry* e = (CFileEntry*)calloc(1, sizeof(CFileEntry));
    ASSERT_EQ(InitEntry(e, u"sub.jps", 1, 1), 1);
    e->thumbPending = 1;
    e->loadFailed = 1;
    FIBITMAP* marker = FreeImage_Allocate(1, 1, 24);
    primary = marker;
    LoadEntryImage(e, 0, &primary, &secondary);
    EXPECT_EQ(e->thumbPending, 0);
    EXPECT_EQ(e->loadFailed, 0);
    EXPECT_EQ(primary, marker);  // slots untouched, even in open mode
    FreeEntries(e);
}

// [SECTION] Thumbnail sampling

// Checks every thumbnail pixel of a coordinate picture against the source
// pixel it must come from: view v's column offset, the square's offsets, and
// nearest sampling of side x side onto 192 x 96.
void ExpectSampling(const Entry& x, int side, int xOff, int yOff, int view1Shift)
{
    for (int v = 0; v < 2; v++)
        for (int r = 0; r < kThumbHeight; r++)
            for (int c = 0; c < kThumbWidth; c++)
            {
                int row = yOff + (47 + r * (side - 1)) / 95;
                int column = xOff + (95 + c * (side - 1)) / 191 + v * view1Shift;
                uint8_t want[3];
                CoordinatePixel(column, row, want);
                const uint8_t* got = x.Pixel(v, r, c);
                ASSERT_TRUE(got[0] == want[0] && got[1] == want[1] && got[2] == want[2])
                    << "view " << v << " row " << r << " column " << c;
            }
}

// Reads the source position a thumbnail pixel of a coordinate picture holds.
void Position(const Entry& x, int v, int r, int c, int* column, int* row)
{
    const uint8_t* p = x.Pixel(v, r, c);
    *column = p[0] | (p[2] & 15) << 8;
    *row = p[1] | (p[2] >> 4) << 8;
}

TEST_F(LoadEntryImageTest, SideBySideViewsAreTheTwoHalves)
{
    Entry x(u"sbs_2000x1000.jps", FIF_PNG, 0);
    LoadEntryImage(x.e, 1, &primary, &secondary);
    ASSERT_EQ(x.e->loadFailed, 0);
    int column, row;
    Position(x, 0, 0, 0, &column, &row);
    EXPECT_EQ(column, 0);
    EXPECT_EQ(row, 0);
    Position(x, 0, 95, 191, &column, &row);
    EXPECT_EQ(column, 999);
    EXPECT_EQ(row, 999);
    Position(x, 1, 0, 0, &column, &row);
    EXPECT_EQ(column, 1000);
    Position(x, 1, 95, 191, &column, &row);
    EXPECT_EQ(column, 1999);
    EXPECT_EQ(row, 999);
    ExpectSampling(x, 1000, 0, 0, 1000);
}

TEST_F(LoadEntryImageTest, LandscapeIsCutToItsCentredSquare)
{
    Entry x(u"landscape_1200x800.png", FIF_PNG, 1);
    LoadEntryImage(x.e, 1, &primary, &secondary);
    int column, row;
    Position(x, 0, 0, 0, &column, &row);
    EXPECT_EQ(column, 200);
    EXPECT_EQ(row, 0);
    Position(x, 1, 95, 191, &column, &row);
    EXPECT_EQ(column, 999);
    EXPECT_EQ(row, 799);
    ExpectSampling(x, 800, 200, 0, 0);
}

TEST_F(LoadEntryImageTest, PortraitIsCutToItsTopSquare)
{
    Entry x(u"portrait_800x1200.png", FIF_PNG, 1);
    LoadEntryImage(x.e, 1, &primary, &secondary);
    int column, row;
    Position(x, 0, 0, 0, &column, &row);
    EXPECT_EQ(column, 0);
    EXPECT_EQ(row, 400);  // rows count from the bottom: the top 800 rows are kept
    Position(x, 0, 95, 191, &column, &row);
    EXPECT_EQ(column, 799);
    EXPECT_EQ(row, 1199);
    ExpectSampling(x, 800, 0, 400, 0);
}

TEST_F(LoadEntryImageTest, SmallSquareRoundsToNearest)
{
    Entry x(u"flat_100.png", FIF_PNG, 1);
    LoadEntryImage(x.e, 1, &primary, &secondary);
    const struct
    {
        int r, c, row, column;
    } samples[] = {{0, 0, 0, 0}, {1, 1, 1, 1}, {48, 96, 50, 50}, {95, 191, 99, 99}, {94, 190, 98, 98}};
    for (const auto& s : samples)
    {
        int column, row;
        Position(x, 0, s.r, s.c, &column, &row);
        EXPECT_EQ(row, s.row) << s.r;
        EXPECT_EQ(column, s.column) << s.c;
    }
    ExpectSampling(x, 100, 0, 0, 0);
}

// Two streams of different sizes, sampled with each one's own pitch.
TEST(Thumbnail, EachViewUsesItsOwnPitch)
{
    FIBITMAP* wide = CoordinatePicture(301, 200);    // pitch 904
    FIBITMAP* narrow = CoordinatePicture(250, 220);  // pitch 752
    CFileEntry* e = (CFileEntry*)calloc(1, sizeof(CFileEntry));
    e->flat = 1;
    e->width = 250;
    e->height = 200;
    MakeThumbnail(e, wide, narrow);
    for (int v = 0; v < 2; v++)
    {
        const uint8_t* p = e->thumb[v][95][191];
        EXPECT_EQ(p[0] | (p[2] & 15) << 8, 224);  // xOff 25 + 199
        EXPECT_EQ(p[1] | (p[2] >> 4) << 8, 199);
        p = e->thumb[v][60][10];
        EXPECT_EQ(p[1] | (p[2] >> 4) << 8, (47 + 60 * 199) / 95);
    }
    free(e);
    FreeImage_Unload(wide);
    FreeImage_Unload(narrow);
}

}  // namespace
