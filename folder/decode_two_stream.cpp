// decode_two_stream.cpp - a JPEG file holding two complete streams one after
// the other (a multi-picture file): view 0 from the second stream, view 1
// from the first.
#include <FreeImage.h>

#include "folder/decoder.h"
#include "folder/image_load.h"

// Returns where the second stream starts (0: not a two-stream file).
static int32_t DetectTwoStreams(const CDecodeInput* in)
{
    if (in->format != FIF_JPEG || in->length <= 0)
        return 0;
    return FindStreamSplit(in->bytes, in->length);
}

static int64_t TwoStreamPixels(const CDecodeInput* in, int32_t split)
{
    int64_t second = RangePixels(in->format, in->bytes + split, in->length - split);
    int64_t first = RangePixels(in->format, in->bytes, split);
    return second && first ? second + first : 0;
}

static int DecodeTwoStreams(const CDecodeInput* in, int32_t split, CDecoded* out)
{
    // Without the second stream the file fails whatever the first one holds.
    out->primary = DecodeRange(in->format, in->bytes + split, in->length - split);
    if (!out->primary || !ConvertSlotTo24(&out->primary))
        return 0;
    // The first stream is the bytes before the split, whatever lies between
    // its end and the second stream included. When it does not decode, or
    // cannot be made 24-bit, the file is shown as one stream by the name's rule.
    out->secondary = DecodeRange(in->format, in->bytes, split);
    if (out->secondary)
        ConvertSlotTo24(&out->secondary);
    SetDecodedSize(out);
    return 1;
}

extern const CDecoder kTwoStreamDecoder = {"two-stream JPEG", DetectTwoStreams, TwoStreamPixels, DecodeTwoStreams};
