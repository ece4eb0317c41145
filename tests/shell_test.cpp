// Tests of the shell: start-up, message routing, the click rule, the redraw
// cycle and teardown, on the headless host.
#include <gtest/gtest.h>

#include <string>

#include "app/shell.h"
#include "platform/headless/headless.h"
#include "tests/temp_folder.h"
#include "viewer/viewer_state.h"

namespace {

class ShellTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The pass lists the current folder and the timer makes thumbnails of
        // what it finds: run in an empty folder so that no tick has work.
        ASSERT_TRUE(empty.Enter());
        HeadlessReset();
        InitViewer(&gViewer);
        window = PlatCreateWindow(u"Orvale_Viewer", WindowProc);
        windowDC = PlatGetDC(window);
        HeadlessSetClient(0, 20, 640, 480);
    }
    void TearDown() override
    {
        TeardownViewer(&gViewer);
        windowDC = nullptr;
        HeadlessReset();
    }
    // Sends a message and returns how many passes it ran.
    int Passes(uint32_t message, PlatWParam wParam = 0, PlatLParam lParam = 0)
    {
        int before = HeadlessPresentCount();
        HeadlessSend(message, wParam, lParam);
        return HeadlessPresentCount() - before;
    }
    void Press(int32_t x, int32_t y)
    {
        gViewer.pressPos = {x, y};
    }
    PlatWindow* window = nullptr;
    testfs::TempFolder empty;
};

// Paint, size, move and release always run the pass; everything else only
// when a handler raised the flag. DefWindowProc sees every message.
TEST_F(ShellTest, RoutingRunsThePassByTheTable)
{
    const uint32_t always[] = {WM_PAINT, WM_SIZE, WM_MOVE, WM_LBUTTONUP};
    const uint32_t ifRaised[] = {WM_DESTROY, WM_KEYDOWN, WM_TIMER, WM_MOUSEMOVE, WM_LBUTTONDOWN,
                                 WM_MOUSEWHEEL, 0x00A0 /* WM_NCMOUSEMOVE */};
    for (uint32_t m : always)
    {
        int def = HeadlessDefProcCount(m);
        EXPECT_EQ(Passes(m), 1) << m;
        EXPECT_EQ(HeadlessDefProcCount(m), def + 1) << m;
    }
    // Mouse messages at a client point away from the toolbar's rows change
    // nothing that is drawn.
    const PlatLParam neutral = PlatMakeLParam(100, 200);
    for (uint32_t m : ifRaised)
    {
        int def = HeadlessDefProcCount(m);
        EXPECT_EQ(Passes(m, m == WM_KEYDOWN ? 'A' : 0, neutral), 0) << m;
        gViewer.redraw = 1;
        EXPECT_EQ(Passes(m, m == WM_KEYDOWN ? 'A' : 0, neutral), 1) << m;
        EXPECT_EQ(gViewer.redraw, 0) << m;
        EXPECT_EQ(HeadlessDefProcCount(m), def + 2) << m;
    }
}

TEST_F(ShellTest, EscapeQuitsWithZeroOtherKeysDoNothing)
{
    HeadlessSend(WM_KEYDOWN, 'Q', 0);
    EXPECT_EQ(HeadlessQuitPosted(nullptr), 0);
    HeadlessSend(WM_KEYDOWN, VK_ESCAPE, 0);
    int code = -1;
    EXPECT_EQ(HeadlessQuitPosted(&code), 1);
    EXPECT_EQ(code, 0);
}

TEST_F(ShellTest, ClosingTheWindowQuits)
{
    HeadlessSend(WM_CLOSE, 0, 0);
    EXPECT_EQ(HeadlessDefProcCount(WM_DESTROY), 1);
    EXPECT_EQ(HeadlessQuitPosted(nullptr), 1);
}

// Every release ends all drags, click or not.
TEST_F(ShellTest, ReleaseEndsEveryDrag)
{
    Press(100, 200);
    gViewer.listDrag = gViewer.barDrag = gViewer.panDrag = 1;
    HeadlessSend(WM_LBUTTONUP, 0, PlatMakeLParam(101, 200));
    EXPECT_EQ(gViewer.listDrag, 0);
    EXPECT_EQ(gViewer.barDrag, 0);
    EXPECT_EQ(gViewer.panDrag, 0);
}

TEST_F(ShellTest, ClickRuleCases)
{
    struct Case
    {
        int32_t pressX, pressY, releaseX, releaseY;
        uint8_t toolbarShown, pending;
        bool click;
    } cases[] = {
        {100, 200, 100, 200, 0, 0, true},   // same pixel
        {100, 200, 101, 200, 0, 0, false},  // one pixel apart in x
        {100, 200, 100, 199, 0, 0, false},  // one pixel apart in y
        {100, 83, 100, 83, 1, 0, false},    // in the toolbar band
        {100, 84, 100, 84, 1, 0, true},     // just below it
        {100, 10, 100, 10, 0, 0, true},     // band rows are free while it is hidden
        {100, 200, 100, 200, 0, 1, false},  // a toolbar click is pending
        {-5, -7, -5, -7, 0, 0, true},       // negative client positions
    };
    for (const Case& c : cases)
    {
        InitViewer(&gViewer);
        gViewer.toolbarShown = c.toolbarShown;
        gViewer.toolbarClickPending = c.pending;
        Press(c.pressX, c.pressY);
        OnButtonUp(&gViewer, c.releaseX, c.releaseY);
        if (c.click)
        {
            EXPECT_EQ(gViewer.clickPos.x, c.releaseX) << c.pressX << "," << c.pressY;
            EXPECT_EQ(gViewer.clickPos.y, c.releaseY) << c.pressX << "," << c.pressY;
        }
        else
            EXPECT_EQ(gViewer.clickPos.x, -1) << c.pressX << "," << c.pressY;
    }
}

// A pass that raises the flag gets exactly one more pass, at the next message
// of any kind, and never two within one message.
TEST_F(ShellTest, RaisedFlagBringsExactlyOneMorePass)
{
    EXPECT_EQ(Passes(WM_TIMER, 13), 0);
    gViewer.redraw = 1;
    EXPECT_EQ(Passes(WM_TIMER, 13), 1);
    EXPECT_EQ(Passes(WM_TIMER, 13), 0);
    gViewer.redraw = 1;
    EXPECT_EQ(Passes(WM_PAINT), 1);  // an always-message still runs only once
    EXPECT_EQ(gViewer.redraw, 0);
}

TEST_F(ShellTest, PassSizesTheFrameToTheClientWithItsParity)
{
    HeadlessSetClient(30, 101, 320, 7);
    HeadlessSend(WM_SIZE, 0, 0);
    EXPECT_EQ(gViewer.clientRect.right, 320);
    EXPECT_EQ(gViewer.clientRect.bottom, 7);
    EXPECT_EQ(gViewer.frame.stride, 320);
    EXPECT_EQ(gViewer.frame.rowPhase, 1);
    EXPECT_EQ(gViewer.frame.pairs, 3);
    HeadlessSetClient(30, 102, 320, 7);
    HeadlessSend(WM_MOVE, 0, 0);
    EXPECT_EQ(gViewer.frame.rowPhase, 0);
    const HeadlessPresent* p = HeadlessLastPresent();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->width, 320);
    EXPECT_EQ(p->height, 7);
}

// The whole start-up on the headless host: titled, maximised, timer 13 every
// 10 ms, a first pass from showing, and 0 when the loop ends.
TEST_F(ShellTest, RunViewerBuildsTheWindowAndReturnsZero)
{
    HeadlessReset();
    HeadlessPost(WM_KEYDOWN, VK_ESCAPE, 0);
    windowDC = nullptr;
    EXPECT_EQ(RunViewer(), 0);
    EXPECT_EQ(std::u16string(HeadlessTitle()), u"Orvale_Viewer");
    EXPECT_EQ(HeadlessShownMaximized(), 1);
    uint32_t period = 0;
    EXPECT_EQ(HeadlessTimer(&period), 13u);
    EXPECT_EQ(period, 10u);
    EXPECT_NE(windowDC, nullptr);
    EXPECT_EQ(HeadlessQuitPosted(nullptr), 1);
}

TEST_F(ShellTest, TeardownFreesFrameAndListing)
{
    HeadlessSend(WM_PAINT, 0, 0);
    ASSERT_NE(gViewer.frame.pixels, nullptr);
    TeardownViewer(&gViewer);
    EXPECT_EQ(gViewer.frame.pixels, nullptr);
    EXPECT_EQ(gViewer.frame.capacity, 0);
    EXPECT_EQ(gViewer.folder.head, nullptr);
    TeardownViewer(&gViewer);  // twice is harmless
}

}  // namespace
