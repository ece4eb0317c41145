// win32_cache_files.cpp - the program's cache folder and the calls its files
// need on Windows: stamps, atomic writes, touching, removing and listing, all
// by absolute path, straight onto the Windows API with wide names.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <shlobj.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

// The core's names are the system's own: the same UTF-16 code units.
static const wchar_t* Wide(const char16_t* text) { return (const wchar_t*)text; }

// Returns a file time (100 ns steps since 1601) as nanoseconds since 1970.
static int64_t UnixNs(FILETIME time)
{
    const int64_t ticks = (int64_t)((uint64_t)time.dwHighDateTime << 32 | time.dwLowDateTime);
    return (ticks - 116444736000000000LL) * 100;
}

// Creates one folder unless a folder is already there. The user's own
// application data folder keeps what is made inside it private to the user.
static bool MakeOneFolder(const wchar_t* path)
{
    if (CreateDirectoryW(path, nullptr))
        return true;
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int32_t PlatGetCacheFolder(char16_t* buffer, int32_t capacity)
{
    if (capacity <= 0)
        return 0;
    buffer[0] = 0;
    wchar_t base[MAX_PATH + 1];
    DWORD got = GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH + 1);
    if (got == 0 || got > MAX_PATH)
    {
        if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK)
            return 0;
    }
    std::wstring folder(base);
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    folder += L"\\Orvale Viewer";
    if (!MakeOneFolder(folder.c_str()))
        return 0;
    folder += L"\\cache";
    if (!MakeOneFolder(folder.c_str()) || folder.size() >= (size_t)capacity)
        return 0;
    for (size_t i = 0; i <= folder.size(); i++)
        buffer[i] = (char16_t)folder.c_str()[i];
    return (int32_t)folder.size();
}

int PlatMakePrivateFolder(const char16_t* path) { return MakeOneFolder(Wide(path)); }

int PlatReadStampedFile(const char16_t* path, uint8_t** bytes, int32_t* length, PlatFileStamp* stamp)
{
    *bytes = nullptr;
    *length = 0;
    // Sharing delete lets a writer rename a new file over this one meanwhile.
    HANDLE file = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    // The size and the time on their own: the whole file information asks
    // for the volume's serial number too, which costs Wine a millisecond.
    LARGE_INTEGER bytesInFile;
    FILETIME written;
    uint8_t* buffer = nullptr;
    DWORD size = 0, got = 0;
    bool ok = GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &bytesInFile) &&
              GetFileTime(file, nullptr, nullptr, &written) && bytesInFile.QuadPart <= INT32_MAX;
    if (ok)
    {
        size = (DWORD)bytesInFile.QuadPart;
        buffer = (uint8_t*)malloc(size ? size : 1);
        ok = buffer && ReadFile(file, buffer, size, &got, nullptr) && got == size;
    }
    CloseHandle(file);
    if (!ok)
    {
        free(buffer);
        return 0;
    }
    *bytes = buffer;
    *length = (int32_t)size;
    stamp->size = size;
    stamp->modifiedNs = UnixNs(written);
    return 1;
}

int PlatGetFileStamp(const char16_t* path, PlatFileStamp* stamp)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
        return 0;
    stamp->size = (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
    stamp->modifiedNs = UnixNs(data.ftLastWriteTime);
    return 1;
}

int PlatWriteFileAtomic(const char16_t* path, const uint8_t* bytes, int32_t length)
{
    if (length < 0)
        return 0;
    // The process and a counter make the temporary name unique among every
    // process and thread writing into the folder; CREATE_NEW makes sure.
    static std::atomic<uint32_t> counter{0};
    wchar_t suffix[40];
    wsprintfW(suffix, L".%lx-%lx.tmp", (unsigned long)GetCurrentProcessId(), (unsigned long)counter++);
    std::wstring temp = std::wstring(Wide(path)) + suffix;
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD wrote = 0;
    bool ok = WriteFile(file, bytes, (DWORD)length, &wrote, nullptr) && wrote == (DWORD)length;
    ok = CloseHandle(file) && ok;
    // A reader holding the old file open makes the rename fail; the old file
    // then stays, whole.
    if (ok)
        ok = MoveFileExW(temp.c_str(), Wide(path), MOVEFILE_REPLACE_EXISTING);
    if (!ok)
        DeleteFileW(temp.c_str());
    return ok;
}

int PlatTouchFile(const char16_t* path)
{
    HANDLE file = CreateFileW(Wide(path), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    bool ok = SetFileTime(file, nullptr, nullptr, &now);
    CloseHandle(file);
    return ok;
}

int PlatRemoveFile(const char16_t* path) { return DeleteFileW(Wide(path)) ? 1 : 0; }

struct PlatFileList
{
    HANDLE find;
    bool first;  // data holds the first item, not handed out yet
    WIN32_FIND_DATAW data;
    char16_t name[MAX_PATH];
};

PlatFileList* PlatListFiles(const char16_t* folder)
{
    PlatFileList* list = (PlatFileList*)calloc(1, sizeof(PlatFileList));
    if (!list)
        return nullptr;
    std::wstring pattern = std::wstring(Wide(folder)) + L"\\*";
    // The basic information leaves out the short names; the large fetch asks
    // for many items per call. Both only make listing faster.
    list->find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &list->data, FindExSearchNameMatch, nullptr,
                                  FIND_FIRST_EX_LARGE_FETCH);
    if (list->find == INVALID_HANDLE_VALUE)
    {
        free(list);
        return nullptr;
    }
    list->first = true;
    return list;
}

int PlatNextFileInfo(PlatFileList* list, PlatFileInfo* info)
{
    for (;;)
    {
        if (!list->first && !FindNextFileW(list->find, &list->data))
            return 0;
        list->first = false;
        if (list->data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
            continue;
        size_t i = 0;
        for (; i + 1 < MAX_PATH && list->data.cFileName[i]; i++)
            list->name[i] = (char16_t)list->data.cFileName[i];
        list->name[i] = 0;
        info->name = list->name;
        info->stamp.size = (uint64_t)list->data.nFileSizeHigh << 32 | list->data.nFileSizeLow;
        info->stamp.modifiedNs = UnixNs(list->data.ftLastWriteTime);
        return 1;
    }
}

void PlatEndFileList(PlatFileList* list)
{
    if (!list)
        return;
    FindClose(list->find);
    free(list);
}
