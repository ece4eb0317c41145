// viewer_serial.cpp - the viewer with every decode on the window's thread, as
// before decoding ahead: the latency benchmark runs it beside the real one.
// Everything else is the program's own start.
#include "folder/decode_ahead.h"
#include "platform/platform.h"
#include "render/split.h"

int main()
{
    SetDecodeAhead(false);
    SetSplitThreads(1);
    return OrvaleMain();
}
