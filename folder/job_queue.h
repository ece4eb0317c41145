// job_queue.h - decoding on worker threads through one queue that the
// window's thread never waits on.
//
// The window's thread submits a job (its own copy of the folder's absolute
// path, the file's name, format and flat flag, and what to make), and later
// takes the finished result or abandons the job. Workers decode into results
// they own. A job that failed in any way (the file unreadable, no decode,
// memory short) comes back as kJobDecodeHere, and so does a job the queue
// does not know: the window then loads that entry itself, the serial way, so
// a worker's failure never becomes an outcome. Nothing here blocks the
// window's thread: a job abandoned while queued is dropped at once, one
// abandoned while running is freed by its worker. The pixels decoded and held
// at once stay within a budget: a job waits for room, and a picture larger
// than the budget decodes alone. Every function here is for the window's
// thread.
#pragma once

#include <cstdint>

#include "folder/decoder.h"
#include "folder/thumb_cache.h"

// What a job makes.
enum : uint8_t
{
    kJobThumbnail = 1,  // the two-view thumbnail and the picture's size
    kJobPicture = 2,    // the decoded picture, kept for opening
    kJobStore = 3,      // a thumbnail cache record to write (never taken)
    kJobPrune = 4,      // the thumbnail cache to prune (never taken)
};

// What TakeJobResult found.
enum
{
    kJobNotReady = 0,    // queued or decoding: ask again later
    kJobDone = 1,        // the result is the caller's now
    kJobDecodeHere = 2,  // failed, abandoned or unknown: the caller decodes it
};

struct CJobRequest
{
    const char16_t* folder;  // absolute path of the listed folder (copied)
    const char16_t* name;    // the file's bare name (copied)
    int32_t format;          // as the listing found it
    uint8_t flat;            // as the listing set it
    uint8_t kind;            // kJobThumbnail or kJobPicture
};

struct CJobResult
{
    uint8_t* thumb;      // thumbnail jobs: kThumbBytes, freed by the taker with free()
    CDecoded picture;    // picture jobs: the bitmaps, the taker's; the size for both kinds
    CThumbFields fields; // thumbnail jobs: what the commit writes besides the thumbnail
};

// Returns how many workers decode for the queue, starting them on first use:
// one per CPU the process may use, at most four, none on one CPU or when no
// thread can be started.
int32_t JobWorkers();
// Queues a job. Returns its number, or 0 when it is not queued (no workers,
// no free place, memory short): the caller decodes it itself.
uint32_t SubmitJob(const CJobRequest* request);
// Takes the result of a finished job; see kJobNotReady and the others. The
// job is forgotten unless it is not ready yet.
int TakeJobResult(uint32_t job, CJobResult* result);
// Drops a job that is no longer wanted, without waiting: a worker frees
// whatever it made.
void AbandonJob(uint32_t job);
// Drops every job, as AbandonJob does (entering a folder, changing drive).
void AbandonAllJobs();
// Hands two bitmaps (either may be null) to a worker to free, since freeing
// a large picture takes milliseconds; frees them here when no worker can.
void FreeBitmapsLater(FIBITMAP* primary, FIBITMAP* secondary);
// Keeps one worker free of thumbnails for pictures while a picture is open,
// so that the next one is decoded ahead without waiting behind the fill.
void KeepWorkerForPictures(bool keep);
// Answers whether no job is queued or being decoded and nothing waits to be
// freed (tests and benchmarks wait for this).
bool JobQueueIdle();
// Returns the pixels that the queue's jobs and results hold now.
int64_t JobPixelsHeld();
// Ends the workers at exit: drops every job, then waits up to waitMs for the
// workers to end and joins them. Returns 1 when they all ended; 0 when some
// were still decoding and were left to end on their own (the queue's memory
// is then left to them).
int StopJobQueue(int32_t waitMs);

// The thumbnail cache. Thumbnail jobs look the picture up there first: a hit
// takes the place of the decode (a failure recorded from the window's own
// load included); a miss decodes and stores what it made. A worker's failure
// is never stored. The workers open the cache; without one that works, jobs
// decode as if there were none.
// Uses the cache in folder (absolute; null: the user's, u"": none, the
// default) pruned to capBytes, for queues started from now on.
void UseThumbCache(const char16_t* folder, int64_t capBytes);
// Answers whether thumbnail jobs go through a cache.
bool ThumbCacheInUse();
// Hands a worker what the window's own load committed for a picture
// (request's folder, name, format and flat; its stamp taken before that
// load), to store unless the picture has changed since. Dropped when no
// worker or no place is free.
void StoreThumbLater(const CJobRequest* request, const PlatFileStamp* stamp, const CThumbFields* fields,
                     const uint8_t* thumb);
// Queues a prune of the cache down to its cap, for a worker when no other
// job waits. Stopping the queue cuts a prune short.
void PruneThumbCacheLater();
// Returns how many thumbnail jobs were cache hits, and how many records
// workers stored, since the queue started.
void ThumbCacheCounts(int64_t* hits, int64_t* stores);

// For tests and benchmarks.
// Sets the number of workers (-1: from the CPUs, the default); the queue
// starts again with it.
void SetJobWorkers(int32_t workers);
// Sets the pixel budget (0: the default).
void SetJobPixelBudget(int64_t pixels);
// Holds every worker that is about to decode, its room in the budget taken,
// until released: a decode that takes as long as the test wants.
void HoldJobDecodes(bool hold);
// Returns how many workers the hold keeps now.
int32_t JobsHeldInDecode();
// Makes every worker's decode fail, as when a worker is short of memory.
void FailJobDecodes(bool fail);
