// viewer_serial.cpp - the viewer with every decode on the window's thread, as
// before decoding ahead: the latency benchmark runs it beside the real one.
#include "app/shell.h"
#include "folder/decode_ahead.h"
#include "folder/folder_list.h"
#include "render/split.h"
#include "viewer/viewer_state.h"

static char16_t gArgument[kFolderPathCapacity];

int main()
{
    SetDecodeAhead(false);
    SetSplitThreads(1);
    InitViewer(&gViewer);
    bool given = PlatGetArgument(1, gArgument, kFolderPathCapacity) >= 0;
    StartFromArgument(&gViewer, given ? gArgument : nullptr);
    RunViewer();
    TeardownViewer(&gViewer);
    PlatShutdown();
    return 0;
}
