// sdl_queue.h - the SDL host's message queue, kept as Windows keeps one:
// nothing but mouse moves is ever dropped, and a newer move replaces a move
// still waiting at the end of the queue. Internal to the SDL host (and its tests).
#pragma once

#include "platform/platform.h"

struct SdlQueue
{
    PlatMessage* items;  // ring of capacity messages, grown on demand
    int capacity;
    int head;            // oldest message
    int count;
};

// Appends a message. A mouse move right behind another replaces it. Returns
// false only when memory runs out and the message could not be kept.
bool SdlPost(SdlQueue* queue, PlatWindow* window, uint32_t message, PlatWParam wParam, PlatLParam lParam);
// Takes the oldest message into msg. Returns false when the queue is empty.
bool SdlPop(SdlQueue* queue, PlatMessage* msg);
// Frees the queue's memory and empties it.
void SdlFreeQueue(SdlQueue* queue);
// Tells whether the pointer at client (x, y) reaches a width x height window as
// WM_MOUSEMOVE: over the client area, or anywhere while the left button is held.
inline bool SdlMoveReachesWindow(int32_t x, int32_t y, int32_t width, int32_t height, bool leftDown)
{
    return leftDown || (x >= 0 && y >= 0 && x < width && y < height);
}
