// sdl_queue.cpp - the SDL host's message queue (see sdl_queue.h).
#include "platform/sdl/sdl_queue.h"

#include <cstdlib>

enum
{
    kFirstCapacity = 256,
};

// Doubles the ring (the first time: makes it). Returns false without memory.
static bool Grow(SdlQueue* queue)
{
    int capacity = queue->capacity ? queue->capacity * 2 : kFirstCapacity;
    PlatMessage* items = (PlatMessage*)malloc((size_t)capacity * sizeof(PlatMessage));
    if (!items)
        return false;
    for (int i = 0; i < queue->count; i++)
        items[i] = queue->items[(queue->head + i) % queue->capacity];
    free(queue->items);
    queue->items = items;
    queue->capacity = capacity;
    queue->head = 0;
    return true;
}

bool SdlPost(SdlQueue* queue, PlatWindow* window, uint32_t message, PlatWParam wParam, PlatLParam lParam)
{
    PlatMessage* last =
        queue->count ? &queue->items[(queue->head + queue->count - 1) % queue->capacity] : nullptr;
    if (message == WM_MOUSEMOVE && last && last->message == WM_MOUSEMOVE && last->window == window)
    {
        last->wParam = wParam;
        last->lParam = lParam;
        return true;
    }
    if (queue->count == queue->capacity && !Grow(queue))
        return false;
    PlatMessage* m = &queue->items[(queue->head + queue->count) % queue->capacity];
    *m = {window, message, wParam, lParam};
    queue->count++;
    return true;
}

bool SdlPop(SdlQueue* queue, PlatMessage* msg)
{
    if (queue->count == 0)
        return false;
    *msg = queue->items[queue->head];
    queue->head = (queue->head + 1) % queue->capacity;
    queue->count--;
    return true;
}

void SdlFreeQueue(SdlQueue* queue)
{
    free(queue->items);
    *queue = {};
}
