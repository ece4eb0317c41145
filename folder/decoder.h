// decoder.h - picture decoders behind one interface, and telling a file's
// format from its first bytes.
//
// Each kind of picture file is one decoder: a detect on the file's bytes,
// a size (the pixels a decode will make, told from headers where it can
// be), and a decode into one or two 24-bit bitmaps. One table, in
// decoder.cpp, picks the first decoder whose detect answers yes; a new
// format is one new file (decode_<kind>.cpp) and one row there.
#pragma once

#include <cstdint>

struct FIBITMAP;

enum
{
    // Bytes read from the start of a file to tell its format.
    kFormatHeadBytes = 4096,
    // HEIF and AVIF (libheif decodes them): a format number after FreeImage's
    // own, which end with FIF_JXR (36).
    kFormatHeif = 37,
};

// What a decoder reads: the whole file, read once, and what the listing
// found out about it.
struct CDecodeInput
{
    const uint8_t* bytes;
    int32_t length;
    int32_t format;  // the FreeImage format found at listing, or kFormatHeif
    uint8_t flat;    // from the name: 1 one picture for both eyes, 0 a side-by-side pair
};

// What a decode makes. View 0 is the primary bitmap; view 1 is the secondary
// one when there is one, else the primary again: all of it for a flat picture,
// its right half for a side-by-side pair.
struct CDecoded
{
    FIBITMAP* primary;    // 24-bit, owned
    FIBITMAP* secondary;  // 24-bit, owned, or null
    int32_t width;        // as the entry records them: the whole pair's width,
    int32_t height;       // and for two bitmaps the smaller of their sizes
};

struct CDecoder
{
    const char* name;
    // Answers 0 when the file is not this decoder's; anything else is what
    // it found (the two-stream decoder's split), handed to size and decode.
    int32_t (*detect)(const CDecodeInput* in);
    // Returns the pixels a decode will hold at once, or 0 when the headers
    // cannot tell without decoding.
    int64_t (*size)(const CDecodeInput* in, int32_t found);
    // Decodes into out. Returns 1 with out->primary set; 0 with nothing held
    // when the file does not decode (or memory runs out).
    int (*decode)(const CDecodeInput* in, int32_t found, CDecoded* out);
};

// Returns the first decoder of the table whose detect answers yes, with what
// it found in *found. The last decoder takes every file.
const CDecoder* FindDecoder(const CDecodeInput* in, int32_t* found);
// Decodes in with the decoder the table picks. Returns 1 with out filled, 0
// with out empty.
int DecodePicture(const CDecodeInput* in, CDecoded* out);
// Unloads whatever bitmaps out holds and empties it.
void FreeDecoded(CDecoded* out);
// Returns the pixels that a decoded picture's bitmaps hold.
int64_t DecodedPixels(const CDecoded* picture);

// Tells a picture format from the first bytes of a file: kFormatHeif for a
// HEIF or AVIF brand, else FreeImage's format number, or -1 when they are no
// picture either knows.
int32_t DetectFormatFromHead(const uint8_t* head, int32_t length);
// Tells the format of a file named relative to the current folder from its
// first kFormatHeadBytes bytes; -1 for no picture, or no regular file.
int32_t DetectImageFormat(const char16_t* name);

// What the decoders share.
// Decodes one byte range with a format and FreeImage's load flags into a
// bitmap of its own type, or null. A picture over the per-stream limit is
// refused, before any pixel memory is taken where the format can tell its size.
FIBITMAP* DecodeRange(int32_t format, const uint8_t* bytes, int32_t length, int flags);
// Returns the pixels of one byte range as its header tells them, without
// decoding; 0 when the format cannot tell.
int64_t RangePixels(int32_t format, const uint8_t* bytes, int32_t length);
// Replaces the bitmap in a slot by its 24-bit form. Returns 0, with the slot
// emptied, when no conversion exists.
int ConvertSlotTo24(FIBITMAP** slot);
// Decodes the whole file as one 24-bit bitmap into out->primary, with its
// size; a flat JPEG picture upright by its Exif orientation, a side-by-side
// pair as stored. Returns 0, holding nothing, when it does not decode.
int DecodeWhole(const CDecodeInput* in, CDecoded* out);
// Sets out's size from its bitmaps: the primary's, each lowered to the
// secondary's where that is smaller.
void SetDecodedSize(CDecoded* out);
