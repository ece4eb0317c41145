// folder_list.cpp - listing the current folder into the entry chain, naming
// rules, and the chain's lifetime.
#include "folder/folder_list.h"

#include <cstdlib>
#include <cstring>

#include "folder/decode_ahead.h"
#include "folder/decoder.h"
#include "platform/platform.h"
#include "render/assets/assets.h"

static_assert(sizeof(((CFileEntry*)nullptr)->thumb[0]) == kPictureBytes,
              "a folder picture fills exactly one view of a thumbnail");

// Counts chains built and entries freed; see ChainGeneration.
static uint32_t gChainGeneration;

uint32_t ChainGeneration() { return gChainGeneration; }

// Lower-cases one code unit the way the C runtime's towlower does in its
// default locale: A to Z only, which is all that can ever equal "jps".
static char16_t LowerCodeUnit(char16_t unit)
{
    return (unit >= u'A' && unit <= u'Z') ? (char16_t)(unit + 0x20) : unit;
}

void ClassifyName(const char16_t* name, uint8_t* flat)
{
    const char16_t* lastDot = nullptr;
    for (const char16_t* p = name; *p; p++)
        if (*p == u'.')
            lastDot = p;
    if (!lastDot)
        return;
    // The terminator takes part, so "jps" must be the whole extension.
    const char16_t* ext = lastDot + 1;
    static const char16_t kPair[] = u"jps";
    for (int i = 0; i < 4; i++)
    {
        if (LowerCodeUnit(ext[i]) != kPair[i])
        {
            *flat = 1;
            return;
        }
        if (kPair[i] == 0)
            break;
    }
    *flat = 0;
}

int InitEntry(CFileEntry* entry, const char16_t* name, uint8_t isDir, uint8_t flat)
{
    size_t length = 0;
    while (name[length])
        length++;
    char16_t* copy = (char16_t*)malloc((length + 1) * sizeof(char16_t));
    if (!copy)
        return 0;
    memcpy(copy, name, (length + 1) * sizeof(char16_t));
    entry->name = copy;
    entry->isDir = isDir;
    entry->flat = flat;
    entry->thumbPending = isDir ? 0 : 1;
    if (isDir)
    {
        bool parent = name[0] == u'.' && name[1] == u'.' && name[2] == 0;
        const uint8_t* picture = parent ? ParentPicture : FolderPicture;
        memcpy(entry->thumb[0], picture, kPictureBytes);
        memcpy(entry->thumb[1], picture, kPictureBytes);
    }
    return 1;
}

// Allocates an entry in its appended state: pending, placeholder colour in
// every pixel of both views. Returns null when memory runs out.
static CFileEntry* NewEntry()
{
    CFileEntry* entry = (CFileEntry*)malloc(sizeof(CFileEntry));
    if (!entry)
        return nullptr;
    // Every byte is written below: have the memory backed in one go.
    PlatPrepareFreshBlock(entry, sizeof *entry);
    entry->thumbPending = 1;
    entry->isDir = 0;
    entry->flat = 0;
    entry->loadFailed = 0;
    entry->format = 0;  // read only for files, which get theirs at listing
    entry->width = 0;   // known once the picture has been loaded
    entry->height = 0;
    entry->name = nullptr;
    entry->next = nullptr;
    // One placeholder row, then doubling copies over the rest of both views.
    uint8_t* bytes = &entry->thumb[0][0][0][0];
    const size_t total = sizeof entry->thumb;
    for (size_t i = 0; i < kThumbWidth * 3; i += 3)
    {
        bytes[i] = 0x7F;
        bytes[i + 1] = 0x3F;
        bytes[i + 2] = 0x7F;
    }
    for (size_t done = kThumbWidth * 3; done < total;)
    {
        size_t step = done < total - done ? done : total - done;
        memcpy(bytes + done, bytes, step);
        done += step;
    }
    return entry;
}

// Creates an entry for one item and links it at the tail. Returns 0 when
// memory runs out; nothing is linked then.
static int AppendEntry(CFolderList* folder, const char16_t* name, uint8_t isDir, uint8_t flat, int32_t format)
{
    CFileEntry* entry = NewEntry();
    if (!entry)
        return 0;
    if (!InitEntry(entry, name, isDir, flat))
    {
        free(entry);
        return 0;
    }
    if (!isDir)
        entry->format = format;
    if (!folder->head)
        folder->head = entry;
    else
        folder->cursor->next = entry;
    folder->cursor = entry;
    folder->count++;
    return 1;
}

void ListFolder(CFolderList* folder)
{
    gChainGeneration++;
    PlatGetCurrentFolder(folder->path, kFolderPathCapacity);
    PlatFolderScan* scan = PlatScanFolder();
    if (!scan)
        return;  // unlisted: the next pass tries again
    PlatFolderItem item;
    while (PlatNextItem(scan, &item))
    {
        const char16_t* name = item.name;
        if (name[0] == u'.' && name[1] == 0)
            continue;
        int appended;
        if (item.isDir)
            appended = AppendEntry(folder, name, 1, 1, 0);
        else
        {
            uint8_t flat = 0;
            ClassifyName(name, &flat);
            int format = DetectImageFormat(name);
            if (format == -1)
                continue;
            appended = AppendEntry(folder, name, 0, flat, format);
        }
        // Out of memory: what is listed stays listed, and the listing counts as
        // done so that the passes do not retry it over and over.
        if (!appended)
            break;
    }
    PlatEndScan(scan);
    folder->listed = 1;
}

void FreeEntries(CFileEntry* entry)
{
    // No worker may still be decoding for a chain about to go.
    CancelDecodeAhead();
    gChainGeneration++;
    // A listing may hold tens of thousands of entries: walk, never recurse.
    while (entry)
    {
        CFileEntry* next = entry->next;
        free(entry->name);
        free(entry);
        entry = next;
    }
}

void ClearFolder(CFolderList* folder)
{
    if (folder->head)
        FreeEntries(folder->head);
    memset(folder, 0, sizeof *folder);
}
