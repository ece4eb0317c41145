// decoder.cpp - the table of decoders, what they share, and telling a file's
// format from its first bytes.
//
// [SECTION] The table
// [SECTION] Format detection
// [SECTION] Shared decoding steps
#include "folder/decoder.h"

#include <FreeImage.h>
#include <cstdlib>
#include <cstring>

#include "folder/exif_guard.h"
#include "folder/image_load.h"
#include "folder/iso_boxes.h"
#include "folder/upright.h"
#include "platform/platform.h"

static_assert(kFormatHeif == FIF_JXR + 1, "HEIF numbered after FreeImage's formats");

// [SECTION] The table

extern const CDecoder kTwoStreamDecoder;   // decode_two_stream.cpp
extern const CDecoder kHeifDecoder;        // decode_heif.cpp
extern const CDecoder kSideBySideDecoder;  // decode_side_by_side.cpp
extern const CDecoder kFlatDecoder;        // decode_flat.cpp

// Asked in order; the flat picture takes whatever the others leave. A HEIF
// file is told by its brand, before the name's pair rule.
static const CDecoder* const kDecoders[] = {
    &kTwoStreamDecoder,
    &kHeifDecoder,
    &kSideBySideDecoder,
    &kFlatDecoder,
};

const CDecoder* FindDecoder(const CDecodeInput* in, int32_t* found)
{
    for (const CDecoder* d : kDecoders)
        if ((*found = d->detect(in)) != 0)
            return d;
    return nullptr;
}

int DecodePicture(const CDecodeInput* in, CDecoded* out)
{
    *out = {};
    int32_t found = 0;
    const CDecoder* d = FindDecoder(in, &found);
    if (!d || !d->decode(in, found, out))
    {
        FreeDecoded(out);
        return 0;
    }
    return 1;
}

void FreeDecoded(CDecoded* out)
{
    if (out->primary)
        FreeImage_Unload(out->primary);
    if (out->secondary)
        FreeImage_Unload(out->secondary);
    out->primary = out->secondary = nullptr;
}

int64_t DecodedPixels(const CDecoded* picture)
{
    int64_t pixels = 0;
    if (picture->primary)
        pixels += (int64_t)FreeImage_GetWidth(picture->primary) * FreeImage_GetHeight(picture->primary);
    if (picture->secondary)
        pixels += (int64_t)FreeImage_GetWidth(picture->secondary) * FreeImage_GetHeight(picture->secondary);
    return pixels;
}

// [SECTION] Format detection

int32_t DetectFormatFromHead(const uint8_t* head, int32_t length)
{
    if (length <= 0)
        return FIF_UNKNOWN;
    if (HasHeifBrand(head, (size_t)length))
        return kFormatHeif;
    FIMEMORY* memory = FreeImage_OpenMemory((BYTE*)head, (DWORD)length);
    if (!memory)
        return FIF_UNKNOWN;
    int32_t format = FreeImage_GetFileTypeFromMemory(memory, length);
    FreeImage_CloseMemory(memory);
    return format;
}

int32_t DetectImageFormat(const char16_t* name)
{
    uint8_t head[kFormatHeadBytes];
    return DetectFormatFromHead(head, PlatReadFileHead(name, head, kFormatHeadBytes));
}

// [SECTION] Shared decoding steps

// Answers whether a bitmap's size is one we decode.
static bool WithinBudget(FIBITMAP* dib)
{
    return FitsPixelBudget(FreeImage_GetWidth(dib), FreeImage_GetHeight(dib));
}

int64_t RangePixels(int32_t format, const uint8_t* bytes, int32_t length)
{
    FREE_IMAGE_FORMAT fif = (FREE_IMAGE_FORMAT)format;
    if (length <= 0 || !FreeImage_FIFSupportsNoPixels(fif))
        return 0;
    uint8_t* copy = nullptr;
    if (fif == FIF_JPEG && !(bytes = GuardExif(bytes, length, &copy)))
        return 0;
    FIMEMORY* memory = FreeImage_OpenMemory((BYTE*)bytes, (DWORD)length);
    FIBITMAP* header = memory ? FreeImage_LoadFromMemory(fif, memory, FIF_LOAD_NOPIXELS) : nullptr;
    if (memory)
        FreeImage_CloseMemory(memory);
    free(copy);
    if (!header)
        return 0;
    // A stream over the limit is refused before any pixel is made.
    const unsigned width = FreeImage_GetWidth(header), height = FreeImage_GetHeight(header);
    FreeImage_Unload(header);
    return FitsPixelBudget(width, height) ? (int64_t)width * height : 1;
}

FIBITMAP* DecodeRange(int32_t format, const uint8_t* bytes, int32_t length, int flags)
{
    if (length <= 0)
        return nullptr;
    FREE_IMAGE_FORMAT fif = (FREE_IMAGE_FORMAT)format;
    uint8_t* copy = nullptr;
    if (fif == FIF_JPEG && !(bytes = GuardExif(bytes, length, &copy)))
        return nullptr;
    // FreeImage only reads through the memory stream; its type wants it writable.
    FIMEMORY* memory = FreeImage_OpenMemory((BYTE*)bytes, (DWORD)length);
    if (!memory)
    {
        free(copy);
        return nullptr;
    }
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
        dib = FreeImage_LoadFromMemory(fif, memory, flags);
    FreeImage_CloseMemory(memory);
    free(copy);
    if (dib && (!FreeImage_HasPixels(dib) || !WithinBudget(dib)))
    {
        FreeImage_Unload(dib);
        dib = nullptr;
    }
    return dib;
}

int ConvertSlotTo24(FIBITMAP** slot)
{
    // A bitmap that is already 24-bit stays as it is (converting it would copy
    // every pixel). Types that FreeImage cannot take to 24 bits directly
    // (16-bit grey, floating point) go through its standard 8-bit form.
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

int DecodeWhole(const CDecodeInput* in, CDecoded* out)
{
    out->primary = DecodeRange(in->format, in->bytes, in->length, UprightLoadFlags(in->format, in->flat == 0));
    if (!out->primary || !ConvertSlotTo24(&out->primary))
        return 0;
    SetDecodedSize(out);
    return 1;
}

void SetDecodedSize(CDecoded* out)
{
    out->width = (int32_t)FreeImage_GetWidth(out->primary);
    out->height = (int32_t)FreeImage_GetHeight(out->primary);
    if (!out->secondary)
        return;
    int32_t w = (int32_t)FreeImage_GetWidth(out->secondary);
    int32_t h = (int32_t)FreeImage_GetHeight(out->secondary);
    if (w < out->width)
        out->width = w;
    if (h < out->height)
        out->height = h;
}
