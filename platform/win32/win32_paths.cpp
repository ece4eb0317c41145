// win32_paths.cpp - full paths and their extended form, the current folder and
// the folder each drive remembers, on Windows.
//
// A drive remembers its folder where the command prompt and the C runtime
// keep it: in the process's hidden environment variable "=D:", which the
// system itself reads to resolve "D:" and "D:x".
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_paths.h"

static std::wstring gCurrent;  // the current folder, full; taken from the system at first use

static bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Tells whether a path begins with a drive letter and its colon.
static bool HasDrive(const std::wstring& path)
{
    wchar_t c = path.size() >= 2 && path[1] == L':' ? path[0] : 0;
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// Returns the drive letter a path begins with, upper-cased.
static wchar_t DriveLetter(const std::wstring& path)
{
    return path[0] >= L'a' && path[0] <= L'z' ? (wchar_t)(path[0] - L'a' + L'A') : path[0];
}

// Tells whether a path begins with the system's prefix "\\?\" or "\\.\".
static bool HasNamespace(const std::wstring& path)
{
    return path.size() >= 4 && path[0] == L'\\' && path[1] == L'\\' && (path[2] == L'?' || path[2] == L'.') &&
           path[3] == L'\\';
}

// Takes the next component off the front of rest (up to a separator).
static std::wstring TakeComponent(std::wstring* rest)
{
    size_t end = 0;
    while (end < rest->size() && !IsSeparator((*rest)[end]))
        end++;
    std::wstring part = rest->substr(0, end);
    rest->erase(0, end < rest->size() ? end + 1 : end);
    return part;
}

// Splits an absolute path into its root as the program shows it ("C:\",
// "\\server\share\", or a system namespace's "\\?\Volume{...}\") and the
// rest. Returns false for a path that is not absolute.
static bool SplitRoot(const std::wstring& path, std::wstring* root, std::wstring* rest)
{
    std::wstring after;
    if (HasNamespace(path))
    {
        after = path.substr(4);
        bool unc = path[2] == L'?' && after.size() >= 4 && CompareStringOrdinal(after.c_str(), 4, L"UNC\\", 4, TRUE) ==
                                                                 CSTR_EQUAL;
        if (unc)
            return SplitRoot(L"\\\\" + after.substr(4), root, rest);
        if (path[2] == L'?' && HasDrive(after) && (after.size() == 2 || IsSeparator(after[2])))
            return SplitRoot(after.size() == 2 ? after + L"\\" : after, root, rest);
        *rest = after;
        *root = path.substr(0, 4) + TakeComponent(rest) + L"\\";
        return true;
    }
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]))
    {
        *rest = path.substr(2);
        std::wstring server = TakeComponent(rest);
        std::wstring share = TakeComponent(rest);
        *root = L"\\\\" + server + L"\\" + (share.empty() ? L"" : share + L"\\");
        return !server.empty();
    }
    if (HasDrive(path) && path.size() >= 3 && IsSeparator(path[2]))
    {
        *root = path.substr(0, 2) + L"\\";
        *rest = path.substr(3);
        return true;
    }
    return false;
}

// Joins a root and the components of rest, "." left out and ".." taking the
// component before it away, never the root.
static std::wstring Join(const std::wstring& root, std::wstring rest)
{
    std::vector<std::wstring> parts;
    while (!rest.empty())
    {
        std::wstring part = TakeComponent(&rest);
        if (part == L"..")
        {
            if (!parts.empty())
                parts.pop_back();
        }
        else if (!part.empty() && part != L".")
            parts.push_back(part);
    }
    std::wstring full = root;
    for (size_t i = 0; i < parts.size(); i++)
        full += (i ? L"\\" : L"") + parts[i];
    return full;
}

// Returns the current folder, taking the system's the first time.
static const std::wstring& Current()
{
    if (gCurrent.empty())
    {
        DWORD size = GetCurrentDirectoryW(0, nullptr);
        std::wstring path(size, L'\0');
        DWORD length = size ? GetCurrentDirectoryW(size, path.data()) : 0;
        path.resize(length < size ? length : 0);
        std::wstring root, rest;
        gCurrent = SplitRoot(path, &root, &rest) ? Join(root, rest) : L"C:\\";
    }
    return gCurrent;
}

// Returns the folder drive letter stands for: the current folder when it lies
// on that drive, else the folder the drive remembers, else its root.
static std::wstring DriveFolder(wchar_t letter)
{
    letter = DriveLetter(std::wstring(1, letter));
    const std::wstring& current = Current();
    if (HasDrive(current) && DriveLetter(current) == letter)
        return current;
    wchar_t name[4] = {L'=', letter, L':', 0};
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    std::wstring remembered(size, L'\0');
    DWORD length = size ? GetEnvironmentVariableW(name, remembered.data(), size) : 0;
    remembered.resize(length < size ? length : 0);
    std::wstring root, rest;
    if (SplitRoot(remembered, &root, &rest) && HasDrive(root) && DriveLetter(root) == letter)
        return Join(root, rest);
    return std::wstring{letter, L':', L'\\'};
}

std::wstring Win32FullPath(const wchar_t* name)
{
    std::wstring path(name), root, rest;
    if (path.empty())
        return path;
    if (SplitRoot(path, &root, &rest))
        return Join(root, rest);
    std::wstring base;
    if (HasDrive(path))
        base = DriveFolder(path[0]), path.erase(0, 2);
    else if (IsSeparator(path[0]))
        SplitRoot(Current(), &base, &rest), path.erase(0, 1);
    else
        base = Current();
    SplitRoot(base + L"\\" + path, &root, &rest);
    return Join(root, rest);
}

bool Win32IsAbsolute(const std::wstring& path)
{
    std::wstring root, rest;
    return SplitRoot(path, &root, &rest);
}

std::wstring Win32ExtendedPath(const std::wstring& full)
{
    if (HasNamespace(full))
        return full;
    if (full.size() >= 2 && full[0] == L'\\' && full[1] == L'\\')
        return L"\\\\?\\UNC\\" + full.substr(2);
    return HasDrive(full) ? L"\\\\?\\" + full : full;
}

// Tells whether a full path names a folder that can become the current one: there
// and passable, as the system's own change of folder asks.
static bool IsEnterableFolder(const std::wstring& full)
{
    HANDLE folder = CreateFileW(Win32ExtendedPath(full).c_str(), FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool isFolder = GetFileInformationByHandle(folder, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(folder);
    return isFolder;
}

// [SECTION] Current folder

int PlatGetCurrentFolder(char16_t* buffer, int32_t capacity)
{
    if (capacity <= 0)
        return 0;
    const std::wstring& current = Current();
    if (current.size() >= (size_t)capacity)
    {
        buffer[0] = 0;
        return 0;
    }
    for (size_t i = 0; i <= current.size(); i++)
        buffer[i] = (char16_t)current.c_str()[i];
    return 1;
}

int PlatChangeFolder(const char16_t* path)
{
    std::wstring full = Win32FullPath((const wchar_t*)path);
    if (full.empty() || !IsEnterableFolder(full))
        return -1;
    gCurrent = full;
    // The system's current folder follows where it can hold the folder, for
    // whatever the program starts; the drive remembers it in any case.
    SetCurrentDirectoryW(full.c_str());
    if (HasDrive(full))
    {
        wchar_t name[4] = {L'=', DriveLetter(full), L':', 0};
        SetEnvironmentVariableW(name, full.c_str());
    }
    return 0;
}

// [SECTION] Drives

int PlatChangeDrive(int driveNumber)
{
    if (driveNumber < 1 || driveNumber > 26)
        return -1;
    const char16_t drive[3] = {(char16_t)(u'A' + driveNumber - 1), u':', 0};
    return PlatChangeFolder(drive);
}
