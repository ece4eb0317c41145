// split.h - work inside one call spread over the cores.
#pragma once

#include <cstdint>

// Runs work(context, part) once for every part 0 .. parts - 1, on the calling
// thread and a team of helper threads, and returns when every part is done.
// Parts must not depend on each other.
void RunParts(int32_t parts, void (*work)(void* context, int32_t part), void* context);
// Returns the threads RunParts spreads over, the caller's included: one per
// hardware thread, at most four.
int32_t SplitThreads();
// Ends the helper threads; the next RunParts starts them again.
void StopSplitThreads();
