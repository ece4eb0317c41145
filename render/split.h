// split.h - work inside one call spread over the cores.
#pragma once

#include <cstdint>

// Runs work(context, part, thread) once for every part 0 .. parts - 1, on the
// calling thread (thread 0) and a team of helper threads (1 up to
// SplitThreads() - 1), and returns when every part is done. Parts must not
// depend on each other; a part may use scratch memory of its thread's own.
// More parts than threads balance the load when a core is busy elsewhere.
void RunParts(int32_t parts, void (*work)(void* context, int32_t part, int32_t thread), void* context);
// Returns the threads RunParts spreads over, the caller's included: one per
// CPU the process may use, at most four (so none besides the caller on one).
int32_t SplitThreads();
// Pins the threads RunParts uses (1: the caller alone, as before the pass
// used every core; 0: one per usable CPU again, counted anew). For benchmarks
// and tests.
void SetSplitThreads(int32_t threads);
// Ends the helper threads; the next RunParts starts them again.
void StopSplitThreads();
