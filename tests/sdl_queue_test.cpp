// The SDL host's queue keeps input as Windows does: moves coalesce, nothing
// else is ever dropped.
#include <gtest/gtest.h>

#include <vector>

#include "platform/sdl/sdl_queue.h"

static std::vector<PlatMessage> Drain(SdlQueue* queue)
{
    std::vector<PlatMessage> out;
    for (PlatMessage m; SdlPop(queue, &m);)
        out.push_back(m);
    return out;
}

TEST(SdlQueue, BurstOfMovesKeepsPressReleaseAndTheLatestMove)
{
    SdlQueue queue = {};
    PlatWindow* window = nullptr;
    SdlPost(&queue, window, WM_MOUSEMOVE, 0, PlatMakeLParam(1, 1));
    SdlPost(&queue, window, WM_LBUTTONDOWN, MK_LBUTTON, PlatMakeLParam(5, 5));
    for (int i = 0; i < 1000; i++)
        SdlPost(&queue, window, WM_MOUSEMOVE, MK_LBUTTON, PlatMakeLParam(i, -i));
    SdlPost(&queue, window, WM_LBUTTONUP, 0, PlatMakeLParam(7, 8));
    PlatMessage first;
    ASSERT_TRUE(SdlPop(&queue, &first));
    EXPECT_EQ(first.message, (uint32_t)WM_MOUSEMOVE);  // the move before the press stays
    for (int i = 0; i < 600; i++)  // more wheel turns than the first ring holds, which wraps
        SdlPost(&queue, window, WM_MOUSEWHEEL, (PlatWParam)(120 << 16), i);
    std::vector<PlatMessage> got = Drain(&queue);
    got.insert(got.begin(), first);
    ASSERT_EQ(got.size(), 604u);
    EXPECT_EQ(got[1].message, (uint32_t)WM_LBUTTONDOWN);
    EXPECT_EQ(got[2].message, (uint32_t)WM_MOUSEMOVE);
    EXPECT_EQ(PlatLParamX(got[2].lParam), 999);
    EXPECT_EQ(PlatLParamY(got[2].lParam), -999);
    EXPECT_EQ(got[3].message, (uint32_t)WM_LBUTTONUP);
    for (int i = 0; i < 600; i++)
        ASSERT_EQ(got[4 + i].lParam, i);
    SdlFreeQueue(&queue);
}
