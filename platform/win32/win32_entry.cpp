// win32_entry.cpp - the process entry on Windows: the runtime's start-up for a
// windowed program (linked with -municode -mwindows) calls wWinMain with the
// module and the show command from the start-up information, SW_SHOWDEFAULT
// when whoever started us gave none.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <objbase.h>

#include "platform/platform.h"
#include "platform/win32/win32_start.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    // Failures are silent: no "There is no disk in the drive" box for an
    // empty card reader or DVD drive, and none for a file that cannot be
    // opened. The modes whoever started us set stay.
    SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // The shell opens the help and web pages through COM on this, the
    // window's, thread.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    // The command line is read where it is needed, through PlatGetArgument.
    Win32SetStart(instance, showCommand);
    int result = OrvaleMain();
    if (SUCCEEDED(com))
        CoUninitialize();
    return result;
}
