// Tests of the readers for today's camera and phone files, on the fixtures
// and on bytes made here: what an MPF index says of a second image, the ISO
// box reader (brands, the ster group), HEIF/AVIF decoding (which eye, which
// way up), and the Exif orientation of flat JPEG pictures; then the files
// through the window's loading: thumbnails made by the workers and the open
// view.
#include <gtest/gtest.h>

#include <FreeImage.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/shell.h"
#include "folder/decoder.h"
#include "folder/heif_decode.h"
#include "folder/image_load.h"
#include "folder/iso_boxes.h"
#include "folder/mpf.h"
#include "folder/job_queue.h"
#include "folder/upright.h"
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

TEST(Mpf, SaysWhatTheSecondImageIs)
{
    const std::pair<const char*, MpfSecondImage> cases[] = {
        {"two_streams.jpg", kSecondIsView},               // no index: two JPEGs back to back
        {"camera_pair.mpo", kSecondIsView},               // disparity, index after an Exif segment
        {"phone/mpf_disparity.jpg", kSecondIsView},             // disparity, the index alone
        {"phone/camera_preview.jpg", kSecondIsPreview},         // 0x010002 read as a view
        {"phone/camera_preview_vga_mm.jpg", kSecondIsPreview},  // big-endian index, 0x010001
        {"phone/ultra_hdr.jpg", kSecondIsGainMap},              // type 0 after a primary, gain-map XMP
        {"phone/gain_map_mark_first.jpg", kSecondIsGainMap},    // ISO 21496-1 mark in the first stream only
        {"phone/gain_map_mark_second.jpg", kSecondIsGainMap},   // XMP in the second stream only
        {"phone/ultra_hdr_rotated.jpg", kSecondIsGainMap},      // the XMP after an Exif segment
        {"phone/script_pair.jpg", kSecondIsViewIfSameSize},     // type 0 after a primary, no mark
        {"phone/other_picture.jpg", kSecondIsViewIfSameSize},
    };
    for (const auto& [name, second] : cases)
        EXPECT_EQ(Classify(testfs::Fixture(name)), second) << name;
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
    EXPECT_TRUE(SecondStreamIsView(kSecondIsViewIfSameSize, 64, 48, 64, 48));
    EXPECT_FALSE(SecondStreamIsView(kSecondIsViewIfSameSize, 64, 48, 48, 48));
    EXPECT_FALSE(SecondStreamIsView(kSecondIsViewIfSameSize, 64, 48, 64, 64));
    EXPECT_TRUE(SecondStreamIsView(kSecondIsView, 64, 48, 32, 24));  // a disparity pair's sizes do not matter
    EXPECT_FALSE(SecondStreamIsView(kSecondIsPreview, 64, 48, 64, 48));
    EXPECT_FALSE(SecondStreamIsView(kSecondIsGainMap, 64, 48, 64, 48));
}

// [SECTION] ISO boxes

// Returns a box of a type around its contents (32-bit size).
Bytes Box(const char* type, const Bytes& contents)
{
    const uint32_t size = (uint32_t)contents.size() + 8;
    Bytes b = {(uint8_t)(size >> 24), (uint8_t)(size >> 16), (uint8_t)(size >> 8), (uint8_t)size,
               (uint8_t)type[0], (uint8_t)type[1], (uint8_t)type[2], (uint8_t)type[3]};
    b.insert(b.end(), contents.begin(), contents.end());
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Words(std::initializer_list<uint32_t> words)
{
    Bytes b;
    for (uint32_t w : words)
        b.insert(b.end(), {(uint8_t)(w >> 24), (uint8_t)(w >> 16), (uint8_t)(w >> 8), (uint8_t)w});
    return b;
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
        {testfs::Fixture("phone/flat.heic"), true},
        {testfs::Fixture("phone/flat.avif"), true},
        {Box("ftyp", Text("isom\0\0\0\0mp41mif1")), true},       // a compatible brand
        {Box("ftyp", Text("isom\0\0\0\0mp41avc1")), false},      // an MP4 video
        {Box("ftyp", Text("isomheic")), false},                  // the minor version is no brand
        {Cat({Box("free", {}), Box("ftyp", Text("heic\0\0\0\0"))}), false},  // ftyp must come first
        {testfs::Fixture("two_streams.jpg"), false},
    };
    for (size_t i = 0; i < std::size(cases); i++)
        EXPECT_EQ(HasHeifBrand(cases[i].first.data(), cases[i].first.size()), cases[i].second) << "row " << i;
    // A prefix is enough, and brands past it are not read.
    const Bytes avif = Box("ftyp", Text("isom\0\0\0\0mp41avif"));
    EXPECT_TRUE(HasHeifBrand(avif.data(), avif.size()));
    EXPECT_FALSE(HasHeifBrand(avif.data(), avif.size() - 1));
}

// Returns a file whose top-level meta box holds a grpl box with one entity
// group, after a hdlr box.
Bytes MetaWithGroup(const char* type, uint32_t versionAndFlags, std::initializer_list<uint32_t> group)
{
    return Box("meta", Cat({Words({0}), Box("hdlr", Bytes(24, 0)),
                            Box("grpl", Box(type, Cat({Words({versionAndFlags}), Words(group)})))}));
}

TEST(IsoBoxes, SterGroupNamesLeftThenRight)
{
    const Bytes good = MetaWithGroup("ster", 0, {7, 2, 11, 12});
    const Bytes largesize = Cat({Words({1}), Text("free"), Words({0, 24}), Bytes(8, 0)});
    struct Case
    {
        Bytes file;
        bool found;
    };
    const Case cases[] = {
        {Cat({Box("ftyp", Text("heic")), good}), true},
        {Cat({largesize, good}), true},                                              // 64-bit size before meta
        {Cat({Box("uuid", Bytes(20, 0)), good}), true},                              // uuid's type in the header
        {Cat({Box("uuid", Bytes(8, 0)), good}), false},                              // too short for its user type
        {Cat({Words({0}), Text("meta"), Bytes(good.begin() + 8, good.end())}), true},  // size 0: to the end
        {MetaWithGroup("ster", 0x01000000, {7, 2, 11, 12}), false},                  // version 1
        {MetaWithGroup("ster", 0, {7, 3, 11, 12, 13}), false},                       // three entities
        {MetaWithGroup("ster", 0, {7, 2, 11}), false},                               // the second id cut off
        {MetaWithGroup("altr", 0, {7, 2, 11, 12}), false},                           // another kind of group
        {Cat({Box("grpl", Box("ster", Words({0, 7, 2, 11, 12}))), Box("meta", Words({0}))}), false},  // not in meta
        {Cat({Words({4}), Text("free"), good}), false},                              // a size below the header
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

// [SECTION] HEIF decoding and upright JPEGs

// Answers whether a 24-bit bitmap shows the quadrants upright: each
// quadrant's centre within a few steps of its colour (lossy coding).
testing::AssertionResult ShowsUpright(FIBITMAP* dib, const Quadrants& q)
{
    if (!dib)
        return testing::AssertionFailure() << "no bitmap";
    const int w = (int)FreeImage_GetWidth(dib), h = (int)FreeImage_GetHeight(dib);
    if (w != 64 || h != 48 || FreeImage_GetBPP(dib) != 24)
        return testing::AssertionFailure() << w << " x " << h << " at " << FreeImage_GetBPP(dib) << " bits";
    const uint32_t want[4] = {q.topLeft, q.topRight, q.bottomLeft, q.bottomRight};
    for (int i = 0; i < 4; i++)
    {
        const int x = i % 2 ? 48 : 16, y = i / 2 ? 36 : 12;  // y from the top
        const BYTE* p = FreeImage_GetScanLine(dib, h - 1 - y) + 3 * x;
        const int got[3] = {p[FI_RGBA_RED], p[FI_RGBA_GREEN], p[FI_RGBA_BLUE]};
        for (int k = 0; k < 3; k++)
            if (abs(got[k] - (int)(want[i] >> (16 - 8 * k) & 0xFF)) > 12)
                return testing::AssertionFailure() << "quadrant " << i << " is " << std::hex << got[0] << " " << got[1]
                                                   << " " << got[2];
    }
    return testing::AssertionSuccess();
}

class HeifTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { StartHeifDecoder(); }
    static void TearDownTestSuite() { StopHeifDecoder(); }
    void TearDown() override { FreeImage_Unload(view0), FreeImage_Unload(view1); }
    int Decode(const Bytes& b)
    {
        FreeImage_Unload(view0), FreeImage_Unload(view1);
        return DecodeHeif(b.data(), b.size(), &view0, &view1);
    }
    FIBITMAP *view0 = nullptr, *view1 = nullptr;
};

TEST_F(HeifTest, ViewZeroIsTheRightEyeAndTransformsApply)
{
    const Quadrants none = {};
    const struct { const char* name; Quadrants view0, view1; } cases[] = {
        {"phone/flat.heic", kLeftEye, none},            // the primary alone
        {"phone/flat.avif", kLeftEye, none},            // AV1
        {"phone/mirrored_2.heic", kLeftEye, none},      // imir
        {"phone/rotated_6.heic", kLeftEye, none},       // irot
        {"phone/turned_7.heic", kLeftEye, none},        // irot then imir
        {"phone/stereo.heic", kRightEye, kLeftEye},     // the group's second entity in view 0
        {"phone/stereo_swapped.heic", kLeftEye, kRightEye},  // by the group's order, not the primary
        {"phone/stereo_rotated.heic", kRightEye, kLeftEye},  // irot on both eyes
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Decode(testfs::Fixture(c.name)), 1);
        EXPECT_TRUE(ShowsUpright(view0, c.view0));
        if (c.view1.topLeft)
            EXPECT_TRUE(ShowsUpright(view1, c.view1));
        else
            EXPECT_EQ(view1, nullptr);
    }
}

TEST_F(HeifTest, FailuresLeaveBothViewsEmpty)
{
    Bytes cut = testfs::Fixture("phone/flat.heic");
    cut.resize(cut.size() / 2);
    // The picture's ispe (64 x 48; its one tile is 64 x 64) claims 30000 x
    // 10001 pixels: over the budget.
    Bytes huge = testfs::Fixture("phone/flat.heic");
    const Bytes ispe = Cat({Text("ispe"), Words({0, 64, 48})}), claim = Words({30000, 10001});
    const auto at = std::search(huge.begin(), huge.end(), ispe.begin(), ispe.end());
    ASSERT_NE(at, huge.end());
    std::copy(claim.begin(), claim.end(), at + 8);
    const Bytes cases[] = {cut, huge, testfs::Fixture("two_streams.jpg"), Bytes()};
    for (size_t i = 0; i < std::size(cases); i++)
    {
        EXPECT_EQ(Decode(cases[i]), 0) << "row " << i;
        EXPECT_TRUE(view0 == nullptr && view1 == nullptr) << "row " << i;
    }
}

// Decodes a fixture's whole file as JPEG with the flags a flat or stereo
// picture gets.
FIBITMAP* LoadJpeg(const std::string& name, bool stereo)
{
    Bytes b = testfs::Fixture(name);
    FIMEMORY* memory = FreeImage_OpenMemory(b.data(), (DWORD)b.size());
    FIBITMAP* dib = FreeImage_LoadFromMemory(FIF_JPEG, memory, UprightLoadFlags(FIF_JPEG, stereo));
    FreeImage_CloseMemory(memory);
    return dib;
}

TEST(Upright, FlatJpegsTurnByTheirExifOrientation)
{
    for (const char* name : {"phone/orientation_1.jpg", "phone/orientation_2.jpg", "phone/orientation_3.jpg", "phone/orientation_4.jpg",
                             "phone/orientation_5.jpg", "phone/orientation_6.jpg", "phone/orientation_7.jpg", "phone/orientation_8.jpg",
                             "phone/orientation_6_mm.jpg"})
    {
        FIBITMAP* dib = LoadJpeg(name, false);
        EXPECT_TRUE(ShowsUpright(dib, kLeftEye)) << name;
        FreeImage_Unload(dib);
    }
    // A stereo file's stream stays as stored (turned, 48 x 64); other formats
    // get no JPEG flag.
    FIBITMAP* dib = LoadJpeg("phone/orientation_6.jpg", true);
    EXPECT_EQ(FreeImage_GetWidth(dib), 48u);
    FreeImage_Unload(dib);
    EXPECT_EQ(UprightLoadFlags(FIF_PNG, false), 0);
}

// [SECTION] Through the window's loading

// Answers whether view v of an entry's thumbnail shows the quadrants of a
// 64 x 48 picture upright (its centred square, rows bottom first).
testing::AssertionResult ThumbShows(const CFileEntry* e, int v, const Quadrants& q)
{
    const uint32_t want[4] = {q.topLeft, q.topRight, q.bottomLeft, q.bottomRight};
    for (int i = 0; i < 4; i++)
    {
        const uint8_t* p = e->thumb[v][i / 2 ? 24 : 72][i % 2 ? 144 : 48];  // blue green red
        for (int k = 0; k < 3; k++)
            if (abs(p[2 - k] - (int)(want[i] >> (16 - 8 * k) & 0xFF)) > 12)
                return testing::AssertionFailure() << "view " << v << " quadrant " << i;
    }
    return testing::AssertionSuccess();
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
        {"ultra_hdr.jpg", L, nullptr, 64, 48},            // a gain map is no eye
        {"ultra_hdr_rotated.jpg", L, nullptr, 64, 48},    // its first stream alone, upright
        {"camera_preview.jpg", L, nullptr, 64, 48},       // a preview is no eye
        {"other_picture.jpg", L, nullptr, 64, 48},        // type 0 of another size
        {"script_pair.jpg", R, L, 64, 48},                // type 0 of the same size: a pair
        {"mpf_disparity.jpg", R, L, 64, 48},              // a disparity image: a pair
        {"pair_orientation_6.jpg", nullptr, nullptr, 48, 64},  // a pair is never turned
        {"sbs_orientation_6.jps", nullptr, nullptr, 96, 64},   // nor a side-by-side one
        {"orientation_6.jpg", L, nullptr, 64, 48},        // a flat JPEG turned upright
        {"flat.heic", L, nullptr, 64, 48},
        {"flat.avif", L, nullptr, 64, 48},
        {"rotated_6.heic", L, nullptr, 64, 48},           // irot
        {"stereo.heic", R, L, 64, 48},                    // the ster group's right eye in view 0
        {"stereo_rotated.heic", R, L, 64, 48},            // both eyes turned alike
        {"cut.heic", nullptr, nullptr, 0, 0},             // half a file: the failure thumbnail
    };
    testfs::TempFolder t;
    for (const auto& row : rows)
        ASSERT_TRUE(t.Write(row.name, testfs::Fixture(std::string("phone/") + row.name)));
    Bytes cut = testfs::Fixture("phone/flat.heic");
    cut.resize(cut.size() / 2);
    ASSERT_TRUE(t.Write("cut.heic", cut) && t.Enter());
    SetJobWorkers(2);
    CViewer* v = &gViewer;
    HeadlessReset(), InitViewer(v);
    windowDC = PlatGetDC(PlatCreateWindow(u"Orvale_Viewer", WindowProc));
    HeadlessSetClient(0, 0, 800, 600);
    HeadlessSend(WM_PAINT, 0, 0);
    ASSERT_EQ(v->folder.count, (int32_t)std::size(rows) + 1);  // and ".."
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
        CDecoded picture;
        int32_t found = 0;
        ASSERT_EQ(DecodePicture(&in, &picture), 1);
        EXPECT_EQ(FindDecoder(&in, &found)->size(&in, found), DecodedPixels(&picture));
        FreeDecoded(&picture);
    }
    TeardownViewer(v), windowDC = nullptr, HeadlessReset();
    EXPECT_EQ(StopJobQueue(60000), 1);
    SetJobWorkers(-1);
}

}  // namespace
