// main.cpp - process entry of Orvale Viewer.
#include "app/shell.h"
#include "viewer/viewer_state.h"

int main()
{
    InitViewer(&gViewer);
    RunViewer();
    TeardownViewer(&gViewer);
    PlatShutdown();
    // Failures are never reported through the exit code.
    return 0;
}
