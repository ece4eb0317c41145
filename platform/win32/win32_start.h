// win32_start.h - what the Windows entry hands the window host: the module and
// the show command the program was started with. Internal to the Windows
// backend; the show rule is plain arithmetic so that any build can test it.
#pragma once

// Remembers the program's module (an HINSTANCE) and its start-up show command
// for the window that PlatCreateWindow and PlatShowMaximized make.
void Win32SetStart(void* instance, int showCommand);

// Returns the show command the window opens with: the start-up command OR
// SW_SHOWMAXIMIZED (3), so the usual 0 to 3 all give 3 and a start asked to be
// minimised (SW_MINIMIZE 6, SW_SHOWMINNOACTIVE 7 from a shortcut set to
// "Minimized", SW_FORCEMINIMIZE 11) stays minimised. Any other start that the
// OR would turn into a minimised window (SW_SHOWNOACTIVATE 4 and SW_SHOW 5
// give 7; SW_SHOWNA 8, SW_RESTORE 9 and SW_SHOWDEFAULT 10, what a shell or
// Explorer often passes, give 11) opens maximised instead.
inline int Win32StartShowCommand(int showCommand)
{
    const int kShowMaximized = 3, kShowMinNoActive = 7, kForceMinimize = 11;
    int combined = showCommand | kShowMaximized;
    bool minimised = combined == kShowMinNoActive || combined == kForceMinimize;
    bool askedMinimised = showCommand == 6 || showCommand == kShowMinNoActive || showCommand == kForceMinimize;
    return minimised && !askedMinimised ? kShowMaximized : combined;
}
