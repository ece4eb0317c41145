// headless.h - the scripted window host that unit tests drive.
//
// The test sets the client size and its origin on the screen, posts or sends
// messages, and reads back every presented frame. PlatGetMessage hands out the
// posted messages in order and answers -1 once the script has run out, so a
// message loop under test always ends.
#pragma once

#include <cstdint>

#include "platform/platform.h"

struct HeadlessPresent
{
    int32_t width, height;
    uint32_t* bits;  // bottom-up copy of what was presented, width x height
};

// Forgets the window, the queue, the presents and the counters.
void HeadlessReset();
// Returns the window made by PlatCreateWindow, or null before.
PlatWindow* HeadlessWindow();
// Sets the client size and the screen position of the client's top-left corner.
void HeadlessSetClient(int32_t screenX, int32_t screenY, int32_t width, int32_t height);
// Queues a message for PlatGetMessage.
void HeadlessPost(uint32_t message, PlatWParam wParam, PlatLParam lParam);
// Sends a message straight to the window procedure, as the system would.
PlatResult HeadlessSend(uint32_t message, PlatWParam wParam, PlatLParam lParam);
// Returns how many frames have been presented.
int HeadlessPresentCount();
// Returns the last presented frame, or null before the first.
const HeadlessPresent* HeadlessLastPresent();
// Returns how often PlatDefWindowProc has seen the given message.
int HeadlessDefProcCount(uint32_t message);
// Returns 1 once PlatPostQuitMessage has been called, with its code.
int HeadlessQuitPosted(int* exitCode);
// Returns whether the window was shown maximised.
int HeadlessShownMaximized();
// Returns the id and period of the running timer (0 when none).
uintptr_t HeadlessTimer(uint32_t* periodMs);
// Returns the title the window was created with.
const char16_t* HeadlessTitle();
