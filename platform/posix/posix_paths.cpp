// posix_paths.cpp - the rules of POSIX path names: one separator, "/", and
// one root, "/".
#include "platform/platform.h"

void PlatCutToParent(char16_t* path)
{
    int32_t last = -1;
    for (int32_t i = 0; path[i]; i++)
        if (path[i] == u'/')
            last = i;
    if (last < 0)
        return;
    // "/a" goes up to the root, which keeps its slash.
    path[last == 0 ? 1 : last] = 0;
}

int32_t PlatNameStart(const char16_t* path)
{
    int32_t start = 0;
    for (int32_t i = 0; path[i]; i++)
        if (path[i] == u'/')
            start = i + 1;
    return start;
}

int32_t PlatFolderPart(const char16_t* path, int32_t nameStart, char16_t* folder, int32_t capacity)
{
    if (capacity < 1)
        return -1;
    // "/" alone is the root; any longer folder drops its last slash.
    int32_t keep = nameStart > 1 ? nameStart - 1 : nameStart;
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
    bool slash = folderLength == 0 || folder[folderLength - 1] != u'/';
    int64_t length = folderLength + (slash ? 1 : 0) + nameLength;
    if (capacity < 1 || length >= capacity)
    {
        if (capacity > 0)
            buffer[0] = 0;
        return -1;
    }
    int32_t at = 0;
    for (int64_t i = 0; i < folderLength; i++)
        buffer[at++] = folder[i];
    if (slash)
        buffer[at++] = u'/';
    for (int64_t i = 0; i <= nameLength; i++)
        buffer[at++] = name[i];
    return (int32_t)length;
}
