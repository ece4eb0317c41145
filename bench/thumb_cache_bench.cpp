// thumb_cache_bench.cpp - the thumbnail cache: how fast records read back
// warm, what they take on disk, storing, and pruning, with each way of
// storing a record side by side. Every cache lives in /tmp/orvale-cache-bench.
//
//   ReadCamera1000/storage:S   1,000 records of thumbnails of two-stream
//                              10-MP camera files (the 40 of build/stereo40,
//                              each under 25 paths) looked up, one file each
//   ReadTiny/storage:S/n       n records of 8 x 8 one-colour pictures
//   DecodeCamera1000/storage:S the same records decoded from memory, as a
//                              pack of a folder's records read in one go
//                              would give them: what one file per record costs
//                              is the difference
//   DecodeTiny/storage:S/n     the same for the tiny ones
//   StoreCamera1000/storage:S  1,000 camera records written
//   Prune50000/cap_fraction:F  a prune over 50,000 records of tiny pictures
//                              on disk, with a cap of F/4 of what they take
//                              (4: nothing to drop; 2: half of them go, put
//                              back outside the timing)
// storage: 0 the choice (runs of one colour where they take an eighth of the
// room, else deflated where that halves it, else raw), 1 always raw, 2
// deflated where smaller, 3 runs where smaller. Counters: records per second, bytes per record
// (the file) and disk bytes per record (whole 4 KiB blocks).
//
// Run: build/bench/thumb_cache_bench --benchmark_repetitions=3
//        --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <FreeImage.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "folder/folder_list.h"
#include "folder/image_load.h"
#include "folder/thumb_cache.h"

namespace {

const std::string kRoot = "/tmp/orvale-cache-bench";
const std::string kStereo40 = ORVALE_STEREO40;
const int kCamera = 1000, kTinyMax = 50000;

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// A set of records: keys (with their paths) and thumbnails.
struct Set
{
    std::vector<std::u16string> paths;
    std::vector<CThumbKey> keys;
    std::vector<std::vector<uint8_t>> thumbs;  // one per distinct picture
    std::vector<CThumbFields> fields;
};

// Returns the thumbnails of the 40 camera files, decoded once per run.
const std::vector<std::vector<uint8_t>>& CameraThumbs(std::vector<CThumbFields>* fields)
{
    static std::vector<std::vector<uint8_t>> thumbs;
    static std::vector<CThumbFields> made;
    if (thumbs.empty())
    {
        if (!std::filesystem::exists(kStereo40 + "/s39.mpo") &&
            std::system((std::string(ORVALE_MAKE_SAMPLES) + " stereo40 " + kStereo40).c_str()) != 0)
            abort();
        if (PlatChangeFolder(U16(kStereo40).c_str()) != 0)
            abort();
        for (int i = 0; i < 40; i++)
        {
            char name[16];
            snprintf(name, sizeof name, "s%02d.mpo", i);
            std::u16string wide = U16(name);
            CFileEntry* e = (CFileEntry*)calloc(1, sizeof(CFileEntry));
            e->name = wide.data(), e->format = FIF_JPEG, e->flat = 1, e->thumbPending = 1;
            FIBITMAP *primary = nullptr, *secondary = nullptr;
            LoadEntryImage(e, 1, &primary, &secondary);
            if (e->loadFailed)
                abort();
            thumbs.emplace_back((uint8_t*)e->thumb, (uint8_t*)e->thumb + kThumbBytes);
            made.push_back({e->width, e->height, e->format, e->flat, e->loadFailed});
            free(e);
        }
    }
    *fields = made;
    return thumbs;
}

// Returns n keys of made-up pictures (the records are read, never checked
// against a picture, except by a prune).
Set MakeSet(const std::string& kind, int n)
{
    Set set;
    for (int i = 0; i < n; i++)
    {
        char path[96];
        snprintf(path, sizeof path, "/home/ann/Pictures/%s/IMG_%05d.JPG", kind.c_str(), i);
        set.paths.push_back(U16(path));
    }
    for (int i = 0; i < n; i++)
        set.keys.push_back({set.paths[i].c_str(), {4100000u + (uint64_t)i, 1700000000123456789 + i}, FIF_JPEG, 1});
    if (kind == "camera")
        set.thumbs = CameraThumbs(&set.fields);
    else
        for (int i = 0; i < 256; i++)  // 8 x 8 pictures of one colour each
        {
            set.thumbs.emplace_back(kThumbBytes);
            for (size_t b = 0; b < kThumbBytes; b++)
                set.thumbs.back()[b] = (uint8_t)(b % 3 == 0 ? i : b % 3 == 1 ? 255 - i : 90);
            set.fields.push_back({8, 8, FIF_PNG, 1, 0});
        }
    return set;
}

// Opens the cache of one kind and storage, storing the set's records when
// they are not there yet. Fills the bytes per record.
CThumbCache* OpenFilled(const Set& set, const std::string& name, int storage, double* bytes, double* disk)
{
    static CThumbCache cache;
    const std::string folder = kRoot + "/" + name;
    const std::string done = folder + "/complete";
    mkdir(kRoot.c_str(), 0700);
    if (!OpenThumbCache(&cache, U16(folder).c_str()))
        abort();
    if (!std::filesystem::exists(done))
    {
        SetThumbCacheStorage(storage);
        for (size_t i = 0; i < set.keys.size(); i++)
            if (!StoreThumbRecord(&cache, &set.keys[i], &set.fields[i % set.fields.size()],
                                  set.thumbs[i % set.thumbs.size()].data()))
                abort();
        SetThumbCacheStorage(kThumbStoreAuto);
        FILE* f = fopen(done.c_str(), "w");
        if (f)
            fclose(f);
    }
    double total = 0, blocks = 0;
    size_t count = 0;
    for (const auto& f : std::filesystem::recursive_directory_iterator(folder))
        if (f.is_regular_file() && f.path().filename() != "complete")
        {
            total += (double)f.file_size();
            blocks += (double)((f.file_size() + 4095) / 4096 * 4096);
            count++;
        }
    *bytes = total / (double)count;
    *disk = blocks / (double)count;
    return &cache;
}

void Read(benchmark::State& state, const std::string& kind, int n)
{
    const int storage = (int)state.range(0);
    const Set set = MakeSet(kind, n);
    double bytes = 0, disk = 0;
    const CThumbCache* cache =
        OpenFilled(set, kind + "-" + std::to_string(storage) + "-" + std::to_string(n), storage, &bytes, &disk);
    std::vector<uint8_t> thumb(kThumbBytes);
    CThumbFields fields;
    for (auto _ : state)
        for (const CThumbKey& key : set.keys)
            if (!FindThumbRecord(cache, &key, &fields, thumb.data()))
                state.SkipWithError("a record missed");
    state.counters["records/s"] = benchmark::Counter((double)n, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes/record"] = bytes;
    state.counters["disk/record"] = disk;
}

void Decode(benchmark::State& state, const std::string& kind, int n)
{
    const int storage = (int)state.range(0);
    const Set set = MakeSet(kind, n);
    std::vector<std::vector<uint8_t>> records;
    SetThumbCacheStorage(storage);
    for (size_t i = 0; i < set.keys.size(); i++)
    {
        uint8_t* bytes = nullptr;
        const int32_t length = EncodeThumbRecord(&set.keys[i], &set.fields[i % set.fields.size()],
                                                 set.thumbs[i % set.thumbs.size()].data(), &bytes);
        records.emplace_back(bytes, bytes + length);
        free(bytes);
    }
    SetThumbCacheStorage(kThumbStoreAuto);
    std::vector<uint8_t> thumb(kThumbBytes);
    CThumbFields fields;
    for (auto _ : state)
        for (size_t i = 0; i < records.size(); i++)
            if (!DecodeThumbRecord(records[i].data(), (int32_t)records[i].size(), &set.keys[i], &fields, thumb.data()))
                state.SkipWithError("a record did not decode");
    state.counters["records/s"] = benchmark::Counter((double)n, benchmark::Counter::kIsIterationInvariantRate);
}

void ReadCamera1000(benchmark::State& state) { Read(state, "camera", kCamera); }
void ReadTiny(benchmark::State& state) { Read(state, "tiny", (int)state.range(1)); }
void DecodeCamera1000(benchmark::State& state) { Decode(state, "camera", kCamera); }
void DecodeTiny(benchmark::State& state) { Decode(state, "tiny", (int)state.range(1)); }

void StoreCamera1000(benchmark::State& state)
{
    const Set set = MakeSet("camera", kCamera);
    CThumbCache cache;
    mkdir(kRoot.c_str(), 0700);
    if (!OpenThumbCache(&cache, U16(kRoot + "/store").c_str()))
        abort();
    SetThumbCacheStorage((int)state.range(0));
    for (auto _ : state)
        for (size_t i = 0; i < set.keys.size(); i++)
            StoreThumbRecord(&cache, &set.keys[i], &set.fields[i % 40], set.thumbs[i % 40].data());
    SetThumbCacheStorage(kThumbStoreAuto);
    state.counters["records/s"] = benchmark::Counter(kCamera, benchmark::Counter::kIsIterationInvariantRate);
}

// Makes 50,000 tiny pictures on disk (kept for the next run) and the cache
// of their records.
CThumbCache* PruneCache(std::vector<CThumbKey>* keys, std::vector<std::u16string>* paths, Set* set)
{
    static CThumbCache cache;
    const std::string pictures = kRoot + "/tiny-pictures";
    mkdir(kRoot.c_str(), 0700);
    mkdir(pictures.c_str(), 0700);
    *set = MakeSet("tiny", 0);
    for (int i = 0; i < kTinyMax; i++)
    {
        char name[32];
        snprintf(name, sizeof name, "/p%05d.png", i);
        paths->push_back(U16(pictures + name));
        if (!std::filesystem::exists(pictures + name))
        {
            FILE* f = fopen((pictures + name).c_str(), "wb");
            if (!f || fwrite(name, 1, 8, f) != 8 || fclose(f) != 0)
                abort();
        }
    }
    for (int i = 0; i < kTinyMax; i++)
    {
        CThumbKey key = {(*paths)[i].c_str(), {}, FIF_PNG, 1};
        if (!PlatGetFileStamp(key.path, &key.stamp))
            abort();
        keys->push_back(key);
    }
    if (!OpenThumbCache(&cache, U16(kRoot + "/prune").c_str()))
        abort();
    return &cache;
}

void Prune50000(benchmark::State& state)
{
    std::vector<CThumbKey> keys;
    std::vector<std::u16string> paths;
    Set set;
    CThumbCache* cache = PruneCache(&keys, &paths, &set);
    std::vector<uint8_t> thumb(kThumbBytes);
    CThumbFields fields;
    int64_t full = 0;
    for (auto _ : state)
    {
        state.PauseTiming();
        for (int i = 0; i < kTinyMax; i++)
            if (!FindThumbRecord(cache, &keys[i], &fields, thumb.data()))
                StoreThumbRecord(cache, &keys[i], &set.fields[i % 256], set.thumbs[i % 256].data());
        if (!full)
            full = PruneThumbCache(cache, INT64_MAX, nullptr);
        state.ResumeTiming();
        const int64_t left = PruneThumbCache(cache, full * state.range(0) / 4, nullptr);
        benchmark::DoNotOptimize(left);
    }
    state.counters["records"] = kTinyMax;
    state.counters["MB"] = (double)full / 1e6;
}

}  // namespace

BENCHMARK(ReadCamera1000)->ArgName("storage")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeCamera1000)->ArgName("storage")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadTiny)->ArgNames({"storage", "n"})->Args({0, 50000})->Args({0, 5000})->Args({1, 5000})
    ->Args({2, 5000})->Args({3, 5000})->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeTiny)->ArgNames({"storage", "n"})->Args({0, 5000})->Args({1, 5000})->Args({2, 5000})->Args({3, 5000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(StoreCamera1000)->ArgName("storage")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(Prune50000)->ArgName("cap_fraction")->Arg(4)->Arg(2)->Iterations(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
