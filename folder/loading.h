// loading.h - what the window asks of the job queue: thumbnails committed in
// listing order, and the pictures before and after the open one decoded
// ahead for opening.
//
// Everything here runs on the window's thread and never waits for a worker:
// what is needed now and not finished is decoded here, the serial way, and a
// worker's failure is never committed, so every outcome equals the serial
// load's. With no workers (one CPU, SetJobWorkers(0)) it is the serial load.
#pragma once

#include <cstdint>

struct CFolderList;
struct FIBITMAP;

// Commits the thumbnails of the first pending entries in listing order, as
// many as fit in about kFillTickMicros of one tick, never one after an entry
// still pending: a finished job is committed, a failed or missing one is
// decoded here (then the tick ends), a running one ends the tick. Keeps the
// workers busy with the pending entries that follow. The two slots serve a
// decode here and are empty on return. Returns how many were committed.
int32_t FillThumbnails(CFolderList* folder, FIBITMAP** primary, FIBITMAP** secondary);
// Leaves in the slots what LoadEntryImage in open mode leaves for entry
// index, and sets the entry's fields as it does: a picture decoded ahead is
// taken, anything else decoded here. The bitmaps the slots held go to a
// worker to free. Returns 0, changing nothing, when a decode here failed
// while workers held memory: the caller asks again on a later pass, once
// they have let it go.
int OpenEntryPicture(CFolderList* folder, int32_t index, FIBITMAP** primary, FIBITMAP** secondary);
// Keeps the pictures before and after entry index (stepping over folders)
// decoded ahead, and drops every other picture held; index -1 drops them all.
void HoldPicturesAround(CFolderList* folder, int32_t index);
// Drops every job and picture held, without waiting (the listing is about to
// be freed: workers decode copies of their own).
void ForgetJobs();

enum
{
    // Time one tick may spend committing thumbnails that workers made.
    kFillTickMicros = 3000,
};
