// image_view.h - acting on the selection: entering folders, opening, fitting
// and drawing the open picture.
#pragma once

#include <cstdint>

struct CImageRect;
struct CViewer;

// Enters the selected folder (or its parent for "..") and clears the listing.
void EnterSelectedFolder(CViewer* viewer);
// Loads a newly selected picture, sets up its two views and fits the zoom.
void OpenSelectedImage(CViewer* viewer);
// Records where the open picture is drawn at its zoom and pan (imageRect),
// as the scaler reports it.
void PlaceOpenImage(CViewer* viewer);
// Returns the largest zoom step at which a picture of display width widthArg
// and height rows fits a frame of stride columns and pairs line pairs.
int32_t FitZoom(int32_t widthArg, int32_t height, int32_t stride, int32_t pairs);
// Draws the open picture over the grid.
void DrawOpenImage(CViewer* viewer);
// Tells where the open picture is drawn: true with the rectangle when it
// covers every pixel of it, false when no picture is drawn.
bool OpenImageCover(CViewer* viewer, CImageRect* cover);
