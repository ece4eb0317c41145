// decode_two_stream.cpp - a JPEG file holding two complete streams one after
// the other (a multi-picture file): view 0 from the second stream, view 1
// from the first. When the first stream's MPF index says the second image
// is no view (a camera's preview, a phone's HDR gain map, another picture),
// the file is a flat picture made of its first stream alone.
#include <FreeImage.h>
#include <cstdlib>

#include "folder/decoder.h"
#include "folder/exif_guard.h"
#include "folder/image_load.h"
#include "folder/mpf.h"
#include "folder/upright.h"

// Returns where the second stream starts (0: not a two-stream file).
static int32_t DetectTwoStreams(const CDecodeInput* in)
{
    if (in->format != FIF_JPEG || in->length <= 0)
        return 0;
    return FindStreamSplit(in->bytes, in->length);
}

// Reads a stream's size from its header into *width and *height (0 x 0 when
// the header does not read).
static void StreamSize(const uint8_t* bytes, int32_t length, int32_t* width, int32_t* height)
{
    *width = *height = 0;
    uint8_t* copy = nullptr;
    if (!(bytes = GuardExif(bytes, length, &copy)))
        return;
    FIMEMORY* memory = FreeImage_OpenMemory((BYTE*)bytes, (DWORD)length);
    FIBITMAP* header = memory ? FreeImage_LoadFromMemory(FIF_JPEG, memory, FIF_LOAD_NOPIXELS) : nullptr;
    if (header)
    {
        *width = (int32_t)FreeImage_GetWidth(header);
        *height = (int32_t)FreeImage_GetHeight(header);
        FreeImage_Unload(header);
    }
    if (memory)
        FreeImage_CloseMemory(memory);
    free(copy);
}

// Answers whether the second stream is shown as the other eye: by the MPF
// index's type, and for a type-0 image after a baseline primary by both
// streams' stored sizes.
static bool SecondIsView(const CDecodeInput* in, int32_t split)
{
    const MpfSecondImage second = ClassifySecondImage(in->bytes, in->length, split);
    if (second != kSecondIsViewIfSameSize)
        return SecondStreamIsView(second, 0, 0, 0, 0);
    int32_t w0, h0, w1, h1;
    StreamSize(in->bytes, split, &w0, &h0);
    StreamSize(in->bytes + split, in->length - split, &w1, &h1);
    return SecondStreamIsView(second, w0, h0, w1, h1);
}

static int64_t TwoStreamPixels(const CDecodeInput* in, int32_t split)
{
    int64_t first = RangePixels(in->format, in->bytes, split);
    if (!SecondIsView(in, split))
        return first;
    int64_t second = RangePixels(in->format, in->bytes + split, in->length - split);
    return second && first ? second + first : 0;
}

// Decodes the first stream alone as a flat JPEG picture: upright by its Exif
// orientation.
static int DecodeFirstStreamFlat(const CDecodeInput* in, int32_t split, CDecoded* out)
{
    out->primary = DecodeRange(in->format, in->bytes, split, UprightLoadFlags(in->format, false));
    if (!out->primary || !ConvertSlotTo24(&out->primary))
        return 0;
    SetDecodedSize(out);
    return 1;
}

static int DecodeTwoStreams(const CDecodeInput* in, int32_t split, CDecoded* out)
{
    if (!SecondIsView(in, split))
        return DecodeFirstStreamFlat(in, split, out);
    // Without the second stream the file fails whatever the first one holds.
    // A pair is never turned: that would turn the offset between the eyes.
    const int stored = UprightLoadFlags(in->format, true);
    out->primary = DecodeRange(in->format, in->bytes + split, in->length - split, stored);
    if (!out->primary || !ConvertSlotTo24(&out->primary))
        return 0;
    // The first stream is the bytes before the split, whatever lies between
    // its end and the second stream included. When it does not decode, or
    // cannot be made 24-bit, the file is shown as one stream by the name's rule.
    out->secondary = DecodeRange(in->format, in->bytes, split, stored);
    if (out->secondary)
        ConvertSlotTo24(&out->secondary);
    SetDecodedSize(out);
    return 1;
}

extern const CDecoder kTwoStreamDecoder = {"two-stream JPEG", DetectTwoStreams, TwoStreamPixels, DecodeTwoStreams};
