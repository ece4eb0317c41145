// Tests of the folder library: name classification, the listing of real
// folders (flags, pictures, order, the parent entry, what is left out);
// image loading: the split of two-stream JPEG files, which stream
// and half feed which view, conversions, failures, and thumbnail sampling.
#include <gtest/gtest.h>

#include <FreeImage.h>

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "folder/folder_list.h"
#include "folder/image_load.h"
#include "platform/platform.h"
#include "render/assets/assets.h"
#include "tests/temp_folder.h"
#include "tools/kit/picture_kit.h"

namespace {

// [SECTION] Listing

// Answers whether both views hold the picture.
bool Shows(const CFileEntry* e, const uint8_t* picture)
{
    return !memcmp(e->thumb[0], picture, kPictureBytes) && !memcmp(e->thumb[1], picture, kPictureBytes);
}

// Answers whether every pixel of a view (both: -1) is within a few steps
// (JPEG rounding) of a colour 0x00RRGGBB.
bool ViewNear(const CFileEntry* e, int view, uint32_t rgb)
{
    const uint8_t* p = &e->thumb[std::max(view, 0)][0][0][0];
    for (size_t i = 0; i < (view < 0 ? sizeof e->thumb : sizeof e->thumb[0]); i++)
        if (abs(p[i] - (int)(rgb >> (i % 3 * 8) & 0xFF)) > 12)
            return false;
    return true;
}

int Flat(const char16_t* name) { uint8_t flat = 2; ClassifyName(name, &flat); return flat; }

TEST(ClassifyName, LastExtensionDecides)
{
    // The name and flat after, 2 where it is left alone (no dot).
    const std::pair<const char16_t*, int> cases[] = {{u"left.JPS", 0}, {u"x.Jps", 0}, {u"a.jps.jpg", 1},
        {u"a.jpg.jps", 0}, {u"name.", 1}, {u"x.jpsx", 1}, {u"x.jp", 1}, {u"x.js", 1}, {u".jps", 0}, {u"jps", 2},
        {u"", 2}, {u"x.j\u0130s", 1}};
    for (const auto& [name, flat] : cases)
        EXPECT_EQ(Flat(name), flat) << testing::PrintToString(std::u16string(name));
}

// The listing keeps the scan's order, folders and files mixed, and leaves
// out what is no picture whatever its name; the parent entry comes first with
// its own picture, except at the root. Files wait for their thumbnail under
// the placeholder, their format told from their contents (2 JPEG, 13 PNG).
TEST(ListFolder, KeepsScanOrderWithTheParentFirst)
{
    testfs::TempFolder t;
    for (const char* name : {"b.jpg", "A.jps", "_z.jpg"})
        ASSERT_TRUE(t.Write(name, testfs::Fixture("left.JPS")));
    ASSERT_TRUE(t.Write("c.jpg", testfs::Fixture("x.bmp")) && t.Write("x.jpg", {'n'}) && t.Write("empty.jpg", {}));
    ASSERT_TRUE(t.Folder("ab") && t.Folder("...") && t.Folder("..x") && t.Enter() && symlink("ab", "link") == 0);
    static CFolderList folder;  // 120 KB of path: off the stack
    ListFolder(&folder);
    std::vector<std::u16string> names;
    std::map<std::u16string, CFileEntry*> by;
    for (int32_t i = 0; i < folder.count; i++)
        names.push_back(folder.entries[i]->name), by[folder.entries[i]->name] = folder.entries[i];
    EXPECT_EQ(names, std::vector<std::u16string>(
                         {u"..", u"...", u"..x", u"A.jps", u"ab", u"b.jpg", u"c.jpg", u"link", u"_z.jpg"}));
    for (const char16_t* name : {u"..", u"...", u"..x", u"ab", u"link"})
    {
        SCOPED_TRACE(testing::PrintToString(std::u16string(name)));
        EXPECT_EQ(by[name]->isDir, 1);
        EXPECT_EQ(by[name]->thumbPending, 0);
        EXPECT_TRUE(Shows(by[name], name == names[0] ? ParentPicture : FolderPicture));
    }
    for (const auto& [name, flat, format] : {std::tuple(u"A.jps", 0, 2), {u"b.jpg", 1, 2}, {u"c.jpg", 1, 13}})
    {
        SCOPED_TRACE(testing::PrintToString(std::u16string(name)));
        EXPECT_EQ(by[name]->isDir, 0);
        EXPECT_EQ(by[name]->flat, flat);
        EXPECT_EQ(by[name]->format, format);
        EXPECT_EQ(by[name]->thumbPending, 1);
        EXPECT_TRUE(ViewNear(by[name], -1, 0x7F3F7F));
    }
    ClearFolder(&folder);
    EXPECT_EQ(folder.count, 0);
    EXPECT_EQ(folder.entries, nullptr);
    ASSERT_EQ(PlatChangeFolder(u"/"), 0);
    ListFolder(&folder);
    EXPECT_EQ(folder.listed, 1);
    EXPECT_EQ(std::u16string(folder.path), u"/");
    EXPECT_NE(std::u16string(folder.entries[0]->name), u"..");  // the root has no parent entry
    ClearFolder(&folder);
}

using namespace std::string_view_literals;

// [SECTION] Stream split

// 65536 x 65536 wraps to 0 in 32 bits: a header claiming it must still be refused.
TEST(PixelBudget, ProductTakenIn64Bits)
{
    EXPECT_TRUE(FitsPixelBudget(30000, 10000));
    for (const auto& [width, height] : {std::pair(30000u, 10001u), {65536u, 65536u}, {65536u, 65537u}, {0u, 9u}})
        EXPECT_FALSE(FitsPixelBudget(width, height)) << width << "x" << height;
}

TEST(StreamSplit, MarkerRules)
{
    // Bytes and the split: two bare streams, bytes between them, bytes
    // before the first SOI; SOI inside the first stream, EOI before any SOI,
    // EOI after the first stream, one stream, 0xFF last, nothing.
    const std::pair<std::string_view, int32_t> cases[] = {
        {"\xFF\xD8\xFF\xD9\xFF\xD8\xFF\xD9"sv, 4}, {"\xFF\xD8\xFF\xD9\x00\x01\xFF\xD8"sv, 6},
        {"\x00\x00\xFF\xD8\xFF\xD9\xFF\xD8"sv, 6}, {"\xFF\xD8\xFF\xD8\xFF\xD9\xFF\xD8"sv, 0},
        {"\xFF\xD9\xFF\xD8\xFF\xD9\xFF\xD8"sv, 0}, {"\xFF\xD8\xFF\xD9\xFF\xD9\xFF\xD8"sv, 0},
        {"\xFF\xD8\xFF\xD9"sv, 0}, {"\xFF\xD8\xFF\xD9\xFF"sv, 0}, {""sv, 0},
        // TEM and RST step three bytes: the EOI right after them goes unseen;
        // TEM has no length, so the two bytes after it are no segment's.
        {"\xFF\xD8\xFF\x01\xFF\xD9\xFF\xD8\xFF\xD9"sv, 0}, {"\xFF\xD8\xFF\xD7\xFF\xD9\xFF\xD8\xFF\xD9"sv, 0},
        {"\xFF\xD8\xFF\x01\x00\x04\xFF\xD9\xFF\xD8"sv, 8},
        {"\xFF\xD8\xFF\xD0\x12\xFF\xD9\xFF\xD8"sv, 7},
        // Stuffed zero, fill and comment markers step two bytes.
        {"\xFF\xD8\xFF\x00\xFF\xD9\xFF\xD8"sv, 6}, {"\xFF\xD8\xFF\xFF\xFF\xD9\xFF\xD8"sv, 6},
        {"\xFF\xD8\xFF\xFE\xFF\xD9\xFF\xD8"sv, 6},
        // Segments with a length are skipped whole (a preview inside APP1, an
        // empty one); a length below 2, cut off or past the end ends the search.
        {"\xFF\xD8\xFF\xE1\x00\x08\xFF\xD8\xFF\xD9\x00\x00\xFF\xD9\xFF\xD8"sv, 14},
        {"\xFF\xD8\xFF\xC4\x00\x02\xFF\xD9\xFF\xD8"sv, 8}, {"\xFF\xD8\xFF\xE0\x00\x01\xFF\xD9\xFF\xD8"sv, 0},
        {"\xFF\xD8\xFF\xDB\x00"sv, 0}, {"\xFF\xD8\xFF\xDB\x40\x00\xFF\xD9\xFF\xD8"sv, 0}};
    for (const auto& [bytes, split] : cases)
        EXPECT_EQ(FindStreamSplit((const uint8_t*)bytes.data(), (int32_t)bytes.size()), split)
            << testing::PrintToString(bytes);
}

// [SECTION] Loading

// Runs inside the fixtures folder, as the viewer runs inside the listed one.
class LoadEntryImageTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(chdir(ORVALE_FIXTURES), 0); }
    void TearDown() override
    {
        for (CFileEntry* e : entries)
            free(e->name), free(e);
        FreeImage_Unload(primary), FreeImage_Unload(secondary);  // either may be null
    }
    // Loads an entry made as the listing makes it, its thumbnail grey and
    // pending, so that what is made of it shows.
    CFileEntry* Load(const std::u16string& name, int32_t format, uint8_t flat, uint8_t thumbnailOnly = 1)
    {
        CFileEntry* e = entries.emplace_back((CFileEntry*)calloc(1, sizeof(CFileEntry)));
        EXPECT_EQ(InitEntry(e, name.c_str(), 0, flat), 1);
        e->format = format, memset(e->thumb, 0x7F, sizeof e->thumb);
        LoadEntryImage(e, thumbnailOnly, &primary, &secondary);
        return e;
    }
    testfs::TempFolder keep;  // restores the current folder
    std::vector<CFileEntry*> entries;
    FIBITMAP *primary = nullptr, *secondary = nullptr;
};

const uint32_t kRed = 0xC02020, kBlue = 0x2020C0, kGreen = 0x20C020, kFailure = 0xFF1616;

TEST_F(LoadEntryImageTest, ViewZeroComesFromTheSecondStreamAtTheSmallerSize)
{
    // With two streams view 0 shows the second and view 1 the first; a
    // first stream that does not decode, or a split missed, leaves one
    // stream. Other formats and depths are made 24-bit.
    const struct { const char16_t* name; int32_t format; uint32_t view0, view1; int32_t width, height; } cases[] = {
        {u"two_streams.jpg", FIF_JPEG, kBlue, kRed, 64, 40}, {u"gap_between.jpg", FIF_JPEG, kBlue, kRed, 64, 40},
        {u"three_streams.jpg", FIF_JPEG, kBlue, kRed, 64, 40},  // the third stays with the second
        {u"empty_first_stream.jpg", FIF_JPEG, kBlue, kBlue, 80, 40}, {u"grey16.png", FIF_PNG, 0, 0, 50, 20},
        {u"rst_before_eoi.jpg", FIF_JPEG, kRed, kRed, 64, 48}, {u"preview_in_app1.jpg", FIF_JPEG, kRed, kRed, 64, 48},
        {u"caf\xDCE9.jpg", FIF_JPEG, kGreen, kGreen, 32, 32},  // a name that is not UTF-8
        {u"rgba.png", FIF_PNG, 0x336699, 0x336699, 40, 30}, {u"palette.png", FIF_PNG, 0, 0, 64, 32},
        {u"truncated_data.jpg", FIF_JPEG, 0, 0, 320, 240}};  // cut in its scan: the decoder fills the rest
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::PrintToString(std::u16string(c.name)));
        CFileEntry* e = Load(c.name, c.format, 1);
        EXPECT_EQ(e->loadFailed, 0);
        EXPECT_EQ(e->thumbPending, 0);
        EXPECT_EQ(e->width, c.width);
        EXPECT_EQ(e->height, c.height);
        EXPECT_TRUE(!c.view0 || ViewNear(e, 0, c.view0)) << "view 0";
        EXPECT_TRUE(!c.view0 || ViewNear(e, 1, c.view1)) << "view 1";
        EXPECT_EQ(primary, nullptr);
        EXPECT_EQ(secondary, nullptr);
    }
}

TEST_F(LoadEntryImageTest, OpenModeKeepsBothStreamsTwentyFourBit)
{
    CFileEntry* e = Load(u"two_streams.jpg", FIF_JPEG, 1, 0);
    EXPECT_EQ(FreeImage_GetWidth(primary), 80u);
    EXPECT_EQ(FreeImage_GetWidth(secondary), 64u);
    EXPECT_EQ(FreeImage_GetBPP(primary), 24u);
    EXPECT_EQ(FreeImage_GetBPP(secondary), 24u);
    EXPECT_EQ(e->thumbPending, 0);
    EXPECT_TRUE(ViewNear(e, 0, kBlue));
    // A camera's two eyes differ (parallax).
    e = Load(u"camera_pair.mpo", FIF_JPEG, 1, 0);
    ASSERT_TRUE(primary && secondary);
    EXPECT_EQ(e->width, 96);
    EXPECT_EQ(e->height, 64);
    EXPECT_NE(memcmp(e->thumb[0], e->thumb[1], sizeof e->thumb[0]), 0);
    // A folder clears the flags and leaves the slots alone, even to open.
    FIBITMAP* kept = primary;
    e->isDir = e->loadFailed = e->thumbPending = 1;
    LoadEntryImage(e, 0, &primary, &secondary);
    EXPECT_EQ(e->thumbPending, 0);
    EXPECT_EQ(e->loadFailed, 0);
    EXPECT_EQ(primary, kept);
}

TEST_F(LoadEntryImageTest, FailuresGiveTheFailureThumbnailAndEmptySlots)
{
    // A cut header, text, nothing, no file, headers claiming 100000 and 60000
    // pixels square, side-by-side views of no width, a PNG listed as a JPEG,
    // a folder listed as a file.
    const std::pair<std::u16string, int32_t> cases[] = {
        {u"truncated_header.jpg", FIF_JPEG}, {u"x.jpg", FIF_JPEG},          {u"empty.jpg", FIF_JPEG},
        {u"missing.jpg", FIF_JPEG},          {u"huge_header.png", FIF_PNG}, {u"huge_header.jpg", FIF_JPEG},
        {u"one_pixel_wide.jps", FIF_PNG},    {u"x.bmp", FIF_JPEG},          {u"sub.jps", FIF_JPEG}};
    for (const auto& [name, format] : cases)
        for (int thumbnailOnly : {1, 0})
        {
            SCOPED_TRACE(testing::PrintToString(name) + " " + std::to_string(thumbnailOnly));
            CFileEntry* e = Load(name, format, name != u"one_pixel_wide.jps", (uint8_t)thumbnailOnly);
            EXPECT_EQ(e->loadFailed, 1);
            EXPECT_EQ(e->thumbPending, 0);
            EXPECT_TRUE(ViewNear(e, -1, kFailure));
            EXPECT_EQ(primary, nullptr);
            EXPECT_EQ(secondary, nullptr);
        }
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
        SCOPED_TRACE(testing::PrintToString(std::u16string(c.name)));
        ExpectSampling(Load(c.name, FIF_PNG, c.flat), c.side, c.xOff, c.yOff, c.view1Shift);
    }
    // Two streams of different sizes (pitches 904 and 752), each sampled with
    // its own pitch.
    CFileEntry* e = entries.emplace_back((CFileEntry*)calloc(1, sizeof(CFileEntry)));
    e->flat = 1, e->width = 250, e->height = 200;
    MakeThumbnail(e, primary = CoordinatePicture(301, 200), secondary = CoordinatePicture(250, 220));
    ExpectSampling(e, 200, 25, 0, 0);
}

}  // namespace
