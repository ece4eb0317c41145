// Tests of thumbnail making on the timer: the first pass lists the current
// folder, and each tick of timer 13 makes one thumbnail, in chain order.
#include <gtest/gtest.h>

#include <vector>

#include "app/shell.h"
#include "platform/headless/headless.h"
#include "render/frame.h"
#include "tests/temp_folder.h"
#include "viewer/viewer_state.h"

namespace {

class ThumbnailTick : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::vector<uint8_t> jpeg = testfs::Fixture("left.JPS");
        ASSERT_FALSE(jpeg.empty());
        ASSERT_TRUE(folder.Write("c.jpg", jpeg));
        ASSERT_TRUE(folder.Write("a.jpg", jpeg));
        ASSERT_TRUE(folder.Write("B.jpg", testfs::Fixture("x.jpg")));  // not a picture
        ASSERT_TRUE(folder.Write("b.jps", jpeg));
        ASSERT_TRUE(folder.Write("bad.jpg", testfs::Fixture("truncated_header.jpg")));
        ASSERT_TRUE(folder.Folder("album"));
        ASSERT_TRUE(folder.Enter());
        HeadlessReset();
        InitViewer(&gViewer);
        windowDC = PlatGetDC(PlatCreateWindow(u"Orvale_Viewer", WindowProc));
        HeadlessSetClient(0, 0, 320, 240);
    }
    void TearDown() override
    {
        TeardownViewer(&gViewer);
        windowDC = nullptr;
        HeadlessReset();
    }
    int Passes(uint32_t message, PlatWParam wParam)
    {
        int before = HeadlessPresentCount();
        HeadlessSend(message, wParam, 0);
        return HeadlessPresentCount() - before;
    }
    std::vector<CFileEntry*> Entries()
    {
        std::vector<CFileEntry*> all;
        for (CFileEntry* e = gViewer.folder.head; e; e = e->next)
            all.push_back(e);
        return all;
    }
    testfs::TempFolder folder;
};

TEST_F(ThumbnailTick, OneThumbnailPerTickInChainOrder)
{
    EXPECT_EQ(Passes(WM_PAINT, 0), 1);  // the first pass lists the folder
    ASSERT_EQ(gViewer.folder.listed, 1);
    std::vector<CFileEntry*> all = Entries();
    // "..", "a.jpg", "album", "b.jps", "bad.jpg", "c.jpg"
    ASSERT_EQ(all.size(), 6u);
    ASSERT_EQ(gViewer.folder.count, 6);
    const size_t files[] = {1, 3, 4, 5};
    for (size_t made = 0; made < 4; made++)
    {
        EXPECT_EQ(Passes(WM_TIMER, 13), 1);
        for (size_t k = 0; k < 4; k++)
            EXPECT_EQ(all[files[k]]->thumbPending, k <= made ? 0 : 1) << "after tick " << made;
        EXPECT_EQ(gViewer.thumbPrimary, nullptr);
        EXPECT_EQ(gViewer.thumbSecondary, nullptr);
    }
    EXPECT_EQ(all[3]->flat, 0);
    EXPECT_EQ(all[4]->loadFailed, 1);
    EXPECT_EQ(all[1]->loadFailed, 0);
    // Nothing pending: a tick runs no pass unless one is wanted.
    EXPECT_EQ(Passes(WM_TIMER, 13), 0);
    gViewer.redraw = 1;
    EXPECT_EQ(Passes(WM_TIMER, 13), 1);
}

TEST_F(ThumbnailTick, OtherTimersMakeNothing)
{
    HeadlessSend(WM_PAINT, 0, 0);
    EXPECT_EQ(Passes(WM_TIMER, 12), 0);
    EXPECT_EQ(gViewer.folder.head->next->thumbPending, 1);
}

// The walk stops after count entries even when the chain goes on.
TEST_F(ThumbnailTick, WalkStopsAtTheCount)
{
    HeadlessSend(WM_PAINT, 0, 0);
    gViewer.folder.count = 1;  // only ".."
    EXPECT_EQ(Passes(WM_TIMER, 13), 0);
    EXPECT_EQ(gViewer.folder.head->next->thumbPending, 1);
    gViewer.folder.count = 6;
}

}  // namespace
