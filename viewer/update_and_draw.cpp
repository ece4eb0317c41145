// update_and_draw.cpp - the pass: first every change the message asked for
// (listing, the frame's size, the click, the toolbar's actions, entering a
// folder, opening a picture), then the drawing of what the state now is,
// then one present. Drawing changes nothing.
//
// [SECTION] Grid geometry
// [SECTION] Wide text
// [SECTION] Update
// [SECTION] Draw
#include "viewer/update_and_draw.h"

#include <cstring>

#include "folder/folder_list.h"
#include "platform/platform.h"
#include "render/assets/assets.h"
#include "render/draw.h"
#include "render/frame.h"
#include "render/layout.h"
#include "viewer/image_view.h"
#include "viewer/toolbar.h"
#include "viewer/viewer_state.h"

enum
{
    kTitleColor = 0x0000FF,
    kNameColor = 0x00FFFF,
};

// [SECTION] Grid geometry

void InitViewer(CViewer* viewer)
{
    memset(viewer, 0, sizeof *viewer);
    viewer->selected = -1;
    viewer->loaded = -1;
    viewer->clickPos = {-1, -1};
}

int32_t GridColumns(int32_t stride)
{
    int32_t columns = (stride - kGridMargin) / kCellPitch;
    return columns > 1 ? columns : 1;
}

int32_t GridContentHeight(int32_t count, int32_t columns)
{
    int64_t rows = ((int64_t)count + columns - 1) / columns;
    int64_t height = rows * kRowPitchPairs + kContentFoot;
    return height > INT32_MAX ? INT32_MAX : (int32_t)height;
}

// Returns the cell base (line pair of the lowest row of the name) of grid row
// `row`; 64-bit so that the longest listing cannot overflow it.
static int64_t CellBase(int64_t row, int32_t scroll, int32_t pairs)
{
    return (int64_t)scroll - (row + 1) * kRowPitchPairs + pairs - kTitleDrop;
}

// Returns the first grid row whose cells can be seen: the rows before it lie
// wholly above the frame (cell base at or above the top line pair).
static int64_t FirstVisibleRow(int32_t scroll)
{
    // Row r lies above the frame exactly when 118 (r + 1) <= scroll - 17.
    int64_t row = ((int64_t)scroll - kTitleDrop) / kRowPitchPairs;
    return row > 0 ? row : 0;
}

// Answers whether a cell with this base is drawn: it is neither above the
// frame nor below it.
static bool CellVisible(int64_t base, int32_t pairs) { return base < pairs && base + kVisibleTop > 0; }

// [SECTION] Wide text

void DrawWideText(CStereoFrame* frame, const char16_t* text, int32_t lineStart, int32_t budget)
{
    char16_t lastBreak = 0;
    int32_t total = 0;
    for (const char16_t* p = text; *p; p++)
    {
        char16_t u = *p;
        if (u == 13 || u == 10)
        {
            if (lastBreak && lastBreak != u)
            {
                lastBreak = 0;
                continue;
            }
            frame->penY -= kLineStep;
            frame->penX = lineStart;
            lastBreak = u;
            continue;
        }
        int32_t advance = glyphWidths[u] + 1;
        if (budget > 0)
        {
            total += advance;
            if (total > budget)
                return;
        }
        DrawGlyph(frame, u);
        frame->penX += advance;
    }
}

// [SECTION] Update

// Lays the grid out for the listing and the frame: content height, and the
// scroll clamped to it.
static void LayOutGrid(CViewer* viewer)
{
    int32_t columns = GridColumns(viewer->frame.stride);
    viewer->contentHeight = GridContentHeight(viewer->folder.count, columns);
    if ((int64_t)viewer->scroll + viewer->frame.pairs > viewer->contentHeight)
        viewer->scroll = viewer->contentHeight - viewer->frame.pairs;
    if (viewer->scroll < 0)
        viewer->scroll = 0;
}

// Returns the index of the visible cell whose hit box holds the click (x in
// columns, y in line pairs), -1 for none. The boxes of neighbouring cells
// never overlap, so at most one holds it.
static int32_t CellAt(const CViewer* viewer, int32_t x, int32_t y)
{
    int32_t columns = GridColumns(viewer->frame.stride);
    int64_t left = (int64_t)x - kGridLeft;
    if (left < 0 || left % kCellPitch >= kThumbWidth || left / kCellPitch >= columns)
        return -1;
    int32_t pairs = viewer->frame.pairs;
    // The row whose base lies at or below y and within kHitTop of it.
    int64_t fromTop = (int64_t)viewer->scroll + pairs - kTitleDrop - y;  // (row + 1) * 118 - (y - base)
    if (fromTop < kRowPitchPairs - kHitTop)
        return -1;
    int64_t row = (fromTop + kHitTop) / kRowPitchPairs - 1;
    int64_t base = CellBase(row, viewer->scroll, pairs);
    if (row < 0 || y < base || y > base + kHitTop || !CellVisible(base, pairs))
        return -1;
    int64_t index = row * columns + left / kCellPitch;
    return index < viewer->folder.count ? (int32_t)index : -1;
}

// Lists the folder if it is not listed and lays the grid out for it.
static void ListAndLayOut(CViewer* viewer)
{
    if (!viewer->folder.listed)
        ListFolder(&viewer->folder);
    LayOutGrid(viewer);
}

// Turns the click waiting from the release into its effect: closing the open
// picture when it falls on it, else selecting the cell under it.
static void ActOnClick(CViewer* viewer)
{
    if (viewer->clickPos.x == -1 && viewer->clickPos.y == -1)
        return;
    // The click arrives in client rows from the top; the grid counts line
    // pairs from the bottom.
    int32_t x = viewer->clickPos.x;
    int32_t y = (int32_t)(((int64_t)viewer->clientRect.bottom - viewer->clickPos.y) / 2);
    viewer->clickPos = {-1, -1};
    const CImageRect& r = viewer->imageRect;
    if (EntryAt(&viewer->folder, viewer->selected) && r.x0 <= x && x <= r.x1 && r.y0 <= y && y <= r.y1)
    {
        viewer->selected = -1;
        return;
    }
    int32_t cell = CellAt(viewer, x, y);
    if (cell >= 0)
        viewer->selected = cell;
}

// Changes the viewer's state for this pass: everything the pass draws
// afterwards is what the state is now.
static void Update(CViewer* viewer, PlatWindow* window, const int driveTypes[kToolbarDriveLetters])
{
    // Size the frame to the client area with the row parity of its screen top.
    PlatPoint origin = {0, 0};
    PlatClientToScreen(window, &origin);
    PlatGetClientRect(window, &viewer->clientRect);
    Resize(&viewer->frame, origin.y, viewer->clientRect.right, viewer->clientRect.bottom);

    // The click is hit-tested against the grid as it was laid out for it.
    ListAndLayOut(viewer);
    ActOnClick(viewer);
    if (viewer->toolbarShown)
        ActOnToolbarClick(viewer, driveTypes);
    EnterSelectedFolder(viewer);
    // A folder entered or a drive changed is listed and shown in this pass.
    ListAndLayOut(viewer);
    OpenSelectedImage(viewer);
    PlaceOpenImage(viewer);
}

// [SECTION] Draw

static bool gCulling = true;

void SetThumbnailCulling(bool on) { gCulling = on; }

// Draws the title and every visible cell: thumbnail and name. Cells below the
// frame end the walk: nothing after them can be seen.
static void DrawGrid(CViewer* viewer)
{
    CStereoFrame* frame = &viewer->frame;
    const CFolderList* folder = &viewer->folder;
    frame->color = kTitleColor;
    frame->penX = kGridLeft;
    frame->penY = frame->pairs + viewer->scroll - kTitleDrop;
    frame->eyeShift = 0;
    DrawWideText(frame, folder->path, kGridLeft, 0);

    // Thumbnails wholly under the open picture would be drawn over at once.
    CImageRect cover;
    bool covered = gCulling && OpenImageCover(viewer, &cover);
    int32_t columns = GridColumns(frame->stride);
    for (int64_t i = FirstVisibleRow(viewer->scroll) * columns; i < folder->count; i++)
    {
        const CFileEntry* entry = folder->entries[i];
        int32_t cellX = kGridLeft + kCellPitch * (int32_t)(i % columns);
        int64_t base = CellBase(i / columns, viewer->scroll, frame->pairs);
        if (base + kVisibleTop <= 0)
            return;  // this row and every later one lie below the frame
        if (!CellVisible(base, frame->pairs))
            continue;
        frame->penX = cellX;
        frame->penY = (int32_t)base + kThumbLift;
        frame->eyeShift = 0;
        if (!covered || cellX < cover.x0 || cellX + kThumbWidth - 1 > cover.x1 || frame->penY < cover.y0 ||
            (int64_t)frame->penY + kThumbHeight - 1 > cover.y1)
            DrawThumbnail(frame, &entry->thumb[0][0][0][0]);
        frame->color = kNameColor;
        frame->penX = cellX;
        frame->penY = (int32_t)base;
        frame->eyeShift = 0;
        DrawWideText(frame, entry->name, cellX, kNameBudget);
    }
}

void UpdateAndDraw(CViewer* viewer, PlatWindow* window)
{
    int driveTypes[kToolbarDriveLetters] = {};
    if (viewer->toolbarShown)
        ReadDriveRow(driveTypes);
    Update(viewer, window, driveTypes);

    DrawGrid(viewer);
    DrawScrollBar(&viewer->frame, viewer->scroll, viewer->contentHeight);
    DrawOpenImage(viewer);
    if (viewer->toolbarShown)
        DrawToolbarRow(viewer, driveTypes);
    Present(&viewer->frame);
}
