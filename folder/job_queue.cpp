// job_queue.cpp - worker threads that decode jobs into results they own.
//
// [SECTION] Jobs and the queue
// [SECTION] Workers
// [SECTION] Window's thread
// [SECTION] Stopping, and the hooks for tests
//
// A job is free, queued, running (a worker owns it; `abandoned` says it is no
// longer wanted), done, failed, discarded (bitmaps left for a worker to free)
// or being freed. The window's thread changes jobs under the lock; a worker takes a
// queued job, reads and decodes without the lock, and hands it back. No
// exception leaves a worker: memory is taken without throwing, and whatever
// the image library throws ends the job as failed.
#include "folder/job_queue.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <mutex>
#include <new>

#include "folder/image_load.h"
#include "platform/platform.h"

namespace {

// [SECTION] Jobs and the queue

enum
{
    kMaxWorkers = 4,
    // Jobs queued, running or done at once: enough to keep every worker busy
    // between two ticks with cache hits, the pictures around the open one,
    // and records to store.
    kJobSlots = 320,
};

// Pixels held at once by default: four workers and two pictures held ahead,
// each two streams of 10 megapixels, take 120 million (360 MB of 24-bit
// pixels).
constexpr int64_t kDefaultPixelBudget = 128000000;

enum JobState : uint8_t
{
    kFree,
    kQueued,
    kRunning,
    kDone,
    kFailed,
    kDiscarded,
    kFreeing,  // a worker frees a discarded job's bitmaps
};

struct CJob
{
    JobState state;
    uint8_t kind;
    uint8_t flat;
    uint8_t abandoned;  // running, but no longer wanted: its worker frees it
    uint32_t id;
    int32_t format;
    char16_t* folder;  // folder and name in one block, owned
    char16_t* name;
    int64_t reserved;  // pixels this job holds in the budget
    uint8_t* thumb;
    CDecoded picture;
    CThumbFields fields;  // thumbnail and store jobs
    PlatFileStamp stamp;  // store jobs: the picture's before the window's load
};

// The cache that queues started from now on use: none, the user's, or the
// folder given.
enum CacheChoice : uint8_t
{
    kNoCache,
    kUsersCache,
    kCacheIn,
};

struct CJobQueue
{
    std::mutex lock;
    std::condition_variable work;   // workers wait here for a job or the stop
    std::condition_variable room;   // workers wait here for room in the budget or a release
    std::condition_variable ended;  // the stopper waits here for the workers to end
    bool stop = false;
    bool hold = false;  // the test hook
    bool keepForPictures = false;
    int32_t heldInDecode = 0;
    int32_t decoding = 0;  // jobs between taking their room and ending their decode
    int32_t workers = 0;
    int32_t alive = 0;  // workers that have not returned yet
    PlatThread* threads[kMaxWorkers] = {};
    CJob jobs[kJobSlots] = {};
    uint32_t lastId = 0;
    int64_t held = 0;
    int64_t budget = kDefaultPixelBudget;
    // The thumbnail cache as chosen when the queue started, opened by the
    // first worker that needs it.
    CacheChoice cacheChoice = kNoCache;
    char16_t cacheFolder[kThumbCacheFolderCapacity] = {};
    int64_t cacheCap = 0;
    std::once_flag cacheOpened;
    CThumbCache cache = {};
    std::atomic<bool> cancelPrune{false};
    std::atomic<bool> failDecodes{false};  // the test hook
    int64_t hits = 0, stores = 0;
};

CJobQueue* gQueue;
int32_t gWantedWorkers = -1;
int64_t gBudget;
CacheChoice gCacheChoice = kNoCache;
char16_t gCacheFolder[kThumbCacheFolderCapacity];
int64_t gCacheCap = kThumbCacheCapBytes;

// Returns the queue's cache, opening it on first use (workers only); its
// folder is empty when there is none.
const CThumbCache* OpenedCache(CJobQueue* q)
{
    std::call_once(q->cacheOpened, [q] {
        if (q->cacheChoice != kNoCache)
            OpenThumbCache(&q->cache, q->cacheChoice == kUsersCache ? nullptr : q->cacheFolder);
    });
    return &q->cache;
}

// Empties a job the lock's holder owns, giving back its room; its bitmaps
// must have been taken out or freed.
void ReleaseJob(CJobQueue* q, CJob* j)
{
    free(j->folder);
    free(j->thumb);
    q->held -= j->reserved;
    *j = CJob{};
    q->room.notify_all();
}

// [SECTION] Workers

// Returns the job to work on next: bitmaps to free first, then pictures,
// then the thumbnail queued first, unless one worker is kept for pictures and
// every other one decodes a thumbnail. Null when none waits (or, stopping,
// when nothing is left to free).
CJob* NextJob(CJobQueue* q)
{
    CJob* best = nullptr;
    int32_t thumbnails = 0;
    for (CJob& j : q->jobs)
    {
        if (j.state == kDiscarded)
            return &j;
        thumbnails += j.state == kRunning && j.kind == kJobThumbnail;
    }
    if (q->stop)
        return nullptr;
    CJob* prune = nullptr;
    for (CJob& j : q->jobs)
    {
        if (j.state != kQueued)
            continue;
        if (j.kind == kJobPicture)
            return &j;
        if (j.kind == kJobPrune)
            prune = &j;
        else if (!best || j.id < best->id)
            best = &j;
    }
    if (best && q->keepForPictures && q->workers > 1 && thumbnails >= q->workers - 1)
        return nullptr;
    return best ? best : prune;
}

// Waits, with the lock, until need pixels fit beside what is held, or no
// other job is decoding (a picture larger than the room left decodes alone,
// and results not taken yet never stall the queue), and takes that room;
// then waits while the test hook holds decodes. Returns 0, taking nothing,
// when the job is no longer wanted meanwhile.
int Reserve(CJobQueue* q, CJob* j, int64_t need, std::unique_lock<std::mutex>& hold)
{
    q->room.wait(hold, [&] { return j->abandoned || q->stop || q->decoding == 0 || q->held + need <= q->budget; });
    if (j->abandoned || q->stop)
        return 0;
    j->reserved = need;
    q->held += need;
    q->decoding++;
    q->heldInDecode++;
    // Held as a decode would be: dropping the job does not end it.
    q->room.wait(hold, [&] { return !q->hold || q->stop; });
    q->heldInDecode--;
    return 1;
}

// Runs a store or prune job, with the lock held on entry and on return but
// not while it works.
void RunCacheJob(CJobQueue* q, CJob* j, std::unique_lock<std::mutex>& hold)
{
    hold.unlock();
    const CThumbCache* cache = OpenedCache(q);
    int stored = 0;
    if (j->kind == kJobPrune)
        PruneThumbCache(cache, q->cacheCap, &q->cancelPrune);
    else
    {
        CThumbSource source;
        // The stamp from before the window's load, not now.
        StampThumbSource(&source, j->folder, j->name, j->format, j->flat);
        source.key.path = source.path;
        source.key.stamp = j->stamp;
        stored = StoreThumbIfUnchanged(cache, &source.key, &j->fields, j->thumb);
        FreeThumbSource(&source);
    }
    hold.lock();
    q->stores += stored;
}

// Reads and decodes a running job into its own result, with the lock held on
// entry and on return but not while reading or decoding. A thumbnail job
// looks its picture up in the cache first, and stores what it made. Returns
// 1 when the job made what it was asked for.
int RunJob(CJobQueue* q, CJob* j, std::unique_lock<std::mutex>& hold)
{
    hold.unlock();
    uint8_t* bytes = nullptr;
    int32_t length = 0;
    CDecoded picture = {};
    uint8_t* thumb = nullptr;
    int made = 0, hit = 0, stored = 0;
    CThumbFields fields = {0, 0, j->format, j->flat, 0};
    CThumbSource source = {};
    const CThumbCache* cache = j->kind == kJobThumbnail ? OpenedCache(q) : nullptr;
    try
    {
        // The stamp comes before the read: a picture that changes meanwhile
        // gets a new one, and its record is not stored.
        if (cache && cache->folder[0] && StampThumbSource(&source, j->folder, j->name, j->format, j->flat))
        {
            thumb = (uint8_t*)malloc(kThumbBytes);
            hit = made = thumb && FindThumbRecord(cache, &source.key, &fields, thumb);
            if (hit)
                picture = {nullptr, nullptr, fields.width, fields.height};
        }
        if (!hit && PlatReadFileIn(j->folder, j->name, &bytes, &length))
        {
            CDecodeInput in = {bytes, length, j->format, j->flat};
            int32_t found = 0;
            const CDecoder* d = FindDecoder(&in, &found);
            // Where the headers cannot tell, a pixel a byte: about right for
            // the formats that keep their pixels plain; the decode corrects it.
            int64_t need = d ? d->size(&in, found) : 0;
            if (need <= 0)
                need = length > 0 ? length : 1;
            hold.lock();
            int room = d && Reserve(q, j, need, hold);
            hold.unlock();
            made = room && !q->failDecodes && d->decode(&in, found, &picture) && HasViews(j->flat, &picture);
            if (room)
            {
                hold.lock();
                q->decoding--;
                q->room.notify_all();
                hold.unlock();
            }
        }
        free(bytes);
        bytes = nullptr;
        if (made && !hit && j->kind == kJobThumbnail)
        {
            if (!thumb)
                thumb = (uint8_t*)malloc(kThumbBytes);
            made = thumb != nullptr;
            if (made)
                SampleThumbnail(thumb, j->flat, &picture);
            CDecoded size = {nullptr, nullptr, picture.width, picture.height};
            FreeDecoded(&picture);
            picture = size;
            fields.width = picture.width;
            fields.height = picture.height;
            if (made && source.key.path)
                stored = StoreThumbIfUnchanged(cache, &source.key, &fields, thumb);
        }
    }
    catch (...)
    {
        // The image library is C++ inside: a throw there is a failed job.
        made = 0;
    }
    free(bytes);
    FreeThumbSource(&source);
    if (!made)
    {
        free(thumb);
        thumb = nullptr;
        FreeDecoded(&picture);
    }
    hold.lock();
    q->held -= j->reserved;
    j->reserved = DecodedPixels(&picture);
    q->held += j->reserved;
    j->thumb = thumb;
    j->picture = picture;
    j->fields = fields;
    q->hits += hit;
    q->stores += stored;
    q->room.notify_all();
    return made;
}

void WorkerMain(void* argument)
{
    CJobQueue* q = (CJobQueue*)argument;
    PlatLowerThreadPriority();
    std::unique_lock<std::mutex> hold(q->lock);
    for (;;)
    {
        CJob* j = nullptr;
        while (!(j = NextJob(q)) && !q->stop)
            q->work.wait(hold);
        if (!j)
            break;
        if (j->state == kDiscarded)
        {
            // Its own from here: no other worker takes it while it is freed.
            j->state = kFreeing;
            CDecoded picture = j->picture;
            j->picture = {};
            hold.unlock();
            FreeDecoded(&picture);
            hold.lock();
            ReleaseJob(q, j);
            continue;
        }
        j->state = kRunning;
        if (j->kind == kJobStore || j->kind == kJobPrune)
        {
            RunCacheJob(q, j, hold);
            ReleaseJob(q, j);
            continue;
        }
        int made = RunJob(q, j, hold);
        if (j->abandoned)
        {
            CDecoded picture = j->picture;
            j->picture = {};
            hold.unlock();
            FreeDecoded(&picture);
            hold.lock();
            ReleaseJob(q, j);
        }
        else
            j->state = made ? kDone : kFailed;
    }
    q->alive--;
    q->ended.notify_all();
}

// Returns the workers to start: one per CPU the process may use, at most
// four; none on one CPU, where they would only take turns with the window.
int32_t WorkersWanted()
{
    if (gWantedWorkers >= 0)
        return gWantedWorkers > kMaxWorkers ? kMaxWorkers : gWantedWorkers;
    int32_t cpus = PlatUsableCpus();
    return cpus <= 1 ? 0 : cpus > kMaxWorkers ? kMaxWorkers : cpus;
}

// Returns the queue, starting its workers on first use; null when memory is
// short.
CJobQueue* Queue()
{
    if (gQueue)
        return gQueue;
    CJobQueue* q = new (std::nothrow) CJobQueue;
    if (!q)
        return nullptr;
    if (gBudget > 0)
        q->budget = gBudget;
    q->cacheChoice = gCacheChoice;
    memcpy(q->cacheFolder, gCacheFolder, sizeof gCacheFolder);
    q->cacheCap = gCacheCap;
    int32_t wanted = WorkersWanted();
    if (wanted > 0)
        PrepareDecoders();
    // A thread that cannot be started leaves the work to those that could,
    // or to the window's thread.
    for (int32_t k = 0; k < wanted; k++)
    {
        std::lock_guard<std::mutex> hold(q->lock);
        q->threads[q->workers] = PlatStartThread(WorkerMain, q);
        if (!q->threads[q->workers])
            break;
        q->workers++;
        q->alive++;
    }
    gQueue = q;
    return q;
}

// Finds a job by its number; null when it is not there.
CJob* Find(CJobQueue* q, uint32_t id)
{
    for (CJob& j : q->jobs)
        if (id != 0 && j.id == id && j.state != kFree && j.state != kDiscarded && j.state != kFreeing)
            return &j;
    return nullptr;
}

// Drops a job, the lock held: a queued, failed or thumbnail job is emptied
// now, a running one is left to its worker, a finished picture's bitmaps to
// any worker.
void Drop(CJobQueue* q, CJob* j)
{
    if (j->state == kRunning)
    {
        j->abandoned = 1;
        q->room.notify_all();
    }
    else if (j->state == kDone && j->picture.primary)
    {
        j->state = kDiscarded;
        q->work.notify_one();
    }
    else if (j->state != kFree && j->state != kDiscarded && j->state != kFreeing)
        ReleaseJob(q, j);
}

}  // namespace

// [SECTION] Window's thread

int32_t JobWorkers()
{
    CJobQueue* q = Queue();
    return q ? q->workers : 0;
}

namespace {

// Fills a free job from request, queued, with the lock held. Returns it, or
// null when no place is free or memory is short.
CJob* QueueRequest(CJobQueue* q, const CJobRequest* request)
{
    size_t folderUnits = 1, nameUnits = 1;
    while (request->folder[folderUnits - 1])
        folderUnits++;
    while (request->name[nameUnits - 1])
        nameUnits++;
    for (CJob& j : q->jobs)
    {
        if (j.state != kFree)
            continue;
        char16_t* block = (char16_t*)malloc((folderUnits + nameUnits) * sizeof(char16_t));
        if (!block)
            return nullptr;
        memcpy(block, request->folder, folderUnits * sizeof(char16_t));
        memcpy(block + folderUnits, request->name, nameUnits * sizeof(char16_t));
        j = CJob{};
        j.folder = block;
        j.name = block + folderUnits;
        j.format = request->format;
        j.flat = request->flat;
        j.kind = request->kind;
        j.id = ++q->lastId ? q->lastId : ++q->lastId;  // 0 names no job
        j.state = kQueued;
        q->work.notify_one();
        return &j;
    }
    return nullptr;
}

}  // namespace

uint32_t SubmitJob(const CJobRequest* request)
{
    CJobQueue* q = Queue();
    if (!q || q->workers == 0)
        return 0;
    std::lock_guard<std::mutex> hold(q->lock);
    CJob* j = QueueRequest(q, request);
    return j ? j->id : 0;
}

int TakeJobResult(uint32_t job, CJobResult* result)
{
    *result = {};
    CJobQueue* q = gQueue;
    if (!q)
        return kJobDecodeHere;
    std::lock_guard<std::mutex> hold(q->lock);
    CJob* j = Find(q, job);
    if (!j || j->abandoned)
        return kJobDecodeHere;
    if (j->state == kQueued || j->state == kRunning)
        return kJobNotReady;
    int answer = kJobDecodeHere;
    if (j->state == kDone)
    {
        result->thumb = j->thumb;
        result->picture = j->picture;
        result->fields = j->fields;
        j->thumb = nullptr;
        j->picture = {};
        answer = kJobDone;
    }
    ReleaseJob(q, j);
    return answer;
}

void AbandonJob(uint32_t job)
{
    CJobQueue* q = gQueue;
    if (!q)
        return;
    std::lock_guard<std::mutex> hold(q->lock);
    if (CJob* j = Find(q, job))
        Drop(q, j);
}

void AbandonAllJobs()
{
    CJobQueue* q = gQueue;
    if (!q)
        return;
    std::lock_guard<std::mutex> hold(q->lock);
    // The cache's own jobs belong to no folder.
    for (CJob& j : q->jobs)
        if (j.kind != kJobStore && j.kind != kJobPrune)
            Drop(q, &j);
}

void FreeBitmapsLater(FIBITMAP* primary, FIBITMAP* secondary)
{
    CDecoded picture = {primary, secondary, 0, 0};
    CJobQueue* q = gQueue;
    if (q && q->workers > 0)
    {
        std::lock_guard<std::mutex> hold(q->lock);
        for (CJob& j : q->jobs)
        {
            if (j.state != kFree)
                continue;
            j = CJob{};
            j.picture = picture;
            j.reserved = DecodedPixels(&picture);
            q->held += j.reserved;
            j.state = kDiscarded;
            q->work.notify_one();
            return;
        }
    }
    FreeDecoded(&picture);
}

void KeepWorkerForPictures(bool keep)
{
    CJobQueue* q = gQueue;
    if (!q || q->keepForPictures == keep)
        return;
    std::lock_guard<std::mutex> hold(q->lock);
    q->keepForPictures = keep;
    q->work.notify_all();
}

bool JobQueueIdle()
{
    CJobQueue* q = gQueue;
    if (!q)
        return true;
    std::lock_guard<std::mutex> hold(q->lock);
    for (const CJob& j : q->jobs)
        if (j.state == kQueued || j.state == kRunning || j.state == kDiscarded || j.state == kFreeing)
            return false;
    return true;
}

int64_t JobPixelsHeld()
{
    CJobQueue* q = gQueue;
    if (!q)
        return 0;
    std::lock_guard<std::mutex> hold(q->lock);
    return q->held;
}

void UseThumbCache(const char16_t* folder, int64_t capBytes)
{
    const int32_t n = folder ? PlatTextLength(folder) : 0;
    gCacheChoice = !folder ? kUsersCache : n > 0 && n < kThumbCacheFolderCapacity ? kCacheIn : kNoCache;
    if (gCacheChoice == kCacheIn)
        memcpy(gCacheFolder, folder, ((size_t)n + 1) * sizeof(char16_t));
    gCacheCap = capBytes;
}

bool ThumbCacheInUse() { return gCacheChoice != kNoCache; }

void StoreThumbLater(const CJobRequest* request, const PlatFileStamp* stamp, const CThumbFields* fields,
                     const uint8_t* thumb)
{
    CJobQueue* q = gQueue;
    if (!q || q->workers == 0 || gCacheChoice == kNoCache)
        return;
    uint8_t* copy = (uint8_t*)malloc(kThumbBytes);
    if (!copy)
        return;
    memcpy(copy, thumb, kThumbBytes);
    CJobRequest store = *request;
    store.kind = kJobStore;
    std::lock_guard<std::mutex> hold(q->lock);
    CJob* j = QueueRequest(q, &store);
    if (!j)
    {
        free(copy);
        return;
    }
    j->thumb = copy;
    j->fields = *fields;
    j->stamp = *stamp;
}

void PruneThumbCacheLater()
{
    CJobQueue* q = Queue();
    if (!q || q->workers == 0 || gCacheChoice == kNoCache)
        return;
    CJobRequest prune = {u"", u"", 0, 0, kJobPrune};
    std::lock_guard<std::mutex> hold(q->lock);
    QueueRequest(q, &prune);
}

void ThumbCacheCounts(int64_t* hits, int64_t* stores)
{
    *hits = *stores = 0;
    if (CJobQueue* q = gQueue)
    {
        std::lock_guard<std::mutex> hold(q->lock);
        *hits = q->hits;
        *stores = q->stores;
    }
}

// [SECTION] Stopping, and the hooks for tests

int StopJobQueue(int32_t waitMs)
{
    CJobQueue* q = gQueue;
    if (!q)
        return 1;
    gQueue = nullptr;
    bool ended;
    {
        std::unique_lock<std::mutex> hold(q->lock);
        for (CJob& j : q->jobs)
            Drop(q, &j);
        q->stop = true;
        q->cancelPrune = true;
        q->work.notify_all();
        q->room.notify_all();
        ended = q->ended.wait_for(hold, std::chrono::milliseconds(waitMs), [q] { return q->alive == 0; });
    }
    for (int32_t k = 0; k < q->workers; k++)
        ended ? PlatJoinThread(q->threads[k]) : PlatDetachThread(q->threads[k]);
    if (!ended)
        return 0;
    // Done jobs not taken: what is left once every worker has gone.
    for (CJob& j : q->jobs)
    {
        FreeDecoded(&j.picture);
        free(j.folder);
        free(j.thumb);
    }
    delete q;
    return 1;
}

void SetJobWorkers(int32_t workers)
{
    StopJobQueue(60000);
    gWantedWorkers = workers;
}

void SetJobPixelBudget(int64_t pixels)
{
    gBudget = pixels;
    if (CJobQueue* q = gQueue)
    {
        std::lock_guard<std::mutex> hold(q->lock);
        q->budget = pixels > 0 ? pixels : kDefaultPixelBudget;
        q->room.notify_all();
    }
}

void HoldJobDecodes(bool hold)
{
    CJobQueue* q = Queue();
    if (!q)
        return;
    std::lock_guard<std::mutex> lock(q->lock);
    q->hold = hold;
    q->room.notify_all();
}

int32_t JobsHeldInDecode()
{
    CJobQueue* q = gQueue;
    if (!q)
        return 0;
    std::lock_guard<std::mutex> hold(q->lock);
    return q->heldInDecode;
}

void FailJobDecodes(bool fail)
{
    if (CJobQueue* q = Queue())
        q->failDecodes = fail;
}
