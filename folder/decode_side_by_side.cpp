// decode_side_by_side.cpp - a side-by-side pair in one picture (a ".jps"
// file, or a name without a dot: ClassifyName's rule): view 0 from the left
// half, view 1 from the right half.
#include "folder/decoder.h"

// Answers whether the name made the file a pair.
static int32_t DetectSideBySide(const CDecodeInput* in) { return in->flat ? 0 : 1; }

static int64_t SideBySidePixels(const CDecodeInput* in, int32_t)
{
    return RangePixels(in->format, in->bytes, in->length);
}

// The whole picture is kept: view 1 is its right half, read in place.
static int DecodeSideBySide(const CDecodeInput* in, int32_t, CDecoded* out) { return DecodeWhole(in, out); }

extern const CDecoder kSideBySideDecoder = {"side-by-side pair", DetectSideBySide, SideBySidePixels,
                                            DecodeSideBySide};
