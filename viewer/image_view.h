// image_view.h - acting on the selection: entering folders, opening, fitting
// and drawing the open picture.
#pragma once

#include <cstdint>

struct CImageRect;
struct CViewer;

enum
{
    kZoomStepLimit = 240,  // 2^(+-20): far beyond any useful view, safe for every conversion
};

// Enters the selected folder (or its parent for "..") and clears the listing.
void EnterSelectedFolder(CViewer* viewer);
// Loads a newly selected picture, sets up its two views and fits the zoom.
void OpenSelectedImage(CViewer* viewer);
// Returns the largest zoom step at which a picture of display width widthArg
// and height rows fits a frame of stride columns and pairs line pairs.
int32_t FitZoom(int32_t widthArg, int32_t height, int32_t stride, int32_t pairs);
// Draws the open picture over the grid and records where it landed.
void DrawOpenImage(CViewer* viewer);
// Tells, before the grid is drawn, where this pass will draw the open
// picture: true with the rectangle when a picture already open will cover
// it whatever the grid does (no click waits), false otherwise.
bool OpenImageCover(CViewer* viewer, CImageRect* cover);
