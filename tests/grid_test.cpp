// Tests of the pass: grid layout, hit tests, the open picture, folders.
#include <gtest/gtest.h>

#include <FreeImage.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/shell.h"
#include "folder/folder_list.h"
#include "platform/headless/headless.h"
#include "render/assets/assets.h"
#include "render/frame.h"
#include "viewer/image_view.h"
#include "viewer/update_and_draw.h"
#include "viewer/viewer_state.h"

namespace fs = std::filesystem;

namespace {

TEST(Grid, ColumnsFollowTheFrameWidth)
{
    EXPECT_EQ(GridColumns(0), 1);
    EXPECT_EQ(GridColumns(429), 1);
    EXPECT_EQ(GridColumns(430), 2);
    EXPECT_EQ(GridColumns(631), 2);
    EXPECT_EQ(GridColumns(632), 3);
    EXPECT_EQ(GridColumns(834), 4);
    EXPECT_EQ(GridColumns(1920), 9);
}

TEST(Grid, ContentHeightCountsRowsOf118Pairs)
{
    EXPECT_EQ(GridContentHeight(0, 3), 22);
    EXPECT_EQ(GridContentHeight(1, 3), 140);
    EXPECT_EQ(GridContentHeight(4, 3), 258);
    EXPECT_EQ(GridContentHeight(INT32_MAX, 1), INT32_MAX);  // saturates, never wraps
}

// The fit's table for a frame of 1920 columns and 540 line pairs.
TEST(FitZoom, FindsTheLargestFittingStep)
{
    EXPECT_EQ(FitZoom(1600, 600, 1920, 540), -2);   // flat 800 x 600
    EXPECT_EQ(FitZoom(3200, 1200, 1920, 540), -14); // flat 1600 x 1200
    EXPECT_EQ(FitZoom(2400, 900, 1920, 540), -9);   // side-by-side 2400 x 900
    EXPECT_EQ(FitZoom(800, 100, 1920, 540), 15);    // flat 400 x 100
    EXPECT_EQ(FitZoom(1920, 540, 1920, 540), 0);    // exactly the frame
}

// Frames without line pairs and empty pictures must still end the search.
TEST(FitZoom, EndsForEmptyFramesAndPictures)
{
    EXPECT_EQ(FitZoom(100, 100, 1920, 0), 0);
    EXPECT_EQ(FitZoom(100, 100, 1920, -1), 0);
    EXPECT_EQ(FitZoom(100, 100, 0, 0), 0);
    EXPECT_EQ(FitZoom(0, 0, 1920, 540), 0);
    EXPECT_EQ(FitZoom(1, 1, 1 << 30, 1 << 30), kZoomStepLimit);
    EXPECT_EQ(FitZoom(INT32_MAX, INT32_MAX, 1, 1), -kZoomStepLimit);
}

// Returns how many pixels of view 0 in the frame hold colour c.
int CountColour(const CStereoFrame* f, uint32_t c)
{
    int n = 0;
    for (int32_t p = 0; p < f->pairs; p++)
        for (int32_t x = 0; x < f->stride; x++)
            n += f->pixels[(2 * p + 1) * f->stride + x] == c;
    return n;
}

TEST(WideText, NameBudgetCutsAtTheFirstCodeUnitPastIt)
{
    // Build a name whose advances sum to exactly 192 from two printable glyphs.
    std::u16string exact;
    for (char16_t a = u'!'; a <= u'~' && exact.empty(); a++)
    {
        int n = 192 / (glyphWidths[a] + 1);
        int rest = 192 - n * (glyphWidths[a] + 1);
        for (char16_t b = u'!'; b <= u'~' && exact.empty(); b++)
            if (rest == 0 || glyphWidths[b] + 1 == rest)
                exact = std::u16string(n, a) + (rest ? std::u16string(1, b) : std::u16string());
    }
    ASSERT_FALSE(exact.empty());
    std::u16string over = exact + u"W";

    CStereoFrame f = {};
    Resize(&f, 0, 400, 80);
    f.color = 0x00FFFF;
    f.penY = 2;
    DrawWideText(&f, exact.c_str(), 0, 192);
    int whole = CountColour(&f, 0x00FFFF);
    EXPECT_EQ(f.penX, 192);

    Resize(&f, 0, 400, 80);
    f.penX = 0;
    f.penY = 2;
    DrawWideText(&f, over.c_str(), 0, 192);
    EXPECT_EQ(CountColour(&f, 0x00FFFF), whole);  // the extra glyph is not drawn
    EXPECT_EQ(f.penX, 192);
    Release(&f);
}

TEST(WideText, LineBreakMemory)
{
    struct Case
    {
        const char16_t* text;
        int breaks;
    } cases[] = {
        {u"a\r\nb", 1}, {u"a\n\rb", 1}, {u"a\n\nb", 2}, {u"a\r\rb", 2},
        {u"a\r\n\nb", 2}, {u"a\r\n\r\nb", 2},
        {u"a\rb\nc", 1},  // glyphs between keep the remembered CR: the LF completes it
    };
    CStereoFrame f = {};
    Resize(&f, 0, 100, 100);
    for (const Case& c : cases)
    {
        f.penX = 5;
        f.penY = 100;
        DrawWideText(&f, c.text, 5, 0);
        EXPECT_EQ(f.penY, 100 - 18 * c.breaks) << (int)c.text[1] << (int)c.text[2];
    }
    Release(&f);
}

// Writes a flat test picture of w x h pixels in one colour (PNG).
void WritePicture(const fs::path& path, int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
    FIBITMAP* bmp = FreeImage_Allocate(w, h, 24);
    RGBQUAD c = {b, g, r, 0};
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            FreeImage_SetPixelColor(bmp, (unsigned)x, (unsigned)y, &c);
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, bmp, path.c_str(), 0));
    FreeImage_Unload(bmp);
}

// A temporary folder and the headless window of 640 x 480 (3 columns, 239
// line pairs); the current folder is restored and the folder removed after.
class HostedTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/orvale-grid-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        saved = fs::current_path();
        HeadlessReset();
        window = PlatCreateWindow(u"Orvale_Viewer", WindowProc);
        windowDC = PlatGetDC(window);
        HeadlessSetClient(0, 0, 640, 480);
    }
    void TearDown() override
    {
        windowDC = nullptr;
        HeadlessReset();
        fs::current_path(saved);
        fs::remove_all(root);
    }
    fs::path root, saved;
    PlatWindow* window = nullptr;
};

class PassTest : public HostedTest
{
protected:
    void SetUp() override
    {
        HostedTest::SetUp();
        InitViewer(&gViewer);
    }
    void TearDown() override
    {
        TeardownViewer(&gViewer);
        HostedTest::TearDown();
    }
    // Fills the test folder with ".." a.png b.png c.png sub/ in listing order.
    void MakeFolder()
    {
        WritePicture(root / "a.png", 40, 30, 255, 0, 0);
        WritePicture(root / "b.png", 30, 40, 0, 255, 0);
        WritePicture(root / "c.png", 8, 8, 0, 0, 255);
        fs::create_directory(root / "sub");
        WritePicture(root / "sub" / "d.png", 8, 8, 9, 9, 9);
        fs::current_path(root);
    }
    // Presses and releases at one client pixel; the release runs the pass.
    void Click(int32_t x, int32_t y)
    {
        gViewer.pressPos = {x, y};
        HeadlessSend(WM_LBUTTONUP, 0, PlatMakeLParam(x, y));
    }
    // Returns the client y of a line pair for a click.
    int32_t RowOfPair(int32_t pair) { return 480 - 2 * pair; }
};

TEST_F(PassTest, ListsAndLaysOutTheFolder)
{
    MakeFolder();
    HeadlessSend(WM_PAINT, 0, 0);
    EXPECT_EQ(gViewer.folder.listed, 1);
    EXPECT_EQ(gViewer.folder.count, 5);
    EXPECT_EQ(gViewer.frame.pairs, 239);
    EXPECT_EQ(gViewer.contentHeight, 258);
    EXPECT_EQ(gViewer.folder.cursor, nullptr);  // the walk ends past the last entry
    // The title is blue and the first cell's thumbnail (the parent picture) is
    // drawn with its lowest row at cell base + 17 = 104 + 17.
    EXPECT_GT(CountColour(&gViewer.frame, 0x0000FF), 0);
    for (int j : {0, 30, 48, 95})
        for (int k : {0, 60, 96, 191})
        {
            const uint8_t* px = ParentPicture + ((size_t)j * 192 + (size_t)k) * 3;
            uint32_t expect = (uint32_t)px[2] << 16 | (uint32_t)px[1] << 8 | px[0];
            EXPECT_EQ(gViewer.frame.pixels[(2 * (121 + j) + 1) * 640 + 10 + k], expect) << j << "," << k;
            EXPECT_EQ(gViewer.frame.pixels[(2 * (121 + j) + 2) * 640 + 10 + k], expect) << j << "," << k;
        }
}

TEST_F(PassTest, ScrollIsClampedToTheContent)
{
    MakeFolder();
    gViewer.scroll = 5000;
    HeadlessSend(WM_PAINT, 0, 0);
    EXPECT_EQ(gViewer.scroll, 258 - 239);
    gViewer.scroll = -40;
    HeadlessSend(WM_PAINT, 0, 0);
    EXPECT_EQ(gViewer.scroll, 0);
}

TEST_F(PassTest, ClickSelectsTheCellUnderIt)
{
    MakeFolder();
    HeadlessSend(WM_PAINT, 0, 0);
    // Row 0 cells: base 104, hit box pairs 104..217; cell 1 spans x 212..403.
    Click(212, RowOfPair(104));
    EXPECT_EQ(gViewer.selected, 1);
    EXPECT_EQ(gViewer.loaded, 1);
    EXPECT_EQ(std::u16string(gViewer.folder.current->name), u"a.png");
    EXPECT_EQ(gViewer.clickPos.x, -1);
    EXPECT_EQ(gViewer.clickPos.y, -1);
}

TEST_F(PassTest, ClicksInTheGapsSelectNothing)
{
    MakeFolder();
    HeadlessSend(WM_PAINT, 0, 0);
    Click(10 + 192, RowOfPair(150));      // the gap after cell 0
    Click(10 + 201, RowOfPair(150));
    Click(300, RowOfPair(103));           // below row 0's hit box ...
    Click(300, RowOfPair(100));           // ... and above row 1's (base -14 + 113 = 99)
    EXPECT_EQ(gViewer.selected, -1);
    Click(100, RowOfPair(99));  // the top pair of row 1's hit box: c.png
    EXPECT_EQ(gViewer.selected, 3);
}

TEST_F(PassTest, OpenedPictureIsFittedAndClosedByAClickOnIt)
{
    MakeFolder();
    HeadlessSend(WM_PAINT, 0, 0);
    Click(300, RowOfPair(150));  // a.png, 40 x 30, flat
    ASSERT_EQ(gViewer.selected, 1);
    EXPECT_EQ(gViewer.folder.current->width, 40);
    EXPECT_EQ(gViewer.zoomStep, FitZoom(80, 30, 640, 239));
    const CImageRect r = gViewer.imageRect;
    EXPECT_LE(r.x0, 320);
    EXPECT_GE(r.x1, 319);
    // The picture is red in both views where it was drawn.
    uint32_t centre = gViewer.frame.pixels[(2 * 119 + 1) * 640 + 320];
    EXPECT_EQ(centre, 0xFF0000u);
    EXPECT_EQ(gViewer.frame.pixels[(2 * 119 + 2) * 640 + 320], 0xFF0000u);
    // A click on the picture closes it, even with a cell under the click.
    Click(320, RowOfPair(119));
    EXPECT_EQ(gViewer.selected, -1);
    EXPECT_EQ(gViewer.loaded, -1);
    EXPECT_NE(gViewer.frame.pixels[(2 * 119 + 1) * 640 + 320], 0xFF0000u);
}

TEST_F(PassTest, TeardownFreesTheLastOpenedPicture)
{
    MakeFolder();
    HeadlessSend(WM_PAINT, 0, 0);
    Click(300, RowOfPair(150));  // a.png
    ASSERT_NE(gViewer.openPrimary, nullptr);
    Click(320, RowOfPair(119));  // closed, but still decoded
    EXPECT_NE(gViewer.openPrimary, nullptr);
    TeardownViewer(&gViewer);
    EXPECT_EQ(gViewer.openPrimary, nullptr);
    EXPECT_EQ(gViewer.openSecondary, nullptr);
}

TEST_F(PassTest, EnteringAFolderListsItAtTheNextPass)
{
    MakeFolder();
    HeadlessSend(WM_PAINT, 0, 0);
    Click(300, RowOfPair(50));  // "sub", row 1 column 1
    EXPECT_EQ(gViewer.selected, -1);
    EXPECT_EQ(gViewer.redraw, 1);
    EXPECT_EQ(gViewer.folder.listed, 0);
    HeadlessSend(WM_TIMER, 13, 0);  // the raised flag brings the next pass
    EXPECT_EQ(gViewer.folder.listed, 1);
    EXPECT_EQ(gViewer.folder.count, 2);  // ".." and d.png
    EXPECT_EQ(fs::current_path(), fs::canonical(root / "sub"));
    // Up again through "..".
    Click(100, RowOfPair(150));
    HeadlessSend(WM_TIMER, 13, 0);
    EXPECT_EQ(fs::current_path(), fs::canonical(root));
    EXPECT_EQ(gViewer.folder.count, 5);
}

TEST_F(PassTest, EnteringKeepsTheScrollClampedToTheNewContent)
{
    for (int i = 0; i < 30; i++)
        fs::create_directory(root / ("d" + std::to_string(100 + i)));
    fs::create_directory(root / "d100" / "inner");
    fs::current_path(root);
    HeadlessSend(WM_PAINT, 0, 0);  // 31 entries: 11 rows
    gViewer.scroll = 10000;
    HeadlessSend(WM_PAINT, 0, 0);
    int32_t maxScroll = gViewer.contentHeight - gViewer.frame.pairs;
    EXPECT_EQ(gViewer.scroll, maxScroll);
    gViewer.selected = 1;  // d100
    gViewer.folder.current = gViewer.folder.head->next;
    HeadlessSend(WM_PAINT, 0, 0);
    HeadlessSend(WM_TIMER, 13, 0);
    EXPECT_EQ(gViewer.folder.count, 2);
    EXPECT_EQ(gViewer.scroll, 0);
}

TEST_F(PassTest, GoingUpFromAFolderOfTheRootReachesTheRoot)
{
    fs::current_path("/tmp");
    HeadlessSend(WM_PAINT, 0, 0);
    ASSERT_EQ(std::u16string(gViewer.folder.head->name), u"..");
    gViewer.selected = 0;
    gViewer.folder.current = gViewer.folder.head;
    HeadlessSend(WM_PAINT, 0, 0);
    HeadlessSend(WM_TIMER, 13, 0);
    EXPECT_EQ(fs::current_path(), fs::path("/"));
    EXPECT_EQ(std::u16string(gViewer.folder.path), u"/");
    ASSERT_NE(gViewer.folder.head, nullptr);
    EXPECT_NE(std::u16string(gViewer.folder.head->name), u"..");  // the root has no parent
}

// [SECTION] The walk from remembered entries
//
// Two viewers list the same folder; one pass of each after the same changes,
// one walking from remembered entries and one from the head every time, must
// leave the same frame, selection, scroll and cursor.

class ChainWalkTest : public HostedTest
{
protected:
    void SetUp() override
    {
        HostedTest::SetUp();
        WritePicture(root / "seed.png", 8, 6, 200, 40, 90);
        for (int i = 0; i < 1300; i++)
            AddFile(i);
        fs::remove(root / "seed.png");
        fs::current_path(root);
        for (CViewer*& v : viewers)
        {
            v = (CViewer*)calloc(1, sizeof(CViewer));
            InitViewer(v);
        }
    }
    void TearDown() override
    {
        for (CViewer* v : viewers)
        {
            TeardownViewer(v);
            free(v);
        }
        SetChainWalkMemo(true);
        HostedTest::TearDown();
    }
    // Adds picture file number i (a copy of the seed picture).
    void AddFile(int i)
    {
        char name[32];
        snprintf(name, sizeof name, "f%05d.png", i);
        fs::copy_file(root / "seed.png", root / name);
    }
    // Lists the folder into both viewers and gives every entry a thumbnail of
    // its own, so that a cell drawn for the wrong entry shows.
    void ListBoth()
    {
        for (CViewer* v : viewers)
        {
            ClearFolder(&v->folder);
            v->selected = -1;
            v->loaded = -1;
            ListFolder(&v->folder);
            int i = 0;
            for (CFileEntry* e = v->folder.head; e; e = e->next, i++)
            {
                uint8_t* bytes = &e->thumb[0][0][0][0];
                for (size_t k = 0; k < sizeof e->thumb; k += 97)
                    bytes[k] = (uint8_t)(i * 31 + (int)k);
            }
        }
        ASSERT_EQ(viewers[0]->folder.count, viewers[1]->folder.count);
    }
    // Sets the scroll and a click (client pixels, (-1, -1) for none) and runs
    // one pass of each viewer; then compares what the passes left.
    void PassBoth(int32_t scroll, int32_t clickX, int32_t clickY)
    {
        for (int k = 0; k < 2; k++)
        {
            CViewer* v = viewers[k];
            v->scroll = scroll;
            v->clickPos = {clickX, clickY};
            SetChainWalkMemo(k == 0);
            UpdateAndDraw(v, window);
        }
        SetChainWalkMemo(true);
        const CViewer* a = viewers[0];
        const CViewer* b = viewers[1];
        SCOPED_TRACE("scroll " + std::to_string(scroll) + " click " + std::to_string(clickX) + "," +
                     std::to_string(clickY));
        ASSERT_EQ(a->frame.capacity, b->frame.capacity);
        EXPECT_EQ(memcmp(a->frame.pixels, b->frame.pixels, (size_t)a->frame.capacity * sizeof(uint32_t)), 0);
        EXPECT_EQ(a->scroll, b->scroll);
        EXPECT_EQ(a->selected, b->selected);
        EXPECT_EQ(a->loaded, b->loaded);
        EXPECT_EQ(IndexOf(a, a->folder.current), IndexOf(b, b->folder.current));
        EXPECT_EQ(a->folder.cursor, nullptr);
        EXPECT_EQ(b->folder.cursor, nullptr);
        EXPECT_EQ(memcmp(&a->imageRect, &b->imageRect, sizeof a->imageRect), 0);
        if (a->selected > deepest)
            deepest = a->selected;
    }
    // Returns the place of entry in the viewer's chain, -1 when not in it.
    static int IndexOf(const CViewer* v, const CFileEntry* entry)
    {
        int i = 0;
        for (const CFileEntry* e = v->folder.head; e; e = e->next, i++)
            if (e == entry)
                return i;
        return -1;
    }
    // Scrolls down, up and down again, clicking cells, an open picture and
    // gaps on the way.
    void ScrollAround()
    {
        const int32_t bottom = viewers[0]->contentHeight;  // clamped by the pass
        struct Step
        {
            int32_t scroll, x, y;
        } steps[] = {
            {0, -1, -1},         {20000, -1, -1},   {20118, -1, -1},  {20000 - 3 * 118, -1, -1},
            {19999, 300, 200},   {19999, -1, -1},   {19999, 320, 240}, // opens a picture, then closes it
            {bottom, -1, -1},    {bottom, 100, 400}, {bottom - 1, -1, -1}, {17, -1, -1},
            {134, 250, 300},     {135, 500, 20},    {30000, 210, 100}, {29000, -1, -1},
            {1000, 205, 240},    {40000, -1, -1},   {12345, 600, 470}, {12345 - 118, -1, -1},
        };
        for (const Step& s : steps)
            PassBoth(s.scroll, s.x, s.y);
    }
    CViewer* viewers[2] = {};
    int32_t deepest = -1;  // the highest selection seen
};

TEST_F(ChainWalkTest, RememberedEntriesDrawAndHitLikeTheWholeWalk)
{
    ListBoth();
    ASSERT_EQ(viewers[0]->folder.count, 1301);  // ".." and 1300 pictures
    ScrollAround();
    EXPECT_GT(deepest, 500);  // the clicks reached cells deep in the listing
}

TEST_F(ChainWalkTest, ListingAgainDropsTheRememberedEntries)
{
    ListBoth();
    ScrollAround();
    // The same number of entries under other names: a new chain that may well
    // start at the old head's address, with every entry in another place.
    for (int i = 0; i < 40; i++)
    {
        char name[32];
        snprintf(name, sizeof name, "f%05d.png", i * 7);
        fs::remove(root / name);
        fs::copy_file(root / "f01000.png", root / ("g" + std::to_string(i) + ".png"));
    }
    ListBoth();
    ASSERT_EQ(viewers[0]->folder.count, 1301);
    ScrollAround();
    // Fewer entries than before: marks past the end must not be used.
    for (int i = 600; i < 1300; i++)
    {
        char name[32];
        snprintf(name, sizeof name, "f%05d.png", i);
        fs::remove(root / name);
    }
    ListBoth();
    ScrollAround();
}

// Returns a chain of count entries named after salt and their place, each
// with a thumbnail of its own.
CFileEntry* MakeChain(int count, int salt)
{
    CFileEntry* head = nullptr;
    CFileEntry** link = &head;
    for (int i = 0; i < count; i++)
    {
        CFileEntry* e = (CFileEntry*)calloc(1, sizeof(CFileEntry));
        char16_t name[32];
        std::string ascii = "e" + std::to_string(salt) + "-" + std::to_string(i);
        for (size_t k = 0; k <= ascii.size(); k++)
            name[k] = (char16_t)ascii.c_str()[k];
        EXPECT_EQ(InitEntry(e, name, 0, 1), 1);
        memset(e->thumb, (i * 13 + salt * 101) & 0xFF, sizeof e->thumb);
        *link = e;
        link = &e->next;
    }
    return head;
}

// A chain that keeps its head and its count but gets new entries behind the
// head (the case of a new listing whose first entry lands at the old head's
// address): entries remembered from the old chain must not be used.
TEST_F(ChainWalkTest, NewEntriesBehindTheSameHeadDropTheRememberedOnes)
{
    for (CViewer* v : viewers)
    {
        v->folder.head = MakeChain(1500, 1);
        v->folder.count = 1500;
        v->folder.listed = 1;
    }
    PassBoth(40000, -1, -1);
    PassBoth(20000, -1, -1);
    for (CViewer* v : viewers)
    {
        FreeEntries(v->folder.head->next);
        v->folder.head->next = MakeChain(1499, 2);
    }
    PassBoth(40000, -1, -1);
    PassBoth(20000, 400, 300);
    PassBoth(10000, -1, -1);
    EXPECT_NE(IndexOf(viewers[0], viewers[0]->folder.current), -1);
}

}  // namespace
