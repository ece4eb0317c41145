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

// A folder of pictures, one that is not a picture, one that fails and a
// sub-folder; the first pass has listed it: "..", "a.jpg", "album", "b.jps",
// "bad.jpg", "c.jpg".
class ThumbnailTick : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::vector<uint8_t> jpeg = testfs::Fixture("left.JPS");
        ASSERT_TRUE(folder.Write("c.jpg", jpeg) && folder.Write("a.jpg", jpeg) && folder.Write("b.jps", jpeg));
        ASSERT_TRUE(folder.Write("B.jpg", testfs::Fixture("x.jpg")) && folder.Folder("album") &&
                    folder.Write("bad.jpg", testfs::Fixture("truncated_header.jpg")) && folder.Enter());
        HeadlessReset();
        InitViewer(&gViewer);
        windowDC = PlatGetDC(PlatCreateWindow(u"Orvale_Viewer", WindowProc));
        HeadlessSetClient(0, 0, 320, 240);
        HeadlessSend(WM_PAINT, 0, 0);
        for (CFileEntry* e = gViewer.folder.head; e; e = e->next)
            entries.push_back(e);
        ASSERT_TRUE(entries.size() == 6 && gViewer.folder.count == 6 && gViewer.folder.listed == 1);
    }
    void TearDown() override { TeardownViewer(&gViewer), windowDC = nullptr, HeadlessReset(); }
    // Sends a tick of a timer and returns how many passes it ran.
    int Tick(PlatWParam timer)
    {
        int before = HeadlessPresentCount();
        return HeadlessSend(WM_TIMER, timer, 0), HeadlessPresentCount() - before;
    }
    testfs::TempFolder folder;
    std::vector<CFileEntry*> entries;
};

TEST_F(ThumbnailTick, OneThumbnailPerTickInChainOrder)
{
    const size_t files[] = {1, 3, 4, 5};
    for (size_t made = 0; made < 4; made++)
    {
        EXPECT_EQ(Tick(13), 1);
        for (size_t k = 0; k < 4; k++)
            EXPECT_EQ(entries[files[k]]->thumbPending, k <= made ? 0 : 1) << "after tick " << made;
        EXPECT_TRUE(!gViewer.thumbPrimary && !gViewer.thumbSecondary);  // no bitmap outlives its tick
    }
    EXPECT_TRUE(entries[3]->flat == 0 && entries[4]->loadFailed == 1 && entries[1]->loadFailed == 0);
    // Nothing pending: a tick runs no pass unless one is wanted.
    EXPECT_EQ(Tick(13), 0);
    gViewer.redraw = 1;
    EXPECT_EQ(Tick(13), 1);
}

// Other timers make nothing; the walk stops after count entries even when
// the chain goes on.
TEST_F(ThumbnailTick, OtherTimersAndEntriesPastTheCountMakeNothing)
{
    EXPECT_EQ(Tick(12), 0);
    gViewer.folder.count = 1;  // only ".."
    EXPECT_EQ(Tick(13), 0);
    EXPECT_EQ(entries[1]->thumbPending, 1);
    gViewer.folder.count = 6;
}

}  // namespace
