// toolbar.h - the band at the top of the window: a button per drive, Prev,
// Next, Help and Web, and the about text.
//
// The toolbar keeps no state: every pass that shows it reads the drive row
// afresh, acts on a pending toolbar click that falls on a button, then draws
// the row.
#pragma once

#include <cstdint>

#include "render/layout.h"

struct CViewer;

// Reads the DRIVE_* type of each letter A to Z from the platform.
void ReadDriveRow(int driveTypes[kToolbarDriveLetters]);
// Acts on a pending toolbar click that falls on a button of the row these
// drives make, and uses the click up.
void ActOnToolbarClick(CViewer* viewer, const int driveTypes[kToolbarDriveLetters]);
// Dims the band and draws the row of buttons and the about text.
void DrawToolbarRow(CViewer* viewer, const int driveTypes[kToolbarDriveLetters]);
// Selects the picture before the selected one; past the first picture it
// closes the picture. Raises redraw.
void SelectPreviousImage(CViewer* viewer);
// Selects the picture after the selected one; past the last picture it
// closes the picture. Raises redraw.
void SelectNextImage(CViewer* viewer);
// Writes the path of help.html beside the program into buffer. Returns its
// length; "help.html" alone when the program's path is unknown.
int32_t HelpPagePath(char16_t* buffer, int32_t capacity);
