// loading.cpp - thumbnails and pictures through the job queue, committed on
// the window's thread in the serial load's order and with its outcomes.
//
// [SECTION] Decoding here
// [SECTION] Thumbnails
// [SECTION] Pictures around the open one
#include "folder/loading.h"

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "folder/folder_list.h"
#include "folder/image_load.h"
#include "folder/job_queue.h"
#include "folder/thumb_cache.h"

namespace {

enum
{
    // Thumbnail jobs queued or decoding per worker: enough to keep each busy
    // between two ticks, few enough that a long listing holds little. Cache
    // hits take a tenth of a millisecond each, so with a cache each worker
    // is given enough for a tick.
    kThumbJobsPerWorker = 4,
    kCachedJobsPerWorker = 64,
};

// A picture decoded ahead for opening.
struct CHeldPicture
{
    const CFileEntry* entry;
    uint32_t job;
};

// The picture shown before the open one, kept while it is one of the open
// one's neighbours: stepping back needs no decode, and the workers decode
// only the picture ahead.
struct CKeptPicture
{
    const CFileEntry* entry;
    CDecoded picture;
};

// [SECTION] Decoding here

// The entry a decode here works on, committed only when its outcome is the
// serial load's (window's thread only).
CFileEntry gScratch;
// Who waits for the workers to let their memory go after a decode here
// failed while they held some: meanwhile the fill queues nothing, and the
// one waiting then decodes here again and commits whatever comes.
enum Quiet : uint8_t
{
    kNoWait,
    kFillWaits,
    kOpenWaits,
};
Quiet gQuiet;
CHeldPicture gHeld[2];
CKeptPicture gKept;

// Hands the kept picture to a worker to free.
void DropKept()
{
    FreeBitmapsLater(gKept.picture.primary, gKept.picture.secondary);
    gKept = {};
}

// Drops every job and picture held and forgets the entries' jobs, so that the
// memory they hold comes free.
void DropAll(CFolderList* folder)
{
    DropKept();
    AbandonAllJobs();
    for (int32_t i = folder->thumbsDone; i < folder->count; i++)
        folder->entries[i]->job = 0;
    gHeld[0] = gHeld[1] = {};
}

// Loads entry on this thread as the serial load does. A failure while
// workers held memory may be theirs, not the file's: then, unless told to
// commit whatever comes, nothing is committed, every job is dropped so that
// the memory comes free, and 0 is returned; the caller tries again once the
// queue holds nothing.
int LoadHere(CFolderList* folder, CFileEntry* entry, uint8_t thumbnailOnly, FIBITMAP** primary, FIBITMAP** secondary,
             bool commit)
{
    const bool shared = JobPixelsHeld() > 0 || gKept.entry;
    memcpy(&gScratch, entry, sizeof gScratch);
    LoadEntryImage(&gScratch, thumbnailOnly, primary, secondary);
    if (gScratch.loadFailed && !commit && (shared || JobPixelsHeld() > 0))
    {
        DropAll(folder);
        return 0;
    }
    // Everything the load writes lies before the name.
    memcpy(entry, &gScratch, offsetof(CFileEntry, name));
    return 1;
}

// [SECTION] Thumbnails

// Queues thumbnail jobs for the pending files from the first pending entry on,
// in listing order, while fewer than kThumbJobsPerWorker per worker are out.
void Feed(CFolderList* folder)
{
    // Workers read through the listed path only: without one, all is decoded here.
    const int32_t perWorker = ThumbCacheInUse() ? kCachedJobsPerWorker : kThumbJobsPerWorker;
    const int32_t most = folder->path[0] ? perWorker * JobWorkers() : 0;
    int32_t out = 0;
    for (int32_t i = folder->thumbsDone; i < folder->count && out < most; i++)
    {
        CFileEntry* e = folder->entries[i];
        if (!e->thumbPending || e->isDir)
            continue;
        if (!e->job)
        {
            CJobRequest request = {folder->path, e->name, e->format, e->flat, kJobThumbnail};
            e->job = SubmitJob(&request);
            if (!e->job)
                return;  // no room, or no workers: the window decodes the rest
        }
        out++;
    }
}

}  // namespace

int32_t FillThumbnails(CFolderList* folder, FIBITMAP** primary, FIBITMAP** secondary)
{
    typedef std::chrono::steady_clock Clock;
    const Clock::time_point start = Clock::now();
    if (gQuiet == kOpenWaits)
        return 0;
    if (gQuiet == kFillWaits && JobPixelsHeld() > 0)
    {
        DropAll(folder);  // pictures decoded ahead since hold memory too
        return 0;
    }
    int32_t made = 0;
    for (;; folder->thumbsDone++)
    {
        while (folder->thumbsDone < folder->count && !folder->entries[folder->thumbsDone]->thumbPending)
            folder->thumbsDone++;
        if (folder->thumbsDone >= folder->count)
            break;
        CFileEntry* entry = folder->entries[folder->thumbsDone];
        if (gQuiet == kNoWait)
            Feed(folder);
        CJobResult result;
        int got = entry->job ? TakeJobResult(entry->job, &result) : kJobDecodeHere;
        if (got == kJobNotReady)
            break;  // never one further down first
        entry->job = 0;
        if (got == kJobDone)
        {
            CommitThumbRecord(entry, &result.fields, result.thumb);
            free(result.thumb);
            made++;
            if (Clock::now() - start < std::chrono::microseconds(kFillTickMicros))
                continue;
            folder->thumbsDone++;
            break;
        }
        // Decoding here takes the rest of the tick. Once the workers have let
        // their memory go, what comes is the serial load's, and a worker
        // stores it in the cache.
        CThumbSource source = {};
        if (ThumbCacheInUse() && folder->path[0])
            StampThumbSource(&source, folder->path, entry->name, entry->format, entry->flat);
        gQuiet = LoadHere(folder, entry, 1, primary, secondary, gQuiet == kFillWaits) ? kNoWait : kFillWaits;
        if (gQuiet == kNoWait)
        {
            if (source.key.path)
            {
                CJobRequest request = {folder->path, entry->name, entry->format, entry->flat, kJobStore};
                CThumbFields fields = {entry->width, entry->height, entry->format, entry->flat, entry->loadFailed};
                StoreThumbLater(&request, &source.key.stamp, &fields, &entry->thumb[0][0][0][0]);
            }
            made++;
            folder->thumbsDone++;
        }
        FreeThumbSource(&source);
        break;
    }
    if (gQuiet == kNoWait)
        Feed(folder);
    // Once a folder has filled, the cache is pruned, once a run.
    static bool pruned = false;
    if (!pruned && folder->listed && folder->thumbsDone >= folder->count && ThumbCacheInUse())
    {
        PruneThumbCacheLater();
        pruned = true;
    }
    return made;
}

// [SECTION] Pictures around the open one

int OpenEntryPicture(CFolderList* folder, int32_t index, int32_t shown, FIBITMAP** primary, FIBITMAP** secondary)
{
    CFileEntry* entry = EntryAt(folder, index);
    if (!entry)
        return 1;
    const CKeptPicture back = gKept.entry == entry ? gKept : CKeptPicture{};
    if (back.entry)
        gKept = {};
    const CFileEntry* was = EntryAt(folder, shown);
    if (was && was != entry && *primary)
    {
        DropKept();
        gKept = {was, {*primary, *secondary, was->width, was->height}};
    }
    else
        FreeBitmapsLater(*primary, *secondary);
    *primary = *secondary = nullptr;
    if (back.entry)
    {
        CommitPicture(entry, &back.picture, primary, secondary);
        return 1;
    }
    for (CHeldPicture& h : gHeld)
    {
        if (h.entry != entry)
            continue;
        CJobResult result;
        int got = TakeJobResult(h.job, &result);
        if (got == kJobNotReady)
            AbandonJob(h.job);  // needed now: decoded here instead
        h = {};
        if (got == kJobDone)
        {
            CommitPicture(entry, &result.picture, primary, secondary);
            return 1;
        }
    }
    if (gQuiet == kOpenWaits && JobPixelsHeld() > 0)
        return 0;
    const bool retry = gQuiet == kOpenWaits;
    gQuiet = kNoWait;
    if (LoadHere(folder, entry, 0, primary, secondary, retry))
        return 1;
    gQuiet = kOpenWaits;
    return 0;
}

void HoldPicturesAround(CFolderList* folder, int32_t index)
{
    const CFileEntry* want[2] = {nullptr, nullptr};
    if (index < 0 && gQuiet == kOpenWaits)
        gQuiet = kNoWait;  // nothing waits to be opened any more
    KeepWorkerForPictures(index >= 0);
    if (index >= 0)
    {
        want[0] = EntryAt(folder, StepPicture(folder, index, -1));
        want[1] = EntryAt(folder, StepPicture(folder, index, +1));
    }
    // Keep what is still wanted; drop the rest.
    if (gKept.entry && gKept.entry != want[0] && gKept.entry != want[1])
        DropKept();
    for (CHeldPicture& h : gHeld)
        if (h.entry && h.entry != want[0] && h.entry != want[1])
        {
            AbandonJob(h.job);
            h = {};
        }
    for (const CFileEntry* w : want)
    {
        if (!w || !folder->path[0] || gKept.entry == w || gHeld[0].entry == w || gHeld[1].entry == w)
            continue;
        CHeldPicture* slot = !gHeld[0].entry ? &gHeld[0] : &gHeld[1];
        CJobRequest request = {folder->path, w->name, w->format, w->flat, kJobPicture};
        uint32_t job = SubmitJob(&request);
        if (job)
            *slot = {w, job};
    }
}

void ForgetJobs()
{
    DropKept();
    AbandonAllJobs();
    gHeld[0] = gHeld[1] = {};
    gQuiet = kNoWait;
}
