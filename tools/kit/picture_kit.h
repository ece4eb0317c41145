// picture_kit.h - making pictures for the samples, the test fixtures and the
// benchmarks: a small stereo scene renderer, encoders, and the two-stream
// file layout stereo cameras write.
//
// Everything is deterministic: the same arguments give the same bytes.
#pragma once

#include <cstdint>
#include <vector>

struct FIBITMAP;

typedef std::vector<uint8_t> ByteVector;

// Renders the test scene (spheres and boxes at 2 to 12 m on a checkered
// ground, under a sky) as seen from an eye eyeX metres right of the centre.
// Both eyes share the plane of zero parallax at 3 m. Returns a 24-bit bitmap.
FIBITMAP* RenderScene(int width, int height, double eyeX);
// Returns a 24-bit bitmap whose pixel at column x, bitmap row y (row 0 at the
// bottom) encodes its own position; see CoordinatePixel.
FIBITMAP* CoordinatePicture(int width, int height);
// Returns the blue, green and red bytes CoordinatePicture puts at (x, y):
// blue x & 255, green y & 255, red (x >> 8 & 15) | (y >> 8 & 15) << 4.
void CoordinatePixel(int x, int y, uint8_t bgr[3]);
// Returns a 24-bit bitmap of one colour (0x00RRGGBB).
FIBITMAP* SolidPicture(int width, int height, uint32_t color);
// Returns a 24-bit bitmap of noise from a seed, too noisy for its
// thumbnail to deflate.
FIBITMAP* NoisePicture(int width, int height, uint32_t seed);
// Puts two bitmaps of equal size side by side, left then right.
FIBITMAP* SideBySide(FIBITMAP* left, FIBITMAP* right);

// Encodes a bitmap as a bare baseline JPEG: SOI, tables, frame, scan, EOI,
// no application segments.
ByteVector EncodeJpeg(FIBITMAP* dib, int quality);
// Encodes a bitmap as PNG.
ByteVector EncodePng(FIBITMAP* dib);
// Encodes a bitmap as BMP.
ByteVector EncodeBmp(FIBITMAP* dib);
// Inserts an APP1 Exif segment carrying a preview JPEG (IFD1 thumbnail) right
// after the SOI of a JPEG stream.
ByteVector AddExifPreview(const ByteVector& jpeg, const ByteVector& preview);
// Writes the two-stream file a stereo camera writes: the left eye first (Exif
// with a preview, then an MPF index naming both images and their offsets),
// the right eye directly after it.
ByteVector CameraPair(FIBITMAP* left, FIBITMAP* right, int quality);
// Writes bytes to a file; returns 0 on failure.
int WriteBytes(const char* path, const ByteVector& bytes);
