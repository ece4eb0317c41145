// platform.h - the only door from Orvale Viewer to the operating system.
//
// The viewer core speaks the Windows message vocabulary (WM_PAINT, WM_TIMER ...
// with the Windows numbers and the Windows packing of wParam and lParam); a
// window host translates its native events into exactly these messages. Every
// other service (folders, files, drives, the program's path, opening a page,
// threads) is a plain function here. Names are UTF-16 throughout; backends
// convert at their edge.
//
// Backends:
//   platform/sdl/       window host on SDL2
//   platform/headless/  scripted window host for unit tests
//   platform/posix/     every non-window service on POSIX systems
//   platform/win32/     the window host and every service on Windows
// The build picks one window host; nothing above this header includes a
// backend's header.
//
// [SECTION] Types and message numbers
// [SECTION] Text and paths
// [SECTION] Window host
// [SECTION] Folders and files
// [SECTION] Cache files
// [SECTION] Drives, program path, opening documents
// [SECTION] Command line and messages
// [SECTION] Memory
// [SECTION] Threads
// [SECTION] Process entry
#pragma once

#include <cstddef>
#include <cstdint>

// [SECTION] Types and message numbers

struct PlatWindow;  // a top-level window (HWND on Windows)
struct PlatDC;      // where frames are presented (the window's private DC)

typedef uintptr_t PlatWParam;
typedef intptr_t PlatLParam;
typedef intptr_t PlatResult;

struct PlatRect
{
    int32_t left, top, right, bottom;
};

struct PlatPoint
{
    int32_t x, y;
};

struct PlatMessage
{
    PlatWindow* window;
    uint32_t message;
    PlatWParam wParam;
    PlatLParam lParam;
};

typedef PlatResult (*PlatWindowProc)(PlatWindow* window, uint32_t message, PlatWParam wParam,
                                     PlatLParam lParam);

// Message numbers are the Windows ones; the guards let a Windows backend include
// <windows.h> beside this header.
#ifndef WM_DESTROY
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_KEYDOWN 0x0100
#define WM_TIMER 0x0113
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_MOUSEWHEEL 0x020A
#define MK_LBUTTON 0x0001
#define VK_ESCAPE 0x1B
#define WHEEL_DELTA 120
#endif

#ifndef DRIVE_UNKNOWN
#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4
#define DRIVE_CDROM 5
#define DRIVE_RAMDISK 6
#endif


// Packs two signed 16-bit client coordinates the way Windows packs lParam.
inline PlatLParam PlatMakeLParam(int32_t x, int32_t y)
{
    return (PlatLParam)(uint32_t)(((uint32_t)(uint16_t)x) | ((uint32_t)(uint16_t)y << 16));
}
// Reads the signed x of a packed position (GET_X_LPARAM).
inline int32_t PlatLParamX(PlatLParam lParam) { return (int16_t)(uint16_t)(lParam & 0xFFFF); }
// Reads the signed y of a packed position (GET_Y_LPARAM).
inline int32_t PlatLParamY(PlatLParam lParam) { return (int16_t)(uint16_t)((lParam >> 16) & 0xFFFF); }
// Reads the signed wheel delta from the high word of wParam.
inline int32_t PlatWheelDelta(PlatWParam wParam) { return (int16_t)(uint16_t)((wParam >> 16) & 0xFFFF); }

// [SECTION] Text and paths
//
// The rules of path names (separators, roots, drive letters) live behind these
// calls, so the viewer never looks inside a path itself.

// Returns the code units of a NUL-terminated UTF-16 string.
inline int32_t PlatTextLength(const char16_t* text)
{
    int32_t n = 0;
    while (text[n] && n < INT32_MAX)
        n++;
    return n;
}
// Cuts an absolute folder path to its parent folder in place: "/a/b" becomes
// "/a" and "/a" becomes "/"; on Windows "C:\a" becomes the drive's root
// "C:\". A root stays as it is.
void PlatCutToParent(char16_t* path);
// Returns where the bare name at the end of a path starts: just after its
// last separator (on Windows also after "C:"); 0 for a bare name.
int32_t PlatNameStart(const char16_t* path);
// Writes the folder part of a path, the nameStart code units before its name,
// as PlatChangeFolder takes it: without its last separator, unless the folder
// is a root ("/", "C:\"). Returns its length (0: the path has no folder part);
// -1, with folder empty, when it does not fit capacity.
int32_t PlatFolderPart(const char16_t* path, int32_t nameStart, char16_t* folder, int32_t capacity);
// Joins a folder and a name with one separator, none after a folder that
// already ends with one (a root). Returns the length; -1, with buffer empty,
// when it does not fit capacity.
int32_t PlatJoinPath(const char16_t* folder, const char16_t* name, char16_t* buffer, int32_t capacity);

// [SECTION] Window host

// Creates the program's one window, hidden, with the given title and the hand
// cursor over the whole client area. Returns null when no window can be made.
PlatWindow* PlatCreateWindow(const char16_t* title, PlatWindowProc proc);
// Shows the window maximised (on Windows: as the program was started, made
// maximised); the host delivers WM_SIZE, WM_MOVE and WM_PAINT.
void PlatShowMaximized(PlatWindow* window);
// Returns the window's presentation target; taken once and kept for the run.
PlatDC* PlatGetDC(PlatWindow* window);
// Starts a message timer: WM_TIMER(id) about every periodMs, delivered only
// when no other message waits.
void PlatSetTimer(PlatWindow* window, uintptr_t id, uint32_t periodMs);
// Waits for the next message. Returns >0 for a message, 0 for the quit message
// (its exit code in wParam), -1 on an error.
int PlatGetMessage(PlatMessage* msg);
// Hands a message to its window's procedure and returns what it answered.
PlatResult PlatDispatchMessage(const PlatMessage* msg);
// Does what the system does by default with a message (WM_CLOSE destroys the
// window and sends WM_DESTROY; everything else is accepted and ignored).
PlatResult PlatDefWindowProc(PlatWindow* window, uint32_t message, PlatWParam wParam,
                             PlatLParam lParam);
// Posts the quit message that ends the message loop.
void PlatPostQuitMessage(int exitCode);
// Reads the client rectangle: left and top 0, right and bottom the size.
void PlatGetClientRect(PlatWindow* window, PlatRect* rect);
// Converts a client point to screen coordinates.
void PlatClientToScreen(PlatWindow* window, PlatPoint* point);
// Converts a screen point to client coordinates.
void PlatScreenToClient(PlatWindow* window, PlatPoint* point);
// Copies a bottom-up 32-bit 0x00RRGGBB picture of width x height pixels to the
// client area's top-left corner, pixel for pixel. Its first row is the bottom
// client row. Rows follow each other without padding.
void PlatPresent(PlatDC* dc, int32_t width, int32_t height, const uint32_t* bits);
// Releases whatever the host holds at process exit.
void PlatShutdown();

// [SECTION] Folders and files
// [SECTION] Cache files

// A directory listing in the order NTFS reports it.
struct PlatFolderScan;

struct PlatFolderItem
{
    const char16_t* name;  // bare name, NUL-terminated, valid until the next call
    uint8_t isDir;
};

// Reads the absolute path of the current folder into buffer (capacity code
// units, terminator included). Returns 1 on success; 0 when it fails or does
// not fit, leaving buffer empty.
int PlatGetCurrentFolder(char16_t* buffer, int32_t capacity);
// Changes the current folder (absolute, or relative to the current one).
// Returns 0 on success, -1 on failure.
int PlatChangeFolder(const char16_t* path);
// Starts listing the current folder: "." and ".." first (no ".." at the root),
// then the names ordered by their upper-cased UTF-16 code units, ordinal. A
// link counts as what it points to, so a link to a folder is a folder. On
// Windows the items come as the file system reports them. Returns null when
// the folder cannot be read.
PlatFolderScan* PlatScanFolder();
// Fetches the next item. Returns 1 with item filled, 0 when none is left.
int PlatNextItem(PlatFolderScan* scan, PlatFolderItem* item);
// Ends a listing and frees it.
void PlatEndScan(PlatFolderScan* scan);
// Reads a whole file, named relative to the current folder, into a new buffer
// that the caller frees with free(); an empty file gives length 0 and a buffer
// all the same. Returns 1 on success; 0 when the file cannot be opened or
// read, is no regular file, or holds 2 GiB or more (bytes null, length 0).
int PlatReadFile(const char16_t* name, uint8_t** bytes, int32_t* length);
// Reads a whole file as PlatReadFile does, the file named inside a folder
// given by its absolute path instead of the current folder: the path and the
// name are joined as PlatJoinPath joins them. It never looks at the current
// folder, so worker threads may call it, several at once, while the window's
// thread changes folders.
int PlatReadFileIn(const char16_t* folder, const char16_t* name, uint8_t** bytes, int32_t* length);
// Reads up to capacity bytes from the start of a file named relative to the
// current folder, for telling its format from its contents. Returns how many
// were read (fewer for a shorter file, 0 for an empty one); -1 when the name
// is no regular file or cannot be opened or read. Never blocks on a pipe.
int32_t PlatReadFileHead(const char16_t* name, uint8_t* buffer, int32_t capacity);

// [SECTION] Cache files
//
// The thumbnail cache keeps small files of its own in a folder private to the
// user. These calls take absolute paths and never look at the current folder,
// so worker threads may call them, several at once, while the window's thread
// changes folders. A failure is only ever a result: nothing is reported.

// What tells whether a file changed: its size and its last modification time.
struct PlatFileStamp
{
    uint64_t size;       // bytes
    int64_t modifiedNs;  // nanoseconds since 1970-01-01 UTC, as finely as the file system keeps it
};

// A folder's files being listed, for PlatListFiles.
struct PlatFileList;

struct PlatFileInfo
{
    const char16_t* name;  // bare name, NUL-terminated, valid until the next call
    PlatFileStamp stamp;
};

// Writes the absolute path of this program's cache folder for the user: on
// Linux $XDG_CACHE_HOME/orvale-viewer (~/.cache/orvale-viewer when that is
// unset or not absolute), on Windows %LOCALAPPDATA%\Orvale Viewer\cache. A
// missing folder is created, with any missing parent, private to the user
// (0700). Returns its length; 0, with buffer empty, when there is none to be
// had (no home, no permission, a file where a folder should be, no fit).
int32_t PlatGetCacheFolder(char16_t* buffer, int32_t capacity);
// Reads the whole regular file at path into a new buffer (free() it), with
// its stamp, from one opening: as PlatReadFile, and while it is open, the
// file may be replaced (renamed over) by PlatWriteFileAtomic. Returns 1 on
// success; 0 with bytes null.
int PlatReadStampedFile(const char16_t* path, uint8_t** bytes, int32_t* length, PlatFileStamp* stamp);
// Creates a folder private to the user (0700) unless one is there. Returns 1
// when a folder is there afterwards, 0 otherwise.
int PlatMakePrivateFolder(const char16_t* path);
// Reads the stamp of the regular file at path (a link counts as what it
// points to). Returns 1; 0 when there is no regular file there.
int PlatGetFileStamp(const char16_t* path, PlatFileStamp* stamp);
// Writes bytes as the whole file at path, private to the user (0600): into a
// new temporary file in the same folder, then renamed over path, so whoever
// opens path (another process too) finds the old file or all of the new one,
// never a part. Returns 1 on success; 0 leaves path as it was and no
// temporary file behind.
int PlatWriteFileAtomic(const char16_t* path, const uint8_t* bytes, int32_t length);
// Marks the file at path as used: its modification time becomes now. Returns
// 1 on success, 0 otherwise.
int PlatTouchFile(const char16_t* path);
// Removes the file at path. Returns 1 when it was removed.
int PlatRemoveFile(const char16_t* path);
// Starts listing the files of the folder at path with their stamps, in no
// particular order; sub-folders and anything else that is no regular file
// are left out. Returns null when the folder cannot be read.
PlatFileList* PlatListFiles(const char16_t* folder);
// Fetches the next file. Returns 1 with info filled, 0 when none is left.
int PlatNextFileInfo(PlatFileList* list, PlatFileInfo* info);
// Ends a listing and frees it.
void PlatEndFileList(PlatFileList* list);

// [SECTION] Drives, program path, opening documents

// Returns the DRIVE_* type of drive letter A + index (index 0 to 25).
int PlatGetDriveType(int index);
// Makes drive number (1 = A ... 26 = Z) current: the folder last visited on it,
// its root the first time. Returns 0 on success, -1 on failure.
int PlatChangeDrive(int driveNumber);
// Writes the full path of the running program into buffer (capacity code
// units, terminator included). Returns its length, 0 on failure.
int32_t PlatGetProgramPath(char16_t* buffer, int32_t capacity);
// Opens a document or web address with the desktop's default program, without
// waiting for it. Failures are silent.
void PlatOpenDocument(const char16_t* pathOrAddress);

// [SECTION] Command line and messages

// What a path names, for PlatGetPathKind.
enum
{
    PLAT_PATH_MISSING = 0,     // nothing there (or a folder on the way cannot be searched)
    PLAT_PATH_FOLDER = 1,
    PLAT_PATH_FILE = 2,        // a regular file that can be read
    PLAT_PATH_UNREADABLE = 3,  // a regular file that cannot be read
    PLAT_PATH_OTHER = 4,       // a device, pipe, socket ...
};

// Reads argument index of the program's command line (0 is the program
// itself) into buffer as UTF-16. Returns its length; -1 when there is no such
// argument or it does not fit.
int32_t PlatGetArgument(int index, char16_t* buffer, int32_t capacity);
// Tells what a path (absolute, or relative to the current folder) names; a
// link counts as what it points to.
int PlatGetPathKind(const char16_t* path);
// Writes one line for whoever started the program (standard error where
// there is one).
void PlatReportProblem(const char16_t* line);

// [SECTION] Memory

// Readies a block just taken with malloc that is about to be written whole:
// backs its pages with memory in one call rather than one fault per page, and
// lets the heap past it be backed by large pages. The block's contents are
// unchanged. The first call also lets the heap grow in large steps. Where the
// system offers none of this, it does nothing.
void PlatPrepareFreshBlock(void* block, size_t bytes);

// [SECTION] Threads

struct PlatThread;  // a thread started by PlatStartThread

// Lowers the calling thread's scheduling priority below that of the window's
// thread, for background work that must never delay the window: the thread
// then runs on cores the window's thread leaves idle. Failures are silent.
void PlatLowerThreadPriority();
// Starts a thread that runs main(argument). Returns null, starting nothing,
// when the system cannot start one; nothing is thrown.
PlatThread* PlatStartThread(void (*main)(void* argument), void* argument);
// Waits until the thread has ended and frees its handle.
void PlatJoinThread(PlatThread* thread);
// Lets the thread run on by itself and frees its handle; it ends on its own.
void PlatDetachThread(PlatThread* thread);
// Returns how many CPUs the process may run on (its affinity mask, and on
// Linux a CPU quota of its control group), at least 1.
int32_t PlatUsableCpus();

// [SECTION] Process entry

// The program's own start, defined above this layer: the system's entry point
// (main on POSIX, wWinMain on Windows) calls it once and exits with its result.
int OrvaleMain();
