// drives_bench.cpp - what the toolbar's drive row costs: one reading of the
// mount table, and a whole row of 26 letters as a pass asks for it.
#include <benchmark/benchmark.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/posix/posix_drives.h"

// One reading of /proc/self/mountinfo, $HOME and the removable flags.
static void BM_MapSystemDrives(benchmark::State& state)
{
    PosixDriveMap map;
    memset(&map, 0, sizeof map);
    for (auto _ : state)
    {
        PosixMapSystemDrives(&map);
        benchmark::DoNotOptimize(map.type[2]);
    }
    PosixFreeDrives(&map);
}
BENCHMARK(BM_MapSystemDrives);

// The row as DrawToolbar asks for it: A to Z.
static void BM_DriveRow(benchmark::State& state)
{
    for (auto _ : state)
    {
        int sum = 0;
        for (int letter = 0; letter < 26; letter++)
            sum += PlatGetDriveType(letter);
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_DriveRow);

BENCHMARK_MAIN();
