// folder_list.h - the listing of the current folder: its entries in listing
// order, each with its two-view thumbnail inline.
#pragma once

#include <cstdint>

#include "render/layout.h"

enum
{
    kFolderPathCapacity = 60000,
};

struct CFileEntry
{
    uint8_t thumbPending;  // 1: still the placeholder, the timer must make it
    uint8_t isDir;         // 1: a folder, ".." included
    uint8_t flat;          // 1: one picture for both eyes; 0: side-by-side pair
    uint8_t loadFailed;    // 1: the last load could not decode the picture
    int32_t format;        // FreeImage format found at listing (files only)
    int32_t width;         // decoded size; the smaller of two streams'
    int32_t height;
    uint8_t thumb[2][kThumbHeight][kThumbWidth][3];  // view, row (bottom first), column, B G R
    char16_t* name;        // bare name, owned
    uint32_t job;          // the worker's thumbnail job for it, 0 for none
};

// The listing owns its entries; an entry's address stays the same until the
// listing is cleared, so a pointer to one is a handle for as long as the
// folder stays listed.
struct CFolderList
{
    char16_t path[kFolderPathCapacity];  // absolute path as listed, NUL-terminated
    uint8_t listed;                      // 1 once a listing has completed
    int32_t count;                       // entries, in listing order
    int32_t capacity;                    // room in entries
    CFileEntry** entries;                // entries[0 .. count - 1], each owned
    int32_t thumbsDone;                  // every entry before this index has its thumbnail
};

// Fills an empty list from the current folder.
void ListFolder(CFolderList* folder);
// Sets *flat from the name's last extension ("jps" in any case: 0, else 1);
// leaves it alone for a name without a dot.
void ClassifyName(const char16_t* name, uint8_t* flat);
// Fills a freshly made entry from a name and its two flags. Returns 0 when
// the name cannot be copied (out of memory), 1 otherwise.
int InitEntry(CFileEntry* entry, const char16_t* name, uint8_t isDir, uint8_t flat);
// Appends an entry for one item as listing does (format is kept for files).
// Returns it, or null when memory runs out; nothing is appended then.
CFileEntry* AddEntry(CFolderList* folder, const char16_t* name, uint8_t isDir, uint8_t flat, int32_t format);
// Returns entry index, or null when there is no such entry.
CFileEntry* EntryAt(const CFolderList* folder, int32_t index);
// Returns the index of the picture before (step -1) or after (step +1) index
// `from`, stepping over folders; -1 when there is none.
int32_t StepPicture(const CFolderList* folder, int32_t from, int32_t step);
// Frees every entry and returns the list to its constructed state.
void ClearFolder(CFolderList* folder);
