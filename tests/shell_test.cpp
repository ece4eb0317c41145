// Tests of the window procedure, the pass, the mouse and the toolbar on the
// headless host, for what the end-to-end runs (tests/e2e) do not reach:
// routing and the click rule, hit tests at cell edges, folders up to the
// root, clicks deep in a long listing, press regions,
// drag and wheel edge cases, the toolbar's slots, and Help and Web
// handing the right target to xdg-open.
#include <gtest/gtest.h>

#include <FreeImage.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/shell.h"
#include "folder/folder_list.h"
#include "platform/headless/headless.h"
#include "render/assets/assets.h"
#include "render/frame.h"
#include "tests/temp_folder.h"
#include "viewer/image_view.h"
#include "viewer/mouse.h"
#include "viewer/toolbar.h"
#include "viewer/update_and_draw.h"
#include "viewer/viewer_state.h"

namespace fs = std::filesystem;

namespace {

// Columns are max(1, (stride - 26) / 202); content is 22 + 118 line pairs a
// row, saturating; the fit is the largest step that fits both ways.
TEST(Grid, ColumnsContentHeightAndFit)
{
    for (const auto& [stride, columns] : {std::pair(0, 1), {429, 1}, {430, 2}, {632, 3}})
        EXPECT_EQ(GridColumns(stride), columns) << stride;
    EXPECT_EQ(GridContentHeight(0, 3), 22);
    EXPECT_EQ(GridContentHeight(INT32_MAX, 1), INT32_MAX);  // saturates instead of wrapping
    // Picture width (both views) and height, frame stride and pairs, step.
    // Frames without line pairs and empty pictures must still end the search.
    const int32_t cases[][5] = {{1600, 600, 1920, 540, -2}, {1920, 540, 1920, 540, 0}, {100, 100, 1920, 0, 0},
                                {100, 100, 0, 0, 0}, {0, 0, 1920, 540, 0}, {1, 1, 1 << 30, 1 << 30, kZoomStepLimit},
                                {INT32_MAX, INT32_MAX, 1, 1, -kZoomStepLimit}};
    for (const auto& c : cases)
        EXPECT_EQ(FitZoom(c[0], c[1], c[2], c[3]), c[4]) << c[0] << "x" << c[1] << " in " << c[2] << "x" << c[3];
}

TEST(WideText, NameBudgetCutsAtTheFirstCodeUnitPastIt)
{
    CStereoFrame f = {};
    Resize(&f, 0, 400, 80);
    auto advance = [&](const char16_t* text, int32_t budget) {
        f.penX = 0, f.penY = 2;
        DrawWideText(&f, text, 0, budget);
        return f.penX;
    };
    const int32_t whole = advance(u"Name", 0);
    EXPECT_EQ(advance(u"Name", whole), whole);  // exactly the budget: drawn whole
    EXPECT_EQ(advance(u"NameW", whole), whole);
    EXPECT_EQ(advance(u"Name", whole - 1), whole - glyphWidths[u'e'] - 1);
    // CR LF and LF CR make one break, CR CR and LF LF two; glyphs between keep
    // the remembered CR.
    const std::pair<const char16_t*, int> breaks[] = {{u"a\r\nb", 1},   {u"a\n\rb", 1},     {u"a\n\nb", 2},
                                                      {u"a\r\rb", 2},   {u"a\r\n\nb", 2},   {u"a\r\n\r\nb", 2},
                                                      {u"a\rb\nc", 1}};
    for (const auto& [text, n] : breaks)
    {
        f.penX = 5, f.penY = 60;
        DrawWideText(&f, text, 5, 0);
        EXPECT_EQ(f.penY, 60 - 18 * n) << (int)text[1] << (int)text[2];
    }
    Release(&f);
}

// A temporary current folder and the headless window: an 800 x 600 client
// (300 line pairs) at (100, 50) on the screen.
class Shell : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.Enter());
        HeadlessReset();
        Reset();
        window = PlatCreateWindow(u"Orvale_Viewer", WindowProc);
        windowDC = PlatGetDC(window);
        HeadlessSetClient(100, 50, 800, 600);
    }
    void TearDown() override { TeardownViewer(v), windowDC = nullptr, HeadlessReset(); }
    // Starts the handlers afresh on 1000 line pairs of grid content; the
    // image, once opened, covers columns 200-599 and line pairs 100-249.
    void Reset()
    {
        InitViewer(v);
        v->frame.stride = 800, v->frame.pairs = 300, v->contentHeight = 1000, v->imageRect = {200, 599, 100, 249};
    }
    // Sends a message and returns how many passes it ran.
    int Passes(uint32_t message, PlatWParam wParam = 0, PlatLParam lParam = 0)
    {
        int before = HeadlessPresentCount();
        return HeadlessSend(message, wParam, lParam), HeadlessPresentCount() - before;
    }
    uint32_t Pixel(int view, int32_t x, int32_t pair)
    {
        return v->frame.pixels[(2 * pair + 1 + view) * v->frame.stride + x];
    }
    testfs::TempFolder folder;
    PlatWindow* window = nullptr;
    CViewer* v = &gViewer;
};

// [SECTION] Routing and the click rule

// Paint, size, move and release always run the pass, once; everything else
// only when a handler raised the flag. DefWindowProc sees every message.
TEST_F(Shell, RoutingRunsThePassByTheTableAndDecodesParameters)
{
    // Mouse messages at a client point away from the toolbar's rows, with no
    // wheel delta.
    for (uint32_t m : {WM_PAINT, WM_SIZE, WM_MOVE, WM_LBUTTONUP, WM_DESTROY, WM_KEYDOWN, WM_TIMER, WM_MOUSEMOVE,
                       WM_LBUTTONDOWN, WM_MOUSEWHEEL, 0x00A0 /* WM_NCMOUSEMOVE */})
    {
        const bool always = m == WM_PAINT || m == WM_SIZE || m == WM_MOVE || m == WM_LBUTTONUP;
        const int def = HeadlessDefProcCount(m);
        const PlatWParam w = m == WM_KEYDOWN ? 'A' : m == WM_TIMER ? 13 : 0;
        EXPECT_EQ(Passes(m, w, PlatMakeLParam(100, 200)), always ? 1 : 0) << m;
        v->redraw = 1;
        EXPECT_EQ(Passes(m, w, PlatMakeLParam(100, 200)), 1) << m;
        EXPECT_EQ(v->redraw, 0) << m;
        EXPECT_EQ(HeadlessDefProcCount(m), def + 2) << m;
    }
    // The window procedure passes the key state from the low word of wParam,
    // signed client positions, and the wheel delta from the high word.
    HeadlessSend(WM_SIZE, 0, 0);
    HeadlessSend(WM_LBUTTONDOWN, MK_LBUTTON, PlatMakeLParam(-3, -4));
    EXPECT_EQ(v->pressPos.x, -3);
    EXPECT_EQ(v->pressPos.y, -4);
    EXPECT_EQ(v->listDrag, 1);
    // MK_LBUTTON only in the high word: the button is up; a row above the
    // client is near the top edge.
    HeadlessSend(WM_MOUSEMOVE, (PlatWParam)MK_LBUTTON << 16, PlatMakeLParam(300, -2));
    EXPECT_EQ(v->listDrag, 0);
    EXPECT_EQ(v->toolbarShown, 1);
    const PlatLParam at = PlatMakeLParam(300, 300);
    EXPECT_EQ(Passes(WM_MOUSEWHEEL, 0, at) + Passes(WM_MOUSEWHEEL, 0xFF880000u, at), 1);  // -120 in the high word
}

// [SECTION] The pass

TEST_F(Shell, ClicksSelectTheCellUnderThemNothingInTheGapsAndEnterFolders)
{
    // The folder holds ".." a.png b.png c.png sub/ in listing order, in a
    // 640 x 480 client (3 columns, 239 line pairs) at (0, 0).
    const std::vector<uint8_t> png = testfs::Fixture("rgba.png");
    ASSERT_TRUE(folder.Write("a.png", png) && folder.Write("b.png", png) && folder.Write("c.png", png) &&
                folder.Folder("sub"));
    HeadlessSetClient(0, 0, 640, 480);
    HeadlessSend(WM_PAINT, 0, 0);
    // Presses and releases at a line pair's client row; the release runs the pass.
    auto click = [&](int32_t x, int32_t pair) {
        v->pressPos = {x, 480 - 2 * pair};
        HeadlessSend(WM_LBUTTONUP, 0, PlatMakeLParam(x, 480 - 2 * pair));
    };
    // x, line pair, selection. Row 0's hit box spans pairs 104 to 217, row
    // 1's ends at 99; cell 1 spans x 212 to 403, its gap 202 to 211; the
    // cell after the last entry is empty.
    const int32_t cases[][3] = {{212, 104, 1}, {202, 150, -1}, {211, 150, -1}, {300, 103, -1},
                                {300, 100, -1}, {100, 99, 3},   {403, 217, 1},  {500, 50, -1}};
    for (const auto& c : cases)
    {
        click(c[0], c[1]);
        EXPECT_EQ(v->selected, c[2]) << c[0] << "," << c[1];
        v->selected = -1;
    }
    // Folders are entered, and listed in the same pass, with the scroll
    // clamped, up to the root.
    click(300, 50);  // sub
    EXPECT_EQ(v->selected, -1);
    EXPECT_EQ(v->folder.count, 1);
    EXPECT_EQ(fs::current_path(), fs::canonical(folder.At("sub")));
    v->scroll = 19;
    HeadlessSend(WM_TIMER, 13, 0);
    EXPECT_EQ(v->scroll, 0);
    for (int up = 0; up < 3; up++)  // "..", up to /tmp, and from a folder of the root to the root
        click(100, 150);
    EXPECT_EQ(fs::current_path(), "/");
    EXPECT_EQ(std::u16string(v->folder.path), u"/");
    EXPECT_GT(v->folder.count, 0);
}

// Thumbnails wholly under the open picture are left out of the pass: the
// frame is the one a pass that draws them all leaves, with the picture over
// cells in full and in part.
TEST_F(Shell, ThumbnailsUnderTheOpenPictureLeaveTheFrameAsDrawingThemDoes)
{
    for (int k = 0; k < 9; k++)
        ASSERT_TRUE(folder.Write("p" + std::to_string(k) + ".png", testfs::Fixture("flat_100.png")));
    HeadlessSend(WM_PAINT, 0, 0);
    v->selected = 1;
    HeadlessSend(WM_PAINT, 0, 0);
    v->pan = {-150, -100};  // columns 0 to 549, pairs 0 to 249 of 800 x 300
    HeadlessSend(WM_PAINT, 0, 0);
    const std::vector<uint32_t> left(v->frame.pixels, v->frame.pixels + v->frame.capacity);
    SetThumbnailCulling(false);
    HeadlessSend(WM_PAINT, 0, 0);
    SetThumbnailCulling(true);
    EXPECT_EQ(v->selected, 1);
    EXPECT_TRUE(std::equal(left.begin(), left.end(), v->frame.pixels));
}

// The title: the listed path in blue, its base 17 line pairs below the top
// of the content, here the top of the frame.
TEST_F(Shell, TitleSitsAtTheTopOfTheContent)
{
    ASSERT_TRUE(folder.Write("p.png", testfs::Fixture("flat_100.png")));
    HeadlessSend(WM_PAINT, 0, 0);
    CStereoFrame alone = {};
    Resize(&alone, 50, 800, 600);
    ASSERT_EQ(alone.pairs, v->frame.pairs);
    alone.color = 0x0000FF, alone.penX = 10, alone.penY = alone.pairs - 17, alone.eyeShift = 0;
    DrawWideText(&alone, v->folder.path, 10, 0);
    // The rows above the first row of thumbnails hold the title only.
    for (int32_t pair = alone.pairs - 22; pair < alone.pairs; pair++)
        for (int32_t x = 0; x < 800 - 16; x++)  // left of the scroll bar
            ASSERT_EQ(Pixel(0, x, pair), alone.pixels[(2 * pair + 1) * 800 + x]) << x << "," << pair;
    Release(&alone);
}

// Clicks deep in a long listing select the cell under them, and the cells in
// view show their own entries' thumbnails. The model: cell i at column
// i % columns, its base 118 line pairs a row down from P + scroll - 17, hit
// from the base up 113 line pairs and 192 columns wide, drawn while base < P
// and base + 105 > 0.
TEST_F(Shell, DeepClicksSelectTheCellUnderThemAndCellsShowTheirEntries)
{
    ASSERT_TRUE(folder.Write("p.png", testfs::Fixture("rgba.png")));
    for (int32_t i = 0; i < 1500; i++)
        memset(AddEntry(&v->folder, u"p.png", 0, 1, FIF_PNG)->thumb, 1 + i % 250, sizeof(CFileEntry::thumb));
    v->folder.listed = 1;
    int32_t P = 0;
    const int32_t columns = 3;
    auto base = [&](int32_t i) { return (int64_t)v->scroll - (i / columns + 1) * 118 + P - 17; };
    // Scroll; a click's x and line pair (none: -1).
    const int32_t steps[][3] = {{0, -1, -1},       {500, 20, 200},     {905, -1, -1},      {20000, 300, 200},
                                {20118, 300, 240}, {19999, 300, 200},  {40000, 100, 290},  {17, 250, 30},
                                {134, 250, 300},   {135, 500, 20},     {30000, 210, 100},  {12345, 600, 170},
                                {57000, 500, 100}, {57000, 10, 290},   {12345 - 118, 620, 40},
                                {82, 300, 2}};  // row 3's base at -108: its box reaches the frame, it is not drawn
    int32_t deepest = -1;
    for (const auto& s : steps)
    {
        v->scroll = s[0], v->selected = v->loaded = -1;
        v->clickPos = {s[1], s[2] < 0 ? -1 : 600 - 2 * s[2]};
        HeadlessSend(WM_PAINT, 0, 0);
        P = v->frame.pairs;
        int32_t want = -1;
        for (int32_t i = 0; i < v->folder.count && base(i) + 105 > 0; i++)
        {
            int32_t x = 10 + 202 * (i % columns);
            if (base(i) < P && x <= s[1] && s[1] < x + 192 && base(i) <= s[2] && s[2] <= base(i) + 113)
                want = i;
            // A pixel inside the thumbnail, where the frame has it and the
            // open picture is not.
            int64_t pair = base(i) + 17 + 40;
            if (s[1] < 0 && base(i) < P && pair >= 0 && pair < P)
            {
                ASSERT_EQ(Pixel(1, x + 20, (int32_t)pair), 0x010101u * (1 + i % 250))
                    << "scroll " << s[0] << " cell " << i;
            }
        }
        EXPECT_EQ(v->selected, want) << "scroll " << s[0] << " click " << s[1] << "," << s[2];
        deepest = std::max(deepest, v->selected);
    }
    EXPECT_GT(deepest, 1000);  // the clicks reached cells deep in the listing
}

// [SECTION] The mouse

TEST_F(Shell, PressStartsWhatItsPlaceBeginsAndReleaseClicksOnlyAtThePress)
{
    // Toolbar shown; image (0 closed with its last rectangle kept, 1 the
    // open image, 2 open over the whole frame); x, y; what starts: T toolbar
    // click, P pan, L grid drag, B bar drag. Image bounds are inclusive, and
    // y is compared as the line pair 300 - y / 2.
    struct { int toolbar, image, x, y; char starts; } cases[] = {
        {1, 0, 300, 83, 'T'},  {1, 0, 300, 84, 'L'},  {0, 0, 300, 10, 'L'},  {0, 0, 783, 300, 'L'},
        {0, 0, 784, 300, 'B'}, {0, 1, 200, 300, 'P'}, {0, 1, 599, 300, 'P'}, {0, 1, 199, 300, 'L'},
        {0, 1, 600, 300, 'L'}, {0, 1, 300, 102, 'P'}, {0, 1, 300, 101, 'L'}, {0, 1, 300, 401, 'P'},
        {0, 1, 300, 402, 'L'}, {0, 2, 790, 300, 'P'}, {1, 1, 300, 50, 'T'}};
    for (const auto& c : cases)
    {
        Reset();
        v->toolbarShown = (uint8_t)c.toolbar, v->selected = c.image ? 0 : -1;
        v->imageRect = c.image == 1 ? CImageRect{200, 599, 100, 249} : CImageRect{0, 799, 0, 299};
        OnButtonDown(v, c.x, c.y);
        char got = v->toolbarClickPending ? 'T' : v->panDrag ? 'P' : v->listDrag ? 'L' : v->barDrag ? 'B' : '-';
        const std::string at = std::to_string(c.x) + "," + std::to_string(c.y);
        EXPECT_EQ(got, c.starts) << at;
        EXPECT_EQ(v->toolbarClickPending + v->panDrag + v->listDrag + v->barDrag, 1) << at;
        EXPECT_EQ(v->pressPos.x, c.x) << at;
        EXPECT_EQ(v->pressPos.y, c.y) << at;
        EXPECT_EQ(v->redraw, 0) << at;
        if (c.starts == 'T')
        {
            EXPECT_EQ(v->toolbarClick.x, c.x) << at;
            EXPECT_EQ(v->toolbarClick.y, c.y) << at;
        }
    }
    // A release is a click only exactly at the press, below a shown
    // toolbar's band and with no toolbar click pending; every release ends
    // every drag. Press x, y, release x, y, toolbar shown, toolbar click
    // pending, click.
    const int32_t releases[][7] = {
        {100, 200, 100, 200, 0, 0, 1}, {100, 200, 101, 200, 0, 0, 0}, {100, 200, 100, 199, 0, 0, 0},
        {100, 83, 100, 83, 1, 0, 0},   {100, 84, 100, 84, 1, 0, 1},   {100, 10, 100, 10, 0, 0, 1},
        {100, 200, 100, 200, 0, 1, 0}, {-5, -7, -5, -7, 0, 0, 1}};
    for (const auto& c : releases)
    {
        InitViewer(v);
        v->toolbarShown = (uint8_t)c[4], v->toolbarClickPending = (uint8_t)c[5], v->pressPos = {c[0], c[1]};
        v->listDrag = v->barDrag = v->panDrag = 1;
        OnButtonUp(v, c[2], c[3]);
        EXPECT_EQ(v->clickPos.x, c[6] ? c[2] : -1) << c[0] << "," << c[1];
        EXPECT_EQ(v->clickPos.y, c[6] ? c[3] : -1) << c[0] << "," << c[1];
        EXPECT_EQ(v->listDrag + v->barDrag + v->panDrag, 0) << c[0] << "," << c[1];
    }
}

// A press, one move (with the button held unless said), and what the drag
// made of it.
struct Drag
{
    int32_t image = 0, held = 1, pairs = 300, content = 1000, scroll = 0;  // before
    CPoint32 pan = {0, 0}, press = {300, 300}, move = {300, 300}, wantPan = {0, 0};
    // The anchor of the grid or bar drag, redraw raised, drags under way.
    int32_t anchor = 0, wantScroll = 0, redraw = 1, dragging = 1;
};

TEST_F(Shell, DragsFollowThePointer)
{
    const Drag drags[] = {
        // The grid: two rows a line pair, odd rows the half truncated toward
        // zero; an overshoot is the pass's to clamp; no movement, no redraw.
        {.scroll = 10, .move = {300, 297}, .anchor = 23, .wantScroll = 11},
        {.move = {300, 303}, .anchor = -3, .wantScroll = -1},
        {.scroll = 10, .anchor = 20, .wantScroll = 10, .redraw = 0},
        {.scroll = INT32_MAX, .move = {300, -32768}, .anchor = INT32_MAX, .wantScroll = INT32_MAX / 2},
        // The bar: content height over twice the pairs per row, toward zero;
        // no division by zero pairs or content; products formed in 64 bits
        // (2e9 x 300 x 2 overflows 32).
        {.scroll = 100, .press = {795, 300}, .move = {795, 200}, .anchor = -40, .wantScroll = -66},
        {.pairs = 0, .scroll = 40, .press = {795, 300}, .move = {795, 350}, .anchor = 50, .wantScroll = 40},
        {.content = 0, .scroll = 40, .press = {795, 300}, .move = {795, 350}, .anchor = 50, .wantScroll = 0},
        {.content = 2100000000, .scroll = 2000000000, .press = {795, 300}, .move = {795, 301}, .anchor = 572,
         .wantScroll = (int32_t)(2100000000LL * 572 / 600)},
        // The image's pan stops at its limit.
        {.image = 1, .pan = {kPanLimit - 5, -kPanLimit + 5}, .move = {320, 320}, .wantPan = {kPanLimit, -kPanLimit}},
        // A move without the button ends a grid or bar drag, not a pan.
        {.held = 0, .scroll = 10, .move = {300, 280}, .anchor = 20, .wantScroll = 10, .redraw = 0, .dragging = 0},
        {.held = 0, .press = {795, 300}, .move = {795, 280}, .redraw = 0, .dragging = 0},
        {.image = 1, .held = 0, .move = {310, 320}, .redraw = 0},
    };
    for (const Drag& d : drags)
    {
        Reset();
        v->frame.pairs = d.pairs, v->contentHeight = d.content, v->scroll = d.scroll;
        v->pan = d.pan, v->selected = d.image ? 0 : -1;
        OnButtonDown(v, d.press.x, d.press.y);
        OnMouseMove(v, d.held ? MK_LBUTTON : 0, d.move.x, d.move.y);
        const std::string what = std::to_string(d.press.x) + "," + std::to_string(d.press.y) + " to " +
                                 std::to_string(d.move.x) + "," + std::to_string(d.move.y);
        EXPECT_EQ(v->barDrag ? v->barDragAnchor : v->listDragAnchor, d.anchor) << what;
        EXPECT_EQ(v->scroll, d.wantScroll) << what;
        EXPECT_EQ(v->pan.x, d.wantPan.x) << what;
        EXPECT_EQ(v->pan.y, d.wantPan.y) << what;
        EXPECT_EQ(v->redraw, d.redraw) << what;
        EXPECT_EQ(v->listDrag + v->barDrag + v->panDrag, d.dragging) << what;
    }
}

TEST_F(Shell, WheelScrollsTheGridAFifthOrOverTheStripAHalfAndZoomsAboutThePointer)
{
    // The client at negative screen coordinates; the pointer at client (x, y).
    HeadlessSetClient(-1920, -300, 800, 600);
    auto wheel = [&](int32_t delta, int32_t x, int32_t y) { OnMouseWheel(v, window, delta, x - 1920, y - 300); };
    // Delta, client x and y, scroll change: only x decides the rate, wherever
    // the pointer is, even outside the client (title bar, right of it).
    const int32_t cases[][4] = {{60, 300, 300, -12}, {120, 784, 300, -60}, {120, 783, 300, -24}, {120, 790, -20, -60},
                                {120, 800, -20, -24}, {120, -5, 700, -24}, {0, 300, 300, 0}};
    for (const auto& c : cases)
    {
        v->scroll = 50, v->redraw = 0;
        wheel(c[0], c[1], c[2]);
        EXPECT_EQ(v->scroll, 50 + c[3]) << c[0] << " at " << c[1] << "," << c[2];
        EXPECT_EQ(v->redraw, c[0] != 0) << c[0] << " at " << c[1] << "," << c[2];
    }
    // Over an open image: zoomStep and pan before; delta and client x, y;
    // zoomStep and pan after. The image centre is at column 400 + pan x and
    // screen rows pan y above the middle row 300: the point under the pointer
    // stays put.
    const int32_t zooms[][9] = {
        {0, 0, 0, 12 * 120, 500, 300, 12, -100, 0},   // twelve notches double the distance
        {-3, 17, -9, 60, 300, 300, -3, 17, -9},       // half a notch only redraws
        {kZoomStepLimit - 1, 0, 0, 600, 500, 200, kZoomStepLimit, -5, -5},  // one step taken, not five
        {kZoomStepLimit, 30, -20, 120, 500, 200, kZoomStepLimit, 30, -20},  // at the limit: no drift
        {-kZoomStepLimit, 30, -20, -120, 500, 200, -kZoomStepLimit, 30, -20}};
    for (const auto& c : zooms)
    {
        v->selected = 0, v->zoomStep = c[0], v->pan = {c[1], c[2]}, v->redraw = 0;
        wheel(c[3], c[4], c[5]);
        const std::string what = std::to_string(c[3]) + " at " + std::to_string(c[4]) + "," + std::to_string(c[5]);
        EXPECT_EQ(v->zoomStep, c[6]) << what;
        EXPECT_EQ(v->pan.x, c[7]) << what;
        EXPECT_EQ(v->pan.y, c[8]) << what;
        EXPECT_EQ(v->redraw, 1) << what;
        EXPECT_EQ(v->scroll, 50) << what;
    }
    v->scroll = INT32_MAX - 5, v->selected = -1;  // the sum saturates
    wheel(-32768, 790, 10);
    EXPECT_EQ(v->scroll, INT32_MAX);
}

// [SECTION] The toolbar

// The DRIVE_* type of letters A, B, C ... one digit each; no root for the
// rest. "2135" is A removable, C fixed and D optical, as on a machine with a
// floppy drive: Prev is the slot at 226, Next 302, Help 378, Web 454.
typedef std::array<int, kToolbarDriveLetters> DriveRow;
DriveRow Drives(const char* types)
{
    DriveRow row;
    row.fill(DRIVE_NO_ROOT_DIR);
    for (size_t i = 0; types[i]; i++)
        row[i] = types[i] - '0';
    return row;
}

// A 1200 x 200 frame (99 line pairs) with the toolbar shown, in the
// temporary folder (on drive C:, the root).
class Toolbar : public Shell
{
protected:
    void SetUp() override { Shell::SetUp(), Resize(&v->frame, 0, 1200, 200), v->toolbarShown = 1; }
    // Builds a listing from a pattern, 'd' a folder and 'f' a file, with
    // entry `selected` selected.
    void List(const char* pattern, int32_t selected)
    {
        ClearFolder(&v->folder);
        v->folder.listed = 1, v->selected = selected;
        for (; *pattern; pattern++)
            AddEntry(&v->folder, *pattern == 'd' ? u"d" : u"f.png", *pattern == 'd', 1, FIF_PNG);
    }
    // Clicks the toolbar at x and runs a pass's toolbar step.
    void ClickAt(int32_t x)
    {
        v->toolbarClick = {x, 40}, v->toolbarClickPending = 1, v->redraw = 0;
        ActOnToolbarClick(v, Drives("2135").data());
        EXPECT_EQ(v->toolbarClickPending, 0);
    }
};

TEST_F(Toolbar, ButtonsActOnClicksOnTheirPicturesOnly)
{
    // An xdg-open first on PATH that records its argument.
    const std::string record = folder.At("record"), path = getenv("PATH");
    const std::string script = "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + record + "'\n";
    ASSERT_TRUE(folder.Write("xdg-open", std::vector<uint8_t>(script.begin(), script.end())));
    ASSERT_EQ(chmod(folder.At("xdg-open").c_str(), 0755), 0);
    setenv("PATH", (folder.path + ":" + path).c_str(), 1);
    // x; the selection after a click with the second of four pictures
    // selected; whether the listing was cleared; what was opened (1 the help
    // page beside the program, 2 the web page). The slots: A: 10 (never a
    // drive here), C: 82 (the root, which keeps the current folder), Prev
    // 226, Next 302, Help 378, Web 454, each 64 wide; the gap after a slot
    // uses the click up.
    const int32_t cases[][4] = {{225, 1, 0, 0}, {226, 0, 0, 0}, {289, 0, 0, 0}, {290, 1, 0, 0}, {301, 1, 0, 0},
                                {302, 2, 0, 0}, {365, 2, 0, 0}, {366, 1, 0, 0}, {377, 1, 0, 0}, {378, 1, 0, 1},
                                {441, 1, 0, 1}, {442, 1, 0, 0}, {453, 1, 0, 0}, {454, 1, 0, 2}, {517, 1, 0, 2},
                                {518, 1, 0, 0}, {10, 1, 0, 0},  {74, 1, 0, 0},  {81, 1, 0, 0},  {82, -1, 1, 0}};
    for (const auto& c : cases)
    {
        List("ffff", 1);
        ClickAt(c[0]);
        EXPECT_EQ(v->selected, c[1]) << c[0];
        EXPECT_EQ(v->folder.entries == nullptr, c[2]) << c[0];
        EXPECT_EQ(v->redraw, c[1] != 1) << c[0];
    }
    // x of the clicks; the listing and selection before; the selection after.
    const std::tuple<std::vector<int32_t>, const char*, int32_t, int32_t> steps[] = {
        {{226, 302}, "dff", -1, -1},  // no picture open: Prev and Next only redraw
        {{302}, "fdf", 2, -1},        // Next after the last picture closes it
        {{226}, "fdf", 0, -1},        // Prev before the first closes it
        {{302}, "fddf", 0, 3},        // Next steps over folders
        {{226}, "fddf", 3, 0},        // and so does Prev
        {{302}, "fdf", 1, 1}};        // a folder selected: nothing to step from
    for (const auto& [xs, pattern, before, after] : steps)
    {
        List(pattern, before);
        for (int32_t x : xs)
            ClickAt(x);
        EXPECT_EQ(v->selected, after) << pattern << " from " << before;
        EXPECT_EQ(v->redraw, 1) << pattern << " from " << before;
    }
    setenv("PATH", path.c_str(), 1);
    const std::string help = fs::read_symlink("/proc/self/exe").parent_path().string() + "/help.html\n",
                      web = "http://orvale-viewer.org/orvale_viewer_en.html\n";
    // Waits up to ten seconds for the four openings, then a moment for strays.
    for (int i = 0; i < 1000 && testfs::ReadFile(record).size() < 2 * (help.size() + web.size()); i++)
        usleep(10000);
    usleep(300000);
    const std::vector<uint8_t> bytes = testfs::ReadFile(record);
    const std::string got(bytes.begin(), bytes.end());
    size_t helps = 0, webs = 0;
    for (size_t at = 0; at < got.size(); at = got.find('\n', at) + 1)
        helps += got.compare(at, help.size(), help) == 0, webs += got.compare(at, web.size(), web) == 0;
    EXPECT_EQ(helps, 2u) << got;
    EXPECT_EQ(webs, 2u) << got;
    EXPECT_EQ(got.size(), 2 * (help.size() + web.size())) << got;
}

// Next acts before the pass draws: the picture it steps to is open in the
// pass that handles the click.
TEST_F(Toolbar, NextOpensThePictureInThePassOfTheClick)
{
    for (const char* name : {"a.png", "b.png"})
        ASSERT_TRUE(folder.Write(name, testfs::Fixture("flat_100.png")));
    HeadlessSend(WM_PAINT, 0, 0);  // "..", a.png, b.png
    v->selected = 1;
    HeadlessSend(WM_PAINT, 0, 0);
    ASSERT_EQ(v->loaded, 1);
    int drives = 0;
    for (int letter = 0; letter < kToolbarDriveLetters; letter++)
        drives += PlatGetDriveType(letter) != DRIVE_NO_ROOT_DIR;
    const PlatLParam next = PlatMakeLParam(kToolbarFirstSlotX + kDriveSlotWidth * drives + kButtonSlotWidth + 5, 40);
    HeadlessSend(WM_LBUTTONDOWN, MK_LBUTTON, next);
    HeadlessSend(WM_LBUTTONUP, 0, next);
    EXPECT_EQ(v->selected, 2);
    EXPECT_EQ(v->loaded, 2);
}

TEST_F(Toolbar, DrivePicturesAndButtonsSitInTheirSlots)
{
    // Five drives, two of types without a picture of their own: Prev at 370,
    // Next 446, Help 522, Web 598, the about text 20 after the Web slot ends.
    DrawToolbarRow(v, Drives("213570").data());
    const int32_t P = v->frame.pairs;  // pictures on P - 32 to P - 1
    const std::pair<int32_t, const uint8_t*> slots[] = {
        {10, DriveIcons[DRIVE_REMOVABLE - 1]}, {82, DriveIcons[DRIVE_FIXED - 1]}, {154, DriveIcons[DRIVE_CDROM - 1]},
        {226, DriveIcons[0]}, {298, DriveIcons[0]}, {370, PrevIcon}, {446, NextIcon}, {522, HelpIcon}, {598, WebIcon}};
    for (const auto& [x, icon] : slots)
        for (int i = 0; i < 2 * kIconHeight * kIconWidth; i++)  // both views of each pixel, blue byte first
            ASSERT_EQ(Pixel(i % 2, x + i / 2 % kIconWidth, P - 32 + i / 2 / kIconWidth),
                      (uint32_t)(icon[3 * (i / 2) + 2] << 16 | icon[3 * (i / 2) + 1] << 8 | icon[3 * (i / 2)]))
                << x << " " << i;
    // The about text (0x7F7F40) from 20 after the Web slot, inside the band's
    // pairs P - 37 to P - 3.
    int32_t left = 1200, low = P, high = 0;
    for (int32_t i = 0; i < P * 1200; i++)
        if (Pixel(0, i % 1200, i / 1200) == 0x7F7F40u)
            left = std::min(left, i % 1200), low = std::min(low, i / 1200), high = std::max(high, i / 1200);
    EXPECT_GE(left, 694);
    EXPECT_LT(left, 694 + 16);
    EXPECT_GE(low, P - 37);
    EXPECT_LE(high, P - 3);
}

}  // namespace
