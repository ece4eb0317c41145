// image_load.cpp - reading and decoding an entry's picture, the split of
// two-stream JPEG files, and the two-view thumbnail.
//
// [SECTION] Stream split
// [SECTION] Decoding
// [SECTION] Thumbnail
// [SECTION] Loading an entry
#include "folder/image_load.h"

#include <FreeImage.h>
#include <cstdlib>
#include <cstring>

#include "folder/folder_list.h"
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

// [SECTION] Decoding

void StartImageLibrary() { FreeImage_Initialise(FALSE); }

void StopImageLibrary() { FreeImage_DeInitialise(); }

bool FitsPixelBudget(uint32_t width, uint32_t height)
{
    return width > 0 && height > 0 && (uint64_t)width * height <= (uint64_t)kMaxStreamPixels;
}

// Answers whether a bitmap's size is one we decode.
static bool WithinBudget(FIBITMAP* dib)
{
    return FitsPixelBudget(FreeImage_GetWidth(dib), FreeImage_GetHeight(dib));
}

// Decodes one byte range with the entry's format. Where the format can tell
// its size without decoding, a picture over the budget is refused before any
// pixel memory is taken. Returns null when the range does not decode.
static FIBITMAP* DecodeRange(int32_t format, uint8_t* bytes, int32_t length)
{
    if (length <= 0)
        return nullptr;
    FIMEMORY* memory = FreeImage_OpenMemory(bytes, (DWORD)length);
    if (!memory)
        return nullptr;
    FREE_IMAGE_FORMAT fif = (FREE_IMAGE_FORMAT)format;
    FIBITMAP* dib = nullptr;
    bool fits = true;
    if (FreeImage_FIFSupportsNoPixels(fif))
    {
        FIBITMAP* header = FreeImage_LoadFromMemory(fif, memory, FIF_LOAD_NOPIXELS);
        fits = header && WithinBudget(header);
        if (header)
            FreeImage_Unload(header);
        FreeImage_SeekMemory(memory, 0, SEEK_SET);
    }
    if (fits)
        dib = FreeImage_LoadFromMemory(fif, memory, 0);
    FreeImage_CloseMemory(memory);
    if (dib && (!FreeImage_HasPixels(dib) || !WithinBudget(dib)))
    {
        FreeImage_Unload(dib);
        dib = nullptr;
    }
    return dib;
}

// Replaces the bitmap in a slot by its 24-bit form; a bitmap that is already
// 24-bit stays as it is (converting it would copy every pixel). Types that
// FreeImage cannot take to 24 bits directly (16-bit grey, floating point) go
// through its standard 8-bit form. Returns 0, with the slot emptied, when no
// conversion exists.
static int ConvertSlotTo24(FIBITMAP** slot)
{
    FIBITMAP* dib = *slot;
    FREE_IMAGE_TYPE type = FreeImage_GetImageType(dib);
    if (type == FIT_BITMAP && FreeImage_GetBPP(dib) == 24)
        return 1;
    FIBITMAP* converted = FreeImage_ConvertTo24Bits(dib);
    if (!converted && type != FIT_BITMAP)
    {
        FIBITMAP* standard = FreeImage_ConvertToStandardType(dib, TRUE);
        if (standard && FreeImage_GetImageType(standard) == FIT_BITMAP && FreeImage_GetBPP(standard) == 24)
            converted = standard;
        else if (standard)
        {
            converted = FreeImage_ConvertTo24Bits(standard);
            FreeImage_Unload(standard);
        }
    }
    FreeImage_Unload(dib);
    *slot = converted;
    return converted != nullptr;
}

// [SECTION] Thumbnail

// Paints every pixel of both views in one colour (0x00RRGGBB).
static void FillThumbnail(CFileEntry* entry, uint32_t color)
{
    uint8_t* bytes = &entry->thumb[0][0][0][0];
    for (size_t i = 0; i < sizeof entry->thumb; i += 3)
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

// Returns the width of each view: the whole picture, or half a side-by-side one.
static int32_t ViewWidth(const CFileEntry* entry)
{
    return entry->flat ? entry->width : entry->width / 2;
}

void MakeThumbnail(CFileEntry* entry, FIBITMAP* primary, FIBITMAP* secondary)
{
    const int64_t viewWidth = ViewWidth(entry);
    const int64_t height = entry->height;
    if (viewWidth < 1 || height < 1)
    {
        FillThumbnail(entry, kFailureColor);  // nothing to sample
        return;
    }
    const int64_t side = viewWidth < height ? viewWidth : height;
    const int64_t xOff = (viewWidth - side) / 2;
    const int64_t yOff = height - side;

    // Where each view starts and how far apart its rows are.
    const uint8_t* base[2];
    size_t pitch[2];
    base[0] = FreeImage_GetBits(primary);
    pitch[0] = FreeImage_GetPitch(primary);
    if (secondary)
    {
        base[1] = FreeImage_GetBits(secondary);
        pitch[1] = FreeImage_GetPitch(secondary);
    }
    else
    {
        base[1] = base[0] + (entry->flat ? 0 : (size_t)viewWidth * 3);
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
            uint8_t* out = entry->thumb[v][r][0];
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
    FillThumbnail(entry, kFailureColor);
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
    static bool ready = false;
    if (!ready)
        FreeImage_Initialise(FALSE);
    ready = true;
}

void CommitLoadedEntry(CFileEntry* entry, const CFileEntry* loaded)
{
    // A failure paints the thumbnail whatever it showed; a success only fills
    // one that was still waiting.
    if (entry->thumbPending || loaded->loadFailed)
        memcpy(entry->thumb, loaded->thumb, sizeof entry->thumb);
    entry->loadFailed = loaded->loadFailed;
    entry->thumbPending = 0;
    entry->width = loaded->width;
    entry->height = loaded->height;
}

void LoadEntryImage(CFileEntry* entry, uint8_t thumbnailOnly, FIBITMAP** primary, FIBITMAP** secondary)
{
    LoadEntryImageIn(entry, nullptr, thumbnailOnly, primary, secondary);
}

void LoadEntryImageIn(CFileEntry* entry, const char16_t* folder, uint8_t thumbnailOnly, FIBITMAP** primary,
                      FIBITMAP** secondary)
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
    int read = folder ? PlatReadFileIn(folder, entry->name, &bytes, &length)
                      : PlatReadFile(entry->name, &bytes, &length);
    if (read)
    {
        int32_t split = 0;
        if (entry->format == FIF_JPEG && length > 0)
            split = FindStreamSplit(bytes, length);
        *primary = DecodeRange(entry->format, bytes + split, length - split);
        // Without the primary the entry fails whatever the first stream holds.
        if (*primary && split != 0)
            *secondary = DecodeRange(entry->format, bytes, split);
        free(bytes);
    }
    if (*primary)
        ConvertSlotTo24(primary);
    if (!*primary)
    {
        FailEntry(entry, primary, secondary);
        return;
    }
    // A first stream that cannot be made 24-bit is dropped, as if it had not
    // decoded: the file is then shown as one stream.
    if (*secondary)
        ConvertSlotTo24(secondary);

    entry->width = (int32_t)FreeImage_GetWidth(*primary);
    entry->height = (int32_t)FreeImage_GetHeight(*primary);
    if (*secondary)
    {
        int32_t w = (int32_t)FreeImage_GetWidth(*secondary);
        int32_t h = (int32_t)FreeImage_GetHeight(*secondary);
        if (w < entry->width)
            entry->width = w;
        if (h < entry->height)
            entry->height = h;
    }
    // A side-by-side picture one pixel wide has views of no width: nothing can
    // be shown or sampled, so it counts as failed.
    if (ViewWidth(entry) < 1)
    {
        FailEntry(entry, primary, secondary);
        return;
    }

    if (entry->thumbPending)
    {
        MakeThumbnail(entry, *primary, *secondary);
        entry->thumbPending = 0;
    }
    if (thumbnailOnly)
    {
        EmptySlot(primary);
        EmptySlot(secondary);
    }
}
