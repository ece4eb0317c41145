// posix_cache_files.cpp - the program's cache folder and the calls its files
// need on POSIX: stamps, atomic writes, touching, removing and listing, all
// by absolute path.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_read.h"
#include "platform/posix/posix_text.h"

// Answers whether path names a folder (a link counts as what it points to).
static bool IsFolderAt(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates one folder, private to the user, unless a folder is already there.
static bool MakeOneFolder(const char* path)
{
    if (mkdir(path, 0700) == 0)
        return true;
    return errno == EEXIST && IsFolderAt(path);
}

// Creates every missing folder of an absolute path, each private to the user.
// Folders that exist are only looked at, so a parent we may not write to is
// no obstacle.
static bool MakeFolders(std::string path)
{
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
    {
        path[at] = 0;
        bool ok = IsFolderAt(path.c_str()) || MakeOneFolder(path.c_str());
        path[at] = '/';
        if (!ok)
            return false;
    }
    return IsFolderAt(path.c_str()) || MakeOneFolder(path.c_str());
}

int32_t PlatGetCacheFolder(char16_t* buffer, int32_t capacity)
{
    if (capacity <= 0)
        return 0;
    buffer[0] = 0;
    // A relative XDG_CACHE_HOME is invalid and ignored, as the XDG rules say.
    const char* xdg = getenv("XDG_CACHE_HOME");
    const char* home = getenv("HOME");
    std::string base;
    if (xdg && xdg[0] == '/')
        base = xdg;
    else if (home && home[0] == '/')
        base = std::string(home) + "/.cache";
    else
        return 0;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    std::string folder = base + (base == "/" ? "" : "/") + "orvale-viewer";
    if (!MakeFolders(folder))
        return 0;
    size_t length = 0;
    char16_t* text = PosixToUtf16(folder.data(), folder.size(), &length);
    int32_t result = 0;
    if (text && length < (size_t)capacity)
    {
        memcpy(buffer, text, (length + 1) * sizeof(char16_t));
        result = (int32_t)length;
    }
    free(text);
    return result;
}

int PlatMakePrivateFolder(const char16_t* path)
{
    char* bytes = PosixToBytes(path, nullptr);
    int ok = bytes && MakeOneFolder(bytes);
    free(bytes);
    return ok;
}

// Returns a file's stamp from its status.
static PlatFileStamp StampOf(const struct stat& st)
{
    return {(uint64_t)st.st_size, (int64_t)st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec};
}

int PlatReadStampedFile(const char16_t* path, uint8_t** bytes, int32_t* length, PlatFileStamp* stamp)
{
    *bytes = nullptr;
    *length = 0;
    char* name = PosixToBytes(path, nullptr);
    struct stat st;
    int ok = name && PosixReadRegularFile(name, bytes, length, &st);
    free(name);
    if (ok)
        *stamp = StampOf(st);
    return ok;
}

int PlatGetFileStamp(const char16_t* path, PlatFileStamp* stamp)
{
    char* bytes = PosixToBytes(path, nullptr);
    struct stat st;
    int ok = bytes && stat(bytes, &st) == 0 && S_ISREG(st.st_mode);
    free(bytes);
    if (ok)
        *stamp = StampOf(st);
    return ok;
}

int PlatWriteFileAtomic(const char16_t* path, const uint8_t* bytes, int32_t length)
{
    if (length < 0)
        return 0;
    char* target = PosixToBytes(path, nullptr);
    if (!target)
        return 0;
    // mkostemp makes the temporary file 0600 and unique among every process
    // and thread writing into the folder.
    std::string temp = std::string(target) + ".XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    bool ok = fd >= 0;
    size_t done = 0;
    while (ok && done < (size_t)length)
    {
        ssize_t wrote = write(fd, bytes + done, (size_t)length - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        ok = wrote > 0;
        if (ok)
            done += (size_t)wrote;
    }
    // A full disk may only show at close.
    if (fd >= 0 && close(fd) != 0)
        ok = false;
    if (ok)
        ok = rename(temp.c_str(), target) == 0;
    if (!ok && fd >= 0)
        unlink(temp.c_str());
    free(target);
    return ok;
}

int PlatTouchFile(const char16_t* path)
{
    char* bytes = PosixToBytes(path, nullptr);
    int ok = bytes && utimensat(AT_FDCWD, bytes, nullptr, 0) == 0;
    free(bytes);
    return ok;
}

int PlatRemoveFile(const char16_t* path)
{
    char* bytes = PosixToBytes(path, nullptr);
    int ok = bytes && unlink(bytes) == 0;
    free(bytes);
    return ok;
}

struct PlatFileList
{
    DIR* dir;
    char16_t* name;  // the name handed out last
};

PlatFileList* PlatListFiles(const char16_t* folder)
{
    char* bytes = PosixToBytes(folder, nullptr);
    DIR* dir = bytes ? opendir(bytes) : nullptr;
    free(bytes);
    if (!dir)
        return nullptr;
    PlatFileList* list = (PlatFileList*)calloc(1, sizeof(PlatFileList));
    if (!list)
    {
        closedir(dir);
        return nullptr;
    }
    list->dir = dir;
    return list;
}

int PlatNextFileInfo(PlatFileList* list, PlatFileInfo* info)
{
    free(list->name);
    list->name = nullptr;
    while (struct dirent* d = readdir(list->dir))
    {
        struct stat st;
        if (fstatat(dirfd(list->dir), d->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode))
            continue;
        list->name = PosixToUtf16(d->d_name, strlen(d->d_name), nullptr);
        if (!list->name)
            return 0;
        info->name = list->name;
        info->stamp = StampOf(st);
        return 1;
    }
    return 0;
}

void PlatEndFileList(PlatFileList* list)
{
    if (!list)
        return;
    closedir(list->dir);
    free(list->name);
    free(list);
}
