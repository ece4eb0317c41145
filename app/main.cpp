// main.cpp - the program's start, shared by every system: each system's entry
// point (platform/posix/posix_entry.cpp, platform/win32/win32_entry.cpp) calls
// OrvaleMain.
#include "app/shell.h"
#include "folder/folder_list.h"
#include "folder/image_load.h"
#include "folder/job_queue.h"
#include "viewer/viewer_state.h"

enum
{
    // Longest wait at exit for a worker's decode: a stream of 300 megapixels
    // on a busy machine.
    kQuitWaitMs = 10000,
};

// The first argument: a folder or picture a file manager hands over.
static char16_t gArgument[kFolderPathCapacity];

int OrvaleMain()
{
    StartImageLibrary();
    UseThumbCache(nullptr, kThumbCacheCapBytes);
    InitViewer(&gViewer);
    // Only the first argument counts; the rest are ignored.
    bool given = PlatGetArgument(1, gArgument, kFolderPathCapacity) >= 0;
    StartFromArgument(&gViewer, given ? gArgument : nullptr);
    RunViewer();
    TeardownViewer(&gViewer);
    PlatShutdown();
    // Only now that the window is gone are workers still decoding waited for,
    // and not for long; one left inside the image library keeps it.
    if (StopJobQueue(kQuitWaitMs))
        StopImageLibrary();
    // Failures are never reported through the exit code.
    return 0;
}
