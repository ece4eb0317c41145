// win32_files.cpp - folder listings and files on Windows, each through the
// extended form of its full path (platform/win32/win32_paths.h), so no length
// limit applies.
//
// The core's UTF-16 names are the system's own here: nothing is converted.
// A listing comes in the order the file system reports it (NTFS: "." and ".."
// first, then by upper-cased name), never sorted here.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include <cstdlib>

#include "platform/platform.h"
#include "platform/win32/win32_paths.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows names are UTF-16 code units");

// The core's names, as the system's wide strings: the same code units.
static const wchar_t* Wide(const char16_t* text) { return (const wchar_t*)text; }

// [SECTION] Folder scans

struct PlatFolderScan
{
    HANDLE handle;
    bool first;  // data holds the first item, not handed out yet
    WIN32_FIND_DATAW data;
};

PlatFolderScan* PlatScanFolder()
{
    PlatFolderScan* scan = (PlatFolderScan*)calloc(1, sizeof(PlatFolderScan));
    if (!scan)
        return nullptr;
    std::wstring pattern = Win32SystemPath(L".");
    if (pattern.back() != L'\\')
        pattern += L'\\';
    pattern += L'*';
    scan->handle = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &scan->data, FindExSearchNameMatch, nullptr,
                                    FIND_FIRST_EX_LARGE_FETCH);
    if (scan->handle == INVALID_HANDLE_VALUE)
    {
        free(scan);
        return nullptr;
    }
    scan->first = true;
    return scan;
}

int PlatNextItem(PlatFolderScan* scan, PlatFolderItem* item)
{
    if (!scan->first && !FindNextFileW(scan->handle, &scan->data))
        return 0;
    scan->first = false;
    item->name = (const char16_t*)scan->data.cFileName;
    item->isDir = (scan->data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
    return 1;
}

void PlatEndScan(PlatFolderScan* scan)
{
    if (!scan)
        return;
    FindClose(scan->handle);
    free(scan);
}

// [SECTION] Files

// Reads the whole file at an extended path.
static int ReadWholeFile(const std::wstring& path, uint8_t** bytes, int32_t* length)
{
    *bytes = nullptr;
    *length = 0;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    // Only files on a disk: a device (a pipe, a console) is never read.
    LARGE_INTEGER fileSize = {};
    long long size = -1;
    if (GetFileType(f) == FILE_TYPE_DISK && GetFileSizeEx(f, &fileSize))
        size = fileSize.QuadPart;
    uint8_t* buffer = nullptr;
    if (size >= 0 && size <= INT32_MAX)
        buffer = (uint8_t*)malloc(size ? (size_t)size : 1);
    long long done = 0;
    DWORD got = 1;
    while (buffer && done < size && got && ReadFile(f, buffer + done, (DWORD)(size - done), &got, nullptr))
        done += got;
    CloseHandle(f);
    if (!buffer || done != size)
    {
        free(buffer);
        return 0;
    }
    *bytes = buffer;
    *length = (int32_t)size;
    return 1;
}

int PlatReadFile(const char16_t* name, uint8_t** bytes, int32_t* length)
{
    return ReadWholeFile(Win32SystemPath(Wide(name)), bytes, length);
}

// Workers read through the folder's absolute path: the joined name never
// depends on the current folder, which belongs to the window's thread.
int PlatReadFileIn(const char16_t* folder, const char16_t* name, uint8_t** bytes, int32_t* length)
{
    std::wstring path(Wide(folder));
    if (!Win32IsAbsolute(path))
    {
        *bytes = nullptr;
        *length = 0;
        return 0;
    }
    if (path.back() != L'\\' && path.back() != L'/')
        path += L'\\';
    path += Wide(name);
    return ReadWholeFile(Win32SystemPath(path.c_str()), bytes, length);
}

int32_t PlatReadFileHead(const char16_t* name, uint8_t* buffer, int32_t capacity)
{
    HANDLE f = CreateFileW(Win32SystemPath(Wide(name)).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return -1;  // also a folder, which opens only with backup semantics
    // Only files on a disk: a device name (CON, a pipe) is never read.
    int32_t done = -1;
    DWORD got = 0;
    if (GetFileType(f) == FILE_TYPE_DISK && ReadFile(f, buffer, capacity > 0 ? (DWORD)capacity : 0, &got, nullptr))
        done = (int32_t)got;
    CloseHandle(f);
    return done;
}
