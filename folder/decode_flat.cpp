// decode_flat.cpp - any other picture FreeImage reads: one view, shown to
// both eyes.
#include "folder/decoder.h"

// Takes every file the decoders before it leave.
static int32_t DetectFlat(const CDecodeInput*) { return 1; }

static int64_t FlatPixels(const CDecodeInput* in, int32_t) { return RangePixels(in->format, in->bytes, in->length); }

static int DecodeFlat(const CDecodeInput* in, int32_t, CDecoded* out) { return DecodeWhole(in, out); }

extern const CDecoder kFlatDecoder = {"flat picture", DetectFlat, FlatPixels, DecodeFlat};
