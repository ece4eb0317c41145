// phone_files.cpp - small files laid out as today's cameras and phones write
// them, for the fixtures.
//
// [SECTION] Quadrant pictures
// [SECTION] JPEG segments
// [SECTION] MPF files
// [SECTION] HEIF files
#include "tools/kit/phone_files.h"

#include <FreeImage.h>
#include <libheif/heif.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

// [SECTION] Quadrant pictures

const Quadrants kLeftEye = {0xD02020, 0x20C020, 0x2020D0, 0xE0E0E0};
const Quadrants kRightEye = {0xE0D020, 0x20D0D0, 0xD020D0, 0x202020};

FIBITMAP* StoredQuadrants(int width, int height, const Quadrants& colors, int orientation)
{
    const bool swapped = orientation >= 5;
    const int sw = swapped ? height : width, sh = swapped ? width : height;
    FIBITMAP* dib = FreeImage_Allocate(sw, sh, 24);
    // For each upright pixel (x, y from the top), the stored pixel that the
    // orientation turns onto it.
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
        {
            int sx = x, sy = y;
            switch (orientation)
            {
            case 2: sx = sw - 1 - x; break;
            case 3: sx = sw - 1 - x, sy = sh - 1 - y; break;
            case 4: sy = sh - 1 - y; break;
            case 5: sx = y, sy = x; break;
            case 6: sx = y, sy = sh - 1 - x; break;
            case 7: sx = sw - 1 - y, sy = sh - 1 - x; break;
            case 8: sx = sw - 1 - y, sy = x; break;
            default: break;
            }
            const bool right = x >= width / 2, bottom = y >= height / 2;
            const uint32_t c = bottom ? (right ? colors.bottomRight : colors.bottomLeft)
                                      : (right ? colors.topRight : colors.topLeft);
            BYTE* pixel = FreeImage_GetScanLine(dib, sh - 1 - sy) + 3 * sx;
            pixel[FI_RGBA_RED] = (BYTE)(c >> 16);
            pixel[FI_RGBA_GREEN] = (BYTE)(c >> 8);
            pixel[FI_RGBA_BLUE] = (BYTE)c;
        }
    return dib;
}

// [SECTION] JPEG segments

namespace {

// Appends integers in a chosen byte order.
struct Writer
{
    ByteVector bytes;
    bool bigEndian;

    void U16(uint32_t v)
    {
        const uint8_t hi = (uint8_t)(v >> 8), lo = (uint8_t)v;
        bytes.insert(bytes.end(), {bigEndian ? hi : lo, bigEndian ? lo : hi});
    }
    void U32(uint32_t v)
    {
        U16(bigEndian ? v >> 16 : v & 0xFFFF);
        U16(bigEndian ? v & 0xFFFF : v >> 16);
    }
    void Patch32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; i++)
            bytes[at + i] = (uint8_t)(v >> (bigEndian ? 24 - 8 * i : 8 * i));
    }
    // Starts a TIFF structure: byte order, 42, the first IFD right after.
    void TiffHeader()
    {
        bytes.insert(bytes.end(), {bigEndian ? (uint8_t)'M' : (uint8_t)'I', bigEndian ? (uint8_t)'M' : (uint8_t)'I'});
        U16(42);
        U32(8);
    }
    // Appends one 12-byte IFD entry; a short value sits at the entry's start.
    void Entry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value)
    {
        U16(tag), U16(type), U32(count);
        if (type == 3 && count == 1)
            U16(value), U16(0);
        else
            U32(value);
    }
};

// Returns where the segments after a stream's SOI end: the first marker that
// is not an application segment.
size_t AfterAppSegments(const ByteVector& jpeg)
{
    size_t p = 2;
    while (p + 4 <= jpeg.size() && jpeg[p] == 0xFF && jpeg[p + 1] >= 0xE0 && jpeg[p + 1] <= 0xEF)
        p += 2 + ((size_t)jpeg[p + 2] << 8 | jpeg[p + 3]);
    return p;
}

}  // namespace

ByteVector WithSegment(const ByteVector& jpeg, uint8_t marker, const ByteVector& payload)
{
    const size_t at = AfterAppSegments(jpeg), length = payload.size() + 2;
    ByteVector out(jpeg.begin(), jpeg.begin() + (long)at);
    out.insert(out.end(), {0xFF, marker, (uint8_t)(length >> 8), (uint8_t)length});
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), jpeg.begin() + (long)at, jpeg.end());
    return out;
}

ByteVector WithOrientation(const ByteVector& jpeg, int orientation, bool bigEndian)
{
    Writer w = {{'E', 'x', 'i', 'f', 0, 0}, bigEndian};
    w.TiffHeader();
    w.U16(1);
    w.Entry(0x0112, 3, 1, (uint32_t)orientation);
    w.U32(0);
    return WithSegment(jpeg, 0xE1, w.bytes);
}

ByteVector GainMapXmp()
{
    static const char kXmp[] =
        "http://ns.adobe.com/xap/1.0/\0"
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description xmlns:hdrgm=\"http://ns.adobe.com/hdr-gain-map/1.0/\" hdrgm:Version=\"1.0\"/>"
        "</rdf:RDF></x:xmpmeta>";
    return ByteVector(kXmp, kXmp + sizeof kXmp - 1);
}

ByteVector IsoGainMapMarker()
{
    static const char kMarker[] = "urn:iso:std:iso:ts:21496:-1\0\0\0\0\0";
    return ByteVector(kMarker, kMarker + sizeof kMarker - 1);
}

// [SECTION] MPF files

ByteVector MpfFile(const ByteVector& first, const ByteVector& second, uint32_t firstAttribute,
                   uint32_t secondAttribute, bool bigEndian)
{
    // The index: version, number of images, the entries at the IFD's end.
    Writer w = {{'M', 'P', 'F', 0}, bigEndian};
    const size_t tiff = w.bytes.size();
    w.TiffHeader();
    const uint32_t entriesAt = 8 + 2 + 3 * 12 + 4;
    w.U16(3);
    w.Entry(0xB000, 7, 4, bigEndian ? 0x30313030 : 0x30303130);  // "0100"
    w.Entry(0xB001, 4, 1, 2);
    w.Entry(0xB002, 7, 32, entriesAt);
    w.U32(0);
    const size_t entries = w.bytes.size();
    for (uint32_t attribute : {firstAttribute, secondAttribute})
        w.U32(attribute), w.U32(0), w.U32(0), w.U32(0);

    const size_t segmentAt = AfterAppSegments(first);
    ByteVector out = WithSegment(first, 0xE2, w.bytes);
    // Sizes and the second image's offset from the byte-order mark, as a
    // camera writes them (readers are not to trust them).
    const size_t tiffInFile = segmentAt + 4 + tiff, entriesInFile = segmentAt + 4 + entries;
    Writer patch = {out, bigEndian};
    patch.Patch32(entriesInFile + 4, (uint32_t)out.size());
    patch.Patch32(entriesInFile + 16 + 4, (uint32_t)second.size());
    patch.Patch32(entriesInFile + 16 + 8, (uint32_t)(out.size() - tiffInFile));
    out = patch.bytes;
    out.insert(out.end(), second.begin(), second.end());
    return out;
}

// [SECTION] HEIF files

namespace {

heif_error AppendToBytes(heif_context*, const void* data, size_t size, void* userdata)
{
    ByteVector* out = (ByteVector*)userdata;
    out->insert(out->end(), (const uint8_t*)data, (const uint8_t*)data + size);
    return {heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// Encodes one bitmap into a context with an encoder; answers whether it went.
bool AddImage(heif_context* context, heif_encoder* encoder, FIBITMAP* dib, int orientation)
{
    const int width = (int)FreeImage_GetWidth(dib), height = (int)FreeImage_GetHeight(dib);
    heif_image* image = nullptr;
    if (heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image).code ||
        heif_image_add_plane(image, heif_channel_interleaved, width, height, 8).code)
        return false;
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; y++)
    {
        const BYTE* in = FreeImage_GetScanLine(dib, height - 1 - y);
        for (int x = 0; x < width; x++)
        {
            uint8_t* out = plane + (size_t)y * (size_t)stride + 3 * x;
            out[0] = in[3 * x + FI_RGBA_RED], out[1] = in[3 * x + FI_RGBA_GREEN], out[2] = in[3 * x + FI_RGBA_BLUE];
        }
    }
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = (heif_orientation)orientation;
    heif_image_handle* handle = nullptr;
    heif_error error = heif_context_encode_image(context, image, encoder, options, &handle);
    heif_encoding_options_free(options);
    heif_image_handle_release(handle);
    heif_image_release(image);
    return error.code == heif_error_Ok;
}

// Encodes bitmaps into one file, the first primary; empty on failure.
ByteVector EncodeImages(std::initializer_list<FIBITMAP*> dibs, bool avif, int orientation)
{
    ByteVector out;
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    bool ok = heif_context_get_encoder_for_format(context, avif ? heif_compression_AV1 : heif_compression_HEVC,
                                                  &encoder).code == heif_error_Ok;
    ok = ok && heif_encoder_set_lossy_quality(encoder, 92).code == heif_error_Ok;
    for (FIBITMAP* dib : dibs)
        ok = ok && AddImage(context, encoder, dib, orientation);
    heif_writer writer = {1, AppendToBytes};
    ok = ok && heif_context_write(context, &writer, &out).code == heif_error_Ok;
    if (encoder)
        heif_encoder_release(encoder);
    heif_context_free(context);
    if (!ok)
        fprintf(stderr, "phone_files: libheif could not encode a %s file\n", avif ? "AVIF" : "HEIC");
    return ok ? out : ByteVector();
}

uint32_t Get32(const ByteVector& b, size_t at)
{
    return (uint32_t)b[at] << 24 | (uint32_t)b[at + 1] << 16 | (uint32_t)b[at + 2] << 8 | b[at + 3];
}

void Put32At(ByteVector& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[at + i] = (uint8_t)(v >> (24 - 8 * i));
}

// Reads an n-byte big-endian number (n is 0, 4 or 8).
uint64_t GetN(const ByteVector& b, size_t at, int n)
{
    uint64_t v = 0;
    for (int i = 0; i < n; i++)
        v = v << 8 | b[at + i];
    return v;
}

void PutN(ByteVector& b, size_t at, int n, uint64_t v)
{
    for (int i = 0; i < n; i++)
        b[at + i] = (uint8_t)(v >> (8 * (n - 1 - i)));
}

// Finds a box among the boxes from `from` to `end` (32-bit sizes, as libheif
// writes them); returns its offset, or 0.
size_t FindChild(const ByteVector& b, size_t from, size_t end, const char* type)
{
    for (size_t at = from; at + 8 <= end && Get32(b, at) >= 8; at += Get32(b, at))
        if (memcmp(&b[at + 4], type, 4) == 0)
            return at;
    return 0;
}

// Adds `delta` to every file offset in the iloc box at `iloc` that points at
// or past `from`: the item data moves when bytes are inserted before it.
void ShiftItemOffsets(ByteVector& b, size_t iloc, size_t from, uint32_t delta)
{
    const int version = b[iloc + 8];
    size_t p = iloc + 12;
    const int offsetSize = b[p] >> 4, lengthSize = b[p] & 15, baseSize = b[p + 1] >> 4;
    const int indexSize = version >= 1 ? b[p + 1] & 15 : 0;
    p += 2;
    const uint32_t items = version < 2 ? (uint32_t)GetN(b, p, 2) : Get32(b, p);
    p += version < 2 ? 2 : 4;
    for (uint32_t i = 0; i < items; i++)
    {
        p += version < 2 ? 2 : 4;  // item id
        int method = 0;
        if (version >= 1)
            method = b[p + 1] & 15, p += 2;
        p += 2;  // data reference index
        const size_t baseAt = p;
        const uint64_t base = GetN(b, p, baseSize);
        p += baseSize;
        const uint32_t extents = (uint32_t)GetN(b, p, 2);
        p += 2;
        for (uint32_t e = 0; e < extents; e++)
        {
            p += indexSize;
            const uint64_t offset = GetN(b, p, offsetSize);
            if (method == 0 && baseSize == 0 && offset >= from)
                PutN(b, p, offsetSize, offset + delta);
            p += offsetSize + lengthSize;
        }
        if (method == 0 && baseSize != 0 && base >= from)
            PutN(b, baseAt, baseSize, base + delta);
    }
}

}  // namespace

ByteVector MakeBox(const char* type, const ByteVector& contents)
{
    ByteVector box = BigEndianWords({(uint32_t)contents.size() + 8});
    box.insert(box.end(), type, type + 4);
    box.insert(box.end(), contents.begin(), contents.end());
    return box;
}

ByteVector BigEndianWords(std::initializer_list<uint32_t> words)
{
    ByteVector b;
    for (uint32_t w : words)
        b.insert(b.end(), {(uint8_t)(w >> 24), (uint8_t)(w >> 16), (uint8_t)(w >> 8), (uint8_t)w});
    return b;
}

ByteVector EncodeHeif(FIBITMAP* dib, bool avif, int orientation) { return EncodeImages({dib}, avif, orientation); }

ByteVector StereoHeic(FIBITMAP* left, FIBITMAP* right, int orientation, bool swapped)
{
    ByteVector file = EncodeImages({left, right}, false, orientation);
    if (file.empty())
        return file;
    // The item ids as libheif gave them: the primary is the left eye.
    heif_context* context = heif_context_alloc();
    heif_item_id ids[2] = {0, 0}, primary = 0;
    bool ok = heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr).code == 0 &&
              heif_context_get_number_of_top_level_images(context) == 2 &&
              heif_context_get_list_of_top_level_image_IDs(context, ids, 2) == 2 &&
              heif_context_get_primary_image_ID(context, &primary).code == 0;
    heif_context_free(context);
    const size_t meta = FindChild(file, 0, file.size(), "meta");
    const size_t iloc = meta ? FindChild(file, meta + 12, meta + Get32(file, meta), "iloc") : 0;
    if (!ok || !iloc)
    {
        fprintf(stderr, "phone_files: unexpected layout of a two-image HEIC file\n");
        return ByteVector();
    }
    const uint32_t leftId = primary, rightId = ids[0] == primary ? ids[1] : ids[0];
    // grpl { ster: version 0, flags 0, group id, 2 entities, their ids }
    const ByteVector grpl =
        MakeBox("grpl", MakeBox("ster", BigEndianWords({0, 1000, 2, swapped ? rightId : leftId, swapped ? leftId : rightId})));
    // At the end of meta: everything after it, the item data included, moves.
    const size_t metaEnd = meta + Get32(file, meta);
    ShiftItemOffsets(file, iloc, metaEnd, (uint32_t)grpl.size());
    Put32At(file, meta, Get32(file, meta) + (uint32_t)grpl.size());
    file.insert(file.begin() + (long)metaEnd, grpl.begin(), grpl.end());
    return file;
}
