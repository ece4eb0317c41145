// draw.cpp - text, pictures, the dimmed band and the scroll bar.
//
// The pixel of view e at column x of line pair y is
// pixels[(2y + 1 + e) * stride + x]. Clipping is worked out once per row or
// column range, so the inner loops only copy or blend.
#include "render/draw.h"

#include <algorithm>

#include "render/assets/assets.h"
#include "render/frame.h"
#include "render/layout.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ORVALE_DRAW_X86 1
#include <immintrin.h>
#else
#define ORVALE_DRAW_X86 0
#endif

namespace {

enum
{
    kGlyphHeight = 16,
    kByteGlyphWidth = 16,
    kLineAdvance = 9,
};

// Returns the first pixel of the row of view `view` of line pair `pair`.
inline uint32_t* RowOf(CStereoFrame* frame, int32_t pair, int view)
{
    return frame->pixels + ((int64_t)2 * pair + 1 + view) * frame->stride;
}

// Returns 0x00RRGGBB from three bytes blue, green, red.
inline uint32_t PixelOf(const uint8_t* bgr)
{
    return (uint32_t)bgr[0] | (uint32_t)bgr[1] << 8 | (uint32_t)bgr[2] << 16;
}

// Limits [from, to) of an item that starts at `origin` and is `count` long to
// 0 <= origin + i < limit. Returns false when nothing is left.
inline bool ClipSpan(int64_t origin, int32_t count, int32_t limit, int32_t* from, int32_t* to)
{
    int64_t lo = std::max<int64_t>(0, -origin);
    int64_t hi = std::min<int64_t>(count, (int64_t)limit - origin);
    if (lo >= hi)
        return false;
    *from = (int32_t)lo;
    *to = (int32_t)hi;
    return true;
}

// Returns the mean of four pixels halved: each channel's sum divided by 8.
inline uint32_t DimOf(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    // Blue and red share one word in 16-bit lanes and green has its own; a
    // sum of four bytes needs 10 bits, so no lane spills into the next.
    uint32_t rb = (a & 0xFF00FF) + (b & 0xFF00FF) + (c & 0xFF00FF) + (d & 0xFF00FF);
    uint32_t g = (a & 0xFF00) + (b & 0xFF00) + (c & 0xFF00) + (d & 0xFF00);
    return ((rb >> 3) & 0xFF00FF) | ((g >> 3) & 0xFF00);
}

// Dims columns x0..x1 of one row (x1 + 1 still in the row) from the row
// itself and a different row two pairs up.
void DimSpan(uint32_t* __restrict row, const uint32_t* __restrict up, int32_t x0, int32_t x1)
{
    for (int32_t x = x0; x <= x1; ++x)
        row[x] = DimOf(row[x], row[x + 1], up[x], up[x + 1]);
}

// Dims columns x0..x1 of one row of the top two pairs, which samples itself.
void DimSpanTop(uint32_t* row, int32_t x0, int32_t x1)
{
    for (int32_t x = x0; x <= x1; ++x)
        row[x] = DimOf(row[x], row[x + 1], row[x], row[x + 1]);
}

}  // namespace

void DrawGlyph(CStereoFrame* frame, uint16_t codeUnit)
{
    int32_t bottom, top;
    if (!frame->pixels || !ClipSpan(frame->penY, kGlyphHeight, frame->pairs, &bottom, &top))
        return;
    const int32_t width = glyphWidths[codeUnit];
    const uint16_t* columns = glyphColumns + glyphStarts[codeUnit];
    // Only the bits of line pairs on the frame count.
    const uint32_t mask = ((1u << top) - 1) & ~((1u << bottom) - 1);
    for (int view = 0; view < 2; ++view)
    {
        int64_t left = (int64_t)frame->penX + (view ? frame->eyeShift : 0);
        int32_t from, to;
        if (!ClipSpan(left, width, frame->stride, &from, &to))
            continue;
        // Index of the glyph's lower-left pixel; it may lie off the frame.
        const int64_t base = ((int64_t)2 * frame->penY + 1 + view) * frame->stride + left;
        for (int32_t j = from; j < to; ++j)
        {
            uint32_t bits = columns[j] & mask;
            while (bits)
            {
                int k = __builtin_ctz(bits);
                bits &= bits - 1;
                frame->pixels[base + (int64_t)2 * k * frame->stride + j] = frame->color;
            }
        }
    }
}

void DrawByteText(CStereoFrame* frame, const char* text)
{
    const int32_t lineStart = frame->penX;
    unsigned char lastBreak = 0;
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p)
    {
        const unsigned char byte = *p;
        if (byte == '\r' || byte == '\n')
        {
            if (lastBreak != 0 && lastBreak != byte)
            {
                lastBreak = 0;  // the second half of CR LF or LF CR
                continue;
            }
            frame->penY -= kLineAdvance;
            frame->penX = lineStart;
            lastBreak = byte;
            continue;
        }
        lastBreak = 0;
        if (frame->pixels)
        {
            const uint16_t* rows = byteGlyphRows + kByteGlyphRows * byte;
            for (int view = 0; view < 2; ++view)
            {
                int64_t left = (int64_t)frame->penX + (view ? frame->eyeShift : 0);
                int32_t from, to, bottom, top;
                if (!ClipSpan(left, kByteGlyphWidth, frame->stride, &from, &to) ||
                    !ClipSpan(frame->penY, kByteGlyphRows, frame->pairs, &bottom, &top))
                    continue;
                const uint32_t mask = ((1u << to) - 1) & ~((1u << from) - 1);
                for (int32_t r = bottom; r < top; ++r)
                {
                    uint32_t bits = rows[r] & mask;
                    uint32_t* row = RowOf(frame, frame->penY + r, view);
                    while (bits)
                    {
                        int i = __builtin_ctz(bits);
                        bits &= bits - 1;
                        row[left + i] = frame->color;
                    }
                }
            }
        }
        frame->penX += kByteGlyphWidth;
    }
}

// [SECTION] Thumbnail rows
//
// A thumbnail row is count pixels of 3 bytes, blue, green, red, each written
// as 0x00RRGGBB. The vector loops never load past the row's last byte (the
// row may end the buffer): they stop while a whole load still fits and leave
// the last few pixels to the plain loop.

namespace {

// Writes count pixels one at a time.
void ExpandPlain(uint32_t* dst, const uint8_t* src, int32_t count)
{
    for (int32_t k = 0; k < count; ++k, src += 3)
        dst[k] = PixelOf(src);
}

#if ORVALE_DRAW_X86

// Four pixels from one 16-byte load, spread by byte shifts (SSE2 has no
// shuffle of bytes).
void ExpandSse2(uint32_t* dst, const uint8_t* src, int32_t count)
{
    const __m128i mask = _mm_set1_epi32(0x00FFFFFF);
    int32_t k = 0;
    for (; k + 6 <= count; k += 4)  // bytes 3k .. 3k + 15 lie in the row
    {
        __m128i v = _mm_loadu_si128((const __m128i*)(src + 3 * k));
        __m128i ab = _mm_unpacklo_epi32(v, _mm_srli_si128(v, 3));
        __m128i cd = _mm_unpacklo_epi32(_mm_srli_si128(v, 6), _mm_srli_si128(v, 9));
        _mm_storeu_si128((__m128i*)(dst + k), _mm_and_si128(_mm_unpacklo_epi64(ab, cd), mask));
    }
    ExpandPlain(dst + k, src + 3 * k, count - k);
}

// Places bytes 0-2, 3-5, 6-8 and 9-11 of a lane in its four words, top byte 0.
#define ORVALE_SPREAD_BGR 0, 1, 2, -128, 3, 4, 5, -128, 6, 7, 8, -128, 9, 10, 11, -128

__attribute__((target("ssse3"))) void ExpandSsse3(uint32_t* dst, const uint8_t* src, int32_t count)
{
    const __m128i spread = _mm_setr_epi8(ORVALE_SPREAD_BGR);
    int32_t k = 0;
    for (; k + 6 <= count; k += 4)
        _mm_storeu_si128((__m128i*)(dst + k),
                         _mm_shuffle_epi8(_mm_loadu_si128((const __m128i*)(src + 3 * k)), spread));
    ExpandPlain(dst + k, src + 3 * k, count - k);
}

// Eight pixels from two 16-byte loads 12 bytes apart, one per lane.
__attribute__((target("avx2"))) void ExpandAvx2(uint32_t* dst, const uint8_t* src, int32_t count)
{
    const __m256i spread = _mm256_setr_epi8(ORVALE_SPREAD_BGR, ORVALE_SPREAD_BGR);
    int32_t k = 0;
    for (; k + 10 <= count; k += 8)  // bytes 3k .. 3k + 27 lie in the row
    {
        __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128((const __m128i*)(src + 3 * k))),
                                            _mm_loadu_si128((const __m128i*)(src + 3 * k + 12)), 1);
        _mm256_storeu_si256((__m256i*)(dst + k), _mm256_shuffle_epi8(v, spread));
    }
    // The rest here, in the same encoding: handing it to the SSSE3 loop would
    // switch between the two instruction sets, which costs more than it does.
    for (; k + 6 <= count; k += 4)
        _mm_storeu_si128((__m128i*)(dst + k),
                         _mm_shuffle_epi8(_mm_loadu_si128((const __m128i*)(src + 3 * k)), _mm256_castsi256_si128(spread)));
    for (; k < count; ++k)
        dst[k] = PixelOf(src + 3 * k);
}

#endif  // ORVALE_DRAW_X86

typedef void (*ExpandRow)(uint32_t*, const uint8_t*, int32_t);

ExpandRow gExpand;  // null: chosen at the first thumbnail

// Returns the row loop for a path; null when this build or processor has none.
ExpandRow ExpandFor(DrawPath path)
{
    switch (path)
    {
    case DRAW_PATH_PLAIN:
        return ExpandPlain;
#if ORVALE_DRAW_X86
    case DRAW_PATH_SSE2:
        return ExpandSse2;
    case DRAW_PATH_SSSE3:
        return __builtin_cpu_supports("ssse3") ? ExpandSsse3 : nullptr;
    case DRAW_PATH_AVX2:
        return __builtin_cpu_supports("avx2") ? ExpandAvx2 : nullptr;
    case DRAW_PATH_AUTO:
        return __builtin_cpu_supports("avx2") ? ExpandAvx2 : __builtin_cpu_supports("ssse3") ? ExpandSsse3 : ExpandSse2;
#else
    case DRAW_PATH_AUTO:
        return ExpandPlain;
#endif
    default:
        return nullptr;
    }
}

}  // namespace

bool SetDrawPath(DrawPath path)
{
    ExpandRow chosen = ExpandFor(path);
    if (!chosen)
        return false;
    gExpand = chosen;
    return true;
}

void DrawThumbnail(CStereoFrame* frame, const uint8_t* thumb)
{
    int32_t bottom, top;
    if (!frame->pixels || !ClipSpan(frame->penY, kThumbHeight, frame->pairs, &bottom, &top))
        return;
    if (!gExpand)
        gExpand = ExpandFor(DRAW_PATH_AUTO);
    for (int view = 0; view < 2; ++view)
    {
        int64_t left = (int64_t)frame->penX + (view ? frame->eyeShift : 0);
        int32_t from, to;
        if (!ClipSpan(left, kThumbWidth, frame->stride, &from, &to))
            continue;
        for (int32_t j = bottom; j < top; ++j)
        {
            const uint8_t* src = thumb + ((int64_t)(view * kThumbHeight + j) * kThumbWidth + from) * 3;
            uint32_t* dst = RowOf(frame, frame->penY + j, view) + left + from;
            gExpand(dst, src, to - from);
        }
    }
}

void DimFrame(CStereoFrame* frame, int32_t x1, int32_t y1)
{
    // Only the part of the rectangle on the frame is dimmed; each pixel still
    // reads its neighbours as if nothing were clipped.
    const int32_t x0 = std::max(frame->penX, 0);
    const int32_t y0 = std::max(frame->penY, 0);
    const int32_t xEnd = std::min(x1, frame->stride - 1);
    const int32_t yEnd = std::min(y1, frame->pairs - 1);
    frame->penX = x1;
    frame->penY = y1;
    if (!frame->pixels || x0 > xEnd || y0 > yEnd)
        return;

    // Columns before the last one read their right neighbour; the frame's
    // last column reads itself.
    const int32_t pairedEnd = std::min(xEnd, frame->stride - 2);
    for (int view = 0; view < 2; ++view)
    {
        // Line pairs upward, columns left to right: every sample lies at or
        // right of, at or above the pixel written, so it is still undimmed.
        for (int32_t y = y0; y <= yEnd; ++y)
        {
            uint32_t* row = RowOf(frame, y, view);
            const bool top = y >= frame->pairs - 2;
            const uint32_t* up = top ? row : RowOf(frame, y + 2, view);
            if (top)
                DimSpanTop(row, x0, pairedEnd);
            else
                DimSpan(row, up, x0, pairedEnd);
            const int32_t last = frame->stride - 1;
            if (xEnd == last)
                row[last] = DimOf(row[last], row[last], up[last], up[last]);
        }
    }
}

void DrawIcon(CStereoFrame* frame, const uint8_t* icon)
{
    int32_t bottom, top, from, to;
    if (!frame->pixels || !ClipSpan(frame->penY, kIconHeight, frame->pairs, &bottom, &top) ||
        !ClipSpan(frame->penX, kIconWidth, frame->stride, &from, &to))
        return;
    const int64_t stride = frame->stride;
    for (int32_t r = bottom; r < top; ++r)
    {
        const uint8_t* src = icon + ((int64_t)r * kIconWidth + from) * 3;
        uint32_t* dst = RowOf(frame, frame->penY + r, 0) + frame->penX + from;
        for (int32_t c = from; c < to; ++c, src += 3, ++dst)
        {
            uint32_t v = PixelOf(src);
            if (v == 0)
                continue;  // pure black lets the frame show through
            dst[0] = v;
            dst[stride] = v;
        }
    }
}

void DrawScrollBar(CStereoFrame* frame, int32_t scroll, int32_t contentHeight)
{
    const int32_t pairs = frame->pairs;
    if (!frame->pixels || pairs <= 0 || frame->stride <= 0)
        return;
    // A frame narrower than the bar gets the bar over all its columns.
    const int32_t left = std::max(frame->stride - kScrollBarColumns, 0);
    const int32_t width = frame->stride - left;
    for (int32_t i = 0; i < pairs; ++i)
    {
        uint32_t colour = 0xFF0000;
        if (pairs > 1)
        {
            // Content pair that bar pair i stands for, rounded to the nearest;
            // 64 bits because the product outgrows 32 in long listings.
            const int64_t span = pairs - 1;
            const int64_t content = (span / 2 + (span - i) * ((int64_t)contentHeight - 1)) / span;
            const bool inView = scroll <= content && content < (int64_t)scroll + pairs;
            colour = inView ? 0xFF0000 : 0x00FF00;
        }
        // A bar of one line pair stands for the view itself and stays red.
        for (int view = 0; view < 2; ++view)
            std::fill_n(RowOf(frame, i, view) + left, width, colour);
    }
}
