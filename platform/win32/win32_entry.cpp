// win32_entry.cpp - the process entry on Windows: the runtime's start-up for a
// windowed program (linked with -municode -mwindows) calls wWinMain with the
// module and the show command from the start-up information, SW_SHOWDEFAULT
// when whoever started us gave none.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/win32_start.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    // The command line is read where it is needed, through PlatGetArgument.
    Win32SetStart(instance, showCommand);
    return OrvaleMain();
}
