// update_and_draw.cpp - the pass: list, size, lay out and draw the grid, act on
// the selection, draw the open picture and the toolbar, present.
//
// [SECTION] Grid geometry
// [SECTION] Wide text
// [SECTION] Remembered places in the chain
// [SECTION] The pass
#include "viewer/update_and_draw.h"

#include <cstring>

#include "folder/folder_list.h"
#include "platform/platform.h"
#include "render/assets/assets.h"
#include "render/draw.h"
#include "render/frame.h"
#include "viewer/image_view.h"
#include "viewer/toolbar.h"
#include "viewer/viewer_state.h"

// [SECTION] Grid geometry

enum
{
    kCellPitch = 202,        // pixels from one column of cells to the next
    kGridLeft = 10,          // left edge of the first column and of the title
    kGridMargin = 26,        // room kept on the right for the scroll bar
    kRowPitchRows = 236,     // screen rows per grid row (118 line pairs)
    kRowPitchPairs = 118,    // the same in line pairs
    kTitleDrop = 17,         // line pairs from the top of the content to the title
    kThumbLift = 17,         // line pairs from a cell's name base to its thumbnail
    kHitTop = 113,           // hit box height above the cell base
    kVisibleTop = 105,       // a cell counts as visible when base + 105 > 0
    kNameBudget = 192,       // pixels of advance a name may take
    kLineStep = 18,          // line pairs per line of wide text
    kTitleColor = 0x0000FF,
    kNameColor = 0x00FFFF,
};

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
    int64_t height = (rows * kRowPitchRows + 44) / 2;
    return height > INT32_MAX ? INT32_MAX : (int32_t)height;
}

// Returns the cell base (line pair of the lowest row of the name) of grid row
// `row`; 64-bit so that the longest listing cannot overflow it.
static int64_t CellBase(int32_t row, int32_t scroll, int32_t pairs)
{
    return (int64_t)scroll - (((int64_t)row + 1) * kRowPitchRows) / 2 + pairs - kTitleDrop;
}

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

// [SECTION] Remembered places in the chain
//
// The cells in view are reached by following links from the head, and each
// link lands in another record of 110 KB: scrolled deep into a long listing,
// that walk costs a pass more than all of its drawing. So the pass remembers
// every stride-th entry it walks past, at most kMarkCapacity of them, and
// starts from the nearest one at or before the rows in view. Cells it then
// skips lie above the frame, where the walk would neither hit-test nor draw
// them, so every result stays the same. Marks belong to one chain: another
// list, head or count, or a chain built or freed since (ChainGeneration),
// drops them.

enum
{
    kMarkCapacity = 1024,
};

struct CChainMarks
{
    const CFolderList* folder;  // the chain the marks were taken from
    const CFileEntry* head;
    int32_t count;
    uint32_t generation;
    int32_t stride;  // marks[k] is entry k * stride
    int32_t known;   // marks taken so far, from the head on
    CFileEntry* marks[kMarkCapacity];
};

static CChainMarks gMarks;
static bool gMarksOn = true;

void SetChainWalkMemo(bool on) { gMarksOn = on; }

// Returns the marks of folder's chain, dropping them first when they were taken
// from another chain.
static CChainMarks* MarksFor(const CFolderList* folder)
{
    CChainMarks* m = &gMarks;
    uint32_t generation = ChainGeneration();
    if (m->folder != folder || m->head != folder->head || m->count != folder->count || m->generation != generation)
    {
        m->folder = folder;
        m->head = folder->head;
        m->count = folder->count;
        m->generation = generation;
        // (count - 1) / stride stays below the capacity.
        m->stride = folder->count / kMarkCapacity + 1;
        m->known = 0;
    }
    return m;
}

// Returns the index of the nearest remembered entry at or before the rows in
// view, and the entry in *entry; 0 and the head without a usable mark.
static int32_t WalkStart(const CChainMarks* m, int32_t scroll, int32_t columns, CFileEntry* head, CFileEntry** entry)
{
    *entry = head;
    // Row r lies above the frame (cell base >= pairs) exactly when
    // 118 (r + 1) <= scroll - 17, which holds for every row before this one.
    int64_t row = ((int64_t)scroll - kTitleDrop) / kRowPitchPairs;
    if (row <= 0 || m->known == 0)
        return 0;
    int64_t k = row * columns / m->stride;
    if (k > m->known - 1)
        k = m->known - 1;
    *entry = m->marks[k];
    return (int32_t)(k * m->stride);
}

// [SECTION] The pass

// Walks the chain, hit-testing the pending click against every visible cell
// and drawing it. Cells below the frame end the walk early: nothing after them
// can be seen or hit.
static void DrawCells(CViewer* viewer, int32_t columns)
{
    CStereoFrame* frame = &viewer->frame;
    CFolderList* folder = &viewer->folder;
    CChainMarks* marks = gMarksOn ? MarksFor(folder) : nullptr;
    // Thumbnails wholly under the open picture would be drawn over at once.
    CImageRect cover;
    bool covered = OpenImageCover(viewer, &cover);
    int32_t start = 0;
    folder->cursor = folder->head;
    if (marks)
        start = WalkStart(marks, viewer->scroll, columns, folder->head, &folder->cursor);
    for (int32_t i = start; i < folder->count && folder->cursor; i++)
    {
        CFileEntry* entry = folder->cursor;
        if (marks && i % marks->stride == 0 && i / marks->stride == marks->known)
            marks->marks[marks->known++] = entry;
        int32_t column = i % columns;
        int32_t row = i / columns;
        int32_t cellX = kGridLeft + kCellPitch * column;
        int64_t base = CellBase(row, viewer->scroll, frame->pairs);
        if (base + kVisibleTop <= 0)
        {
            // This row and every later one lie below the frame.
            folder->cursor = nullptr;
            return;
        }
        if (base < frame->pairs)
        {
            int32_t cellBase = (int32_t)base;
            const CPoint32& click = viewer->clickPos;
            if (cellX <= click.x && click.x < cellX + kThumbWidth && cellBase <= click.y &&
                click.y <= cellBase + kHitTop)
            {
                viewer->selected = i;
                folder->current = entry;
            }
            frame->penX = cellX;
            frame->penY = cellBase + kThumbLift;
            frame->eyeShift = 0;
            if (!covered || cellX < cover.x0 || cellX + kThumbWidth - 1 > cover.x1 || frame->penY < cover.y0 ||
                (int64_t)frame->penY + kThumbHeight - 1 > cover.y1)
                DrawThumbnail(frame, &entry->thumb[0][0][0][0]);
            frame->color = kNameColor;
            frame->penX = cellX;
            frame->penY = cellBase;
            frame->eyeShift = 0;
            DrawWideText(frame, entry->name, cellX, kNameBudget);
        }
        folder->cursor = entry->next;
    }
}

void UpdateAndDraw(CViewer* viewer, PlatWindow* window)
{
    CStereoFrame* frame = &viewer->frame;
    CFolderList* folder = &viewer->folder;

    if (!folder->listed)
        ListFolder(folder);

    // Size the frame to the client area with the row parity of its screen top.
    PlatPoint origin = {0, 0};
    PlatClientToScreen(window, &origin);
    PlatGetClientRect(window, &viewer->clientRect);
    Resize(frame, origin.y, viewer->clientRect.right, viewer->clientRect.bottom);

    // The click arrives in client rows from the top; the grid counts line
    // pairs from the bottom. No click (-1, -1) matches nothing after this.
    viewer->clickPos.y = (int32_t)(((int64_t)viewer->clientRect.bottom - viewer->clickPos.y) / 2);

    // A click on the open picture closes it and selects nothing else.
    const CImageRect& r = viewer->imageRect;
    if (viewer->selected >= 0 && viewer->selected < folder->count && r.x0 <= viewer->clickPos.x &&
        viewer->clickPos.x <= r.x1 && r.y0 <= viewer->clickPos.y && viewer->clickPos.y <= r.y1)
    {
        viewer->selected = -1;
        viewer->clickPos = {-1, -1};
    }

    int32_t columns = GridColumns(frame->stride);
    viewer->contentHeight = GridContentHeight(folder->count, columns);
    if ((int64_t)viewer->scroll + frame->pairs > viewer->contentHeight)
        viewer->scroll = viewer->contentHeight - frame->pairs;
    if (viewer->scroll < 0)
        viewer->scroll = 0;

    frame->color = kTitleColor;
    frame->penX = kGridLeft;
    frame->penY = frame->pairs + viewer->scroll - kTitleDrop;
    frame->eyeShift = 0;
    DrawWideText(frame, folder->path, kGridLeft, 0);

    DrawCells(viewer, columns);
    DrawScrollBar(frame, viewer->scroll, viewer->contentHeight);
    viewer->clickPos = {-1, -1};

    EnterSelectedFolder(viewer);
    OpenSelectedImage(viewer);
    DrawOpenImage(viewer);
    if (viewer->toolbarShown)
        DrawToolbar(viewer);

    Present(frame);
}
