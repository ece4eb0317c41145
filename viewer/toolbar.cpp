// toolbar.cpp - the toolbar: dimmed band, drive buttons, Prev, Next, Help, Web
// and the about text, with the actions of a toolbar click.
#include "viewer/toolbar.h"

#include "folder/folder_list.h"
#include "platform/platform.h"
#include "render/assets/assets.h"
#include "render/draw.h"
#include "render/frame.h"
#include "render/layout.h"
#include "viewer/about.h"
#include "viewer/viewer_state.h"

enum
{
    kLabelColor = 0xFF7FFF,
    kAboutColor = 0x7F7F40,
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
    frame->penY = frame->pairs - kToolbarPicturePairs;
    DrawIcon(frame, icon);
    frame->color = kLabelColor;
    frame->penX = x + labelOffset;
    frame->penY = frame->pairs - kToolbarLabelPairs;
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

// Returns whether the selection is a picture Prev and Next can step from.
static bool PictureSelected(const CViewer* viewer)
{
    const CFileEntry* entry = EntryAt(&viewer->folder, viewer->selected);
    return entry && !entry->isDir;
}

void SelectPreviousImage(CViewer* viewer)
{
    viewer->redraw = 1;
    // Before the first picture the picture closes (-1).
    if (PictureSelected(viewer))
        viewer->selected = StepPicture(&viewer->folder, viewer->selected, -1);
}

void SelectNextImage(CViewer* viewer)
{
    viewer->redraw = 1;
    // After the last picture the picture closes (-1).
    if (PictureSelected(viewer))
        viewer->selected = StepPicture(&viewer->folder, viewer->selected, +1);
}

int32_t HelpPagePath(char16_t* buffer, int32_t capacity)
{
    if (capacity <= 0)
        return 0;
    buffer[0] = 0;
    int32_t nameLength = PlatTextLength(kHelpFileName);
    // Leave room for the longer name that replaces the program's.
    int32_t length = capacity > nameLength ? PlatGetProgramPath(buffer, capacity - nameLength) : 0;
    int32_t folderEnd = length > 0 ? PlatNameStart(buffer) : 0;
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
static void OpenHelpPage(CViewer*)
{
    char16_t path[kHelpPathCapacity];
    if (HelpPagePath(path, kHelpPathCapacity) > 0)
        PlatOpenDocument(path);
}

// Opens the project's web page with the desktop's browser.
static void OpenWebPage(CViewer*) { PlatOpenDocument(kWebAddress); }

// The buttons after the drives, left to right.
struct CToolbarButton
{
    const uint8_t* icon;
    const char* label;
    int32_t labelOffset;  // columns from the slot's left edge to the label
    void (*act)(CViewer* viewer);
};

static const CToolbarButton kButtons[] = {
    {PrevIcon, "Prev", 0, SelectPreviousImage},
    {NextIcon, "Next", 0, SelectNextImage},
    {HelpIcon, "Help", 0, OpenHelpPage},
    {WebIcon, "Web", 8, OpenWebPage},
};

// One place in the row: a drive's button (button null) or one of kButtons.
struct CToolbarSlot
{
    int32_t x;  // left edge
    int letter;  // 0 for A:, for a drive's button
    const CToolbarButton* button;
};

enum
{
    kToolbarSlots = kToolbarDriveLetters + (int)(sizeof kButtons / sizeof kButtons[0]),
};

// Lays the row out: a slot per drive that has a root, then the buttons.
// Returns the slots filled; *end is the column just after the last slot.
static int LayOutRow(const int driveTypes[kToolbarDriveLetters], CToolbarSlot slots[kToolbarSlots], int32_t* end)
{
    int n = 0;
    int32_t x = kToolbarFirstSlotX;
    for (int letter = 0; letter < kToolbarDriveLetters; letter++)
    {
        if (driveTypes[letter] == DRIVE_NO_ROOT_DIR)
            continue;
        slots[n++] = {x, letter, nullptr};
        x += kDriveSlotWidth;
    }
    for (const CToolbarButton& button : kButtons)
    {
        slots[n++] = {x, 0, &button};
        x += kButtonSlotWidth;
    }
    *end = x;
    return n;
}

void ReadDriveRow(int driveTypes[kToolbarDriveLetters])
{
    for (int letter = 0; letter < kToolbarDriveLetters; letter++)
        driveTypes[letter] = PlatGetDriveType(letter);
}

void ActOnToolbarClick(CViewer* viewer, const int driveTypes[kToolbarDriveLetters])
{
    if (!viewer->toolbarClickPending)
        return;
    CToolbarSlot slots[kToolbarSlots];
    int32_t end;
    int n = LayOutRow(driveTypes, slots, &end);
    for (int k = 0; k < n; k++)
    {
        if (!ClickOnSlot(viewer, slots[k].x))
            continue;
        if (slots[k].button)
            slots[k].button->act(viewer);
        else if (PlatChangeDrive(slots[k].letter + 1) == 0)
        {
            ClearFolder(&viewer->folder);
            viewer->selected = -1;
            viewer->redraw = 1;
        }
    }
    viewer->toolbarClickPending = 0;
}

void DrawToolbarRow(CViewer* viewer, const int driveTypes[kToolbarDriveLetters])
{
    CStereoFrame* frame = &viewer->frame;
    DimBand(frame);
    CToolbarSlot slots[kToolbarSlots];
    int32_t end;
    int n = LayOutRow(driveTypes, slots, &end);
    for (int k = 0; k < n; k++)
    {
        const CToolbarSlot& slot = slots[k];
        if (slot.button)
            DrawButton(frame, slot.x, slot.button->icon, slot.button->label, slot.button->labelOffset);
        else
        {
            char label[4] = {(char)('A' + slot.letter), ':', '\\', 0};
            DrawButton(frame, slot.x, DriveIcon(driveTypes[slot.letter]), label, 8);
        }
    }
    frame->color = kAboutColor;
    frame->eyeShift = 0;
    frame->penX = end + kToolbarAboutGap;
    frame->penY = frame->pairs - kToolbarAboutPairs;
    DrawByteText(frame, kAboutText);
}
