// viewer_serial.cpp - the viewer with every decode on the window's thread and
// no helper threads: the latency benchmark runs it beside the real one.
// Everything else is the program's own start.
#include "folder/job_queue.h"
#include "platform/platform.h"
#include "render/split.h"

int main()
{
    SetJobWorkers(0);
    SetSplitThreads(1);
    return OrvaleMain();
}
