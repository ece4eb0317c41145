// layout.h - where things stand in the window: the numbers the grid, the
// thumbnails, the scroll strip, the toolbar, the open picture and the start
// share, each stated once.
//
// Columns count pixels from the left edge of the client area. Line pairs
// count up from the bottom of the frame; one line pair is two screen rows.
// Client rows, as the mouse reports them, count down from the top.
#pragma once

enum
{
    // [SECTION] Thumbnails: 192 x 96 pixels per view, each row one line pair,
    // so a thumbnail shows as a square of 192 x 192 screen pixels.
    kThumbWidth = 192,
    kThumbHeight = 96,

    // [SECTION] The grid
    kCellPitch = 202,      // columns from one column of cells to the next
    kGridLeft = 10,        // left edge of the first column and of the title
    kGridMargin = 26,      // room kept on the right of the last column
    kRowPitchPairs = 118,  // line pairs from one row of cells to the next
    kTitleDrop = 17,       // line pairs from the top of the content to the title's base
    kThumbLift = 17,       // line pairs from a cell's name base up to its thumbnail
    kHitTop = 113,         // a click hits a cell up to this many line pairs above its base
    kVisibleTop = 105,     // a cell is drawn while base + 105 > 0
    kNameBudget = 192,     // columns of advance a cell's name may take
    kLineStep = 18,        // line pairs from one line of wide text to the next
    kContentFoot = 22,     // line pairs below the last row of cells

    // [SECTION] The scroll-bar strip: the rightmost columns of the client area
    kScrollBarColumns = 16,

    // [SECTION] The toolbar: a band over the top line pairs of the frame
    kToolbarBandPairs = 42,                         // line pairs P - 42 to P - 1
    kToolbarBandRows = 2 * kToolbarBandPairs,       // client rows 0 to 83
    kToolbarShowRows = 6,                           // a move to rows 0 to 5 shows it
    kToolbarFirstSlotX = 10,                        // left edge of the first button
    kDriveSlotWidth = 72,                           // columns per drive button
    kButtonSlotWidth = 76,                          // columns per Prev, Next, Help, Web
    kToolbarHitWidth = 64,                          // a slot's clickable part: its picture
    kToolbarPicturePairs = 32,                      // pictures on line pairs P - 32 to P - 1
    kToolbarLabelPairs = 40,                        // labels on P - 40 to P - 33
    kToolbarAboutPairs = 10,                        // the first about line on P - 10 to P - 3
    kToolbarAboutGap = 20,                          // columns between the last button and the text
    kToolbarDriveLetters = 26,                      // A to Z

    // [SECTION] The open picture and the wheel
    kWheelNotch = 120,      // wheel delta of one notch
    kZoomStepLimit = 240,   // the zoom step stays within +-240: scale 2^-20 to 2^20
    kPanLimit = 1 << 24,    // the pan stays within +-2^24 pixels and screen rows
};
