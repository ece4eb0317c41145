// posix_files.cpp - folders and files on POSIX.
//
// Names cross this edge as UTF-16 (posix_text.h keeps every byte of a name,
// valid UTF-8 or not). Listings come out in the order an NTFS volume reports
// them: "." and ".." first, then the names ordered by their upper-cased UTF-16
// code units, ordinal, so the grid looks the same on every system.
#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/posix_read.h"
#include "platform/posix/posix_text.h"

// [SECTION] Current folder

int PlatGetCurrentFolder(char16_t* buffer, int32_t capacity)
{
    if (capacity <= 0)
        return 0;
    buffer[0] = 0;
    char* bytes = getcwd(nullptr, 0);
    if (!bytes)
        return 0;
    size_t length = 0;
    char16_t* text = PosixToUtf16(bytes, strlen(bytes), &length);
    free(bytes);
    if (!text)
        return 0;
    int ok = length < (size_t)capacity;
    if (ok)
        memcpy(buffer, text, (length + 1) * sizeof(char16_t));
    free(text);
    return ok;
}

int PlatChangeFolder(const char16_t* path)
{
    char* bytes = PosixToBytes(path, nullptr);
    if (!bytes)
        return -1;
    int result = chdir(bytes) == 0 ? 0 : -1;
    free(bytes);
    return result;
}

// [SECTION] Folder scans

struct ScanItem
{
    char16_t* name;  // NUL-terminated; the upper-cased sort key follows it in the same block
    char16_t* key;
    uint8_t isDir;
};

struct PlatFolderScan
{
    ScanItem* items;
    size_t count;
    size_t next;
};

// Returns the C.UTF-8 character rules, made once; null where the system has
// none, and then only ASCII letters are upper-cased.
static locale_t SortLocale()
{
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
    return locale;
}

// Upper-cases one UTF-16 code unit on its own, as an NTFS upcase table does:
// surrogates (and with them the escapes of stray bytes) stay as they are.
static char16_t UpperCodeUnit(char16_t unit, locale_t locale)
{
    if (unit < 0x80)
        return (unit >= u'a' && unit <= u'z') ? (char16_t)(unit - 0x20) : unit;
    if (!locale || (unit >= 0xD800 && unit <= 0xDFFF))
        return unit;
    wint_t upper = towupper_l((wint_t)unit, locale);
    return upper <= 0xFFFF ? (char16_t)upper : unit;
}

// Orders items by upper-cased code units; names equal but for case (possible
// here, never on NTFS) fall back to their own code units so the order is fixed.
static int CompareItems(const void* a, const void* b)
{
    const ScanItem* x = (const ScanItem*)a;
    const ScanItem* y = (const ScanItem*)b;
    const char16_t* p = x->key;
    const char16_t* q = y->key;
    while (*p && *p == *q)
        p++, q++;
    if (*p != *q)
        return *p < *q ? -1 : 1;
    p = x->name;
    q = y->name;
    while (*p && *p == *q)
        p++, q++;
    return *p == *q ? 0 : (*p < *q ? -1 : 1);
}

// Answers whether a directory entry is a folder; a link counts as what it
// points to, so a link to a folder is entered like a folder.
static uint8_t IsFolder(int dirFd, const struct dirent* d)
{
    if (d->d_type == DT_DIR)
        return 1;
    if (d->d_type != DT_LNK && d->d_type != DT_UNKNOWN)
        return 0;
    struct stat st;
    return fstatat(dirFd, d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

// Frees a scan and every name it holds.
static void FreeScan(PlatFolderScan* scan)
{
    for (size_t i = 0; i < scan->count; i++)
        free(scan->items[i].name);
    free(scan->items);
    free(scan);
}

// Appends one item, with its name and sort key in one block. Returns 0 when
// memory runs out.
static int AddItem(PlatFolderScan* scan, size_t* capacity, const char* bytes, uint8_t isDir)
{
    if (scan->count == *capacity)
    {
        size_t grown = *capacity ? *capacity * 2 : 64;
        ScanItem* items = (ScanItem*)realloc(scan->items, grown * sizeof(ScanItem));
        if (!items)
            return 0;
        scan->items = items;
        *capacity = grown;
    }
    size_t length = 0;
    char16_t* decoded = PosixToUtf16(bytes, strlen(bytes), &length);
    if (!decoded)
        return 0;
    char16_t* block = (char16_t*)malloc((length + 1) * 2 * sizeof(char16_t));
    if (!block)
    {
        free(decoded);
        return 0;
    }
    memcpy(block, decoded, (length + 1) * sizeof(char16_t));
    free(decoded);
    char16_t* key = block + length + 1;
    locale_t locale = SortLocale();
    for (size_t i = 0; i <= length; i++)
        key[i] = UpperCodeUnit(block[i], locale);
    ScanItem* item = &scan->items[scan->count++];
    item->name = block;
    item->key = key;
    item->isDir = isDir;
    return 1;
}

// Answers whether the open folder is the root of the file system: there its
// ".." is the folder itself.
static int IsRoot(int dirFd)
{
    struct stat self, parent;
    if (fstat(dirFd, &self) != 0 || fstatat(dirFd, "..", &parent, 0) != 0)
        return 0;
    return self.st_dev == parent.st_dev && self.st_ino == parent.st_ino;
}

PlatFolderScan* PlatScanFolder()
{
    DIR* dir = opendir(".");
    if (!dir)
        return nullptr;
    PlatFolderScan* scan = (PlatFolderScan*)calloc(1, sizeof(PlatFolderScan));
    if (!scan)
    {
        closedir(dir);
        return nullptr;
    }
    int dirFd = dirfd(dir);
    size_t capacity = 0;
    // "." and ".." come first whatever the folder holds; the root has no parent.
    int ok = AddItem(scan, &capacity, ".", 1);
    if (ok && !IsRoot(dirFd))
        ok = AddItem(scan, &capacity, "..", 1);
    size_t firstName = scan->count;
    while (ok)
    {
        errno = 0;
        struct dirent* d = readdir(dir);
        if (!d)
            break;  // the end, or a read error: keep what was read
        const char* n = d->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        ok = AddItem(scan, &capacity, n, IsFolder(dirFd, d));
    }
    closedir(dir);
    if (!ok)
    {
        FreeScan(scan);
        return nullptr;
    }
    qsort(scan->items + firstName, scan->count - firstName, sizeof(ScanItem), CompareItems);
    return scan;
}

int PlatNextItem(PlatFolderScan* scan, PlatFolderItem* item)
{
    if (scan->next >= scan->count)
        return 0;
    const ScanItem* s = &scan->items[scan->next++];
    item->name = s->name;
    item->isDir = s->isDir;
    return 1;
}

void PlatEndScan(PlatFolderScan* scan)
{
    if (scan)
        FreeScan(scan);
}

// [SECTION] Files

int PosixReadRegularFile(const char* path, uint8_t** bytes, int32_t* length, struct stat* status)
{
    // Non-blocking, so that a pipe that stands where a picture stood cannot
    // hang the viewer; only regular files are read.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return 0;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 || st.st_size > INT32_MAX)
    {
        close(fd);
        return 0;
    }
    size_t size = (size_t)st.st_size;
    uint8_t* buffer = (uint8_t*)malloc(size ? size : 1);
    if (!buffer)
    {
        close(fd);
        return 0;
    }
    // One read takes the whole file; the loop only matters where the system
    // hands out less at a time.
    size_t done = 0;
    while (done < size)
    {
        ssize_t got = read(fd, buffer + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += (size_t)got;
    }
    close(fd);
    if (done != size)
    {
        // Unreadable, or shrunk since it was measured: nothing half-read is used.
        free(buffer);
        return 0;
    }
    *bytes = buffer;
    *length = (int32_t)size;
    if (status)
        *status = st;
    return 1;
}

int PlatReadFile(const char16_t* name, uint8_t** bytes, int32_t* length)
{
    *bytes = nullptr;
    *length = 0;
    char* path = PosixToBytes(name, nullptr);
    if (!path)
        return 0;
    int ok = PosixReadRegularFile(path, bytes, length, nullptr);
    free(path);
    return ok;
}

int PlatReadFileIn(const char16_t* folder, const char16_t* name, uint8_t** bytes, int32_t* length)
{
    *bytes = nullptr;
    *length = 0;
    size_t folderLength = 0, nameLength = 0;
    char* where = PosixToBytes(folder, &folderLength);
    char* what = PosixToBytes(name, &nameLength);
    char* path = where && what ? (char*)malloc(folderLength + nameLength + 2) : nullptr;
    int ok = 0;
    if (path)
    {
        memcpy(path, where, folderLength);
        size_t at = folderLength;
        if (at == 0 || path[at - 1] != '/')
            path[at++] = '/';
        memcpy(path + at, what, nameLength + 1);
        ok = PosixReadRegularFile(path, bytes, length, nullptr);
    }
    free(path);
    free(where);
    free(what);
    return ok;
}

int32_t PlatReadFileHead(const char16_t* name, uint8_t* buffer, int32_t capacity)
{
    // Only regular files are read, opened without blocking: a pipe or a
    // terminal is never read, and a regular file that would block on read
    // (/proc/kmsg, a trace pipe) reads as empty instead of hanging the listing.
    char* path = PosixToBytes(name, nullptr);
    if (!path)
        return -1;
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    free(path);
    if (fd < 0)
        return -1;
    struct stat st;
    int32_t done = 0;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        done = -1;
    while (done >= 0 && done < capacity)
    {
        ssize_t got = read(fd, buffer + done, (size_t)(capacity - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno != EAGAIN)
            done = -1;
        if (got <= 0)
            break;
        done += (int32_t)got;
    }
    close(fd);
    return done;
}
