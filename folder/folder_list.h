// folder_list.h - the listing of the current folder: a chain of entries, each
// with its two-view thumbnail inline.
#pragma once

#include <cstdint>

enum
{
    kThumbWidth = 192,  // pixels per thumbnail row
    kThumbHeight = 96,  // rows per view; each row covers one line pair
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
    CFileEntry* next;
};

struct CFolderList
{
    char16_t path[kFolderPathCapacity];  // absolute path as listed, NUL-terminated
    uint8_t listed;                      // 1 once a listing has completed
    int32_t count;                       // entries in the chain
    CFileEntry* head;                    // owns the chain
    CFileEntry* cursor;                  // append point while listing; walking pointer later
    CFileEntry* current;                 // the selected entry, not owning
};

// Fills an empty list from the current folder.
void ListFolder(CFolderList* folder);
// Sets *flat from the name's last extension ("jps" in any case: 0, else 1);
// leaves it alone for a name without a dot.
void ClassifyName(const char16_t* name, uint8_t* flat);
// Fills a freshly appended entry from a name and its two flags. Returns 0 when
// the name cannot be copied (out of memory), 1 otherwise.
int InitEntry(CFileEntry* entry, const char16_t* name, uint8_t isDir, uint8_t flat);
// Frees entry, its name and every entry after it, without recursion.
void FreeEntries(CFileEntry* entry);
// Frees the whole chain and returns the list to its constructed state.
void ClearFolder(CFolderList* folder);
// Returns a number that changes whenever ListFolder builds a chain or
// FreeEntries frees entries, so that whoever remembers places in a chain can
// tell that it may be gone, even when a new chain starts at the same address.
uint32_t ChainGeneration();
