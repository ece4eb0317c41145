// decode_heif.cpp - HEIF and AVIF pictures (told by their brand at listing):
// a stereo pair's right eye in view 0 and left eye in view 1, as in every
// other stereo file; any other such file is flat, its primary image.
#include "folder/decoder.h"
#include "folder/heif_decode.h"

static int32_t DetectHeif(const CDecodeInput* in) { return in->format == kFormatHeif && in->length > 0; }

static int64_t HeifFilePixels(const CDecodeInput* in, int32_t) { return HeifPixels(in->bytes, (size_t)in->length); }

static int DecodeHeifFile(const CDecodeInput* in, int32_t, CDecoded* out)
{
    if (!DecodeHeif(in->bytes, (size_t)in->length, &out->primary, &out->secondary))
        return 0;
    SetDecodedSize(out);
    return 1;
}

extern const CDecoder kHeifDecoder = {"HEIF picture", DetectHeif, HeifFilePixels, DecodeHeifFile};
