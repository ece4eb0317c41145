// toolbar.h - the band at the top of the window: a button per drive, Prev,
// Next, Help and Web, and the about text.
//
// The toolbar keeps no state: every pass that draws it asks for the drive
// row afresh and acts on a pending toolbar click that falls on a button.
#pragma once

#include <cstdint>

struct CViewer;

enum
{
    kToolbarBandPairs = 42,   // the band: the top 42 line pairs (84 screen rows)
    kToolbarFirstSlotX = 10,
    kDriveSlotWidth = 72,
    kButtonSlotWidth = 76,
    kToolbarHitWidth = 64,    // a slot's clickable part: its picture's width
    kToolbarDriveLetters = 26,
};

// Dims the band, draws the row of buttons and the about text, and acts on a
// pending toolbar click. The drive row comes from the platform.
void DrawToolbar(CViewer* viewer);
// Does what DrawToolbar does with the DRIVE_* type of each letter A to Z
// given.
void DrawToolbarRow(CViewer* viewer, const int driveTypes[kToolbarDriveLetters]);
// Selects the file entry before the selected one; past the first file it
// closes the picture. Raises redraw.
void SelectPreviousImage(CViewer* viewer);
// Selects the file entry after the selected one; past the last file it closes
// the picture. Raises redraw.
void SelectNextImage(CViewer* viewer);
// Writes the path of help.html beside the program into buffer. Returns its
// length; "help.html" alone when the program's path is unknown.
int32_t HelpPagePath(char16_t* buffer, int32_t capacity);
