// win32_files.cpp - folders and files on Windows, through the C runtime's
// wide-name functions.
//
// The core's UTF-16 names are the system's own here: nothing is converted.
// A listing comes in the order the file system reports it (NTFS: "." and ".."
// first, then by upper-cased name), never sorted here.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include <direct.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows names are UTF-16 code units");

// The core's names, as the runtime's wide strings: the same code units.
static const wchar_t* Wide(const char16_t* text) { return (const wchar_t*)text; }

// [SECTION] Current folder

int PlatGetCurrentFolder(char16_t* buffer, int32_t capacity)
{
    if (capacity <= 0)
        return 0;
    buffer[0] = 0;
    if (_wgetcwd((wchar_t*)buffer, capacity))
        return 1;
    buffer[0] = 0;
    return 0;
}

int PlatChangeFolder(const char16_t* path) { return _wchdir(Wide(path)) == 0 ? 0 : -1; }

// [SECTION] Folder scans

struct PlatFolderScan
{
    intptr_t handle;
    bool first;                // data holds the first item, not handed out yet
    _wfinddata64_t data;
    char16_t name[MAX_PATH];  // the item handed out last
};

PlatFolderScan* PlatScanFolder()
{
    PlatFolderScan* scan = (PlatFolderScan*)calloc(1, sizeof(PlatFolderScan));
    if (!scan)
        return nullptr;
    scan->handle = _wfindfirst64(L"*.*", &scan->data);
    if (scan->handle == -1)
    {
        free(scan);
        return nullptr;
    }
    scan->first = true;
    return scan;
}

int PlatNextItem(PlatFolderScan* scan, PlatFolderItem* item)
{
    if (!scan->first && _wfindnext64(scan->handle, &scan->data) != 0)
        return 0;
    scan->first = false;
    size_t i = 0;
    for (; i + 1 < MAX_PATH && scan->data.name[i]; i++)
        scan->name[i] = (char16_t)scan->data.name[i];
    scan->name[i] = 0;
    item->name = scan->name;
    item->isDir = (scan->data.attrib & _A_SUBDIR) ? 1 : 0;
    return 1;
}

void PlatEndScan(PlatFolderScan* scan)
{
    if (!scan)
        return;
    _findclose(scan->handle);
    free(scan);
}

// [SECTION] Files

int PlatReadFile(const char16_t* name, uint8_t** bytes, int32_t* length)
{
    *bytes = nullptr;
    *length = 0;
    FILE* f = nullptr;
    if (_wfopen_s(&f, Wide(name), L"rb") != 0 || !f)
        return 0;
    // Only files on a disk: a device name (CON, a pipe) is never read.
    bool disk = GetFileType((HANDLE)_get_osfhandle(_fileno(f))) == FILE_TYPE_DISK;
    long long size = -1;
    if (disk && _fseeki64(f, 0, SEEK_END) == 0)
        size = _ftelli64(f);
    uint8_t* buffer = nullptr;
    if (size >= 0 && size <= INT32_MAX && _fseeki64(f, 0, SEEK_SET) == 0)
        buffer = (uint8_t*)malloc(size ? (size_t)size : 1);
    bool ok = buffer && fread(buffer, 1, (size_t)size, f) == (size_t)size;
    fclose(f);
    if (!ok)
    {
        free(buffer);
        return 0;
    }
    *bytes = buffer;
    *length = (int32_t)size;
    return 1;
}

// Workers read through the folder's absolute path: the joined name never
// depends on the current folder.
int PlatReadFileIn(const char16_t* folder, const char16_t* name, uint8_t** bytes, int32_t* length)
{
    std::u16string path(folder);
    if (path.empty() || (path.back() != u'\\' && path.back() != u'/'))
        path += u'\\';
    path += name;
    return PlatReadFile(path.c_str(), bytes, length);
}

int32_t PlatReadFileHead(const char16_t* name, uint8_t* buffer, int32_t capacity)
{
    FILE* f = nullptr;
    if (_wfopen_s(&f, Wide(name), L"rb") != 0 || !f)
        return -1;
    // Only files on a disk: a device name (CON, a pipe) is never read.
    int32_t done = -1;
    if (GetFileType((HANDLE)_get_osfhandle(_fileno(f))) == FILE_TYPE_DISK)
    {
        size_t got = fread(buffer, 1, capacity > 0 ? (size_t)capacity : 0, f);
        done = ferror(f) ? -1 : (int32_t)got;
    }
    fclose(f);
    return done;
}
