// picture_kit.cpp - the scene renderer, encoders and camera file layout used
// by the sample and fixture generator and by the benchmarks.
//
// [SECTION] Scene
// [SECTION] Simple pictures
// [SECTION] Encoding
// [SECTION] Camera files
#include "tools/kit/picture_kit.h"

#include <FreeImage.h>
#include <cmath>
#include <cstdio>
#include <cstring>

// [SECTION] Scene

namespace {

struct Vec
{
    double x, y, z;
};

Vec Add(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec Sub(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec Scale(Vec a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Normalize(Vec a) { return Scale(a, 1.0 / std::sqrt(Dot(a, a))); }

struct Sphere
{
    Vec centre;
    double radius;
    Vec color;
};

struct Box
{
    Vec low, high;
    Vec color;
};

const Sphere kSpheres[] = {
    {{-0.70, 0.45, 2.4}, 0.45, {0.85, 0.18, 0.14}},
    {{0.80, 0.60, 4.2}, 0.60, {0.20, 0.70, 0.30}},
    {{-1.90, 0.90, 7.0}, 0.90, {0.20, 0.35, 0.85}},
    {{2.60, 1.20, 11.0}, 1.20, {0.95, 0.55, 0.10}},
};

const Box kBoxes[] = {
    {{0.05, 0.0, 2.9}, {0.65, 0.5, 3.5}, {0.90, 0.80, 0.20}},
    {{-0.50, 0.0, 9.0}, {0.70, 2.2, 10.2}, {0.55, 0.45, 0.65}},
    {{1.60, 0.0, 6.0}, {2.30, 0.35, 6.7}, {0.15, 0.65, 0.65}},
};

const Vec kLight = Normalize({-0.5, 1.0, -0.45});
const double kConvergence = 3.0;  // metres: no parallax at this depth
const double kEyeHeight = 1.5;
const double kPitch = -8.0 * M_PI / 180.0;
const double kFieldOfView = 60.0 * M_PI / 180.0;

struct Hit
{
    double t;
    Vec normal;
    Vec color;
    int kind;  // 0 none, 1 ground, 2 sphere, 3 box
    Vec point;
};

// Returns a repeatable pseudo-random value in [0, 1) for a lattice cell.
double CellNoise(int64_t a, int64_t b)
{
    uint64_t h = (uint64_t)a * 0x9E3779B97F4A7C15ull ^ (uint64_t)b * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    return (double)(h >> 11) / 9007199254740992.0;
}

// Finds the nearest surface along a ray, closer than limit.
Hit Trace(Vec origin, Vec dir, double limit)
{
    Hit hit = {limit, {0, 0, 0}, {0, 0, 0}, 0, {0, 0, 0}};
    if (dir.y < -1e-9)
    {
        double t = -origin.y / dir.y;
        if (t > 1e-6 && t < hit.t)
            hit = {t, {0, 1, 0}, {0, 0, 0}, 1, {0, 0, 0}};
    }
    for (const Sphere& s : kSpheres)
    {
        Vec oc = Sub(origin, s.centre);
        double b = Dot(oc, dir);
        double c = Dot(oc, oc) - s.radius * s.radius;
        double disc = b * b - c;
        if (disc < 0)
            continue;
        double t = -b - std::sqrt(disc);
        if (t > 1e-6 && t < hit.t)
        {
            Vec p = Add(origin, Scale(dir, t));
            hit = {t, Normalize(Sub(p, s.centre)), s.color, 2, {0, 0, 0}};
        }
    }
    for (const Box& box : kBoxes)
    {
        double tNear = -1e30, tFar = 1e30;
        int axis = 0;
        double sign = 1;
        const double o[3] = {origin.x, origin.y, origin.z};
        const double d[3] = {dir.x, dir.y, dir.z};
        const double lo[3] = {box.low.x, box.low.y, box.low.z};
        const double hi[3] = {box.high.x, box.high.y, box.high.z};
        bool miss = false;
        for (int i = 0; i < 3 && !miss; i++)
        {
            if (std::fabs(d[i]) < 1e-12)
            {
                miss = o[i] < lo[i] || o[i] > hi[i];
                continue;
            }
            double t1 = (lo[i] - o[i]) / d[i];
            double t2 = (hi[i] - o[i]) / d[i];
            double s = -1;
            if (t1 > t2)
            {
                std::swap(t1, t2);
                s = 1;
            }
            if (t1 > tNear)
            {
                tNear = t1;
                axis = i;
                sign = s;
            }
            if (t2 < tFar)
                tFar = t2;
            miss = tNear > tFar;
        }
        if (miss || tNear <= 1e-6 || tNear >= hit.t)
            continue;
        Vec n = {0, 0, 0};
        (axis == 0 ? n.x : axis == 1 ? n.y : n.z) = sign;
        hit = {tNear, n, box.color, 3, {0, 0, 0}};
    }
    if (hit.kind)
        hit.point = Add(origin, Scale(dir, hit.t));
    return hit;
}

// Returns the colour seen along one ray.
Vec Shade(Vec origin, Vec dir)
{
    Hit hit = Trace(origin, dir, 1e9);
    Vec sky = Add(Scale(Vec{0.62, 0.78, 0.95}, 1.0 - std::fmin(1.0, std::fmax(0.0, dir.y) * 2.5)),
                  Scale(Vec{0.22, 0.42, 0.85}, std::fmin(1.0, std::fmax(0.0, dir.y) * 2.5)));
    if (!hit.kind)
        return sky;
    Vec base = hit.color;
    if (hit.kind == 1)
    {
        // Checkers of half a metre with a fine grain, so the ground has
        // texture at every depth for the eyes to fuse.
        int64_t cx = (int64_t)std::floor(hit.point.x / 0.5);
        int64_t cz = (int64_t)std::floor(hit.point.z / 0.5);
        double grain = CellNoise((int64_t)std::floor(hit.point.x / 0.04), (int64_t)std::floor(hit.point.z / 0.04));
        base = ((cx + cz) & 1) ? Vec{0.50, 0.62, 0.40} : Vec{0.78, 0.80, 0.66};
        base = Scale(base, 0.85 + 0.3 * grain);
    }
    else if (hit.kind == 3)
    {
        double stripe = std::fmod(std::fabs(hit.point.y + hit.point.x + hit.point.z) * 8.0, 2.0) < 1.0 ? 1.0 : 0.8;
        base = Scale(base, stripe);
    }
    double lambert = std::fmax(0.0, Dot(hit.normal, kLight));
    if (lambert > 0)
    {
        Hit blocker = Trace(Add(hit.point, Scale(hit.normal, 1e-4)), kLight, 1e9);
        if (blocker.kind && blocker.kind != 1)
            lambert = 0;
    }
    Vec color = Scale(base, 0.28 + 0.72 * lambert);
    if (hit.kind == 2 && lambert > 0)
    {
        Vec reflected = Sub(kLight, Scale(hit.normal, 2 * Dot(hit.normal, kLight)));
        double highlight = std::pow(std::fmax(0.0, Dot(reflected, dir)), 40.0) * 0.5;
        color = Add(color, Vec{highlight, highlight, highlight});
    }
    double fog = 1.0 - std::exp(-hit.t / 60.0);
    return Add(Scale(color, 1.0 - fog), Scale(sky, fog));
}

// Converts a linear value in [0, 1] to a byte.
uint8_t ToByte(double v)
{
    v = std::fmin(1.0, std::fmax(0.0, v));
    return (uint8_t)std::lround(std::pow(v, 1.0 / 1.1) * 255.0);
}

}  // namespace

FIBITMAP* RenderScene(int width, int height, double eyeX)
{
    FIBITMAP* dib = FreeImage_Allocate(width, height, 24);
    const double focal = (width / 2.0) / std::tan(kFieldOfView / 2.0);
    const double cp = std::cos(kPitch), sp = std::sin(kPitch);
    const Vec eye = {eyeX, kEyeHeight, 0.0};
    for (int py = 0; py < height; py++)
    {
        // Bitmap row 0 is the bottom of the picture.
        BYTE* row = FreeImage_GetScanLine(dib, height - 1 - py);
        for (int px = 0; px < width; px++)
        {
            Vec sum = {0, 0, 0};
            for (int s = 0; s < 4; s++)
            {
                double sx = px + 0.25 + 0.5 * (s & 1);
                double sy = py + 0.25 + 0.5 * (s >> 1);
                // The image plane is shifted per eye so that both agree at the
                // convergence depth: an off-axis pair, no keystone.
                double u = (sx - width / 2.0) / focal - eyeX / kConvergence;
                double v = (height / 2.0 - sy) / focal;
                Vec d = {u, v * cp + sp, -v * sp + cp};
                sum = Add(sum, Shade(eye, Normalize(d)));
            }
            sum = Scale(sum, 0.25);
            row[px * 3 + FI_RGBA_BLUE] = ToByte(sum.z);
            row[px * 3 + FI_RGBA_GREEN] = ToByte(sum.y);
            row[px * 3 + FI_RGBA_RED] = ToByte(sum.x);
        }
    }
    return dib;
}

// [SECTION] Simple pictures

void CoordinatePixel(int x, int y, uint8_t bgr[3])
{
    bgr[0] = (uint8_t)(x & 255);
    bgr[1] = (uint8_t)(y & 255);
    bgr[2] = (uint8_t)(((x >> 8) & 15) | (((y >> 8) & 15) << 4));
}

FIBITMAP* CoordinatePicture(int width, int height)
{
    FIBITMAP* dib = FreeImage_Allocate(width, height, 24);
    for (int y = 0; y < height; y++)
    {
        BYTE* row = FreeImage_GetScanLine(dib, y);
        for (int x = 0; x < width; x++)
            CoordinatePixel(x, y, row + x * 3);
    }
    return dib;
}

FIBITMAP* SolidPicture(int width, int height, uint32_t color)
{
    FIBITMAP* dib = FreeImage_Allocate(width, height, 24);
    for (int y = 0; y < height; y++)
    {
        BYTE* row = FreeImage_GetScanLine(dib, y);
        for (int x = 0; x < width; x++)
        {
            row[x * 3 + 0] = (BYTE)color;
            row[x * 3 + 1] = (BYTE)(color >> 8);
            row[x * 3 + 2] = (BYTE)(color >> 16);
        }
    }
    return dib;
}

FIBITMAP* NoisePicture(int width, int height, uint32_t seed)
{
    FIBITMAP* dib = FreeImage_Allocate(width, height, 24);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < 3 * width; x++)
            FreeImage_GetScanLine(dib, y)[x] = (BYTE)((seed = seed * 1664525u + 1013904223u) >> 24);
    return dib;
}

FIBITMAP* SideBySide(FIBITMAP* left, FIBITMAP* right)
{
    unsigned w = FreeImage_GetWidth(left), h = FreeImage_GetHeight(left);
    FIBITMAP* dib = FreeImage_Allocate((int)(2 * w), (int)h, 24);
    FreeImage_Paste(dib, left, 0, 0, 256);
    FreeImage_Paste(dib, right, (int)w, 0, 256);
    return dib;
}

// [SECTION] Encoding

namespace {

// Saves a bitmap to memory in a format and returns the bytes.
ByteVector Encode(FIBITMAP* dib, FREE_IMAGE_FORMAT format, int flags)
{
    FIMEMORY* memory = FreeImage_OpenMemory();
    FreeImage_SaveToMemory(format, dib, memory, flags);
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    ByteVector bytes(data, data + size);
    FreeImage_CloseMemory(memory);
    return bytes;
}

// Appends integers in little-endian order (the "II" TIFF byte order).
void Put16(ByteVector& out, uint32_t v)
{
    out.push_back((uint8_t)v);
    out.push_back((uint8_t)(v >> 8));
}

void Put32(ByteVector& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Patch32(ByteVector& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        out[at + i] = (uint8_t)(v >> (8 * i));
}

// Appends one IFD entry; a value of four bytes or less sits in the entry.
void PutEntry(ByteVector& out, uint16_t tag, uint16_t type, uint32_t count, uint32_t value)
{
    Put16(out, tag);
    Put16(out, type);
    Put32(out, count);
    if (type == 3 && count == 1)
    {
        Put16(out, value);
        Put16(out, 0);
    }
    else
        Put32(out, value);
}

// Appends a marker segment: FF code, length, payload.
void PutSegment(ByteVector& out, uint8_t code, const ByteVector& payload)
{
    out.push_back(0xFF);
    out.push_back(code);
    size_t length = payload.size() + 2;
    out.push_back((uint8_t)(length >> 8));
    out.push_back((uint8_t)length);
    out.insert(out.end(), payload.begin(), payload.end());
}

enum
{
    kTypeShort = 3,
    kTypeLong = 4,
    kTypeAscii = 2,
    kTypeUndefined = 7,
    kTypeRational = 5,
};

// Builds the payload of an APP1 Exif segment: IFD0 with make and model, IFD1
// pointing at a JPEG preview that follows.
ByteVector ExifPayload(const ByteVector& preview)
{
    static const char kMake[] = "Orvale";
    static const char kModel[] = "Scene renderer";
    ByteVector p = {'E', 'x', 'i', 'f', 0, 0};
    const size_t tiff = p.size();
    p.insert(p.end(), {'I', 'I', 0x2A, 0});
    Put32(p, 8);
    // IFD0 at 8: three entries, then the offset of IFD1.
    const uint32_t ifd0 = 8, ifd0Size = 2 + 3 * 12 + 4;
    const uint32_t makeAt = ifd0 + ifd0Size, modelAt = makeAt + sizeof kMake;
    const uint32_t ifd1 = modelAt + sizeof kModel;
    const uint32_t ifd1Size = 2 + 3 * 12 + 4;
    const uint32_t previewAt = ifd1 + ifd1Size;
    Put16(p, 3);
    PutEntry(p, 0x010F, kTypeAscii, sizeof kMake, makeAt);
    PutEntry(p, 0x0110, kTypeAscii, sizeof kModel, modelAt);
    PutEntry(p, 0x0112, kTypeShort, 1, 1);
    Put32(p, ifd1);
    p.insert(p.end(), kMake, kMake + sizeof kMake);
    p.insert(p.end(), kModel, kModel + sizeof kModel);
    Put16(p, 3);
    PutEntry(p, 0x0103, kTypeShort, 1, 6);  // compression: JPEG
    PutEntry(p, 0x0201, kTypeLong, 1, previewAt);
    PutEntry(p, 0x0202, kTypeLong, 1, (uint32_t)preview.size());
    Put32(p, 0);
    if (p.size() - tiff != previewAt)
        fprintf(stderr, "picture_kit: Exif layout is off\n");
    p.insert(p.end(), preview.begin(), preview.end());
    return p;
}

// Returns a stream's bytes after its SOI with every application segment
// dropped: tables, frame, scan and EOI.
ByteVector StreamBody(const ByteVector& jpeg)
{
    size_t p = 2;
    while (p + 4 <= jpeg.size() && jpeg[p] == 0xFF && jpeg[p + 1] >= 0xE0 && jpeg[p + 1] <= 0xEF)
        p += 2 + ((size_t)jpeg[p + 2] << 8 | jpeg[p + 3]);
    return ByteVector(jpeg.begin() + (long)p, jpeg.end());
}

// Appends the MP attribute IFD of image number (1 or 2) at the end of an MPF
// payload whose TIFF header starts at tiff; nextAt is patched to point at it.
void PutMpAttributes(ByteVector& p, size_t tiff, uint32_t number)
{
    const uint32_t at = (uint32_t)(p.size() - tiff);
    const uint32_t rationalAt = at + 2 + 4 * 12 + 4;
    Put16(p, 4);
    PutEntry(p, 0xB000, kTypeUndefined, 4, '0' | '1' << 8 | '0' << 16 | '0' << 24);
    PutEntry(p, 0xB101, kTypeLong, 1, number);  // individual image number
    PutEntry(p, 0xB204, kTypeLong, 1, 1);       // base viewpoint: the left eye
    PutEntry(p, 0xB206, kTypeRational, 1, rationalAt);
    Put32(p, 0);
    Put32(p, 65);  // baseline 65 mm, in metres
    Put32(p, 1000);
}

}  // namespace

ByteVector EncodeJpeg(FIBITMAP* dib, int quality)
{
    return Encode(dib, FIF_JPEG, (quality & 0x7F) | JPEG_BASELINE);
}

ByteVector EncodePng(FIBITMAP* dib) { return Encode(dib, FIF_PNG, PNG_DEFAULT); }

ByteVector EncodeBmp(FIBITMAP* dib) { return Encode(dib, FIF_BMP, BMP_DEFAULT); }

ByteVector AddExifPreview(const ByteVector& jpeg, const ByteVector& preview)
{
    ByteVector out = {0xFF, 0xD8};
    PutSegment(out, 0xE1, ExifPayload(preview));
    ByteVector body = StreamBody(jpeg);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// [SECTION] Camera files

ByteVector CameraPair(FIBITMAP* left, FIBITMAP* right, int quality)
{
    FIBITMAP* small = FreeImage_Rescale(left, 160, 120, FILTER_BILINEAR);
    ByteVector preview = EncodeJpeg(small, 80);
    FreeImage_Unload(small);
    ByteVector leftBody = StreamBody(EncodeJpeg(left, quality));
    ByteVector rightBody = StreamBody(EncodeJpeg(right, quality));

    // First stream: SOI, Exif with the preview, MPF index and attributes.
    ByteVector out = {0xFF, 0xD8};
    PutSegment(out, 0xE1, ExifPayload(preview));
    ByteVector mpf = {'M', 'P', 'F', 0};
    const size_t tiff = mpf.size();
    mpf.insert(mpf.end(), {'I', 'I', 0x2A, 0});
    Put32(mpf, 8);
    const uint32_t entriesAt = 8 + 2 + 3 * 12 + 4;
    Put16(mpf, 3);
    PutEntry(mpf, 0xB000, kTypeUndefined, 4, '0' | '1' << 8 | '0' << 16 | '0' << 24);
    PutEntry(mpf, 0xB001, kTypeLong, 1, 2);
    PutEntry(mpf, 0xB002, kTypeUndefined, 32, entriesAt);
    const size_t nextIfdAt = mpf.size();
    Put32(mpf, 0);
    // Two MP entries: attribute (disparity image, the first representative),
    // size, offset from the MPF byte-order mark, two dependent image numbers.
    const size_t entry1 = mpf.size();
    Put32(mpf, 0x20020002);
    Put32(mpf, 0);
    Put32(mpf, 0);
    Put32(mpf, 0);
    const size_t entry2 = mpf.size();
    Put32(mpf, 0x00020002);
    Put32(mpf, 0);
    Put32(mpf, 0);
    Put32(mpf, 0);
    Patch32(mpf, nextIfdAt, (uint32_t)(mpf.size() - tiff));
    PutMpAttributes(mpf, tiff, 1);
    // The segment's payload starts four bytes after its marker.
    const size_t tiffInFile = out.size() + 4 + tiff;
    PutSegment(out, 0xE2, mpf);
    out.insert(out.end(), leftBody.begin(), leftBody.end());
    const size_t firstSize = out.size();

    // Second stream: SOI, MPF attributes, the right eye.
    out.insert(out.end(), {0xFF, 0xD8});
    ByteVector mpf2 = {'M', 'P', 'F', 0};
    mpf2.insert(mpf2.end(), {'I', 'I', 0x2A, 0});
    Put32(mpf2, 8);
    PutMpAttributes(mpf2, 4, 2);
    PutSegment(out, 0xE2, mpf2);
    out.insert(out.end(), rightBody.begin(), rightBody.end());
    const size_t secondSize = out.size() - firstSize;

    // Now that the sizes are known, fill in the two entries.
    const size_t entriesInFile = tiffInFile - tiff;
    Patch32(out, entriesInFile + entry1 + 4, (uint32_t)firstSize);
    Patch32(out, entriesInFile + entry2 + 4, (uint32_t)secondSize);
    Patch32(out, entriesInFile + entry2 + 8, (uint32_t)(firstSize - tiffInFile));
    return out;
}

int WriteBytes(const char* path, const ByteVector& bytes)
{
    FILE* f = fopen(path, "wb");
    if (!f)
        return 0;
    size_t written = bytes.empty() ? 0 : fwrite(bytes.data(), 1, bytes.size(), f);
    int ok = written == bytes.size();
    return fclose(f) == 0 && ok;
}
