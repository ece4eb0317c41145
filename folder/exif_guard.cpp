// exif_guard.cpp - walking Exif segments within their bounds before the image
// library reads them.
#include "folder/exif_guard.h"

#include <cstdlib>
#include <cstring>

namespace {

enum : uint32_t
{
    kTagExifIfd = 0x8769,
    kTagGpsIfd = 0x8825,
    kTagInteropIfd = 0xA005,
    kTagThumbOffset = 0x0201,
    kTagThumbLength = 0x0202,
};

enum : int32_t
{
    kMostIfds = 16,  // more than any camera writes; a loop of IFDs ends here
    kDeepest = 3,    // IFD0 or IFD1, then Exif, then interoperability
};

struct CTiff
{
    const uint8_t* p;
    uint64_t size;
    bool bigEndian;
    int32_t ifds;  // IFDs walked so far
};

uint32_t Get16(const CTiff& t, uint64_t at)
{
    return t.bigEndian ? (uint32_t)t.p[at] << 8 | t.p[at + 1] : (uint32_t)t.p[at + 1] << 8 | t.p[at];
}

uint32_t Get32(const CTiff& t, uint64_t at)
{
    return t.bigEndian ? Get16(t, at) << 16 | Get16(t, at + 2) : Get16(t, at + 2) << 16 | Get16(t, at);
}

// Returns the bytes of one value of a TIFF type, 0 for a type FreeImage does
// not know.
uint64_t TypeBytes(uint32_t type)
{
    static const uint8_t kBytes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < sizeof kBytes ? kBytes[type] : 0;
}

// Answers whether the IFD at offset, its values and the IFDs it points to
// (and, for IFD0, the IFD after it) lie within the segment.
bool IfdFits(CTiff& t, uint64_t offset, int32_t depth, bool first)
{
    if (++t.ifds > kMostIfds || depth > kDeepest || offset + 2 > t.size)
        return false;
    const uint64_t count = Get16(t, offset), end = offset + 2 + 12 * count;
    if (end + 4 > t.size)
        return false;
    uint64_t thumbOffset = 0, thumbLength = 0;
    for (uint64_t e = offset + 2; e < end; e += 12)
    {
        const uint32_t tag = Get16(t, e), type = Get16(t, e + 2), value = Get32(t, e + 8);
        const uint64_t bytes = TypeBytes(type) * Get32(t, e + 4);
        if (TypeBytes(type) == 0 || (bytes > 4 && (uint64_t)value + bytes > t.size))
            return false;
        if ((tag == kTagExifIfd || tag == kTagGpsIfd || tag == kTagInteropIfd) && !IfdFits(t, value, depth + 1, false))
            return false;
        thumbOffset = tag == kTagThumbOffset ? value : thumbOffset;
        thumbLength = tag == kTagThumbLength ? value : thumbLength;
    }
    if (thumbOffset + thumbLength > t.size)
        return false;
    const uint32_t next = Get32(t, end);
    return !first || next == 0 || IfdFits(t, next, depth, false);
}

}  // namespace

bool ExifFits(const uint8_t* tiff, int32_t size)
{
    if (size < 8)
        return false;
    CTiff t = {tiff, (uint64_t)size, tiff[0] == 'M', 0};
    if (!(tiff[0] == tiff[1] && (tiff[0] == 'I' || tiff[0] == 'M')) || Get16(t, 2) != 42)
        return false;
    return IfdFits(t, Get32(t, 4), 1, true);
}

const uint8_t* GuardExif(const uint8_t* bytes, int32_t length, uint8_t** copy)
{
    static const uint8_t kExif[] = {'E', 'x', 'i', 'f', 0, 0};
    *copy = nullptr;
    // The segments after SOI, up to the start of the scan.
    for (int32_t at = 2; length >= 4 && at + 4 <= length && bytes[at] == 0xFF && bytes[at + 1] != 0xDA;)
    {
        const int32_t segment = bytes[at + 2] << 8 | bytes[at + 3];
        if (segment < 2 || at + 2 + segment > length)
            break;
        const uint8_t* payload = bytes + at + 4;
        if (bytes[at + 1] == 0xE1 && segment >= 2 + 6 && memcmp(payload, kExif, 6) == 0 &&
            !ExifFits(payload + 6, segment - 2 - 6))
        {
            if (!*copy)
            {
                if (!(*copy = (uint8_t*)malloc((size_t)length)))
                    return nullptr;
                memcpy(*copy, bytes, (size_t)length);
                bytes = *copy;
            }
            (*copy)[at + 4] = 'e';  // no longer "Exif": the library passes it by
        }
        at += 2 + segment;
    }
    return bytes;
}
