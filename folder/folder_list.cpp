// folder_list.cpp - listing the current folder into its entries, naming rules,
// and the entries' lifetime.
#include "folder/folder_list.h"

#include <cstdlib>
#include <cstring>

#include "folder/decoder.h"
#include "folder/loading.h"
#include "platform/platform.h"
#include "render/assets/assets.h"

static_assert(sizeof(((CFileEntry*)nullptr)->thumb[0]) == kPictureBytes,
              "a folder picture fills exactly one view of a thumbnail");

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
    size_t length = (size_t)PlatTextLength(name);
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
    entry->job = 0;
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

// Makes room for one more entry, doubling. Returns 0 when memory runs out.
static int Reserve(CFolderList* folder)
{
    if (folder->count < folder->capacity)
        return 1;
    int64_t capacity = folder->capacity ? (int64_t)folder->capacity * 2 : 64;
    if (capacity > INT32_MAX)
        return 0;
    void* grown = realloc(folder->entries, (size_t)capacity * sizeof(CFileEntry*));
    if (!grown)
        return 0;
    folder->entries = (CFileEntry**)grown;
    folder->capacity = (int32_t)capacity;
    return 1;
}

CFileEntry* AddEntry(CFolderList* folder, const char16_t* name, uint8_t isDir, uint8_t flat, int32_t format)
{
    if (!Reserve(folder))
        return nullptr;
    CFileEntry* entry = NewEntry();
    if (!entry)
        return nullptr;
    if (!InitEntry(entry, name, isDir, flat))
    {
        free(entry);
        return nullptr;
    }
    if (!isDir)
        entry->format = format;
    folder->entries[folder->count++] = entry;
    return entry;
}

CFileEntry* EntryAt(const CFolderList* folder, int32_t index)
{
    return index >= 0 && index < folder->count ? folder->entries[index] : nullptr;
}

int32_t StepPicture(const CFolderList* folder, int32_t from, int32_t step)
{
    for (int64_t i = (int64_t)from + step; i >= 0 && i < folder->count; i += step)
        if (!folder->entries[i]->isDir)
            return (int32_t)i;
    return -1;
}

void ListFolder(CFolderList* folder)
{
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
        CFileEntry* appended;
        if (item.isDir)
            appended = AddEntry(folder, name, 1, 1, 0);
        else
        {
            uint8_t flat = 0;
            ClassifyName(name, &flat);
            int format = DetectImageFormat(name);
            if (format == -1)
                continue;
            appended = AddEntry(folder, name, 0, flat, format);
        }
        // Out of memory: what is listed stays listed, and the listing counts as
        // done so that the passes do not retry it over and over.
        if (!appended)
            break;
    }
    PlatEndScan(scan);
    folder->listed = 1;
}

void ClearFolder(CFolderList* folder)
{
    // Workers decode copies: what they still make for these entries is dropped.
    ForgetJobs();
    for (int32_t i = 0; i < folder->count; i++)
    {
        free(folder->entries[i]->name);
        free(folder->entries[i]);
    }
    free(folder->entries);
    memset(folder, 0, sizeof *folder);
}
