// win32_system.cpp - drives, the program's path, opening documents, the
// command line, messages for whoever started the program, and threads, on
// Windows.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <direct.h>
#include <process.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_paths.h"

static const wchar_t* Wide(const char16_t* text) { return (const wchar_t*)text; }

// [SECTION] Drives, program path, opening documents

int PlatGetDriveType(int index)
{
    if (index < 0 || index >= 26)
        return DRIVE_NO_ROOT_DIR;
    wchar_t root[4] = {(wchar_t)(L'A' + index), L':', L'\\', 0};
    return (int)GetDriveTypeW(root);
}

int32_t PlatGetProgramPath(char16_t* buffer, int32_t capacity)
{
    if (capacity <= 0)
        return 0;
    DWORD length = GetModuleFileNameW(nullptr, (wchar_t*)buffer, (DWORD)capacity);
    // A path cut to the buffer fills it: no path rather than a wrong one.
    if (length == 0 || length >= (DWORD)capacity)
    {
        buffer[0] = 0;
        return 0;
    }
    return (int32_t)length;
}

void PlatOpenDocument(const char16_t* pathOrAddress)
{
    // The shell shows no box of its own when it fails (no help page, no
    // browser): the box's modal loop would run the window procedure while a
    // pass is still on the stack, and failures here are silent.
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = Wide(pathOrAddress);
    info.nShow = SW_SHOWMAXIMIZED;
    ShellExecuteExW(&info);
}

// [SECTION] Command line and messages

int32_t PlatGetArgument(int index, char16_t* buffer, int32_t capacity)
{
    if (capacity > 0)
        buffer[0] = 0;
    // Split as the runtime splits it: quotes group blanks, as Explorer passes a
    // path that holds them.
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments)
        return -1;
    int32_t result = -1;
    if (index >= 0 && index < count)
    {
        size_t length = wcslen(arguments[index]);
        if (length < (size_t)capacity)
        {
            memcpy(buffer, arguments[index], (length + 1) * sizeof(wchar_t));
            result = (int32_t)length;
        }
    }
    LocalFree(arguments);
    return result;
}

int PlatGetPathKind(const char16_t* path)
{
    if (!path[0])
        return PLAT_PATH_MISSING;
    std::wstring full = Win32SystemPath(Wide(path));
    DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PLAT_PATH_MISSING;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return PLAT_PATH_FOLDER;
    HANDLE file = CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return PLAT_PATH_UNREADABLE;
    int kind = GetFileType(file) == FILE_TYPE_DISK ? PLAT_PATH_FILE : PLAT_PATH_OTHER;
    CloseHandle(file);
    return kind;
}

void PlatReportProblem(const char16_t* line)
{
    // A windowed program has standard error only when whoever started it
    // handed one over; otherwise a debugger may listen.
    HANDLE out = GetStdHandle(STD_ERROR_HANDLE);
    if (!out || out == INVALID_HANDLE_VALUE)
    {
        OutputDebugStringW(Wide(line));
        OutputDebugStringW(L"\n");
        return;
    }
    int units = (int)wcslen(Wide(line));
    int bytes = WideCharToMultiByte(CP_UTF8, 0, Wide(line), units, nullptr, 0, nullptr, nullptr);
    char* text = (char*)malloc((size_t)bytes + 1);
    if (!text)
        return;
    WideCharToMultiByte(CP_UTF8, 0, Wide(line), units, text, bytes, nullptr, nullptr);
    text[bytes] = '\n';
    DWORD written = 0;
    WriteFile(out, text, (DWORD)bytes + 1, &written, nullptr);
    free(text);
}

// [SECTION] Memory and threads

// The system backs fresh heap memory well enough on its own.
void PlatPrepareFreshBlock(void*, size_t) {}

void PlatLowerThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); }

struct PlatThread
{
    HANDLE handle;
};

// What a new thread runs; the thread frees it.
struct ThreadStart
{
    void (*main)(void*);
    void* argument;
};

// Runs a thread's own function with its argument (through the C runtime's
// start, so the runtime is ready in the thread).
static unsigned __stdcall RunThread(void* start)
{
    ThreadStart run = *(ThreadStart*)start;
    free(start);
    run.main(run.argument);
    return 0;
}

PlatThread* PlatStartThread(void (*main)(void* argument), void* argument)
{
    PlatThread* thread = (PlatThread*)malloc(sizeof(PlatThread));
    ThreadStart* start = (ThreadStart*)malloc(sizeof(ThreadStart));
    if (thread && start)
    {
        *start = {main, argument};
        thread->handle = (HANDLE)_beginthreadex(nullptr, 0, RunThread, start, 0, nullptr);
        if (thread->handle)
            return thread;
    }
    free(thread);
    free(start);
    return nullptr;
}

void PlatJoinThread(PlatThread* thread)
{
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    free(thread);
}

void PlatDetachThread(PlatThread* thread)
{
    CloseHandle(thread->handle);
    free(thread);
}

int32_t PlatUsableCpus()
{
    // The mask covers the process's processor group: up to 64 CPUs.
    DWORD_PTR process = 0, system = 0;
    int32_t cpus = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
        for (; process; process &= process - 1)
            cpus++;
    return cpus > 0 ? cpus : 1;
}
