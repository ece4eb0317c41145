// headless_window.cpp - the scripted window host: no display, everything recorded.
#include "platform/headless/headless.h"

#include <cstdlib>
#include <cstring>

struct PlatWindow
{
    PlatWindowProc proc;
    const char16_t* title;
    int32_t screenX, screenY, width, height;
    int shownMaximized;
    uintptr_t timerId;
    uint32_t timerPeriod;
    int destroyed;
};

struct PlatDC
{
    PlatWindow* window;
};

enum
{
    kQueueCapacity = 1024,
    kCountedMessages = 0x400,
};

static PlatWindow gWindow;
static PlatDC gDC;
static int gHaveWindow;
static PlatMessage gQueue[kQueueCapacity];
static int gQueueHead, gQueueCount;
static int gQuitPosted, gQuitCode;
static int gPresentCount;
static HeadlessPresent gLast;
static int gDefProcCounts[kCountedMessages];

void HeadlessReset()
{
    free(gLast.bits);
    memset(&gLast, 0, sizeof gLast);
    memset(&gWindow, 0, sizeof gWindow);
    gHaveWindow = 0;
    gQueueHead = gQueueCount = 0;
    gQuitPosted = gQuitCode = 0;
    gPresentCount = 0;
    memset(gDefProcCounts, 0, sizeof gDefProcCounts);
}

PlatWindow* HeadlessWindow() { return gHaveWindow ? &gWindow : nullptr; }

void HeadlessSetClient(int32_t screenX, int32_t screenY, int32_t width, int32_t height)
{
    gWindow.screenX = screenX;
    gWindow.screenY = screenY;
    gWindow.width = width;
    gWindow.height = height;
}

void HeadlessPost(uint32_t message, PlatWParam wParam, PlatLParam lParam)
{
    if (gQueueCount == kQueueCapacity)
        abort();  // a test that posts this much is broken
    PlatMessage* m = &gQueue[(gQueueHead + gQueueCount) % kQueueCapacity];
    m->window = &gWindow;
    m->message = message;
    m->wParam = wParam;
    m->lParam = lParam;
    gQueueCount++;
}

PlatResult HeadlessSend(uint32_t message, PlatWParam wParam, PlatLParam lParam)
{
    if (!gWindow.proc)
        return 0;
    return gWindow.proc(&gWindow, message, wParam, lParam);
}

int HeadlessPresentCount() { return gPresentCount; }

const HeadlessPresent* HeadlessLastPresent() { return gPresentCount ? &gLast : nullptr; }

int HeadlessDefProcCount(uint32_t message)
{
    return message < kCountedMessages ? gDefProcCounts[message] : 0;
}

int HeadlessQuitPosted(int* exitCode)
{
    if (exitCode)
        *exitCode = gQuitCode;
    return gQuitPosted;
}

int HeadlessShownMaximized() { return gWindow.shownMaximized; }

uintptr_t HeadlessTimer(uint32_t* periodMs)
{
    if (periodMs)
        *periodMs = gWindow.timerPeriod;
    return gWindow.timerId;
}

const char16_t* HeadlessTitle() { return gWindow.title; }

PlatWindow* PlatCreateWindow(const char16_t* title, PlatWindowProc proc)
{
    gWindow.proc = proc;
    gWindow.title = title;
    gDC.window = &gWindow;
    gHaveWindow = 1;
    return &gWindow;
}

void PlatShowMaximized(PlatWindow* window)
{
    window->shownMaximized = 1;
    HeadlessPost(WM_SIZE, 0, 0);
    HeadlessPost(WM_MOVE, 0, 0);
    HeadlessPost(WM_PAINT, 0, 0);
}

PlatDC* PlatGetDC(PlatWindow* window) { return window == &gWindow ? &gDC : nullptr; }

void PlatSetTimer(PlatWindow* window, uintptr_t id, uint32_t periodMs)
{
    window->timerId = id;
    window->timerPeriod = periodMs;
}

int PlatGetMessage(PlatMessage* msg)
{
    if (gQueueCount > 0)
    {
        *msg = gQueue[gQueueHead];
        gQueueHead = (gQueueHead + 1) % kQueueCapacity;
        gQueueCount--;
        return 1;
    }
    if (gQuitPosted)
    {
        msg->window = nullptr;
        msg->message = WM_QUIT;
        msg->wParam = (PlatWParam)gQuitCode;
        msg->lParam = 0;
        return 0;
    }
    return -1;  // the script has run out
}

PlatResult PlatDispatchMessage(const PlatMessage* msg)
{
    if (!msg->window || !msg->window->proc)
        return 0;
    return msg->window->proc(msg->window, msg->message, msg->wParam, msg->lParam);
}

PlatResult PlatDefWindowProc(PlatWindow* window, uint32_t message, PlatWParam wParam, PlatLParam lParam)
{
    (void)wParam;
    (void)lParam;
    if (message < kCountedMessages)
        gDefProcCounts[message]++;
    if (message == WM_CLOSE && window && !window->destroyed)
    {
        window->destroyed = 1;
        if (window->proc)
            window->proc(window, WM_DESTROY, 0, 0);
    }
    return 0;
}

void PlatPostQuitMessage(int exitCode)
{
    gQuitPosted = 1;
    gQuitCode = exitCode;
}

void PlatGetClientRect(PlatWindow* window, PlatRect* rect)
{
    rect->left = 0;
    rect->top = 0;
    rect->right = window->width;
    rect->bottom = window->height;
}

void PlatClientToScreen(PlatWindow* window, PlatPoint* point)
{
    point->x += window->screenX;
    point->y += window->screenY;
}

void PlatScreenToClient(PlatWindow* window, PlatPoint* point)
{
    point->x -= window->screenX;
    point->y -= window->screenY;
}

void PlatPresent(PlatDC* dc, int32_t width, int32_t height, const uint32_t* bits)
{
    if (!dc || width <= 0 || height <= 0 || !bits)
        return;
    size_t n = (size_t)width * (size_t)height;
    uint32_t* copy = (uint32_t*)realloc(gLast.bits, n * sizeof(uint32_t));
    if (!copy)
        abort();
    memcpy(copy, bits, n * sizeof(uint32_t));
    gLast.bits = copy;
    gLast.width = width;
    gLast.height = height;
    gPresentCount++;
}

void PlatShutdown() {}
