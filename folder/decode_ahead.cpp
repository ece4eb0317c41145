// decode_ahead.cpp - worker threads that decode thumbnails and the open
// picture's neighbours ahead, into slots the window's thread commits from.
//
// [SECTION] Slots and the pool
// [SECTION] Workers
// [SECTION] Window's thread: queueing and dropping
// [SECTION] Thumbnails
// [SECTION] Pictures of the neighbours
// [SECTION] Cancelling and stopping
//
// A slot is free, queued, running (a worker owns its copy and bitmaps),
// done, abandoned (running, but no longer wanted: the worker frees it), or
// discarded (bitmaps no longer wanted, left to a worker to free: unloading
// a large picture takes the window's thread milliseconds).
// The window's thread fills and empties slots under the lock; a worker only
// takes a queued slot, decodes without the lock, and hands the slot back.
#include "folder/decode_ahead.h"

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "folder/folder_list.h"
#include "folder/image_load.h"
#include "platform/platform.h"

namespace {

// [SECTION] Slots and the pool

enum
{
    kMaxWorkers = 4,
    // Thumbnails decoded ahead per worker: enough to keep every worker busy
    // between two ticks, few enough that a long listing holds little.
    kThumbsPerWorker = 4,
    kThumbSlots = kMaxWorkers * kThumbsPerWorker,
    // The previous and next picture, and for a moment the one just closed.
    kPictureSlots = 3,
    kSlots = kThumbSlots + kPictureSlots,
};

enum SlotState : uint8_t
{
    kFree,
    kQueued,
    kRunning,
    kDone,
    kAbandoned,
    kDiscarded,
};

struct CDecodeSlot
{
    SlotState state;
    uint8_t thumbnailOnly;   // 1: a thumbnail slot; 0: a picture for opening
    const CFileEntry* key;   // the entry it is for: compared, never followed by a worker
    int32_t index;           // the entry's place in the chain (thumbnails)
    CFileEntry* copy;        // what the worker loads: the entry's fields, a name of its own
    FIBITMAP* primary;       // the decoded picture (pictures only)
    FIBITMAP* secondary;
};

struct CDecodeAhead
{
    std::mutex lock;
    std::condition_variable work;      // workers wait here for a queued slot
    std::condition_variable finished;  // the window's thread waits here for a running one
    bool stop = false;
    int32_t workers = 0;
    std::thread threads[kMaxWorkers];
    CDecodeSlot slots[kSlots] = {};
    char16_t* folder = nullptr;  // the listed folder's absolute path, owned

    // Window's thread only.
    CFileEntry* const* entries = nullptr;  // the listing the slots belong to
    int32_t feed = -1;  // index of the next entry to look at for queueing; -1 before the first tick
    const CFileEntry* openKey = nullptr;
};

CDecodeAhead* gAhead;
bool gAheadOn = true;

// Empties a slot the lock's holder owns: bitmaps, the copy's name.
void ReleaseSlot(CDecodeSlot* s)
{
    FreeImageSlots(&s->primary, &s->secondary);
    free(s->copy->name);
    s->copy->name = nullptr;
    s->key = nullptr;
    s->state = kFree;
}

// [SECTION] Workers

// Returns the slot to work on next: bitmaps to free first, then pictures to
// open, then the thumbnail earliest in the listing. Null when none waits.
CDecodeSlot* NextQueued(CDecodeAhead* a)
{
    CDecodeSlot* best = nullptr;
    for (CDecodeSlot& s : a->slots)
        if (s.state == kDiscarded)
            return &s;
    for (CDecodeSlot& s : a->slots)
    {
        if (s.state != kQueued)
            continue;
        if (!s.thumbnailOnly)
            return &s;
        if (!best || s.index < best->index)
            best = &s;
    }
    return best;
}

void WorkerMain(CDecodeAhead* a)
{
    PlatLowerThreadPriority();
    std::unique_lock<std::mutex> hold(a->lock);
    for (;;)
    {
        CDecodeSlot* s = nullptr;
        while (!a->stop && !(s = NextQueued(a)))
            a->work.wait(hold);
        if (a->stop)
            return;
        if (s->state == kDiscarded)
        {
            FIBITMAP* primary = s->primary;
            FIBITMAP* secondary = s->secondary;
            s->primary = s->secondary = nullptr;
            ReleaseSlot(s);
            a->finished.notify_all();
            hold.unlock();
            FreeImageSlots(&primary, &secondary);
            hold.lock();
            continue;
        }
        s->state = kRunning;
        // The folder stays while a slot runs: it changes only after a cancel,
        // which waits for every running slot.
        const char16_t* folder = a->folder;
        hold.unlock();
        FIBITMAP* primary = nullptr;
        FIBITMAP* secondary = nullptr;
        LoadEntryImageIn(s->copy, folder, s->thumbnailOnly, &primary, &secondary);
        hold.lock();
        s->primary = primary;
        s->secondary = secondary;
        if (s->state == kAbandoned)
            ReleaseSlot(s);
        else
            s->state = kDone;
        a->finished.notify_all();
    }
}

// Returns the pool, starting it on first use; null when it cannot be had.
CDecodeAhead* Pool()
{
    if (gAhead)
        return gAhead;
    PrepareDecoders();
    CDecodeAhead* a = new (std::nothrow) CDecodeAhead;
    if (!a)
        return nullptr;
    for (CDecodeSlot& s : a->slots)
    {
        s.copy = (CFileEntry*)calloc(1, sizeof(CFileEntry));
        if (!s.copy)
        {
            for (CDecodeSlot& t : a->slots)
                free(t.copy);
            delete a;
            return nullptr;
        }
    }
    for (int k = 0; k < kThumbSlots; k++)
        a->slots[k].thumbnailOnly = 1;
    unsigned cores = std::thread::hardware_concurrency();
    a->workers = cores < 1 ? 1 : cores > kMaxWorkers ? kMaxWorkers : (int32_t)cores;
    for (int32_t k = 0; k < a->workers; k++)
        a->threads[k] = std::thread(WorkerMain, a);
    gAhead = a;
    return a;
}

// [SECTION] Window's thread: queueing and dropping

// Drops a slot: a queued one is emptied now, a running one is left for its
// worker to empty, a finished one's bitmaps for any worker to free.
void DropSlot(CDecodeSlot* s)
{
    if (s->state == kRunning)
        s->state = kAbandoned;
    else if (s->state == kDone && (s->primary || s->secondary))
        s->state = kDiscarded;
    else if (s->state == kQueued || s->state == kDone)
        ReleaseSlot(s);
}

// Queues entry in a free slot of its kind. Returns 0 when none is free or
// its name cannot be copied.
int Queue(CDecodeAhead* a, uint8_t thumbnailOnly, const CFileEntry* entry, int32_t index)
{
    int from = thumbnailOnly ? 0 : kThumbSlots;
    int to = thumbnailOnly ? kThumbsPerWorker * a->workers : kSlots;
    for (int k = from; k < to; k++)
    {
        CDecodeSlot* s = &a->slots[k];
        if (s->state != kFree)
            continue;
        size_t bytes = ((size_t)PlatTextLength(entry->name) + 1) * sizeof(char16_t);
        char16_t* name = (char16_t*)malloc(bytes);
        if (!name)
            return 0;
        memcpy(name, entry->name, bytes);
        CFileEntry* c = s->copy;
        c->thumbPending = entry->thumbPending;
        c->isDir = entry->isDir;
        c->flat = entry->flat;
        c->loadFailed = entry->loadFailed;
        c->format = entry->format;
        c->width = entry->width;
        c->height = entry->height;
        c->name = name;
        s->key = entry;
        s->index = index;
        s->state = kQueued;
        return 1;
    }
    return 0;
}

// Drops every slot and waits until no worker holds one. Called with the lock
// held.
void CancelLocked(CDecodeAhead* a, std::unique_lock<std::mutex>& hold)
{
    for (CDecodeSlot& s : a->slots)
        DropSlot(&s);
    a->work.notify_all();
    a->finished.wait(hold, [a] {
        for (const CDecodeSlot& s : a->slots)
            if (s.state != kFree)
                return false;
        return true;
    });
    a->entries = nullptr;
    a->feed = -1;
    a->openKey = nullptr;
}

// Returns the pool, its slots belonging to folder's listing: work for another
// listing is cancelled and the folder's path taken. Clearing a listing cancels
// (ClearFolder), so entries that start at a reused address are never mistaken
// for the old ones. Null when there is no pool,
// or decoding ahead is off, or the folder has no path to read through.
CDecodeAhead* PoolFor(const CFolderList* folder)
{
    if (!gAheadOn || !folder->path[0] || !folder->entries)
        return nullptr;
    CDecodeAhead* a = Pool();
    if (!a || a->entries == folder->entries)
        return a;
    size_t units = (size_t)PlatTextLength(folder->path) + 1;
    char16_t* path = (char16_t*)malloc(units * sizeof(char16_t));
    if (!path)
        return nullptr;
    memcpy(path, folder->path, units * sizeof(char16_t));
    std::unique_lock<std::mutex> hold(a->lock);
    CancelLocked(a, hold);
    free(a->folder);
    a->folder = path;
    a->entries = folder->entries;
    return a;
}

}  // namespace

void SetDecodeAhead(bool on)
{
    if (!on)
        StopDecodeAhead();
    gAheadOn = on;
}

// [SECTION] Thumbnails

int TakeThumbnail(CFolderList* folder, int32_t index)
{
    CFileEntry* entry = EntryAt(folder, index);
    CDecodeAhead* a = PoolFor(folder);
    if (!a)
        return kThumbDecodeHere;
    std::unique_lock<std::mutex> hold(a->lock);
    // Entries before this one are done: whatever was made for them is stale.
    for (int k = 0; k < kThumbSlots; k++)
        if (a->slots[k].state != kFree && a->slots[k].index < index)
            DropSlot(&a->slots[k]);
    if (a->feed < index)
        a->feed = index;
    // Queue the pending files from the feed on while slots are free.
    for (; a->feed < folder->count; a->feed++)
    {
        CFileEntry* e = folder->entries[a->feed];
        if (e->thumbPending && !e->isDir && !Queue(a, 1, e, a->feed))
            break;
    }
    a->work.notify_all();
    for (int k = 0; k < kThumbSlots; k++)
    {
        CDecodeSlot* s = &a->slots[k];
        if (s->key != entry || s->index != index || s->state == kFree || s->state == kAbandoned)
            continue;
        if (s->state != kDone)
            return kThumbNotReady;
        CommitLoadedEntry(entry, s->copy);
        ReleaseSlot(s);
        return kThumbCommitted;
    }
    return kThumbDecodeHere;
}

// [SECTION] Pictures of the neighbours

void HoldNeighbours(CFolderList* folder, const CFileEntry* open, CFileEntry* previous, CFileEntry* next)
{
    CDecodeAhead* a = PoolFor(folder);
    if (!a)
        return;
    std::unique_lock<std::mutex> hold(a->lock);
    a->openKey = open;
    for (int k = kThumbSlots; k < kSlots; k++)
    {
        CDecodeSlot* s = &a->slots[k];
        if (s->state != kFree && s->key != previous && s->key != next)
            DropSlot(s);
    }
    for (CFileEntry* want : {previous, next})
    {
        if (!want || want == open)
            continue;
        bool held = false;
        for (int k = kThumbSlots; k < kSlots; k++)
            held = held || (a->slots[k].key == want && (a->slots[k].state == kQueued ||
                                                        a->slots[k].state == kRunning || a->slots[k].state == kDone));
        if (!held)
            Queue(a, 0, want, -1);
    }
    a->work.notify_all();
}

void DropNeighbours()
{
    CDecodeAhead* a = gAhead;
    if (!a)
        return;
    std::unique_lock<std::mutex> hold(a->lock);
    a->openKey = nullptr;
    for (int k = kThumbSlots; k < kSlots; k++)
        DropSlot(&a->slots[k]);
    a->work.notify_all();
}

int TakePicture(CFileEntry* entry, FIBITMAP** primary, FIBITMAP** secondary)
{
    CDecodeAhead* a = gAhead;
    if (!a)
        return 0;
    std::unique_lock<std::mutex> hold(a->lock);
    CDecodeSlot* s = nullptr;
    for (int k = kThumbSlots; k < kSlots; k++)
        if (a->slots[k].key == entry && (a->slots[k].state == kQueued || a->slots[k].state == kRunning ||
                                         a->slots[k].state == kDone))
            s = &a->slots[k];
    if (!s)
        return 0;
    if (s->state == kQueued)
    {
        // Not started: decoding it here costs no more than waiting would.
        ReleaseSlot(s);
        return 0;
    }
    a->finished.wait(hold, [s] { return s->state == kDone; });
    FIBITMAP* oldPrimary = *primary;
    FIBITMAP* oldSecondary = *secondary;
    *primary = s->primary;
    *secondary = s->secondary;
    s->primary = s->secondary = nullptr;
    CommitLoadedEntry(entry, s->copy);
    const CFileEntry* old = a->openKey;
    if (old && old != entry && oldPrimary)
    {
        // The picture just left is held as it was opened: opening it again
        // gives what loading it again would.
        CFileEntry* c = s->copy;
        c->loadFailed = 0;
        c->thumbPending = 0;
        c->width = old->width;
        c->height = old->height;
        s->primary = oldPrimary;
        s->secondary = oldSecondary;
        s->key = old;
    }
    else if (oldPrimary || oldSecondary)
    {
        s->primary = oldPrimary;
        s->secondary = oldSecondary;
        s->state = kDiscarded;
        a->work.notify_all();
    }
    else
        ReleaseSlot(s);
    a->openKey = entry;
    return 1;
}

// [SECTION] Cancelling and stopping

bool DecodeAheadIdle()
{
    CDecodeAhead* a = gAhead;
    if (!a)
        return true;
    std::unique_lock<std::mutex> hold(a->lock);
    for (const CDecodeSlot& s : a->slots)
        if (s.state == kQueued || s.state == kRunning || s.state == kAbandoned || s.state == kDiscarded)
            return false;
    return true;
}

void CancelDecodeAhead()
{
    CDecodeAhead* a = gAhead;
    if (!a)
        return;
    std::unique_lock<std::mutex> hold(a->lock);
    CancelLocked(a, hold);
}

void StopDecodeAhead()
{
    CDecodeAhead* a = gAhead;
    if (!a)
        return;
    {
        std::unique_lock<std::mutex> hold(a->lock);
        CancelLocked(a, hold);
        a->stop = true;
        a->work.notify_all();
    }
    for (int32_t k = 0; k < a->workers; k++)
        a->threads[k].join();
    for (CDecodeSlot& s : a->slots)
        free(s.copy);
    free(a->folder);
    delete a;
    gAhead = nullptr;
}
