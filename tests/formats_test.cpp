// Tests of the readers for today's camera and phone files, on bytes made
// here: what an MPF index says of a second image, the ISO box reader (brands,
// the ster group), HEIF/AVIF failures; then the fixtures through the window's
// loading, thumbnails made by the workers and the open view: which eye each
// view shows, flat or pair, which way up.
#include <gtest/gtest.h>

#include <FreeImage.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/shell.h"
#include "folder/decoder.h"
#include "folder/exif_guard.h"
#include "folder/image_load.h"
#include "folder/iso_boxes.h"
#include "folder/mpf.h"
#include "folder/job_queue.h"
#include "platform/headless/headless.h"
#include "tests/temp_folder.h"
#include "tools/kit/phone_files.h"
#include "viewer/viewer_state.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// [SECTION] MPF index

MpfSecondImage Classify(const Bytes& b)
{
    const int32_t split = FindStreamSplit(b.data(), (int32_t)b.size());
    EXPECT_NE(split, 0);
    return ClassifySecondImage(b.data(), (int32_t)b.size(), split);
}

// Offsets inside the index of camera_preview.jpg, from its byte-order mark:
// the IFD offset, the entry list's offset, and each entry's size and offset.
enum
{
    kIfdOffsetAt = 4,
    kEntryListAt = 8 + 2 + 2 * 12 + 8,
    kFirstTypeAt = 50,
    kFirstSizeAt = 50 + 4,
    kSecondTypeAt = 66,
    kSecondSizeAt = 66 + 4,
    kSecondOffsetAt = 66 + 8,
};

// Returns camera_preview.jpg with words of its index replaced: (offset from
// the byte-order mark, value).
Bytes PreviewWith(std::initializer_list<std::pair<size_t, uint32_t>> words)
{
    Bytes b = testfs::Fixture("phone/camera_preview.jpg");
    const char mark[] = "MPF";
    const size_t tiff = (size_t)(std::search(b.begin(), b.end(), mark, mark + 4) - b.begin()) + 4;
    for (const auto& [at, value] : words)
        for (int i = 0; i < 4; i++)
            b[tiff + at + i] = (uint8_t)(value >> (8 * i));  // little-endian, as the index is
    return b;
}

TEST(Mpf, TrustsOnlyTheTypes)
{
    // Sizes and offsets that real files get wrong change nothing; an index
    // pointing outside its segment is no index.
    const std::pair<Bytes, MpfSecondImage> cases[] = {
        {PreviewWith({{kFirstSizeAt, 0xFFFFFFFF}}), kSecondIsPreview},
        {PreviewWith({{kSecondSizeAt, 0}}), kSecondIsPreview},
        {PreviewWith({{kSecondOffsetAt, 0x7FFFFFF0}}), kSecondIsPreview},
        {PreviewWith({{kEntryListAt, 0xFFFFFFF0}}), kSecondIsView},  // entries past the segment, no wrap
        {PreviewWith({{kEntryListAt, 0x40}}), kSecondIsView},        // the second entry cut by the segment's end
        {PreviewWith({{kIfdOffsetAt, 0x10000}}), kSecondIsView},     // the IFD past the segment
        {PreviewWith({{0, 0x002A5858}}), kSecondIsView},             // no byte order "XX"
        // Type 0 decides by size only after a baseline primary (flags aside).
        {PreviewWith({{kFirstTypeAt, 0x20020002}, {kSecondTypeAt, 0}}), kSecondIsView},
        {PreviewWith({{kFirstTypeAt, 0x00030000}, {kSecondTypeAt, 0x40000000}}), kSecondIsViewIfSameSize},
    };
    for (size_t i = 0; i < std::size(cases); i++)
        EXPECT_EQ(Classify(cases[i].first), cases[i].second) << "row " << i;
}

TEST(Mpf, SizeDecidesOnlyAfterABaselinePrimary)
{
    // The fixtures differ in width and height at once.
    EXPECT_FALSE(SecondStreamIsView(kSecondIsViewIfSameSize, 64, 48, 48, 48));
    EXPECT_FALSE(SecondStreamIsView(kSecondIsViewIfSameSize, 64, 48, 64, 64));
}

// [SECTION] Exif guard

// An Exif segment that does not fit is passed by: the picture decodes as
// stored (the upright one, turned by orientation 6, swaps width and height).
TEST(ExifGuard, SegmentsThatDoNotFitArePassedBy)
{
    const Bytes upright = testfs::Fixture("phone/orientation_6.jpg");
    const size_t tiff = 12, size = 26;  // one IFD of one entry: the orientation
    // Bytes of the TIFF data changed: (offset, value) pairs, and the fault.
    const struct { std::vector<std::pair<size_t, uint8_t>> changes; const char* fault; } rows[] = {
        {{}, "a segment that fits is passed by"},
        {{{4, 1}}, "IFD0 inside the header: its count read from the byte order runs past the segment"},
        {{{8, 2}}, "the IFD's entries run past the segment"},
        {{{12, 0}}, "a type the library does not know"},
        {{{14, 16}}, "sixteen values past the segment"},
        {{{10, 0x69}, {11, 0x87}, {12, 4}, {18, 8}}, "an Exif IFD that points to itself"},
    };
    CDecoded stored = {};
    for (const auto& row : rows)
    {
        Bytes b = upright;
        for (const auto& [at, value] : row.changes)
            b[tiff + at] = value;
        EXPECT_EQ(ExifFits(b.data() + tiff, size), row.changes.empty()) << row.fault;
        CDecodeInput in = {b.data(), (int32_t)b.size(), FIF_JPEG, 1};
        int32_t found = 0;
        CDecoded picture = {};
        ASSERT_EQ(FindDecoder(&in, &found)->decode(&in, found, &picture), 1) << row.fault;
        if (row.changes.empty())
            stored = {nullptr, nullptr, picture.height, picture.width};
        else
        {
            EXPECT_EQ(picture.width, stored.width) << row.fault;
            EXPECT_EQ(picture.height, stored.height) << row.fault;
        }
        FreeDecoded(&picture);
    }
}

// [SECTION] ISO boxes

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Returns a string's bytes, the NULs inside it included.
template <size_t N>
Bytes Text(const char (&s)[N])
{
    return Bytes(s, s + N - 1);
}

TEST(IsoBoxes, BrandsMarkHeifAndAvif)
{
    const std::pair<Bytes, bool> cases[] = {
        {MakeBox("ftyp", Text("isom\0\0\0\0mp41mif1")), true},       // a compatible brand
        {MakeBox("ftyp", Text("isom\0\0\0\0mp41avc1")), false},      // an MP4 video
        {MakeBox("ftyp", Text("isomheic")), false},                  // the minor version is no brand
        {Cat({MakeBox("free", {}), MakeBox("ftyp", Text("heic\0\0\0\0"))}), false},  // ftyp must come first
        {testfs::Fixture("two_streams.jpg"), false},
    };
    for (size_t i = 0; i < std::size(cases); i++)
        EXPECT_EQ(HasHeifBrand(cases[i].first.data(), cases[i].first.size()), cases[i].second) << "row " << i;
    // A prefix is enough, and brands past it are not read.
    const Bytes avif = MakeBox("ftyp", Text("isom\0\0\0\0mp41avif"));
    EXPECT_TRUE(HasHeifBrand(avif.data(), avif.size()));
    EXPECT_FALSE(HasHeifBrand(avif.data(), avif.size() - 1));
}

// Returns a file whose top-level meta box holds a grpl box with one entity
// group, after a hdlr box.
Bytes MetaWithGroup(const char* type, uint32_t versionAndFlags, std::initializer_list<uint32_t> group)
{
    return MakeBox("meta", Cat({BigEndianWords({0}), MakeBox("hdlr", Bytes(24, 0)),
                            MakeBox("grpl", MakeBox(type, Cat({BigEndianWords({versionAndFlags}), BigEndianWords(group)})))}));
}

TEST(IsoBoxes, SterGroupNamesLeftThenRight)
{
    const Bytes good = MetaWithGroup("ster", 0, {7, 2, 11, 12});
    const Bytes largesize = Cat({BigEndianWords({1}), Text("free"), BigEndianWords({0, 24}), Bytes(8, 0)});
    struct Case
    {
        Bytes file;
        bool found;
    };
    const Case cases[] = {
        {Cat({MakeBox("ftyp", Text("heic")), good}), true},
        {Cat({largesize, good}), true},                                              // 64-bit size before meta
        {Cat({MakeBox("uuid", Bytes(20, 0)), good}), true},                              // uuid's type in the header
        {Cat({MakeBox("uuid", Bytes(8, 0)), good}), false},                              // too short for its user type
        {Cat({BigEndianWords({0}), Text("meta"), Bytes(good.begin() + 8, good.end())}), true},  // size 0: to the end
        {MetaWithGroup("ster", 0x01000000, {7, 2, 11, 12}), false},                  // version 1
        {MetaWithGroup("ster", 0, {7, 3, 11, 12, 13}), false},                       // three entities
        {MetaWithGroup("ster", 0, {7, 2, 11}), false},                               // the second id cut off
        {MetaWithGroup("altr", 0, {7, 2, 11, 12}), false},                           // another kind of group
        {Cat({MakeBox("grpl", MakeBox("ster", BigEndianWords({0, 7, 2, 11, 12}))), MakeBox("meta", BigEndianWords({0}))}), false},  // not in meta
        {Cat({BigEndianWords({4}), Text("free"), good}), false},                              // a size below the header
        {Bytes(good.begin(), good.end() - 1), false},                                // meta longer than the file
    };
    for (size_t i = 0; i < std::size(cases); i++)
    {
        StereoItems eyes = {0, 0};
        ASSERT_EQ(FindStereoItems(cases[i].file.data(), cases[i].file.size(), &eyes), cases[i].found) << "row " << i;
        if (cases[i].found)
        {
            EXPECT_EQ(eyes.left, 11u) << "row " << i;
            EXPECT_EQ(eyes.right, 12u) << "row " << i;
        }
    }
    // A box is read within its parent: the ster box claims more than grpl holds.
    Bytes overrun = good;
    overrun[8 + 4 + 32 + 8 + 3] += 4;
    StereoItems eyes;
    EXPECT_FALSE(FindStereoItems(overrun.data(), overrun.size(), &eyes));
}

// [SECTION] Through the window's loading

// Answers whether four pixels (blue green red: top left, top right, bottom
// left, bottom right) have the quadrants' colours, within a few steps (lossy
// coding).
testing::AssertionResult ShowsQuadrants(const uint8_t* const (&p)[4], const Quadrants& q)
{
    const uint32_t want[4] = {q.topLeft, q.topRight, q.bottomLeft, q.bottomRight};
    for (int i = 0; i < 4; i++)
        for (int k = 0; k < 3; k++)
            if (abs(p[i][2 - k] - (int)(want[i] >> (16 - 8 * k) & 0xFF)) > 12)
                return testing::AssertionFailure() << "quadrant " << i << " channel " << k;
    return testing::AssertionSuccess();
}

// Answers whether a bitmap is the 64 x 48 picture upright (rows bottom first).
testing::AssertionResult ShowsUpright(FIBITMAP* dib, const Quadrants& q)
{
    if (!dib || FreeImage_GetWidth(dib) != 64 || FreeImage_GetHeight(dib) != 48 || FreeImage_GetBPP(dib) != 24)
        return testing::AssertionFailure() << "no 64 x 48 bitmap of 24 bits";
    const uint8_t *top = FreeImage_GetScanLine(dib, 35), *bottom = FreeImage_GetScanLine(dib, 11);
    return ShowsQuadrants({top + 48, top + 144, bottom + 48, bottom + 144}, q);
}

// Answers whether view v of an entry's thumbnail shows the 64 x 48 picture
// upright: the centred square, rows bottom first.
testing::AssertionResult ThumbShows(const CFileEntry* e, int v, const Quadrants& q)
{
    return ShowsQuadrants({e->thumb[v][72][48], e->thumb[v][72][144], e->thumb[v][24][48], e->thumb[v][24][144]}, q);
}

// Every phone file listed, its thumbnail made by a worker and committed, then
// opened: which eye each view shows, flat or pair, which way up; and the
// pixels its decoder expected are what it made.
TEST(PhoneFiles, ThumbnailsAndOpenViewShowEachEyeUpright)
{
    const Quadrants *L = &kLeftEye, *R = &kRightEye;
    // View 0, view 1 (null: flat, view 0 again), the size recorded; no colours
    // for a pair stored turned, and no size for a failure.
    const struct { const char* name; const Quadrants *view0, *view1; int width, height; } rows[] = {
        {"ultra_hdr.jpg", L, nullptr, 64, 48},            // a gain map (its XMP) is no eye
        {"gain_map_mark_first.jpg", L, nullptr, 64, 48},  // the ISO 21496-1 mark in the first stream only
        {"gain_map_mark_second.jpg", L, nullptr, 64, 48}, // the XMP in the second stream only
        {"ultra_hdr_rotated.jpg", L, nullptr, 64, 48},    // the XMP after Exif; the first stream upright
        {"camera_preview.jpg", L, nullptr, 64, 48},       // a preview (0x010002) is no eye
        {"camera_preview_vga_mm.jpg", L, nullptr, 64, 48},  // nor 0x010001, in a big-endian index
        {"other_picture.jpg", L, nullptr, 64, 48},        // type 0 of another size
        {"script_pair.jpg", R, L, 64, 48},                // type 0 of the same size: a pair
        {"mpf_disparity.jpg", R, L, 64, 48},              // a disparity image: a pair
        {"pair_orientation_6.jpg", nullptr, nullptr, 48, 64},  // a pair is never turned
        {"sbs_orientation_6.jps", nullptr, nullptr, 96, 64},   // nor a side-by-side one
        {"orientation_1.jpg", L, nullptr, 64, 48},        // flat JPEGs upright by each Exif orientation
        {"orientation_2.jpg", L, nullptr, 64, 48},
        {"orientation_3.jpg", L, nullptr, 64, 48},
        {"orientation_4.jpg", L, nullptr, 64, 48},
        {"orientation_5.jpg", L, nullptr, 64, 48},
        {"orientation_6.jpg", L, nullptr, 64, 48},
        {"orientation_7.jpg", L, nullptr, 64, 48},
        {"orientation_8.jpg", L, nullptr, 64, 48},
        {"orientation_6_mm.jpg", L, nullptr, 64, 48},     // a big-endian Exif segment
        {"flat.heic", L, nullptr, 64, 48},                // the primary alone
        {"flat.avif", L, nullptr, 64, 48},                // AV1
        {"mirrored_2.heic", L, nullptr, 64, 48},          // imir
        {"rotated_6.heic", L, nullptr, 64, 48},           // irot
        {"turned_7.heic", L, nullptr, 64, 48},            // irot then imir
        {"stereo.heic", R, L, 64, 48},                    // the ster group's second entity in view 0
        {"stereo_swapped.heic", L, R, 64, 48},            // by the group's order, not the primary
        {"stereo_rotated.heic", R, L, 64, 48},            // both eyes turned alike
        {"cut.heic", nullptr, nullptr, 0, 0},             // half a file: the failure thumbnail
        {"huge.heic", nullptr, nullptr, 0, 0},            // its size over the budget, refused undecoded
    };
    testfs::TempFolder t;
    for (const auto& row : rows)
        ASSERT_TRUE(row.width == 0 || t.Write(row.name, testfs::Fixture(std::string("phone/") + row.name)));
    Bytes cut = testfs::Fixture("phone/flat.heic"), huge = cut;
    cut.resize(cut.size() / 2);
    // The picture's ispe (64 x 48; its one tile is 64 x 64) claims 30000 x 10001 pixels.
    const Bytes ispe = Cat({Text("ispe"), BigEndianWords({0, 64, 48})}), claim = BigEndianWords({30000, 10001});
    std::copy(claim.begin(), claim.end(), std::search(huge.begin(), huge.end(), ispe.begin(), ispe.end()) + 8);
    ASSERT_TRUE(t.Write("cut.heic", cut) && t.Write("huge.heic", huge) && t.Enter());
    SetJobWorkers(2);
    CViewer* v = &gViewer;
    HeadlessReset(), InitViewer(v);
    windowDC = PlatGetDC(PlatCreateWindow(u"Orvale_Viewer", WindowProc));
    HeadlessSetClient(0, 0, 800, 600);
    HeadlessSend(WM_PAINT, 0, 0);
    ASSERT_EQ(v->folder.count, (int32_t)std::size(rows) + 1);  // and "..": every one listed
    for (int tick = 0; tick < 20000 && EntryAt(&v->folder, v->folder.count - 1)->thumbPending; tick++, usleep(1000))
        HeadlessSend(WM_TIMER, 13, 0);
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        const std::u16string name(row.name, row.name + strlen(row.name));
        v->selected = 1;
        while (name != v->folder.entries[v->selected]->name)
            v->selected++;
        CFileEntry* e = EntryAt(&v->folder, v->selected);
        ASSERT_EQ(e->thumbPending, 0);
        EXPECT_EQ(e->loadFailed, row.width == 0);
        EXPECT_EQ(e->width, row.width);
        EXPECT_EQ(e->height, row.height);
        if (row.view0)
        {
            EXPECT_TRUE(ThumbShows(e, 0, *row.view0));
            EXPECT_TRUE(ThumbShows(e, 1, row.view1 ? *row.view1 : *row.view0));
        }
        HeadlessSend(WM_PAINT, 0, 0);
        for (int tick = 0; tick < 20000 && v->selected >= 0 && v->selected != v->loaded; tick++, usleep(1000))
            HeadlessSend(WM_PAINT, 0, 0);
        if (row.width == 0)
        {
            EXPECT_EQ(v->selected, -1);  // a failure closes the view
            continue;
        }
        ASSERT_EQ(v->loaded, v->selected);
        if (row.view0)
        {
            EXPECT_TRUE(ShowsUpright(v->openPrimary, *row.view0));
            EXPECT_TRUE(row.view1 ? ShowsUpright(v->openSecondary, *row.view1) : v->openSecondary == nullptr);
        }
        const Bytes bytes = testfs::Fixture(std::string("phone/") + row.name);
        CDecodeInput in = {bytes.data(), (int32_t)bytes.size(), e->format, e->flat};
        const CDecoded shown = {v->openPrimary, v->openSecondary, 0, 0};
        int32_t found = 0;
        EXPECT_EQ(FindDecoder(&in, &found)->size(&in, found), DecodedPixels(&shown));  // told before decoding
    }
    TeardownViewer(v), windowDC = nullptr, HeadlessReset();
    EXPECT_EQ(StopJobQueue(60000), 1);
    SetJobWorkers(-1);
}

}  // namespace
