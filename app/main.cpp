// main.cpp - process entry of Orvale Viewer.
#include "app/shell.h"
#include "folder/folder_list.h"
#include "viewer/viewer_state.h"

// The first argument: a folder or picture a file manager hands over.
static char16_t gArgument[kFolderPathCapacity];

int main()
{
    InitViewer(&gViewer);
    // Only the first argument counts; the rest are ignored.
    bool given = PlatGetArgument(1, gArgument, kFolderPathCapacity) >= 0;
    StartFromArgument(&gViewer, given ? gArgument : nullptr);
    RunViewer();
    TeardownViewer(&gViewer);
    PlatShutdown();
    // Failures are never reported through the exit code.
    return 0;
}
