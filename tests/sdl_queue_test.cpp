// The SDL host's queue keeps input as Windows does: moves coalesce, nothing
// else is ever dropped.
#include <gtest/gtest.h>

#include <vector>

#include "platform/sdl/sdl_queue.h"

TEST(SdlQueue, BurstOfMovesKeepsPressReleaseAndTheLatestMove)
{
    SdlQueue queue = {};
    SdlPost(&queue, nullptr, WM_MOUSEMOVE, 0, PlatMakeLParam(1, 1));
    SdlPost(&queue, nullptr, WM_LBUTTONDOWN, MK_LBUTTON, PlatMakeLParam(5, 5));
    for (int i = 0; i < 1000; i++)  // a release after them is no move to coalesce with
        SdlPost(&queue, nullptr, WM_MOUSEMOVE, MK_LBUTTON, PlatMakeLParam(i, -i));
    SdlPost(&queue, nullptr, WM_LBUTTONUP, 0, PlatMakeLParam(7, 8));
    std::vector<PlatMessage> got(1);
    ASSERT_TRUE(SdlPop(&queue, &got[0]));  // the ring's head moves on: the growth below must unwrap it
    for (int i = 0; i < 600; i++)  // more wheel turns than the first ring holds
        SdlPost(&queue, nullptr, WM_MOUSEWHEEL, (PlatWParam)(120 << 16), i);
    for (PlatMessage m; SdlPop(&queue, &m);)
        got.push_back(m);
    ASSERT_EQ(got.size(), 604u);
    using Message = std::pair<uint32_t, PlatLParam>;
    const Message start[] = {{WM_MOUSEMOVE, PlatMakeLParam(1, 1)},
        {WM_LBUTTONDOWN, PlatMakeLParam(5, 5)}, {WM_MOUSEMOVE, PlatMakeLParam(999, -999)},
        {WM_LBUTTONUP, PlatMakeLParam(7, 8)}};
    for (size_t i = 0; i < got.size(); i++)
        ASSERT_EQ(std::pair(got[i].message, got[i].lParam),
                  i < 4 ? start[i] : Message(WM_MOUSEWHEEL, (PlatLParam)(i - 4))) << i;
    SdlFreeQueue(&queue);
}
