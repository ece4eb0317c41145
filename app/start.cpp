// start.cpp - where the viewer starts: the current folder, or the folder or
// picture named by the first argument (the file a file manager hands over).
#include <cstring>

#include "app/shell.h"
#include "folder/decoder.h"
#include "folder/folder_list.h"
#include "render/layout.h"
#include "viewer/update_and_draw.h"
#include "viewer/viewer_state.h"

enum
{
    kMessageCapacity = kFolderPathCapacity + 64,
};

// The entry opened from the command line while it stays open: its cell is kept
// in view under it while the window settles its size.
static int32_t gStartEntry = -1;

// Appends text to a message of kMessageCapacity units, cutting what does not fit.
static void Append(char16_t* message, const char16_t* text)
{
    size_t at = (size_t)PlatTextLength(message);
    while (*text && at + 1 < kMessageCapacity)
        message[at++] = *text++;
    message[at] = 0;
}

// Says why the argument was not used: "orvale-viewer: NAME: WHY".
static void Report(const char16_t* argument, const char16_t* why)
{
    static char16_t message[kMessageCapacity];
    message[0] = 0;
    Append(message, u"orvale-viewer: ");
    Append(message, argument);
    Append(message, u": ");
    Append(message, why);
    Append(message, u"; starting in the current folder");
    PlatReportProblem(message);
}

// Lists the folder the picture lies in and selects its entry. Returns the
// entry's index, -1 when it is not in the listing.
static int32_t SelectNamedEntry(CViewer* viewer, const char16_t* name)
{
    CFolderList* folder = &viewer->folder;
    ListFolder(folder);
    size_t bytes = ((size_t)PlatTextLength(name) + 1) * sizeof(char16_t);
    for (int32_t index = 0; index < folder->count; index++)
    {
        const CFileEntry* entry = folder->entries[index];
        if (!entry->isDir && memcmp(entry->name, name, bytes) == 0)
        {
            viewer->selected = index;
            return index;
        }
    }
    return -1;
}

// Opens the picture at path as if its cell had been clicked: its folder
// becomes current and listed, its entry selected. Returns 1 on success.
static int StartOnPicture(CViewer* viewer, const char16_t* path)
{
    int32_t nameStart = PlatNameStart(path);
    static char16_t start[kFolderPathCapacity];
    if (!PlatGetCurrentFolder(start, kFolderPathCapacity))
        start[0] = 0;
    static char16_t where[kFolderPathCapacity];
    int32_t folderLength = PlatFolderPart(path, nameStart, where, kFolderPathCapacity);
    if (folderLength < 0 || (folderLength > 0 && PlatChangeFolder(where) != 0))
        return 0;
    if (SelectNamedEntry(viewer, path + nameStart) >= 0)
    {
        gStartEntry = viewer->selected;
        return 1;
    }
    ClearFolder(&viewer->folder);
    if (start[0])
        PlatChangeFolder(start);
    return 0;
}

int StartFromArgument(CViewer* viewer, const char16_t* argument)
{
    if (!argument)
        return kStartPlain;
    switch (PlatGetPathKind(argument))
    {
    case PLAT_PATH_FOLDER:
        if (PlatChangeFolder(argument) == 0)
            return kStartFolder;
        Report(argument, u"the folder cannot be entered");
        return kStartPlain;
    case PLAT_PATH_FILE:
        if (DetectImageFormat(argument) < 0)
            Report(argument, u"not a picture this viewer can read");
        else if (!StartOnPicture(viewer, argument))
            Report(argument, u"the picture's folder cannot be listed");
        else
            return kStartPicture;
        return kStartPlain;
    case PLAT_PATH_UNREADABLE:
        Report(argument, u"the file cannot be read");
        return kStartPlain;
    case PLAT_PATH_OTHER:
        Report(argument, u"neither a folder nor a picture file");
        return kStartPlain;
    default:
        Report(argument, u"no such file or folder");
        return kStartPlain;
    }
}

void KeepStartPictureInView(CViewer* viewer, int32_t clientWidth)
{
    if (gStartEntry < 0)
        return;
    if (viewer->selected != gStartEntry)
    {
        gStartEntry = -1;
        return;
    }
    // Its row at the top of the grid; the pass clamps at the end of the list.
    viewer->scroll = gStartEntry / GridColumns(clientWidth) * kRowPitchPairs;
}
