// decode_ahead.h - pictures decoded ahead of the window on worker threads.
//
// Worker threads (one per hardware thread, at most four, each below the
// window's thread in priority) decode the pending thumbnails of the listed
// folder ahead in listing order, and the pictures before and after the open
// one, each into a private copy of its entry and private bitmaps. They read
// through the folder's path captured at listing, never the current folder,
// and never touch an entry, the frame or the window: everything here is
// called on the window's thread, which commits what a worker made. Anything
// that frees entries calls CancelDecodeAhead first (ClearFolder does).
#pragma once

#include <cstdint>

struct CFileEntry;
struct CFolderList;
struct FIBITMAP;

// What TakeThumbnail did with the entry.
enum
{
    kThumbDecodeHere = 0,  // nothing is decoded ahead for it: the caller decodes it now
    kThumbCommitted = 1,   // its thumbnail, size and flags are in the entry
    kThumbNotReady = 2,    // a worker has not finished it yet: nothing changed
};

// Turns decoding ahead on (the default) or off. Off, every decode happens
// on the window's thread as it comes; tests and benchmarks compare the two.
void SetDecodeAhead(bool on);
// For the first entry of the listing whose thumbnail is pending: commits its
// thumbnail when a worker has made it, and keeps the workers busy with the
// pending entries after it.
int TakeThumbnail(CFolderList* folder, int32_t index);
// Keeps the pictures of previous and next (either may be null) decoded ahead
// for opening, and drops every other picture held. open is the entry whose
// bitmaps the viewer now shows (null: none).
void HoldNeighbours(CFolderList* folder, const CFileEntry* open, CFileEntry* previous, CFileEntry* next);
// Drops every picture held ahead; cheap when none is.
void DropNeighbours();
// Opens entry from a picture decoded ahead: waits for a decode in flight,
// then leaves in the slots what LoadEntryImage in open mode would, and sets
// the entry's fields as it would. The bitmaps the slots held are freed, or
// kept as a picture held ahead when they belong to a neighbour. Returns 0,
// changing nothing, when no picture of the entry is decoded or being decoded.
int TakePicture(CFileEntry* entry, FIBITMAP** primary, FIBITMAP** secondary);
// Answers whether no decode is queued or in flight (tests and benchmarks
// wait for this).
bool DecodeAheadIdle();
// Drops all work queued and all results, and waits for decodes in flight.
void CancelDecodeAhead();
// Cancels and ends the worker threads (they start again when needed).
void StopDecodeAhead();
