// win32_path_rules.cpp - the rules of Windows path names: "\" between folders
// ("/" taken as well), a drive's root "C:\", and "C:" alone naming the
// drive's current folder.
#include "platform/platform.h"

// Answers whether a code unit ends a path component.
static bool IsSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

// Answers whether the first length code units of path are a root: "\", or a
// drive's "C:\".
static bool IsRoot(const char16_t* path, int32_t length)
{
    if (length == 1)
        return IsSeparator(path[0]);
    return length == 3 && path[1] == u':' && IsSeparator(path[2]);
}

void PlatCutToParent(char16_t* path)
{
    int32_t last = -1;
    for (int32_t i = 0; path[i]; i++)
        if (IsSeparator(path[i]))
            last = i;
    if (last < 0 || IsRoot(path, PlatTextLength(path)))
        return;
    // Up from "C:\a" is the drive's root, which keeps its separator.
    path[IsRoot(path, last + 1) ? last + 1 : last] = 0;
}

int32_t PlatNameStart(const char16_t* path)
{
    int32_t start = 0;
    for (int32_t i = 0; path[i]; i++)
        if (IsSeparator(path[i]) || (i == 1 && path[i] == u':'))
            start = i + 1;
    return start;
}

int32_t PlatFolderPart(const char16_t* path, int32_t nameStart, char16_t* folder, int32_t capacity)
{
    if (capacity < 1)
        return -1;
    // "C:" names the drive's current folder and keeps what it is; a root keeps
    // its separator; any other folder drops its last one.
    int32_t keep = nameStart;
    if (keep > 0 && IsSeparator(path[keep - 1]) && !IsRoot(path, keep))
        keep--;
    if (keep >= capacity)
    {
        folder[0] = 0;
        return -1;
    }
    for (int32_t i = 0; i < keep; i++)
        folder[i] = path[i];
    folder[keep] = 0;
    return keep;
}

int32_t PlatJoinPath(const char16_t* folder, const char16_t* name, char16_t* buffer, int32_t capacity)
{
    int64_t folderLength = PlatTextLength(folder), nameLength = PlatTextLength(name);
    bool separator = folderLength > 0 && !IsSeparator(folder[folderLength - 1]) &&
                     !(folderLength == 2 && folder[1] == u':');
    int64_t length = folderLength + (separator ? 1 : 0) + nameLength;
    if (capacity < 1 || length >= capacity)
    {
        if (capacity > 0)
            buffer[0] = 0;
        return -1;
    }
    int32_t at = 0;
    for (int64_t i = 0; i < folderLength; i++)
        buffer[at++] = folder[i];
    if (separator)
        buffer[at++] = u'\\';
    for (int64_t i = 0; i <= nameLength; i++)
        buffer[at++] = name[i];
    return (int32_t)length;
}
