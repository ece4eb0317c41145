// sdl_window.cpp - the window host on SDL2.
//
// One thread, no SDL timers: PlatGetMessage waits for SDL events up to the next
// 10 ms tick and hands out WM_TIMER only when nothing else waits, as Windows
// does. Native events become Windows messages with the Windows packing.
#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/posix_text.h"
#include "platform/sdl/sdl_queue.h"
#if defined(ORVALE_SDL_X11) && defined(SDL_VIDEO_DRIVER_X11)
#include <SDL_syswm.h>

#include "platform/sdl/sdl_x11_errors.h"
#endif

struct PlatWindow
{
    SDL_Window* sdl;
    SDL_Cursor* cursor;
    PlatWindowProc proc;
    bool destroyed;
    uintptr_t timerId;
    uint32_t timerPeriod;  // 0: no timer
    uint64_t nextTick;     // SDL_GetTicks64 time of the next WM_TIMER
};

// The DC is the window itself: presenting needs nothing else.
struct PlatDC
{
    PlatWindow* window;
};

static PlatWindow gWindow;
static PlatDC gDC;
static bool gHaveWindow;
static SdlQueue gQueue;  // posted messages, oldest first
static bool gQuitPosted;
static int gQuitCode;

// Appends a message to the window's queue.
static void PostMessage(uint32_t message, PlatWParam wParam, PlatLParam lParam)
{
    SdlPost(&gQueue, &gWindow, message, wParam, lParam);
}

PlatWindow* PlatCreateWindow(const char16_t* title, PlatWindowProc proc)
{
    if (gHaveWindow)
        return nullptr;
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    // The window surface must be a plain framebuffer: an accelerated one would
    // make SDL destroy and recreate the window at the first present, and would
    // go through a texture where pixels must map 1:1.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
#if defined(ORVALE_SDL_X11) && defined(SDL_VIDEO_DRIVER_X11)
    // A wake-up event that SDL still has on its way when the window goes at
    // exit must not turn a clean exit into status 1. Installed before SDL
    // starts, because SDL puts back the handler it found when it shuts down,
    // just before it closes the connection that sent the event. Without X the
    // handler is never called.
    SdlInstallX11ErrorHandler();
#endif
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return nullptr;
    char* utf8 = PosixToBytes(title, nullptr);
    SDL_Window* sdl = SDL_CreateWindow(utf8 ? utf8 : "", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                       800, 600, SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    free(utf8);
    if (!sdl)
        return nullptr;
    gWindow.sdl = sdl;
    gWindow.proc = proc;
    gWindow.cursor = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_HAND);
    if (gWindow.cursor)
        SDL_SetCursor(gWindow.cursor);
    gDC.window = &gWindow;
    gHaveWindow = true;
    return &gWindow;
}

void PlatShowMaximized(PlatWindow* window)
{
    // Maximise while still hidden: the state then travels with the window when
    // it is mapped, instead of racing the window manager's taking it over.
    SDL_MaximizeWindow(window->sdl);
    SDL_ShowWindow(window->sdl);
    // Showing a window on Windows sizes, moves and paints it.
    PostMessage(WM_SIZE, 0, 0);
    PostMessage(WM_MOVE, 0, 0);
    PostMessage(WM_PAINT, 0, 0);
}

PlatDC* PlatGetDC(PlatWindow* window)
{
    return window == &gWindow ? &gDC : nullptr;
}

void PlatSetTimer(PlatWindow* window, uintptr_t id, uint32_t periodMs)
{
    window->timerId = id;
    window->timerPeriod = periodMs ? periodMs : 1;
    window->nextTick = SDL_GetTicks64() + window->timerPeriod;
}

// Packs the pointer position of a client-area mouse event.
static PlatLParam ClientLParam(int32_t x, int32_t y)
{
    return PlatMakeLParam(x, y);
}

// Returns the MK_ key state for the current buttons.
static PlatWParam KeyState(uint32_t buttons)
{
    return (buttons & SDL_BUTTON_LMASK) ? MK_LBUTTON : 0;
}

// Maps an SDL key to a Windows virtual-key code (only Esc matters to the
// viewer; letters, digits and a few others are given for completeness).
static PlatWParam VirtualKey(SDL_Keycode key)
{
    if (key == SDLK_ESCAPE)
        return VK_ESCAPE;
    if (key >= SDLK_a && key <= SDLK_z)
        return (PlatWParam)('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9)
        return (PlatWParam)key;
    switch (key)
    {
    case SDLK_RETURN: return 0x0D;
    case SDLK_SPACE: return 0x20;
    case SDLK_BACKSPACE: return 0x08;
    case SDLK_TAB: return 0x09;
    case SDLK_LEFT: return 0x25;
    case SDLK_UP: return 0x26;
    case SDLK_RIGHT: return 0x27;
    case SDLK_DOWN: return 0x28;
    default: return 0;
    }
}

// Reads where the pointer is now in client coordinates. Under X the server is
// asked about the window itself: SDL's idea of the window's place lags behind
// a move still in flight.
static void PointerNow(int* x, int* y)
{
#if defined(ORVALE_SDL_X11) && defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(gWindow.sdl, &info) && info.subsystem == SDL_SYSWM_X11)
    {
        Window root, child;
        int rootX, rootY;
        unsigned int mask;
        if (XQueryPointer(info.info.x11.display, info.info.x11.window, &root, &child, &rootX, &rootY, x, y, &mask))
            return;
    }
#endif
    int gx = 0, gy = 0, wx = 0, wy = 0;
    SDL_GetGlobalMouseState(&gx, &gy);
    SDL_GetWindowPosition(gWindow.sdl, &wx, &wy);
    *x = gx - wx;
    *y = gy - wy;
}

// Posts a mouse move for client (x, y) when Windows would send one: over the
// client area, or anywhere with the button held.
static void PostMouseMove(int32_t x, int32_t y, uint32_t buttons)
{
    int w = 0, h = 0;
    SDL_GetWindowSize(gWindow.sdl, &w, &h);
    if (!(buttons & SDL_BUTTON_LMASK) && (x <= 0 || y <= 0 || x >= w - 1 || y >= h - 1))
    {
        // SDL holds a position outside a window it has not captured on the
        // window's edge (the pointer leaving, or the window moving away).
        PointerNow(&x, &y);
    }
    if (SdlMoveReachesWindow(x, y, w, h, (buttons & SDL_BUTTON_LMASK) != 0))
        PostMessage(WM_MOUSEMOVE, KeyState(buttons), ClientLParam(x, y));
}

// Posts the pointer's new client position after the window moved, changed
// size or appeared under it, when it lies over the client area.
static void PostPointerOverWindow()
{
    int x = 0, y = 0, w = 0, h = 0;
    PointerNow(&x, &y);
    SDL_GetWindowSize(gWindow.sdl, &w, &h);
    if (SdlMoveReachesWindow(x, y, w, h, false))
        PostMessage(WM_MOUSEMOVE, KeyState(SDL_GetMouseState(nullptr, nullptr)), ClientLParam(x, y));
}

// Turns one SDL event into zero or more queued window messages.
static void TranslateEvent(const SDL_Event* e)
{
    if (gWindow.destroyed)
        return;
    switch (e->type)
    {
    case SDL_QUIT:
        PostMessage(WM_CLOSE, 0, 0);
        break;
    case SDL_WINDOWEVENT:
        switch (e->window.event)
        {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            PostMessage(WM_SIZE, 0, PlatMakeLParam(e->window.data1, e->window.data2));
            PostPointerOverWindow();
            break;
        case SDL_WINDOWEVENT_MOVED:
            PostMessage(WM_MOVE, 0, PlatMakeLParam(e->window.data1, e->window.data2));
            PostPointerOverWindow();
            break;
        case SDL_WINDOWEVENT_SHOWN:
            PostMessage(WM_PAINT, 0, 0);
            PostPointerOverWindow();
            break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED:
            PostMessage(WM_PAINT, 0, 0);
            break;
        case SDL_WINDOWEVENT_CLOSE:
            PostMessage(WM_CLOSE, 0, 0);
            break;
        default:
            break;
        }
        break;
    case SDL_KEYDOWN:
        PostMessage(WM_KEYDOWN, VirtualKey(e->key.keysym.sym), 1);
        break;
    case SDL_MOUSEMOTION:
        PostMouseMove(e->motion.x, e->motion.y, e->motion.state);
        break;
    case SDL_MOUSEBUTTONDOWN:
        if (e->button.button == SDL_BUTTON_LEFT)
            PostMessage(WM_LBUTTONDOWN, MK_LBUTTON, ClientLParam(e->button.x, e->button.y));
        break;
    case SDL_MOUSEBUTTONUP:
        if (e->button.button == SDL_BUTTON_LEFT)
            PostMessage(WM_LBUTTONUP, 0, ClientLParam(e->button.x, e->button.y));
        break;
    case SDL_MOUSEWHEEL: {
        // 120 per notch; the precise value keeps fractional notches of smooth
        // wheels and touchpads.
        float notches = e->wheel.preciseY;
        if (e->wheel.direction == SDL_MOUSEWHEEL_FLIPPED)
            notches = -notches;
        float scaled = notches * (float)WHEEL_DELTA;
        if (scaled > 32767.0f)
            scaled = 32767.0f;
        if (scaled < -32768.0f)
            scaled = -32768.0f;
        int32_t delta = (int32_t)scaled;
        if (delta == 0)
            break;
        int wx, wy, mx, my;
        SDL_GetWindowPosition(gWindow.sdl, &wx, &wy);
        uint32_t buttons = SDL_GetMouseState(&mx, &my);
        PlatWParam wParam = (PlatWParam)(((uint32_t)(uint16_t)delta << 16) | (uint32_t)KeyState(buttons));
        PostMessage(WM_MOUSEWHEEL, wParam, PlatMakeLParam(wx + mx, wy + my));
        break;
    }
    default:
        break;
    }
}

int PlatGetMessage(PlatMessage* msg)
{
    if (!gHaveWindow)
        return -1;
    for (;;)
    {
        SDL_Event e;
        while (SDL_PollEvent(&e))
            TranslateEvent(&e);
        if (SdlPop(&gQueue, msg))
            return 1;
        if (gQuitPosted)
        {
            msg->window = nullptr;
            msg->message = WM_QUIT;
            msg->wParam = (PlatWParam)gQuitCode;
            msg->lParam = 0;
            return 0;
        }
        uint64_t now = SDL_GetTicks64();
        if (gWindow.timerPeriod && !gWindow.destroyed && now >= gWindow.nextTick)
        {
            // Ticks that fell due while we were busy collapse into one.
            gWindow.nextTick = now + gWindow.timerPeriod;
            msg->window = &gWindow;
            msg->message = WM_TIMER;
            msg->wParam = gWindow.timerId;
            msg->lParam = 0;
            return 1;
        }
        int wait = gWindow.timerPeriod && !gWindow.destroyed ? (int)(gWindow.nextTick - now) : 100;
        if (SDL_WaitEventTimeout(&e, wait))
            TranslateEvent(&e);
    }
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
    if (message == WM_CLOSE && window && !window->destroyed)
    {
        // Closing destroys the window; the viewer hears of it as WM_DESTROY.
        window->destroyed = true;
        SDL_HideWindow(window->sdl);
        if (window->proc)
            window->proc(window, WM_DESTROY, 0, 0);
    }
    return 0;
}

void PlatPostQuitMessage(int exitCode)
{
    gQuitPosted = true;
    gQuitCode = exitCode;
}

void PlatGetClientRect(PlatWindow* window, PlatRect* rect)
{
    int w = 0, h = 0;
    if (!window->destroyed)
        SDL_GetWindowSize(window->sdl, &w, &h);
    rect->left = 0;
    rect->top = 0;
    rect->right = w;
    rect->bottom = h;
}

void PlatClientToScreen(PlatWindow* window, PlatPoint* point)
{
    int x = 0, y = 0;
    SDL_GetWindowPosition(window->sdl, &x, &y);
    point->x += x;
    point->y += y;
}

void PlatScreenToClient(PlatWindow* window, PlatPoint* point)
{
    int x = 0, y = 0;
    SDL_GetWindowPosition(window->sdl, &x, &y);
    point->x -= x;
    point->y -= y;
}

void PlatPresent(PlatDC* dc, int32_t width, int32_t height, const uint32_t* bits)
{
    PlatWindow* window = dc ? dc->window : nullptr;
    if (!window || window->destroyed || width <= 0 || height <= 0 || !bits)
        return;
    SDL_Surface* surface = SDL_GetWindowSurface(window->sdl);
    if (!surface)
        return;
    // The window may have been resized since the frame was sized: copy what
    // both have, pixel for pixel.
    int w = width < surface->w ? width : surface->w;
    int h = height < surface->h ? height : surface->h;
    bool direct = surface->format->BytesPerPixel == 4 && surface->format->Rmask == 0x00FF0000 &&
                  surface->format->Gmask == 0x0000FF00 && surface->format->Bmask == 0x000000FF;
    if (SDL_MUSTLOCK(surface))
        SDL_LockSurface(surface);
    for (int y = 0; y < h; y++)
    {
        // Client row y is the frame's row height - 1 - y: the frame is bottom-up.
        const uint32_t* src = bits + (size_t)(height - 1 - y) * (size_t)width;
        uint8_t* dst = (uint8_t*)surface->pixels + (size_t)y * (size_t)surface->pitch;
        if (direct)
            memcpy(dst, src, (size_t)w * 4);
        else
            SDL_ConvertPixels(w, 1, SDL_PIXELFORMAT_XRGB8888, src, width * 4, surface->format->format, dst,
                              surface->pitch);
    }
    if (SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
    SDL_UpdateWindowSurface(window->sdl);
}

void PlatShutdown()
{
    if (!gHaveWindow)
        return;
    if (gWindow.cursor)
        SDL_FreeCursor(gWindow.cursor);
    SDL_DestroyWindow(gWindow.sdl);
    SDL_Quit();
    SdlFreeQueue(&gQueue);
    gHaveWindow = false;
}
