// toolbar.cpp - the toolbar: dimmed band, drive buttons, Prev, Next, Help, Web
// and the about text, with the actions of a toolbar click.
#include "viewer/toolbar.h"

#include "folder/folder_list.h"
#include "platform/platform.h"
#include "render/assets/assets.h"
#include "render/draw.h"
#include "render/frame.h"
#include "viewer/about.h"
#include "viewer/viewer_state.h"

enum
{
    kLabelColor = 0xFF7FFF,
    kAboutColor = 0x7F7F40,
    kPicturePairs = 32,     // button pictures fill line pairs P - 32 to P - 1
    kLabelPairs = 40,       // labels on line pairs P - 40 to P - 33
    kAboutPairs = 10,       // the first about line on P - 10 to P - 3
    kAboutGap = 20,
    kProgramPathCapacity = 4096,
    kHelpPathCapacity = kProgramPathCapacity + 16,  // room for "help.html" after the folder
};

// Returns the picture of a drive's button for its DRIVE_* type.
static const uint8_t* DriveIcon(int type)
{
    switch (type)
    {
    case DRIVE_REMOVABLE:
    case DRIVE_FIXED:
    case DRIVE_REMOTE:
    case DRIVE_CDROM:
    case DRIVE_RAMDISK:
        return DriveIcons[type - 1];
    default:
        return DriveIcons[0];
    }
}

// Draws a button's picture and its label in the slot at x.
static void DrawButton(CStereoFrame* frame, int32_t x, const uint8_t* icon, const char* label,
                       int32_t labelOffset)
{
    frame->eyeShift = 0;
    frame->penX = x;
    frame->penY = frame->pairs - kPicturePairs;
    DrawIcon(frame, icon);
    frame->color = kLabelColor;
    frame->penX = x + labelOffset;
    frame->penY = frame->pairs - kLabelPairs;
    DrawByteText(frame, label);
}

// Returns whether a pending toolbar click falls on the slot at x.
static bool ClickOnSlot(const CViewer* viewer, int32_t x)
{
    int32_t cx = viewer->toolbarClick.x;
    return viewer->toolbarClickPending && x <= cx && (int64_t)cx < (int64_t)x + kToolbarHitWidth;
}

// Darkens the band, cut at the bottom of a frame lower than the band.
static void DimBand(CStereoFrame* frame)
{
    if (frame->pairs <= 0 || frame->stride <= 0)
        return;
    int32_t bottom = frame->pairs - kToolbarBandPairs;
    frame->color = kLabelColor;
    frame->eyeShift = 0;
    frame->penX = 0;
    frame->penY = bottom > 0 ? bottom : 0;
    DimFrame(frame, frame->stride - 1, frame->pairs - 1);
}

void SelectPreviousImage(CViewer* viewer)
{
    CFolderList* folder = &viewer->folder;
    viewer->redraw = 1;
    if (viewer->selected < 0 || viewer->selected >= folder->count)
        return;
    CFileEntry* previous = nullptr;
    int32_t previousIndex = -1;
    int32_t index = 0;
    for (folder->cursor = folder->head; folder->cursor && index < folder->count;
         folder->cursor = folder->cursor->next, index++)
    {
        if (folder->cursor->isDir)
            continue;
        if (index == viewer->selected)
        {
            // Before the first file the picture closes.
            viewer->selected = previousIndex;
            folder->current = previous;
            return;
        }
        previous = folder->cursor;
        previousIndex = index;
    }
}

void SelectNextImage(CViewer* viewer)
{
    CFolderList* folder = &viewer->folder;
    viewer->redraw = 1;
    if (viewer->selected < 0 || viewer->selected >= folder->count)
        return;
    bool passed = false;
    int32_t index = 0;
    for (folder->cursor = folder->head; folder->cursor && index < folder->count;
         folder->cursor = folder->cursor->next, index++)
    {
        if (folder->cursor->isDir)
            continue;
        if (passed)
        {
            viewer->selected = index;
            folder->current = folder->cursor;
            return;
        }
        passed = index == viewer->selected;
    }
    if (passed)
    {
        // After the last file the picture closes.
        viewer->selected = -1;
        folder->current = nullptr;
    }
}

int32_t HelpPagePath(char16_t* buffer, int32_t capacity)
{
    if (capacity <= 0)
        return 0;
    buffer[0] = 0;
    int32_t nameLength = (int32_t)(sizeof kHelpFileName / sizeof kHelpFileName[0]) - 1;
    // Leave room for the longer name that replaces the program's.
    int32_t length = capacity > nameLength ? PlatGetProgramPath(buffer, capacity - nameLength) : 0;
    int32_t folderEnd = 0;  // just after the last separator, 0 when there is none
    for (int32_t i = 0; i < length; i++)
    {
#ifdef _WIN32
        if (buffer[i] == u':')
            folderEnd = i + 1;
#endif
        if (buffer[i] == PLAT_PATH_SEPARATOR)
            folderEnd = i + 1;
    }
    if (folderEnd + nameLength >= capacity)
    {
        buffer[0] = 0;
        return 0;
    }
    for (int32_t i = 0; i <= nameLength; i++)
        buffer[folderEnd + i] = kHelpFileName[i];
    return folderEnd + nameLength;
}

// Opens the help page beside the program with the desktop's browser.
static void OpenHelpPage()
{
    char16_t path[kHelpPathCapacity];
    if (HelpPagePath(path, kHelpPathCapacity) > 0)
        PlatOpenDocument(path);
}

void DrawToolbarRow(CViewer* viewer, const int driveTypes[kToolbarDriveLetters])
{
    CStereoFrame* frame = &viewer->frame;
    DimBand(frame);

    int32_t x = kToolbarFirstSlotX;
    for (int letter = 0; letter < kToolbarDriveLetters; letter++)
    {
        int type = driveTypes[letter];
        if (type == DRIVE_NO_ROOT_DIR)
            continue;
        char label[4] = {(char)('A' + letter), ':', '\\', 0};
        DrawButton(frame, x, DriveIcon(type), label, 8);
        // The click stays pending: only the end of the row uses it up.
        if (ClickOnSlot(viewer, x) && PlatChangeDrive(letter + 1) == 0)
        {
            ClearFolder(&viewer->folder);
            viewer->selected = -1;
            viewer->redraw = 1;
        }
        x += kDriveSlotWidth;
    }

    struct Button
    {
        const uint8_t* icon;
        const char* label;
        int32_t labelOffset;
    };
    static const Button buttons[] = {
        {PrevIcon, "Prev", 0},
        {NextIcon, "Next", 0},
        {HelpIcon, "Help", 0},
        {WebIcon, "Web", 8},
    };
    for (int b = 0; b < 4; b++)
    {
        DrawButton(frame, x, buttons[b].icon, buttons[b].label, buttons[b].labelOffset);
        if (ClickOnSlot(viewer, x))
        {
            viewer->toolbarClickPending = 0;
            if (b == 0)
                SelectPreviousImage(viewer);
            else if (b == 1)
                SelectNextImage(viewer);
            else if (b == 2)
                OpenHelpPage();
            else
                PlatOpenDocument(kWebAddress);
        }
        x += kButtonSlotWidth;
    }

    frame->color = kAboutColor;
    frame->eyeShift = 0;
    frame->penX = x + kAboutGap;
    frame->penY = frame->pairs - kAboutPairs;
    DrawByteText(frame, kAboutText);
    viewer->toolbarClickPending = 0;
}

void DrawToolbar(CViewer* viewer)
{
    int types[kToolbarDriveLetters];
    for (int letter = 0; letter < kToolbarDriveLetters; letter++)
        types[letter] = PlatGetDriveType(letter);
    DrawToolbarRow(viewer, types);
}
