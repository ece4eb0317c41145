// frame.cpp - sizing, clearing and presenting the interleaved frame.
#include "render/frame.h"

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "render/split.h"

PlatDC* windowDC = nullptr;

// Clearing a frame of this many bytes or more is shared among the cores: a
// large frame clears faster from several of them.
static const size_t kSplitClearBytes = 4 << 20;
static const int32_t kClearParts = 8;

struct ClearWork
{
    uint8_t* bytes;
    size_t size;
};

// Clears the part-th eighth of the buffer.
static void ClearPart(void* context, int32_t part, int32_t)
{
    const ClearWork* w = (const ClearWork*)context;
    size_t from = w->size * (size_t)part / kClearParts, to = w->size * (size_t)(part + 1) / kClearParts;
    memset(w->bytes + from, 0, to - from);
}

// Sets every allocated pixel to black.
static void ClearPixels(CStereoFrame* frame)
{
    ClearWork work = {(uint8_t*)frame->pixels, (size_t)frame->capacity * sizeof(uint32_t)};
    if (work.size < kSplitClearBytes)
        memset(work.bytes, 0, work.size);
    else
        RunParts(kClearParts, ClearPart, &work);
}

void Resize(CStereoFrame* frame, int32_t screenTop, int32_t clientWidth, int32_t clientHeight)
{
    if (clientWidth < 0)
        clientWidth = 0;
    if (clientHeight < 0)
        clientHeight = 0;

    // Same parity of screen top and height: the bottom client row is odd on the
    // screen, so the picture starts at buffer row 0 and pair 0's view 0 row
    // (buffer row 1) falls on an even screen row. XOR compares the low bits and
    // is right for negative tops too (-3 is odd).
    uint8_t rowPhase = ((screenTop ^ clientHeight) & 1) == 0 ? 1 : 0;

    int64_t need = ((int64_t)clientHeight + 1) * clientWidth;
    if (need > frame->capacity)
    {
        uint32_t* grown = nullptr;
        if (need <= INT32_MAX)
            grown = (uint32_t*)malloc((size_t)need * sizeof(uint32_t));
        if (!grown)
        {
            // A buffer that cannot be had leaves an empty frame: nothing draws
            // into it and nothing is presented, and the next pass tries again.
            frame->rowPhase = rowPhase;
            frame->width = frame->height = frame->stride = 0;
            frame->pairs = 0;
            if (frame->pixels)
                memset(frame->pixels, 0, (size_t)frame->capacity * sizeof(uint32_t));
            return;
        }
        free(frame->pixels);
        frame->pixels = grown;
        frame->capacity = (int32_t)need;
    }

    frame->rowPhase = rowPhase;
    frame->width = clientWidth;
    frame->height = clientHeight;
    frame->stride = clientWidth;
    // Floor division: a client area without rows gives 0, or -1 with phase 1.
    int32_t usable = clientHeight - rowPhase;
    frame->pairs = usable >= 0 ? usable / 2 : -1;
    if (frame->pixels)
        ClearPixels(frame);
}

void Present(CStereoFrame* frame)
{
    // A pass that runs before the window has its DC draws but shows nothing.
    if (!windowDC || !frame->pixels || frame->width <= 0 || frame->height <= 0)
        return;
    const uint32_t* bits = frame->rowPhase ? frame->pixels : frame->pixels + frame->stride;
    PlatPresent(windowDC, frame->width, frame->height, bits);
}

void Release(CStereoFrame* frame)
{
    if (frame->capacity != 0 && frame->pixels)
        free(frame->pixels);
    memset(frame, 0, sizeof *frame);
}
