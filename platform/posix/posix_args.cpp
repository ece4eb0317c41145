// posix_args.cpp - the command line, what a path names, and messages for
// whoever started the program, on POSIX; and reading the files under /proc.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/posix_read.h"
#include "platform/posix/posix_text.h"

char* PosixReadWholeFile(const char* path, size_t* length)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    size_t size = 0, capacity = 16384;
    char* text = (char*)malloc(capacity);
    while (text)
    {
        if (capacity - size < 4096)
        {
            char* grown = (char*)realloc(text, capacity * 2);
            if (!grown)
            {
                free(text);
                text = nullptr;
                break;
            }
            text = grown;
            capacity *= 2;
        }
        ssize_t n = read(fd, text + size, capacity - size - 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
        {
            if (n < 0)
            {
                free(text);
                text = nullptr;
            }
            break;
        }
        size += (size_t)n;
    }
    close(fd);
    if (text)
        text[size] = 0;
    if (length)
        *length = text ? size : 0;
    return text;
}

int32_t PlatGetArgument(int index, char16_t* buffer, int32_t capacity)
{
    if (capacity > 0)
        buffer[0] = 0;
    // The kernel keeps argv as NUL-separated bytes, exactly as they were given.
    size_t length = 0;
    char* all = PosixReadWholeFile("/proc/self/cmdline", &length);
    if (!all)
        return -1;
    size_t at = 0;
    for (int i = 0; i < index && at < length; i++)
        at += strnlen(all + at, length - at) + 1;
    int32_t result = -1;
    if (index >= 0 && at < length)
    {
        size_t units = 0;
        char16_t* text = PosixToUtf16(all + at, strnlen(all + at, length - at), &units);
        if (text && units < (size_t)capacity)
        {
            memcpy(buffer, text, (units + 1) * sizeof(char16_t));
            result = (int32_t)units;
        }
        free(text);
    }
    free(all);
    return result;
}

int PlatGetPathKind(const char16_t* path)
{
    char* bytes = PosixToBytes(path, nullptr);
    if (!bytes)
        return PLAT_PATH_MISSING;
    struct stat st;
    int kind = PLAT_PATH_MISSING;
    if (bytes[0] && stat(bytes, &st) == 0)
    {
        if (S_ISDIR(st.st_mode))
            kind = PLAT_PATH_FOLDER;
        else if (!S_ISREG(st.st_mode))
            kind = PLAT_PATH_OTHER;
        else
            kind = access(bytes, R_OK) == 0 ? PLAT_PATH_FILE : PLAT_PATH_UNREADABLE;
    }
    free(bytes);
    return kind;
}

void PlatReportProblem(const char16_t* line)
{
    // Names go out as the bytes they came in as, valid UTF-8 or not.
    size_t length = 0;
    char* bytes = PosixToBytes(line, &length);
    if (!bytes)
        return;
    bytes[length] = '\n';
    fwrite(bytes, 1, length + 1, stderr);
    fflush(stderr);
    free(bytes);
}
