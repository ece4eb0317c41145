// scaler.cpp - the stereo image scaler: two tables of taps, then integer-only
// pixel loops.
//
// [SECTION] Limits and conversions
// [SECTION] Rectangle and tables (all floating-point work)
// [SECTION] Column plan (what the pixel loops read)
// [SECTION] Plain pixel loops
// [SECTION] SSE2 pixel loops
// [SECTION] AVX2 pixel loops
// [SECTION] DrawStereoImage
//
// The pixel of a line pair is, per byte k,
//   sum = cw1*(rw1*P(r1,c1) + rw0*P(r0,c1)) + cw0*(rw1*P(r1,c0) + rw0*P(r0,c0))
//   value = clamp(sum >> 16, 0, 255)
// in 32-bit integers. The brackets depend only on the source column, so each
// row first blends the two source rows once per needed column (the "blend
// row"), and each frame column then combines two entries of it. That is the
// same integer sum, factored; nothing overflows: weights lie in -255..512, so
// every partial sum stays below 2^28.
//
// This file is built with -ffp-contract=off: the float and double steps of the
// tables must round exactly as written.

#include "render/scaler.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "render/frame.h"
#include "render/split.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ORVALE_SCALER_X86 1
#include <immintrin.h>
#else
#define ORVALE_SCALER_X86 0
#endif

namespace {

// [SECTION] Limits and conversions

// Scales outside this range are drawn as its nearest end. That changes no
// pixel and no bound (below 2^-86 the picture is narrower than a double's
// rounding step at any centre, above 2^64 every frame pixel already samples
// the view's centre), but it keeps every intermediate value finite.
constexpr float kMinScale = 0x1p-86f;
constexpr float kMaxScale = 0x1p64f;

// Source positions are held within +-2^30 before they become indices. From
// 2^25 on a float has no fraction and f + 1 rounds back to f, so the taps
// there get weights 0 and 0 wherever f lies; holding f at 2^30 keeps that
// result while the indices and weights stay well inside 32 bits.
constexpr float kFarPosition = 0x1p30f;

// A blend row holds this many more entries than it has columns: the pixel
// loops read 8 entries from the start of the last column.
constexpr size_t kBlendPad = 16;

// Above this many source columns per frame column, only the columns that are
// sampled are blended instead of the whole run between the first and last.
// Below it the whole run costs no more: the sampled columns share cache
// lines with the skipped ones, and the run is blended 16 or 32 bytes at once.
constexpr int64_t kSparseRatio = 8;

// A picture of fewer pixels is drawn by the calling thread alone: waking the
// helpers would cost more than they save.
constexpr int64_t kSplitPixels = 65536;

// Bands per thread: a thread that gets its core late leaves its bands to the
// others instead of holding up the call.
constexpr int32_t kBandsPerThread = 4;

// Returns v truncated toward zero and clamped into lo..hi; NaN gives lo.
int32_t TruncInto(double v, int32_t lo, int32_t hi)
{
    if (!(v > (double)lo))
        return lo;
    if (!(v < (double)hi))
        return hi;
    return (int32_t)v;
}

// Returns i clamped into 0..last.
int32_t ClampIndex(int32_t i, int32_t last)
{
    return i < 0 ? 0 : i > last ? last : i;
}

// [SECTION] Rectangle and tables (all floating-point work)

// Makes the tap for source position f (within +-kFarPosition): indices and
// weights from the unclamped indices, then the indices clamped into 0..last.
ScaleTap TapAt(float f, int32_t last)
{
    int32_t i0 = (int32_t)f;
    float f1 = f + 1.0f;
    int32_t i1 = (int32_t)f1;
    ScaleTap tap;
    tap.weight0 = (int32_t)(((float)i1 - f) * 256.0f + 0.5f);
    tap.weight1 = (int32_t)((f - (float)i0) * 256.0f + 0.5f);
    tap.index0 = ClampIndex(i0, last);
    tap.index1 = ClampIndex(i1, last);
    return tap;
}

// Returns f held within +-kFarPosition.
float HoldNear(float f)
{
    return f < -kFarPosition ? -kFarPosition : f > kFarPosition ? kFarPosition : f;
}

// Makes the row tap of line pair y: t in single precision, the half height
// added in double and rounded to single.
ScaleTap RowTap(int32_t y, int32_t centreY, float scale, int32_t height)
{
    float t = (float)((int64_t)y - centreY) / scale;
    float f = (float)((double)t + (double)height * 0.5);
    return TapAt(HoldNear(f), height - 1);
}

// Makes the column tap of frame column x, all in double precision and
// rounded to single; the double is held in range before it becomes a float.
ScaleTap ColumnTap(int32_t x, int32_t centreX, float scale, int32_t widthArg)
{
    double f = (double)((int64_t)x - centreX) / ((double)scale * 2.0) + (double)widthArg * 0.25;
    if (f < -(double)kFarPosition)
        f = -(double)kFarPosition;
    if (f > (double)kFarPosition)
        f = (double)kFarPosition;
    return TapAt((float)f, widthArg / 2 - 1);
}

// [SECTION] Column plan (what the pixel loops read)

// Everything the pixel loops need about the frame columns x0..x1, shared by
// both views and all line pairs.
struct ColumnPlan
{
    int32_t count;           // frame columns
    int32_t blendCount;      // source columns in a blend row
    int32_t firstColumn;     // source column of blend entry 0 when contiguous
    const int32_t* columns;  // source column of each blend entry, or null when contiguous
    int32_t lastColumn;      // the view's last column
    const ScaleTap* taps;    // the column table
    int32_t* slot0;          // per frame column: offset of its column c0 in a blend row (3 per column)
    int32_t* slot1;          // the same for c1
    int16_t* weights;        // 8 per frame column: cw0, cw1 three times, then 0, 0
    int32_t* bias;           // 4 per frame column: 32768 * (cw0 + cw1) three times, then 0
    int16_t* blend16;        // blend row for the SIMD loops, 3 per column plus padding
    int32_t* blend32;        // blend row for the plain loops, 3 per column plus padding
};

// Returns p rounded up to a multiple of 32 bytes.
size_t AlignUp(size_t p)
{
    return (p + 31) & ~(size_t)31;
}

// Fills the slots and, when sparse, the list of sampled source columns: the
// c0 and c1 sequences both rise with x, so one merge finds every distinct
// column in order.
void PlaceColumns(ColumnPlan* plan, int32_t* list)
{
    const ScaleTap* taps = plan->taps;
    int32_t n = plan->count;
    if (!list)
    {
        for (int32_t i = 0; i < n; i++)
        {
            plan->slot0[i] = 3 * (taps[i].index0 - plan->firstColumn);
            plan->slot1[i] = 3 * (taps[i].index1 - plan->firstColumn);
        }
        return;
    }
    int32_t used = 0, i = 0, j = 0;
    while (i < n || j < n)
    {
        bool takeFirst = j >= n || (i < n && taps[i].index0 <= taps[j].index1);
        int32_t c = takeFirst ? taps[i].index0 : taps[j].index1;
        if (used == 0 || list[used - 1] != c)
            list[used++] = c;
        if (takeFirst)
            plan->slot0[i++] = 3 * (used - 1);
        else
            plan->slot1[j++] = 3 * (used - 1);
    }
    plan->blendCount = used;
    plan->columns = list;
}

// Returns where column x's 16-byte weight and bias entries go. The AVX2 loop
// takes eight columns at a time as pairs (x, x + 4) in one register, so
// within each whole group of eight the entries are stored in that order.
int32_t EntryOf(int32_t x, int32_t count, bool paired)
{
    int32_t group = x & ~7;
    if (!paired || group + 8 > count)
        return x;
    int32_t k = x - group;
    return group + (k < 4 ? 2 * k : 2 * (k - 4) + 1);
}

// Fills the per-column weight and bias vectors of the SIMD loops.
void FillWeights(ColumnPlan* plan, bool paired)
{
    for (int32_t x = 0; x < plan->count; x++)
    {
        const ScaleTap& t = plan->taps[x];
        int32_t e = EntryOf(x, plan->count, paired);
        int16_t* w = plan->weights + 8 * (size_t)e;
        int32_t* b = plan->bias + 4 * (size_t)e;
        for (int k = 0; k < 3; k++)
        {
            w[2 * k] = (int16_t)t.weight0;
            w[2 * k + 1] = (int16_t)t.weight1;
            b[k] = 32768 * (t.weight0 + t.weight1);
        }
        w[6] = w[7] = 0;
        b[3] = 0;
    }
}

// [SECTION] Plain pixel loops

// Blends source rows p0 and p1 into 32-bit entries, one per byte of each
// needed column.
void BlendRowsPlain(int32_t* __restrict out, const uint8_t* __restrict p0, const uint8_t* __restrict p1,
                    int32_t rw0, int32_t rw1, const ColumnPlan* plan)
{
    if (!plan->columns)
    {
        const uint8_t* a = p0 + 3 * (size_t)plan->firstColumn;
        const uint8_t* b = p1 + 3 * (size_t)plan->firstColumn;
        size_t n = 3 * (size_t)plan->blendCount;
        for (size_t i = 0; i < n; i++)
            out[i] = rw1 * b[i] + rw0 * a[i];
        return;
    }
    for (int32_t u = 0; u < plan->blendCount; u++)
    {
        size_t c = 3 * (size_t)plan->columns[u];
        for (int k = 0; k < 3; k++)
            out[3 * u + k] = rw1 * p1[c + k] + rw0 * p0[c + k];
    }
}

// Returns sum >> 16 clamped into 0..255.
uint32_t ClampedByte(int32_t sum)
{
    int32_t v = sum >> 16;
    return (uint32_t)(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Combines two blend entries per frame column into 0x00RRGGBB pixels.
void SpreadPlain(uint32_t* __restrict dst, const int32_t* __restrict blend, const ColumnPlan* plan)
{
    for (int32_t x = 0; x < plan->count; x++)
    {
        const int32_t* v0 = blend + plan->slot0[x];
        const int32_t* v1 = blend + plan->slot1[x];
        int32_t cw0 = plan->taps[x].weight0, cw1 = plan->taps[x].weight1;
        uint32_t b = ClampedByte(cw1 * v1[0] + cw0 * v0[0]);
        uint32_t g = ClampedByte(cw1 * v1[1] + cw0 * v0[1]);
        uint32_t r = ClampedByte(cw1 * v1[2] + cw0 * v0[2]);
        dst[x] = b | g << 8 | r << 16;
    }
}

// Draws one row of one view with the plain loops; right for any row weights.
void DrawRowPlain(uint32_t* dst, const uint8_t* p0, const uint8_t* p1, const ScaleTap& row, const ColumnPlan* plan)
{
    BlendRowsPlain(plan->blend32, p0, p1, row.weight0, row.weight1, plan);
    SpreadPlain(dst, plan->blend32, plan);
}

#if ORVALE_SCALER_X86

// The SIMD loops keep a blend entry V (0..65535) as the int16 V - 32768, so
// that pmaddwd can multiply it with signed weights; the per-column bias
// 32768 * (cw0 + cw1) restores the exact sum. The fourth lane of each pixel
// has weights 0 and bias 0, which makes the top byte 0; saturating packs do
// the clamp into 0..255.

// Returns true when a row's blend fits 16 bits: both weights non-negative and
// at most 257 together, so rw1*P1 + rw0*P0 <= 257 * 255 = 65535.
bool RowFits16(const ScaleTap& row)
{
    return row.weight0 >= 0 && row.weight1 >= 0 && row.weight0 + row.weight1 <= 257;
}

// Blends the listed (sparse) source columns into biased 16-bit entries. Each
// column is read as 4 bytes (its own 3 and the next column's blue) and
// written as 4 entries, the fourth overwritten by the next column; the last
// column of the view has no next column in memory and is done bytewise.
void BlendListedColumns16(int16_t* out, const uint8_t* p0, const uint8_t* p1, int32_t rw0, int32_t rw1,
                          const ColumnPlan* plan)
{
    const __m128i w0 = _mm_set1_epi16((int16_t)rw0);
    const __m128i w1 = _mm_set1_epi16((int16_t)rw1);
    const __m128i flip = _mm_set1_epi16((int16_t)0x8000);
    const __m128i zero = _mm_setzero_si128();
    for (int32_t u = 0; u < plan->blendCount; u++)
    {
        int32_t column = plan->columns[u];
        size_t c = 3 * (size_t)column;
        if (column == plan->lastColumn)
        {
            for (int k = 0; k < 3; k++)
                out[3 * u + k] = (int16_t)(uint16_t)((uint32_t)(rw1 * p1[c + k] + rw0 * p0[c + k]) ^ 0x8000u);
            continue;
        }
        int32_t a, b;
        memcpy(&a, p0 + c, 4);
        memcpy(&b, p1 + c, 4);
        __m128i va = _mm_unpacklo_epi8(_mm_cvtsi32_si128(a), zero);
        __m128i vb = _mm_unpacklo_epi8(_mm_cvtsi32_si128(b), zero);
        __m128i v = _mm_add_epi16(_mm_mullo_epi16(vb, w1), _mm_mullo_epi16(va, w0));
        _mm_storel_epi64((__m128i*)(out + 3 * u), _mm_xor_si128(v, flip));
    }
}

// Blends the bytes i..n-1 of two row runs into biased 16-bit entries.
void BlendTail16(int16_t* out, const uint8_t* a, const uint8_t* b, size_t i, size_t n, int32_t rw0, int32_t rw1)
{
    for (; i < n; i++)
        out[i] = (int16_t)(uint16_t)((uint32_t)(rw1 * b[i] + rw0 * a[i]) ^ 0x8000u);
}

// [SECTION] SSE2 pixel loops

void BlendRowsSse2(int16_t* __restrict out, const uint8_t* p0, const uint8_t* p1, int32_t rw0, int32_t rw1,
                   const ColumnPlan* plan)
{
    if (plan->columns)
    {
        BlendListedColumns16(out, p0, p1, rw0, rw1, plan);
        return;
    }
    const uint8_t* a = p0 + 3 * (size_t)plan->firstColumn;
    const uint8_t* b = p1 + 3 * (size_t)plan->firstColumn;
    size_t n = 3 * (size_t)plan->blendCount;
    const __m128i w0 = _mm_set1_epi16((int16_t)rw0);
    const __m128i w1 = _mm_set1_epi16((int16_t)rw1);
    const __m128i flip = _mm_set1_epi16((int16_t)0x8000);
    const __m128i zero = _mm_setzero_si128();
    size_t i = 0;
    for (; i + 16 <= n; i += 16)
    {
        __m128i va = _mm_loadu_si128((const __m128i*)(a + i));
        __m128i vb = _mm_loadu_si128((const __m128i*)(b + i));
        __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(vb, zero), w1),
                                   _mm_mullo_epi16(_mm_unpacklo_epi8(va, zero), w0));
        __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(vb, zero), w1),
                                   _mm_mullo_epi16(_mm_unpackhi_epi8(va, zero), w0));
        _mm_storeu_si128((__m128i*)(out + i), _mm_xor_si128(lo, flip));
        _mm_storeu_si128((__m128i*)(out + i + 8), _mm_xor_si128(hi, flip));
    }
    BlendTail16(out, a, b, i, n, rw0, rw1);
}

// Returns the four 32-bit sums >> 16 (blue, green, red, 0) of frame column x.
inline __m128i PixelSse2(const int16_t* blend, const ColumnPlan* plan, int32_t x, int32_t e)
{
    __m128i a = _mm_loadu_si128((const __m128i*)(blend + plan->slot0[x]));
    __m128i c = _mm_loadu_si128((const __m128i*)(blend + plan->slot1[x]));
    __m128i w = _mm_load_si128((const __m128i*)(plan->weights + 8 * (size_t)e));
    __m128i b = _mm_load_si128((const __m128i*)(plan->bias + 4 * (size_t)e));
    return _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, c), w), b), 16);
}

// Stores the single pixel of column x.
inline void StoreOneSse2(uint32_t* dst, const int16_t* blend, const ColumnPlan* plan, int32_t x)
{
    __m128i s = PixelSse2(blend, plan, x, x);
    __m128i p = _mm_packus_epi16(_mm_packs_epi32(s, s), _mm_setzero_si128());
    dst[x] = (uint32_t)_mm_cvtsi128_si32(p);
}

void SpreadSse2(uint32_t* __restrict dst, const int16_t* blend, const ColumnPlan* plan)
{
    int32_t n = plan->count;
    int32_t x = 0;
    for (; x + 4 <= n; x += 4)
    {
        __m128i s0 = PixelSse2(blend, plan, x, x);
        __m128i s1 = PixelSse2(blend, plan, x + 1, x + 1);
        __m128i s2 = PixelSse2(blend, plan, x + 2, x + 2);
        __m128i s3 = PixelSse2(blend, plan, x + 3, x + 3);
        __m128i p = _mm_packus_epi16(_mm_packs_epi32(s0, s1), _mm_packs_epi32(s2, s3));
        _mm_storeu_si128((__m128i*)(dst + x), p);
    }
    for (; x < n; x++)
        StoreOneSse2(dst, blend, plan, x);
}

// [SECTION] AVX2 pixel loops

__attribute__((target("avx2"))) void BlendRowsAvx2(int16_t* __restrict out, const uint8_t* p0, const uint8_t* p1,
                                                   int32_t rw0, int32_t rw1, const ColumnPlan* plan)
{
    if (plan->columns)
    {
        BlendListedColumns16(out, p0, p1, rw0, rw1, plan);
        return;
    }
    const uint8_t* a = p0 + 3 * (size_t)plan->firstColumn;
    const uint8_t* b = p1 + 3 * (size_t)plan->firstColumn;
    size_t n = 3 * (size_t)plan->blendCount;
    const __m256i w0 = _mm256_set1_epi16((int16_t)rw0);
    const __m256i w1 = _mm256_set1_epi16((int16_t)rw1);
    const __m256i flip = _mm256_set1_epi16((int16_t)0x8000);
    size_t i = 0;
    for (; i + 32 <= n; i += 32)
    {
        __m256i a0 = _mm256_cvtepu8_epi16(_mm_loadu_si128((const __m128i*)(a + i)));
        __m256i b0 = _mm256_cvtepu8_epi16(_mm_loadu_si128((const __m128i*)(b + i)));
        __m256i a1 = _mm256_cvtepu8_epi16(_mm_loadu_si128((const __m128i*)(a + i + 16)));
        __m256i b1 = _mm256_cvtepu8_epi16(_mm_loadu_si128((const __m128i*)(b + i + 16)));
        __m256i s0 = _mm256_add_epi16(_mm256_mullo_epi16(b0, w1), _mm256_mullo_epi16(a0, w0));
        __m256i s1 = _mm256_add_epi16(_mm256_mullo_epi16(b1, w1), _mm256_mullo_epi16(a1, w0));
        _mm256_storeu_si256((__m256i*)(out + i), _mm256_xor_si256(s0, flip));
        _mm256_storeu_si256((__m256i*)(out + i + 16), _mm256_xor_si256(s1, flip));
    }
    BlendTail16(out, a, b, i, n, rw0, rw1);
}

// Returns the sums >> 16 of frame columns x (low half) and x + 4 (high half),
// whose weight and bias entries sit side by side at entry e.
__attribute__((target("avx2"))) inline __m256i PairAvx2(const int16_t* blend, const ColumnPlan* plan, int32_t x,
                                                        int32_t e)
{
    __m256i a = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128((const __m128i*)(blend + plan->slot0[x]))),
        _mm_loadu_si128((const __m128i*)(blend + plan->slot0[x + 4])), 1);
    __m256i c = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128((const __m128i*)(blend + plan->slot1[x]))),
        _mm_loadu_si128((const __m128i*)(blend + plan->slot1[x + 4])), 1);
    __m256i w = _mm256_load_si256((const __m256i*)(plan->weights + 8 * (size_t)e));
    __m256i b = _mm256_load_si256((const __m256i*)(plan->bias + 4 * (size_t)e));
    return _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(a, c), w), b), 16);
}

__attribute__((target("avx2"))) void SpreadAvx2(uint32_t* __restrict dst, const int16_t* blend,
                                                const ColumnPlan* plan)
{
    int32_t n = plan->count;
    int32_t x = 0;
    for (; x + 8 <= n; x += 8)
    {
        // Sums of (x, x+4), (x+1, x+5) ... pack lane by lane into x .. x+7.
        __m256i s04 = PairAvx2(blend, plan, x, x);
        __m256i s15 = PairAvx2(blend, plan, x + 1, x + 2);
        __m256i s26 = PairAvx2(blend, plan, x + 2, x + 4);
        __m256i s37 = PairAvx2(blend, plan, x + 3, x + 6);
        __m256i p = _mm256_packus_epi16(_mm256_packs_epi32(s04, s15), _mm256_packs_epi32(s26, s37));
        _mm256_storeu_si256((__m256i*)(dst + x), p);
    }
    for (; x < n; x++)
        StoreOneSse2(dst, blend, plan, x);
}

// Returns true when this processor runs AVX2.
bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

#endif  // ORVALE_SCALER_X86

ScalerPath pinnedPath = SCALER_PATH_AUTO;
int32_t pinnedParts = 0;

// Returns the inner loop to use now.
ScalerPath ChoosePath()
{
    if (pinnedPath != SCALER_PATH_AUTO)
        return pinnedPath;
#if ORVALE_SCALER_X86
    return HasAvx2() ? SCALER_PATH_AVX2 : SCALER_PATH_SSE2;
#else
    return SCALER_PATH_PLAIN;
#endif
}

// Draws one row of one view into dst (the frame row at column x0).
void DrawRow(uint32_t* dst, const uint8_t* p0, const uint8_t* p1, const ScaleTap& row, const ColumnPlan* plan,
             ScalerPath path)
{
#if ORVALE_SCALER_X86
    if (path == SCALER_PATH_AVX2 && RowFits16(row))
    {
        BlendRowsAvx2(plan->blend16, p0, p1, row.weight0, row.weight1, plan);
        SpreadAvx2(dst, plan->blend16, plan);
        return;
    }
    if (path == SCALER_PATH_SSE2 && RowFits16(row))
    {
        BlendRowsSse2(plan->blend16, p0, p1, row.weight0, row.weight1, plan);
        SpreadSse2(dst, plan->blend16, plan);
        return;
    }
#else
    (void)path;
#endif
    DrawRowPlain(dst, p0, p1, row, plan);
}

// Everything the line pairs of one call share, and where each thread's own
// blend rows lie.
struct RowWork
{
    CStereoFrame* frame;
    const uint8_t* view0;
    const uint8_t* view1;
    int32_t pitch0, pitch1;
    const ScaleTap* rows;
    int32_t ny, bottom, left, nx, parts;
    bool sameViews;
    ScalerPath path;
    ColumnPlan plan;     // its blend rows are part 0's
    size_t blendStride;  // bytes from one thread's blend rows to the next one's
};

// Draws part `part` of the line pairs, a band of whole line pairs, blending
// into the rows of its thread, so no two threads write the same memory.
void DrawRowBand(void* context, int32_t part, int32_t thread)
{
    const RowWork* w = (const RowWork*)context;
    ColumnPlan plan = w->plan;
    plan.blend16 = (int16_t*)((uint8_t*)plan.blend16 + (size_t)thread * w->blendStride);
    plan.blend32 = (int32_t*)((uint8_t*)plan.blend32 + (size_t)thread * w->blendStride);
    // The pixel loops read a few entries past the last column; they must
    // hold numbers (their weight is 0) rather than whatever malloc left.
    memset(plan.blend16 + 3 * (size_t)plan.blendCount, 0, kBlendPad * sizeof(int16_t));
    memset(plan.blend32 + 3 * (size_t)plan.blendCount, 0, kBlendPad * sizeof(int32_t));
    const int32_t stride = w->frame->stride;
    int32_t from = (int32_t)((int64_t)w->ny * part / w->parts);
    int32_t to = (int32_t)((int64_t)w->ny * (part + 1) / w->parts);
    for (int32_t i = from; i < to; i++)
    {
        const ScaleTap& row = w->rows[i];
        uint32_t* dst0 = w->frame->pixels + (size_t)(2 * (w->bottom + i) + 1) * (size_t)stride + w->left;
        uint32_t* dst1 = dst0 + stride;
        DrawRow(dst0, w->view0 + (ptrdiff_t)row.index0 * w->pitch0, w->view0 + (ptrdiff_t)row.index1 * w->pitch0,
                row, &plan, w->path);
        if (w->sameViews)
            memcpy(dst1, dst0, (size_t)w->nx * sizeof(uint32_t));
        else
            DrawRow(dst1, w->view1 + (ptrdiff_t)row.index0 * w->pitch1, w->view1 + (ptrdiff_t)row.index1 * w->pitch1,
                    row, &plan, w->path);
    }
}

}  // namespace

void SetScalerBands(int32_t parts)
{
    pinnedParts = parts > 0 ? parts : 0;
}

bool SetScalerPath(ScalerPath path)
{
    switch (path)
    {
    case SCALER_PATH_AUTO:
    case SCALER_PATH_PLAIN:
        break;
#if ORVALE_SCALER_X86
    case SCALER_PATH_SSE2:
        break;
    case SCALER_PATH_AVX2:
        if (!HasAvx2())
            return false;
        break;
#endif
    default:
        return false;
    }
    pinnedPath = path;
    return true;
}

// [SECTION] DrawStereoImage

// Works out step 1, the rectangle, as inclusive bounds clamped into the
// frame. Returns 0 for inputs nothing is drawn from, with the bounds 0; 1
// when the rectangle is drawn; 2 when it is empty (nothing drawn, the bounds
// as worked out).
static int PictureRect(const CStereoFrame* frame, int32_t widthArg, int32_t height, int32_t centreX,
                       int32_t centreY, float scale, int32_t* x0, int32_t* x1, int32_t* y0, int32_t* y1)
{
    *x0 = *x1 = *y0 = *y1 = 0;
    if (!frame || !frame->pixels || frame->stride < 1 || frame->pairs < 1)
        return 0;
    // Line pair pairs-1 writes buffer row 2*pairs; a frame whose buffer is
    // smaller than that is not drawn into.
    if (((int64_t)frame->pairs * 2 + 1) * frame->stride > frame->capacity)
        return 0;
    // NaN, zero and negative scales have no picture to draw.
    if (!(scale > 0.0f))
        return 0;
    if (widthArg / 2 < 1 || height < 1)
        return 0;
    float s = scale < kMinScale ? kMinScale : scale > kMaxScale ? kMaxScale : scale;

    // Width times scale in single precision, the rest in double, each bound
    // truncated and clamped into the frame.
    double halfW = (double)((float)widthArg * s) * 0.5;
    double halfH = (double)((float)height * s) * 0.5;
    *x0 = TruncInto((double)centreX - halfW + 1.0, 0, frame->stride - 1);
    *x1 = TruncInto(halfW + (double)centreX, 0, frame->stride - 1);
    *y0 = TruncInto((double)centreY - halfH + 1.0, 0, frame->pairs - 1);
    *y1 = TruncInto(halfH + (double)centreY, 0, frame->pairs - 1);
    return *x0 > *x1 || *y0 > *y1 ? 2 : 1;
}

bool StereoImageCover(const CStereoFrame* frame, int32_t widthArg, int32_t height, int32_t centreX, int32_t centreY,
                      float scale, int32_t* x0, int32_t* x1, int32_t* y0, int32_t* y1)
{
    return PictureRect(frame, widthArg, height, centreX, centreY, scale, x0, x1, y0, y1) == 1;
}

void DrawStereoImage(CStereoFrame* frame, const uint8_t* view0, int32_t pitch0, const uint8_t* view1,
                     int32_t pitch1, int32_t widthArg, int32_t height, int32_t centreX, int32_t centreY,
                     float scale, int32_t* x0, int32_t* x1, int32_t* y0, int32_t* y1)
{
    *x0 = *x1 = *y0 = *y1 = 0;
    if (!view0 || !view1)
        return;
    // 1. The rectangle.
    int32_t left, right, bottom, top;
    int drawn = PictureRect(frame, widthArg, height, centreX, centreY, scale, &left, &right, &bottom, &top);
    if (drawn == 2)
        *x0 = left, *x1 = right, *y0 = bottom, *y1 = top;
    if (drawn != 1)
        return;
    int32_t viewWidth = widthArg / 2;
    float s = scale < kMinScale ? kMinScale : scale > kMaxScale ? kMaxScale : scale;
    int32_t nx = right - left + 1;
    int32_t ny = top - bottom + 1;

    // The column taps rise with x, so the first and last give the run of
    // source columns the whole rectangle samples.
    ScaleTap firstTap = ColumnTap(left, centreX, s, widthArg);
    ScaleTap lastTap = ColumnTap(right, centreX, s, widthArg);
    int64_t span = (int64_t)lastTap.index1 - firstTap.index0 + 1;
    bool sparse = span > kSparseRatio * nx;
    size_t blendColumns = sparse ? 2 * (size_t)nx : (size_t)span;
    size_t blendEntries = 3 * blendColumns + kBlendPad;
    ScalerPath path = ChoosePath();

    // The column table and everything derived from it in one block.
    size_t offTaps = 0;
    size_t offSlots = AlignUp(offTaps + (size_t)nx * sizeof(ScaleTap));
    size_t offWeights = AlignUp(offSlots + 2 * (size_t)nx * sizeof(int32_t));
    size_t offBias = AlignUp(offWeights + 8 * (size_t)nx * sizeof(int16_t));
    size_t offList = AlignUp(offBias + 4 * (size_t)nx * sizeof(int32_t));
    size_t offBlend16 = AlignUp(offList + (sparse ? 2 * (size_t)nx * sizeof(int32_t) : 0));
    size_t offBlend32 = AlignUp(offBlend16 + blendEntries * sizeof(int16_t));
    // Each thread blends into rows of its own.
    size_t blendStride = AlignUp(offBlend32 + blendEntries * sizeof(int32_t)) - offBlend16;
    int32_t threads = SplitThreads();
    int32_t parts = pinnedParts ? pinnedParts : (int64_t)nx * ny >= kSplitPixels ? kBandsPerThread * threads : 1;
    if (parts > ny)
        parts = ny;
    size_t columnBytes = offBlend16 + (size_t)threads * blendStride + 32;

    ScaleTap* rows = (ScaleTap*)malloc((size_t)ny * sizeof(ScaleTap));
    uint8_t* columnBlock = (uint8_t*)malloc(columnBytes);
    if (!rows || !columnBlock)
    {
        // Without its tables the picture is not drawn this pass.
        free(rows);
        free(columnBlock);
        return;
    }
    *x0 = left, *x1 = right, *y0 = bottom, *y1 = top;

    // malloc aligns to 16; the AVX2 loads want 32.
    uint8_t* base = columnBlock + ((32 - ((uintptr_t)columnBlock & 31)) & 31);
    ScaleTap* columns = (ScaleTap*)(base + offTaps);

    // 2. and 3. The row table and the column table.
    for (int32_t i = 0; i < ny; i++)
        rows[i] = RowTap(bottom + i, centreY, s, height);
    for (int32_t i = 0; i < nx; i++)
        columns[i] = ColumnTap(left + i, centreX, s, widthArg);

    ColumnPlan plan;
    plan.count = nx;
    plan.blendCount = (int32_t)blendColumns;
    plan.firstColumn = firstTap.index0;
    plan.columns = nullptr;
    plan.lastColumn = viewWidth - 1;
    plan.taps = columns;
    plan.slot0 = (int32_t*)(base + offSlots);
    plan.slot1 = plan.slot0 + nx;
    plan.weights = (int16_t*)(base + offWeights);
    plan.bias = (int32_t*)(base + offBias);
    plan.blend16 = (int16_t*)(base + offBlend16);
    plan.blend32 = (int32_t*)(base + offBlend32);
    PlaceColumns(&plan, sparse ? (int32_t*)(base + offList) : nullptr);
    if (path != SCALER_PATH_PLAIN)
        FillWeights(&plan, path == SCALER_PATH_AVX2);
    // 4. The pixels: view 0 into buffer row 2y + 1, view 1 into 2y + 2. A
    // flat picture has the same view twice, so its second row is a copy.
    // Bands of line pairs go to the cores; all are drawn before the return.
    RowWork work = {frame, view0, view1, pitch0, pitch1, rows, ny, bottom, left, nx, parts,
                    view0 == view1 && pitch0 == pitch1, path, plan, blendStride};
    RunParts(parts, DrawRowBand, &work);

    // 5. Both tables live for this call only.
    free(rows);
    free(columnBlock);
}
