// win32_start.h - what the Windows entry hands the window host: the module and
// the show command the program was started with. Internal to the Windows
// backend; the show rule is plain arithmetic so that any build can test it.
#pragma once

// Remembers the program's module (an HINSTANCE) and its start-up show command
// for the window that PlatCreateWindow and PlatShowMaximized make.
void Win32SetStart(void* instance, int showCommand);

// Returns the show command the window opens with: the start-up command OR
// SW_SHOWMAXIMIZED (3), so the usual 0 to 3 all give 3 and a shortcut set to
// start minimised (SW_SHOWMINNOACTIVE 7) stays minimised. SW_SHOWNA (8),
// SW_RESTORE (9) and SW_SHOWDEFAULT (10), what a shell or Explorer often
// passes, would give 11, SW_FORCEMINIMIZE, and leave the window out of sight:
// those start maximised.
inline int Win32StartShowCommand(int showCommand)
{
    const int kShowMaximized = 3, kForceMinimize = 11;
    int combined = showCommand | kShowMaximized;
    return combined == kForceMinimize ? kShowMaximized : combined;
}
