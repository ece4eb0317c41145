// image_load.cpp - reading and decoding an entry's picture, the split of
// two-stream JPEG files, and the two-view thumbnail.
//
// [SECTION] Stream split
// [SECTION] The image library
// [SECTION] Thumbnail
// [SECTION] Loading an entry
#include "folder/image_load.h"

#include <FreeImage.h>
#include <cstdlib>
#include <cstring>

#include "folder/decoder.h"
#include "folder/folder_list.h"
#include "folder/heif_decode.h"
#include "platform/platform.h"

// [SECTION] Stream split

enum ScanState
{
    kBeforeFirst,  // no SOI seen yet
    kInsideFirst,  // within the first stream
    kAfterFirst,   // the first stream has ended
};

int32_t FindStreamSplit(const uint8_t* bytes, int32_t length)
{
    if (length <= 0)
        return 0;
    const size_t n = (size_t)length;
    ScanState state = kBeforeFirst;
    size_t p = 0;
    while (p < n)
    {
        // Entropy-coded data is most of a file; jump straight to the next 0xFF.
        if (bytes[p] != 0xFF)
        {
            const void* next = memchr(bytes + p, 0xFF, n - p);
            if (!next)
                return 0;
            p = (size_t)((const uint8_t*)next - bytes);
        }
        if (p + 1 >= n)
            return 0;
        uint8_t marker = bytes[p + 1];
        if (marker == 0xD8)  // SOI
        {
            if (state == kAfterFirst)
                return (int32_t)p;
            if (state == kInsideFirst)
                return 0;
            state = kInsideFirst;
            p += 2;
        }
        else if (marker == 0xD9)  // EOI
        {
            if (state != kInsideFirst)
                return 0;
            state = kAfterFirst;
            p += 2;
        }
        else if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            p += 3;  // TEM and RSTn step over the byte after the marker too
        else if (marker == 0x00 || marker == 0xFE || marker == 0xFF)
            p += 2;  // stuffed zero, comment (walked, not skipped), fill
        else
        {
            // A segment with a length: skipped whole, so a preview JPEG inside
            // APP1 is never mistaken for a stream of its own.
            if (p + 3 >= n)
                return 0;
            size_t segment = ((size_t)bytes[p + 2] << 8) | bytes[p + 3];
            if (segment < 2)
                return 0;
            p += 2 + segment;
        }
    }
    return 0;
}

// [SECTION] The image library

void StartImageLibrary()
{
    FreeImage_Initialise(FALSE);
    StartHeifDecoder();
}

void StopImageLibrary()
{
    StopHeifDecoder();
    FreeImage_DeInitialise();
}

bool FitsPixelBudget(uint32_t width, uint32_t height)
{
    return width > 0 && height > 0 && (uint64_t)width * height <= (uint64_t)kMaxStreamPixels;
}

// [SECTION] Thumbnail

// Paints every pixel of both views of a thumbnail in one colour (0x00RRGGBB).
static void FillThumbnailBytes(uint8_t* bytes, uint32_t color)
{
    for (size_t i = 0; i < kThumbBytes; i += 3)
    {
        bytes[i] = (uint8_t)color;
        bytes[i + 1] = (uint8_t)(color >> 8);
        bytes[i + 2] = (uint8_t)(color >> 16);
    }
}

enum : uint32_t
{
    kFailureColor = 0x00FF1616,
};

void SampleThumbnail(uint8_t* thumb, uint8_t flat, const CDecoded* picture)
{
    const int64_t viewWidth = flat ? picture->width : picture->width / 2;
    const int64_t height = picture->height;
    if (viewWidth < 1 || height < 1)
    {
        FillThumbnailBytes(thumb, kFailureColor);  // nothing to sample
        return;
    }
    const int64_t side = viewWidth < height ? viewWidth : height;
    const int64_t xOff = (viewWidth - side) / 2;
    const int64_t yOff = height - side;

    // Where each view starts and how far apart its rows are.
    const uint8_t* base[2];
    size_t pitch[2];
    base[0] = FreeImage_GetBits(picture->primary);
    pitch[0] = FreeImage_GetPitch(picture->primary);
    if (picture->secondary)
    {
        base[1] = FreeImage_GetBits(picture->secondary);
        pitch[1] = FreeImage_GetPitch(picture->secondary);
    }
    else
    {
        base[1] = base[0] + (flat ? 0 : (size_t)viewWidth * 3);
        pitch[1] = pitch[0];
    }

    // Nearest source column of each thumbnail column, as a byte offset; the
    // first and last columns take the square's first and last.
    size_t column[kThumbWidth];
    for (int64_t c = 0; c < kThumbWidth; c++)
        column[c] = (size_t)(xOff + (95 + c * (side - 1)) / 191) * 3;
    for (int v = 0; v < 2; v++)
    {
        for (int64_t r = 0; r < kThumbHeight; r++)
        {
            const int64_t sourceRow = yOff + (47 + r * (side - 1)) / 95;
            const uint8_t* row = base[v] + (size_t)sourceRow * pitch[v];
            uint8_t* out = thumb + ((size_t)v * kThumbHeight + (size_t)r) * kThumbWidth * 3;
            for (int c = 0; c < kThumbWidth; c++)
            {
                const uint8_t* pixel = row + column[c];
                out[0] = pixel[0];
                out[1] = pixel[1];
                out[2] = pixel[2];
                out += 3;
            }
        }
    }
}

void MakeThumbnail(CFileEntry* entry, FIBITMAP* primary, FIBITMAP* secondary)
{
    CDecoded picture = {primary, secondary, entry->width, entry->height};
    SampleThumbnail(&entry->thumb[0][0][0][0], entry->flat, &picture);
}

bool HasViews(uint8_t flat, const CDecoded* picture)
{
    return (flat ? picture->width : picture->width / 2) >= 1;
}

// [SECTION] Loading an entry

// Unloads a slot's bitmap, if any, and empties the slot.
static void EmptySlot(FIBITMAP** slot)
{
    if (*slot)
        FreeImage_Unload(*slot);
    *slot = nullptr;
}

// Marks the entry as failed with the failure thumbnail and leaves both slots
// empty: nobody shows a first stream without its second.
static void FailEntry(CFileEntry* entry, FIBITMAP** primary, FIBITMAP** secondary)
{
    EmptySlot(primary);
    EmptySlot(secondary);
    entry->thumbPending = 0;
    entry->loadFailed = 1;
    FillThumbnailBytes(&entry->thumb[0][0][0][0], kFailureColor);
}

void FreeImageSlots(FIBITMAP** primary, FIBITMAP** secondary)
{
    EmptySlot(primary);
    EmptySlot(secondary);
}

void PrepareDecoders()
{
    // A shared FreeImage has set itself up when it was loaded; a static one
    // has not. Either way this happens once, before any second thread decodes:
    // afterwards FreeImage's globals (its plugin table, and no message
    // handler) are only read.
    // libheif readies its decoder plugins the same way, once.
    static bool ready = false;
    if (!ready)
    {
        FreeImage_Initialise(FALSE);
        StartHeifDecoder();
    }
    ready = true;
}

void LoadEntryImage(CFileEntry* entry, uint8_t thumbnailOnly, FIBITMAP** primary, FIBITMAP** secondary)
{
    entry->loadFailed = 0;
    if (entry->isDir)
    {
        entry->thumbPending = 0;
        return;
    }
    if (!thumbnailOnly)
    {
        EmptySlot(primary);
        EmptySlot(secondary);
    }

    // A file that is gone, unreadable or 2 GiB and over fails like a picture
    // that does not decode.
    uint8_t* bytes = nullptr;
    int32_t length = 0;
    CDecoded picture = {};
    int decoded = 0;
    if (PlatReadFile(entry->name, &bytes, &length))
    {
        CDecodeInput in = {bytes, length, entry->format, entry->flat};
        decoded = DecodePicture(&in, &picture);
        free(bytes);
    }
    if (!decoded)
    {
        FailEntry(entry, primary, secondary);
        return;
    }
    *primary = picture.primary;
    *secondary = picture.secondary;
    entry->width = picture.width;
    entry->height = picture.height;
    // A side-by-side picture one pixel wide has views of no width: nothing can
    // be shown or sampled, so it counts as failed (its size stays recorded).
    if (!HasViews(entry->flat, &picture))
    {
        FailEntry(entry, primary, secondary);
        return;
    }

    if (entry->thumbPending)
    {
        SampleThumbnail(&entry->thumb[0][0][0][0], entry->flat, &picture);
        entry->thumbPending = 0;
    }
    if (thumbnailOnly)
    {
        EmptySlot(primary);
        EmptySlot(secondary);
    }
}

void CommitPicture(CFileEntry* entry, const CDecoded* picture, FIBITMAP** primary, FIBITMAP** secondary)
{
    entry->loadFailed = 0;
    *primary = picture->primary;
    *secondary = picture->secondary;
    entry->width = picture->width;
    entry->height = picture->height;
    if (entry->thumbPending)
        SampleThumbnail(&entry->thumb[0][0][0][0], entry->flat, picture);
    entry->thumbPending = 0;
}
