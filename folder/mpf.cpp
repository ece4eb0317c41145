// mpf.cpp - reading a two-stream JPEG file's MPF index and the marks of an
// HDR gain map. Every read is checked against the segment it lies in: a
// segment is at most 65535 bytes, and nothing in it is trusted to point
// inside it.
//
// [SECTION] Application segments
// [SECTION] MPF index
// [SECTION] Classification
#include "folder/mpf.h"

#include <cstddef>
#include <cstring>

// [SECTION] Application segments

namespace {

// A walk over the marker segments at the head of one JPEG stream, up to its
// scan.
struct SegmentWalk
{
    const uint8_t* bytes;
    size_t at;   // the next marker's 0xFF
    size_t end;  // one past the stream's last byte
};

// Starts a walk at a stream's SOI; the walk is empty when there is none.
SegmentWalk StartWalk(const uint8_t* bytes, size_t begin, size_t end)
{
    bool soi = begin + 2 <= end && bytes[begin] == 0xFF && bytes[begin + 1] == 0xD8;
    return {bytes, soi ? begin + 2 : end, end};
}

// Steps to the next application segment (APP0 to APP15) before the scan and
// hands out its marker and payload. Answers false at the scan, at the end of
// the stream, and at anything that is not a well-formed segment.
bool NextAppSegment(SegmentWalk* walk, uint8_t* marker, const uint8_t** payload, size_t* size)
{
    const uint8_t* b = walk->bytes;
    while (walk->at + 4 <= walk->end && b[walk->at] == 0xFF)
    {
        const uint8_t m = b[walk->at + 1];
        if (m == 0xFF)  // fill byte before a marker
        {
            walk->at++;
            continue;
        }
        if (m == 0xDA || m == 0xD9 || m == 0xD8 || m == 0x00)
            return false;  // the scan, the end, or no segment at all
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7))
        {
            walk->at += 2;  // a marker without a length
            continue;
        }
        const size_t length = (size_t)b[walk->at + 2] << 8 | b[walk->at + 3];
        if (length < 2 || length > walk->end - walk->at - 2)
            return false;
        const size_t start = walk->at + 4;
        walk->at += 2 + length;
        if (m >= 0xE0 && m <= 0xEF)
        {
            *marker = m;
            *payload = b + start;
            *size = length - 2;
            return true;
        }
    }
    return false;
}

// Answers whether needle occurs in the size bytes at hay.
bool Contains(const uint8_t* hay, size_t size, const char* needle)
{
    const size_t n = strlen(needle);
    for (size_t i = 0; i + n <= size; i++)
        if (hay[i] == (uint8_t)needle[0] && memcmp(hay + i, needle, n) == 0)
            return true;
    return false;
}

// Answers whether any application segment of the stream between begin and
// end marks a gain map: the gain-map XMP namespace (in the primary image's
// XMP and in the gain map's own) or the ISO 21496-1 metadata marker.
bool MarksGainMap(const uint8_t* bytes, size_t begin, size_t end)
{
    SegmentWalk walk = StartWalk(bytes, begin, end);
    uint8_t marker;
    const uint8_t* payload;
    size_t size;
    while (NextAppSegment(&walk, &marker, &payload, &size))
        if (Contains(payload, size, "http://ns.adobe.com/hdr-gain-map/1.0/") ||
            Contains(payload, size, "urn:iso:std:iso:ts:21496:-1"))
            return true;
    return false;
}

// [SECTION] MPF index

// The TIFF structure inside an MPF segment, with its byte order.
struct Tiff
{
    const uint8_t* bytes;
    size_t size;
    bool bigEndian;
};

uint32_t Read16(const Tiff& t, size_t at)
{
    const uint8_t* p = t.bytes + at;
    return t.bigEndian ? (uint32_t)p[0] << 8 | p[1] : (uint32_t)p[1] << 8 | p[0];
}

uint32_t Read32(const Tiff& t, size_t at)
{
    return t.bigEndian ? Read16(t, at) << 16 | Read16(t, at + 2) : Read16(t, at + 2) << 16 | Read16(t, at);
}

enum : uint32_t
{
    kTagMpEntry = 0xB002,
    kTypeUndefined = 7,
    kMpEntrySize = 16,
    kTypeMask = 0x00FFFFFF,  // the attribute's low 24 bits: the image's type
};

// Finds the first stream's MPF segment and reads the types of its first two
// MP entries. Answers false when there is no index or it names fewer than two
// images, or any part of it lies outside its segment.
bool ReadMpfTypes(const uint8_t* bytes, size_t split, uint32_t* firstType, uint32_t* secondType)
{
    SegmentWalk walk = StartWalk(bytes, 0, split);
    uint8_t marker;
    const uint8_t* payload;
    size_t size;
    while (NextAppSegment(&walk, &marker, &payload, &size))
    {
        if (marker != 0xE2 || size < 4 || memcmp(payload, "MPF", 4) != 0)
            continue;
        // The TIFF header: byte order, 42, the offset of the index IFD; every
        // offset counts from the byte-order mark.
        Tiff t = {payload + 4, size - 4, false};
        if (t.size < 8)
            return false;
        if (memcmp(t.bytes, "MM\0*", 4) == 0)
            t.bigEndian = true;
        else if (memcmp(t.bytes, "II*\0", 4) != 0)
            return false;
        const size_t ifd = Read32(t, 4);
        if (ifd < 8 || ifd > t.size - 2)
            return false;
        const size_t count = Read16(t, ifd);
        for (size_t i = 0; i < count && ifd + 2 + (i + 1) * 12 <= t.size; i++)
        {
            const size_t entry = ifd + 2 + i * 12;
            if (Read16(t, entry) != kTagMpEntry)
                continue;
            // The entries' bytes lie elsewhere in the segment: at least two
            // entries, all inside it.
            const size_t bytesCount = Read32(t, entry + 4);
            const size_t at = Read32(t, entry + 8);
            if (Read16(t, entry + 2) != kTypeUndefined || bytesCount < 2 * kMpEntrySize || at > t.size ||
                2 * kMpEntrySize > t.size - at)
                return false;
            *firstType = Read32(t, at) & kTypeMask;
            *secondType = Read32(t, at + kMpEntrySize) & kTypeMask;
            return true;
        }
        return false;
    }
    return false;
}

}  // namespace

// [SECTION] Classification

enum : uint32_t
{
    kTypeBaselinePrimary = 0x030000,
    kTypeLargeThumbnailVga = 0x010001,
    kTypeLargeThumbnailFullHd = 0x010002,
    kTypeUndefinedImage = 0,
};

MpfSecondImage ClassifySecondImage(const uint8_t* bytes, int32_t length, int32_t split)
{
    if (length <= 0 || split <= 0 || split >= length)
        return kSecondIsView;
    uint32_t firstType = 0, secondType = 0;
    if (!ReadMpfTypes(bytes, (size_t)split, &firstType, &secondType))
        return kSecondIsView;
    if (secondType == kTypeLargeThumbnailVga || secondType == kTypeLargeThumbnailFullHd)
        return kSecondIsPreview;
    if (MarksGainMap(bytes, 0, (size_t)split) || MarksGainMap(bytes, (size_t)split, (size_t)length))
        return kSecondIsGainMap;
    if (secondType == kTypeUndefinedImage && firstType == kTypeBaselinePrimary)
        return kSecondIsViewIfSameSize;
    return kSecondIsView;
}

bool SecondStreamIsView(MpfSecondImage second, int32_t firstWidth, int32_t firstHeight, int32_t secondWidth,
                        int32_t secondHeight)
{
    if (second == kSecondIsViewIfSameSize)
        return firstWidth == secondWidth && firstHeight == secondHeight;
    return second == kSecondIsView;
}
