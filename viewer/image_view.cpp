// image_view.cpp - the open picture: folders entered, pictures opened, fitted
// and drawn through the stereo scaler.
#include "viewer/image_view.h"

#include <FreeImage.h>

#include <cmath>

#include "folder/folder_list.h"
#include "folder/image_load.h"
#include "folder/loading.h"
#include "platform/platform.h"
#include "render/layout.h"
#include "render/scaler.h"
#include "viewer/viewer_state.h"

// Returns the entry the selection names, or null when nothing valid is selected.
static CFileEntry* SelectedEntry(CViewer* viewer) { return EntryAt(&viewer->folder, viewer->selected); }

// Returns true when name is exactly "..".
static bool IsParentName(const char16_t* name)
{
    return name[0] == u'.' && name[1] == u'.' && name[2] == 0;
}

void EnterSelectedFolder(CViewer* viewer)
{
    CFileEntry* entry = SelectedEntry(viewer);
    if (!entry || !entry->isDir)
        return;
    if (IsParentName(entry->name) && viewer->folder.path[0])
    {
        PlatCutToParent(viewer->folder.path);
        PlatChangeFolder(viewer->folder.path);
    }
    else if (IsParentName(entry->name))
    {
        // Deeper than any path the system hands out (the listing could not
        // learn its own path): up one level from where we are.
        PlatChangeFolder(u"..");
    }
    else
        PlatChangeFolder(entry->name);
    // A folder that cannot be entered is simply listed again from scratch.
    ClearFolder(&viewer->folder);
    viewer->selected = -1;
    viewer->redraw = 1;
}

// Returns the display width argument of an entry: twice a flat picture's
// width, the whole width of a side-by-side pair.
static int32_t DisplayWidth(const CFileEntry* entry)
{
    int64_t w = entry->flat ? (int64_t)entry->width * 2 : entry->width;
    return w > INT32_MAX ? INT32_MAX : (int32_t)w;
}

// Converts a non-negative size to int, saturating instead of overflowing.
static int32_t SaturatingTrunc(float value)
{
    if (!(value < 2147483520.0f))  // the largest float below 2^31; NaN lands here too
        return INT32_MAX;
    return value > 0.0f ? (int32_t)value : 0;
}

// Computes the trial display size of one zoom step as the fit does.
static void TrialSize(int32_t widthArg, int32_t height, int32_t step, int32_t* w, int32_t* h)
{
    float s = (float)pow(2.0, step / 12.0);
    *w = SaturatingTrunc((float)widthArg * s);
    *h = SaturatingTrunc((float)height * s);
}

int32_t FitZoom(int32_t widthArg, int32_t height, int32_t stride, int32_t pairs)
{
    // Nothing can be seen of an empty picture or in a frame without pixels or
    // line pairs; the step does not matter then, but the search must end.
    if (widthArg < 1 || height < 1 || stride < 1 || pairs < 1)
        return 0;
    int32_t step = 0;
    int32_t w = widthArg;
    int32_t h = height;
    if (widthArg < stride)
    {
        while (step < kZoomStepLimit)
        {
            if (h >= pairs)
                break;
            step++;
            TrialSize(widthArg, height, step, &w, &h);
            if (w >= stride)
                break;
        }
    }
    while ((w > stride || h > pairs) && step > -kZoomStepLimit)
    {
        step--;
        TrialSize(widthArg, height, step, &w, &h);
    }
    return step;
}

void OpenSelectedImage(CViewer* viewer)
{
    CFileEntry* entry = SelectedEntry(viewer);
    if (!entry)
        HoldPicturesAround(&viewer->folder, -1);
    if (viewer->selected != viewer->loaded && entry)
    {
        viewer->pan = {0, 0};
        // A neighbour decoded ahead opens at once, as loading it would.
        if (!OpenEntryPicture(&viewer->folder, viewer->selected, &viewer->openPrimary, &viewer->openSecondary))
        {
            // Workers held the memory the load needed: nothing is shown until
            // a later pass, once they have let it go, opens it.
            viewer->viewBits[0] = viewer->viewBits[1] = nullptr;
            viewer->redraw = 1;
            return;
        }
        if (entry->loadFailed || !viewer->openPrimary)
        {
            HoldPicturesAround(&viewer->folder, -1);
            viewer->selected = -1;
        }
        else
        {
            viewer->viewBits[0] = FreeImage_GetBits(viewer->openPrimary);
            viewer->viewPitch[0] = (int32_t)FreeImage_GetPitch(viewer->openPrimary);
            if (viewer->openSecondary)
            {
                viewer->viewBits[1] = FreeImage_GetBits(viewer->openSecondary);
                viewer->viewPitch[1] = (int32_t)FreeImage_GetPitch(viewer->openSecondary);
            }
            else
            {
                viewer->viewPitch[1] = viewer->viewPitch[0];
                // The right half of a pair starts mid-row, at a whole pixel.
                viewer->viewBits[1] = viewer->viewBits[0] + (entry->flat ? 0 : (viewer->viewPitch[0] / 6) * 3);
            }
            viewer->zoomStep = FitZoom(DisplayWidth(entry), entry->height, viewer->frame.stride, viewer->frame.pairs);
            // Prev and Next find theirs decoded by then.
            HoldPicturesAround(&viewer->folder, viewer->selected);
        }
    }
    viewer->loaded = viewer->selected;
}

// Returns the open picture's centre and scale as the scaler takes them.
static void Placement(const CViewer* viewer, int32_t* centreX, int32_t* centreY, float* scale)
{
    const CStereoFrame* frame = &viewer->frame;
    *centreX = frame->stride / 2 + viewer->pan.x;
    *centreY = viewer->pan.y / 2 + frame->pairs / 2;
    *scale = (float)pow(2.0, viewer->zoomStep / 12.0);
}

void PlaceOpenImage(CViewer* viewer)
{
    CFileEntry* entry = SelectedEntry(viewer);
    if (!entry || !viewer->viewBits[0] || !viewer->viewBits[1])
        return;
    int32_t centreX, centreY;
    float scale;
    Placement(viewer, &centreX, &centreY, &scale);
    CImageRect* r = &viewer->imageRect;
    StereoImageCover(&viewer->frame, DisplayWidth(entry), entry->height, centreX, centreY, scale, &r->x0, &r->x1,
                     &r->y0, &r->y1);
}

void DrawOpenImage(CViewer* viewer)
{
    CFileEntry* entry = SelectedEntry(viewer);
    if (!entry || !viewer->viewBits[0])
        return;
    int32_t centreX, centreY;
    float scale;
    Placement(viewer, &centreX, &centreY, &scale);
    // Where it lands is known from the update already.
    int32_t x0, x1, y0, y1;
    DrawStereoImage(&viewer->frame, viewer->viewBits[0], viewer->viewPitch[0], viewer->viewBits[1],
                    viewer->viewPitch[1], DisplayWidth(entry), entry->height, centreX, centreY, scale, &x0, &x1, &y0,
                    &y1);
}

bool OpenImageCover(CViewer* viewer, CImageRect* cover)
{
    CFileEntry* entry = SelectedEntry(viewer);
    if (!entry || entry->isDir || !viewer->viewBits[0] || !viewer->viewBits[1])
        return false;
    int32_t centreX, centreY;
    float scale;
    Placement(viewer, &centreX, &centreY, &scale);
    return StereoImageCover(&viewer->frame, DisplayWidth(entry), entry->height, centreX, centreY, scale, &cover->x0,
                            &cover->x1, &cover->y0, &cover->y1);
}
