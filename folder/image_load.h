// image_load.h - reading and decoding an entry's picture, the split of
// two-stream JPEG files, and the two-view thumbnail.
#pragma once

#include <cstddef>
#include <cstdint>

#include "folder/folder_list.h"

struct CDecoded;
struct FIBITMAP;

// Bytes of a two-view thumbnail, laid out as an entry's.
constexpr size_t kThumbBytes = sizeof(CFileEntry::thumb);

enum
{
    // Largest picture decoded, per stream: 300 megapixels takes every camera's
    // picture and stitched panoramas up to 30000 x 10000, and stops a small file
    // whose header claims a vast size from taking gigabytes.
    kMaxStreamPixels = 300000000,
};

// Readies the image libraries (FreeImage, libheif) for the run: a library linked into the program,
// as on Windows, registers its formats only then. Where the library readies
// itself when loaded, this and StopImageLibrary only count up and down.
void StartImageLibrary();
// Releases what StartImageLibrary readied, at exit.
void StopImageLibrary();
// Answers whether a stream of width x height pixels is one we decode: not
// empty, and within kMaxStreamPixels (the product taken in 64 bits).
bool FitsPixelBudget(uint32_t width, uint32_t height);
// Returns the offset of the SOI marker that starts a second JPEG stream after
// a complete first one, or 0 when there is none.
int32_t FindStreamSplit(const uint8_t* bytes, int32_t length);
// Decodes the entry's file into 24-bit bitmaps in the two slots and makes its
// thumbnail while it is pending. Thumbnail-only mode leaves both slots empty;
// open mode first frees what the slots held and leaves the decoded picture
// there. Failure shows as loadFailed 1 and both slots empty.
void LoadEntryImage(CFileEntry* entry, uint8_t thumbnailOnly, FIBITMAP** primary, FIBITMAP** secondary);
// Sets FreeImage up once; called on the window's thread before any other
// thread decodes.
void PrepareDecoders();
// Samples the centred (landscape) or top (portrait) square of each view into
// the entry's thumbnail. Both bitmaps are 24-bit and the entry's width and
// height are set; secondary may be null.
void MakeThumbnail(CFileEntry* entry, FIBITMAP* primary, FIBITMAP* secondary);
// The same into kThumbBytes at thumb, from a decoded picture whose views
// follow the flat rule.
void SampleThumbnail(uint8_t* thumb, uint8_t flat, const CDecoded* picture);
// Answers whether a decoded picture has views to show: a side-by-side pair
// one pixel wide has none.
bool HasViews(uint8_t flat, const CDecoded* picture);
// Writes into entry and the two (empty) slots what an open-mode load that
// decoded picture writes; the slots take its bitmaps.
void CommitPicture(CFileEntry* entry, const CDecoded* picture, FIBITMAP** primary, FIBITMAP** secondary);

// Unloads whatever bitmaps the two slots hold and empties them.
void FreeImageSlots(FIBITMAP** primary, FIBITMAP** secondary);
