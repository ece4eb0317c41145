// win32_window.cpp - the window host on Windows, straight onto the API.
//
// One window of class "CMyWnd" with a private DC, the hand cursor and no
// background brush (every pixel comes from the frame), a message timer and
// the system's own message loop. The viewer's window procedure gets every
// message unchanged; only the types of its arguments are ours.
//
// A left-button press captures the pointer until its release, as the X
// server's implicit grab does on Linux: a drag of the grid, the scroll bar or
// the picture goes on outside the window, and its release always arrives,
// wherever it happens. When another window takes the capture away first
// (WM_CAPTURECHANGED: a dialog, a switch of task), the viewer gets the release
// of the press at once, at a position no press can have, so every drag ends
// and nothing counts as a click; the button's own release, when it comes
// later, ends no press of ours and goes to the system only, as a release
// over the window after a press elsewhere does.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/win32_start.h"

static_assert(sizeof(PlatWParam) == sizeof(WPARAM) && sizeof(PlatLParam) == sizeof(LPARAM) &&
                  sizeof(PlatResult) == sizeof(LRESULT),
              "messages pass through unchanged");

static HINSTANCE gInstance;
static int gShowCommand = SW_SHOWDEFAULT;  // what a program gets when nobody says otherwise
static PlatWindowProc gProc;
static MSG gLastMessage;                   // the message PlatGetMessage handed out last
static bool gPressCaptured;                // a left-button press of ours holds the capture
static HWND gWindow;                       // the program's one window

void Win32SetStart(void* instance, int showCommand)
{
    gInstance = (HINSTANCE)instance;
    gShowCommand = showCommand;
}

static HWND Handle(PlatWindow* window) { return (HWND)window; }

// Returns where the release of a press lost to another window is reported:
// left of and above the client area by the most a message can say, where no
// press can be, so the click rule never sees a click there.
static LPARAM NoPressPosition() { return (LPARAM)PlatMakeLParam(-32768, -32768); }

// Hands every message, from the loop or sent by the system, to the viewer,
// holding the pointer from each press to its release.
static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!gProc)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message)
    {
    case WM_LBUTTONDOWN:
        SetCapture(window);
        gPressCaptured = true;
        break;
    case WM_LBUTTONUP:
        if (!gPressCaptured)
            return DefWindowProcW(window, message, wParam, lParam);
        // Cleared first: releasing the capture sends WM_CAPTURECHANGED at once.
        gPressCaptured = false;
        ReleaseCapture();
        break;
    case WM_CAPTURECHANGED:
        if (gPressCaptured && (HWND)lParam != window)
        {
            gPressCaptured = false;
            gProc((PlatWindow*)window, WM_LBUTTONUP, 0, NoPressPosition());
        }
        break;
    default:
        break;
    }
    return gProc((PlatWindow*)window, message, wParam, lParam);
}

PlatWindow* PlatCreateWindow(const char16_t* title, PlatWindowProc proc)
{
    if (!gInstance)
        gInstance = GetModuleHandleW(nullptr);  // a test program has no wWinMain
    gProc = proc;
    WNDCLASSW wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;  // 0x23
    wc.lpfnWndProc = WindowProcedure;
    wc.hInstance = gInstance;
    wc.hIcon = LoadIconW(gInstance, L"IDI_ICON1");
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32649));  // IDC_HAND
    wc.lpszClassName = L"CMyWnd";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, L"CMyWnd", (const wchar_t*)title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, gInstance, nullptr);
    gWindow = window;
    return (PlatWindow*)window;
}

void PlatShowMaximized(PlatWindow* window)
{
    ShowWindow(Handle(window), Win32StartShowCommand(gShowCommand));
}

PlatDC* PlatGetDC(PlatWindow* window) { return (PlatDC*)GetDC(Handle(window)); }

void PlatSetTimer(PlatWindow* window, uintptr_t id, uint32_t periodMs)
{
    SetTimer(Handle(window), id, periodMs, nullptr);
}

int PlatGetMessage(PlatMessage* msg)
{
    BOOL result = GetMessageW(&gLastMessage, nullptr, 0, 0);
    msg->window = (PlatWindow*)gLastMessage.hwnd;
    msg->message = gLastMessage.message;
    msg->wParam = gLastMessage.wParam;
    msg->lParam = gLastMessage.lParam;
    return result > 0 ? 1 : result;
}

PlatResult PlatDispatchMessage(const PlatMessage* msg)
{
    // The system's record keeps the time and pointer position of the message.
    MSG m = gLastMessage;
    m.hwnd = Handle(msg->window);
    m.message = msg->message;
    m.wParam = msg->wParam;
    m.lParam = msg->lParam;
    TranslateMessage(&m);
    return DispatchMessageW(&m);
}

PlatResult PlatDefWindowProc(PlatWindow* window, uint32_t message, PlatWParam wParam, PlatLParam lParam)
{
    return DefWindowProcW(Handle(window), message, wParam, lParam);
}

void PlatPostQuitMessage(int exitCode) { PostQuitMessage(exitCode); }

void PlatGetClientRect(PlatWindow* window, PlatRect* rect)
{
    RECT r = {};
    GetClientRect(Handle(window), &r);
    *rect = {r.left, r.top, r.right, r.bottom};
}

void PlatClientToScreen(PlatWindow* window, PlatPoint* point)
{
    POINT p = {point->x, point->y};
    ClientToScreen(Handle(window), &p);
    *point = {p.x, p.y};
}

void PlatScreenToClient(PlatWindow* window, PlatPoint* point)
{
    POINT p = {point->x, point->y};
    ScreenToClient(Handle(window), &p);
    *point = {p.x, p.y};
}

void PlatPresent(PlatDC* dc, int32_t width, int32_t height, const uint32_t* bits)
{
    // A pass during window creation, before the DC is taken, shows nothing.
    if (!dc)
        return;
    BITMAPINFO info = {};
    BITMAPINFOHEADER* h = &info.bmiHeader;
    h->biSize = sizeof(BITMAPINFOHEADER);
    h->biWidth = width;
    h->biHeight = height;  // positive: the first row is the bottom one
    h->biPlanes = 1;
    h->biBitCount = 32;
    h->biCompression = BI_RGB;
    h->biSizeImage = (DWORD)width * (DWORD)height * 4;
    h->biXPelsPerMeter = 1;
    h->biYPelsPerMeter = 1;
    h->biClrUsed = 1;
    h->biClrImportant = 1;
    SetDIBitsToDevice((HDC)dc, 0, 0, (DWORD)width, (DWORD)height, 0, 0, 0, (UINT)height, bits, &info,
                      DIB_RGB_COLORS);
}

void PlatShutdown()
{
    // The window goes before the program waits for anything at exit; the
    // viewer, torn down by now, hears nothing more of it.
    gProc = nullptr;
    if (gWindow && IsWindow(gWindow))
        DestroyWindow(gWindow);
    gWindow = nullptr;
}
