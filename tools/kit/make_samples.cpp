// make_samples.cpp - writes the stereo samples that `make run` opens and the
// fixtures the tests and fuzzers read. Deterministic: the same bytes each run.
//
//   orvale-make-samples samples DIR    rendered stereo scene, camera-style files
//   orvale-make-samples fixtures DIR   small files that pin the loader's cases
//   orvale-make-samples stereo40 DIR   40 two-stream files of 10 megapixels
//                                      per stream, for the benchmarks
#include <FreeImage.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "tools/kit/phone_files.h"
#include "tools/kit/picture_kit.h"

namespace {

const double kHalfBaseline = 0.0325;  // eyes 6.5 cm apart

std::string Join(const std::string& dir, const std::string& name) { return dir + "/" + name; }

bool Write(const std::string& path, const ByteVector& bytes)
{
    if (WriteBytes(path.c_str(), bytes))
        return true;
    fprintf(stderr, "make_samples: cannot write %s\n", path.c_str());
    return false;
}

bool MakeFolder(const std::string& path)
{
    if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST)
        return true;
    fprintf(stderr, "make_samples: cannot make %s\n", path.c_str());
    return false;
}

// Writes one stereo scene of the given size per eye in three ways: the
// camera's two-stream file, a side-by-side pair and, when flat is set, a flat
// picture from between the eyes.
bool WriteScene(const std::string& dir, const std::string& stem, int width, int height, bool flat)
{
    FIBITMAP* left = RenderScene(width, height, -kHalfBaseline);
    FIBITMAP* right = RenderScene(width, height, kHalfBaseline);
    bool ok = Write(Join(dir, stem + ".mpo"), CameraPair(left, right, 90));
    // A .jps pair is stored for crossed viewing: the right eye's picture in the
    // left half. The viewer shows the left half and the second stream of a
    // camera file to the same eye, so both files give the same depth.
    FIBITMAP* pair = SideBySide(right, left);
    ok = ok && Write(Join(dir, stem + ".jps"), EncodeJpeg(pair, 90));
    FreeImage_Unload(pair);
    if (flat)
    {
        FIBITMAP* middle = RenderScene(width, height, 0.0);
        ok = ok && Write(Join(dir, stem + "_flat.jpg"), EncodeJpeg(middle, 90));
        FreeImage_Unload(middle);
    }
    FreeImage_Unload(left);
    FreeImage_Unload(right);
    return ok;
}

bool MakeSamples(const std::string& dir)
{
    bool ok = MakeFolder(dir) && MakeFolder(Join(dir, "smaller"));
    ok = ok && WriteScene(dir, "garden", 1280, 960, true);
    ok = ok && WriteScene(Join(dir, "smaller"), "garden_small", 640, 480, false);
    return ok;
}

// [SECTION] Fixtures

// Returns a JPEG stream of one colour.
ByteVector SolidJpeg(int width, int height, uint32_t color)
{
    FIBITMAP* dib = SolidPicture(width, height, color);
    ByteVector bytes = EncodeJpeg(dib, 95);
    FreeImage_Unload(dib);
    return bytes;
}

ByteVector Concat(std::initializer_list<ByteVector> parts)
{
    ByteVector out;
    for (const ByteVector& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Returns a picture saved as PNG; the bitmap is unloaded.
ByteVector Png(FIBITMAP* dib)
{
    ByteVector bytes = EncodePng(dib);
    FreeImage_Unload(dib);
    return bytes;
}

// Returns the CRC-32 that PNG chunks carry.
uint32_t Crc32(const uint8_t* data, size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; i++)
    {
        crc ^= data[i];
        for (int k = 0; k < 8; k++)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// Returns a PNG whose header claims width x height RGB pixels but whose data
// is one tiny compressed row: a decompression bomb in miniature.
ByteVector HugePng(uint32_t width, uint32_t height)
{
    ByteVector png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto chunk = [&png](const char* type, const ByteVector& data) {
        uint32_t n = (uint32_t)data.size();
        png.insert(png.end(), {(uint8_t)(n >> 24), (uint8_t)(n >> 16), (uint8_t)(n >> 8), (uint8_t)n});
        size_t start = png.size();
        png.insert(png.end(), type, type + 4);
        png.insert(png.end(), data.begin(), data.end());
        uint32_t crc = Crc32(png.data() + start, png.size() - start);
        png.insert(png.end(), {(uint8_t)(crc >> 24), (uint8_t)(crc >> 16), (uint8_t)(crc >> 8), (uint8_t)crc});
    };
    ByteVector header = {(uint8_t)(width >> 24), (uint8_t)(width >> 16), (uint8_t)(width >> 8), (uint8_t)width,
                         (uint8_t)(height >> 24), (uint8_t)(height >> 16), (uint8_t)(height >> 8), (uint8_t)height,
                         8, 2, 0, 0, 0};
    chunk("IHDR", header);
    // A stored zlib block of a few zero bytes; the rest of the rows are missing.
    chunk("IDAT", {0x78, 0x01, 0x01, 0x04, 0x00, 0xFB, 0xFF, 0, 0, 0, 0, 0x00, 0x04, 0x00, 0x01});
    chunk("IEND", {});
    return png;
}

// Returns a small JPEG whose frame header claims width x height.
ByteVector HugeJpeg(uint16_t width, uint16_t height)
{
    ByteVector jpeg = SolidJpeg(16, 16, 0x808080);
    for (size_t p = 2; p + 9 < jpeg.size(); p++)
    {
        if (jpeg[p] == 0xFF && jpeg[p + 1] == 0xC0)
        {
            jpeg[p + 5] = (uint8_t)(height >> 8);
            jpeg[p + 6] = (uint8_t)height;
            jpeg[p + 7] = (uint8_t)(width >> 8);
            jpeg[p + 8] = (uint8_t)width;
            break;
        }
    }
    return jpeg;
}

// Returns an 8-bit palette picture of four vertical colour bands.
FIBITMAP* PalettePicture(int width, int height)
{
    FIBITMAP* dib = FreeImage_Allocate(width, height, 8);
    RGBQUAD* palette = FreeImage_GetPalette(dib);
    const uint32_t colors[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
    for (int i = 0; i < 256; i++)
    {
        uint32_t c = colors[i & 3];
        palette[i].rgbRed = (BYTE)(c >> 16);
        palette[i].rgbGreen = (BYTE)(c >> 8);
        palette[i].rgbBlue = (BYTE)c;
        palette[i].rgbReserved = 0;
    }
    for (int y = 0; y < height; y++)
    {
        BYTE* row = FreeImage_GetScanLine(dib, y);
        for (int x = 0; x < width; x++)
            row[x] = (BYTE)(x * 4 / width);
    }
    return dib;
}

// Returns a 32-bit picture: colour 0x336699 everywhere, alpha varying.
FIBITMAP* AlphaPicture(int width, int height)
{
    FIBITMAP* dib = FreeImage_Allocate(width, height, 32);
    for (int y = 0; y < height; y++)
    {
        BYTE* row = FreeImage_GetScanLine(dib, y);
        for (int x = 0; x < width; x++)
        {
            row[x * 4 + FI_RGBA_RED] = 0x33;
            row[x * 4 + FI_RGBA_GREEN] = 0x66;
            row[x * 4 + FI_RGBA_BLUE] = 0x99;
            row[x * 4 + FI_RGBA_ALPHA] = (BYTE)(x * 255 / width);
        }
    }
    return dib;
}

// Returns a 16-bit grey picture with a horizontal ramp.
FIBITMAP* Grey16Picture(int width, int height)
{
    FIBITMAP* dib = FreeImage_AllocateT(FIT_UINT16, width, height);
    for (int y = 0; y < height; y++)
    {
        uint16_t* row = (uint16_t*)FreeImage_GetScanLine(dib, y);
        for (int x = 0; x < width; x++)
            row[x] = (uint16_t)(x * 65535 / (width - 1));
    }
    return dib;
}

// Inserts bytes into a stream just before its final EOI.
ByteVector BeforeEoi(ByteVector jpeg, const ByteVector& extra)
{
    jpeg.insert(jpeg.end() - 2, extra.begin(), extra.end());
    return jpeg;
}

// Inserts a segment right after a stream's SOI.
ByteVector AfterSoi(ByteVector jpeg, const ByteVector& segment)
{
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

bool MakePhoneFixtures(const std::string& dir);

bool MakeFixtures(const std::string& dir)
{
    if (!MakeFolder(dir) || !MakeFolder(Join(dir, "sub.jps")))
        return false;
    // Three streams of different sizes and colours: red, blue, green.
    const ByteVector a = SolidJpeg(64, 48, 0xC02020);
    const ByteVector b = SolidJpeg(80, 40, 0x2020C0);
    const ByteVector c = SolidJpeg(32, 32, 0x20C020);
    const ByteVector gap = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC};
    const ByteVector comment = {0xFF, 0xFE, 0x00, 0x08, 'a', 'b', 0xFF, 0xD9, 'c', 'd'};
    const ByteVector text = {'t', 'h', 'i', 's', ' ', 'i', 's', ' ', 'n', 'o', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e', '\n'};

    FIBITMAP* left = RenderScene(96, 64, -kHalfBaseline);
    FIBITMAP* right = RenderScene(96, 64, kHalfBaseline);
    const ByteVector camera = CameraPair(left, right, 90);
    FreeImage_Unload(left);
    FreeImage_Unload(right);
    FIBITMAP* scene = RenderScene(320, 240, 0.0);
    const ByteVector sceneJpeg = EncodeJpeg(scene, 90);
    FreeImage_Unload(scene);

    struct File
    {
        std::string name;
        ByteVector bytes;
    };
    const File files[] = {
        {"two_streams.jpg", Concat({a, b})},
        {"gap_between.jpg", Concat({a, gap, b})},
        {"three_streams.jpg", Concat({a, b, c})},
        {"preview_in_app1.jpg", AddExifPreview(a, c)},
        {"rst_before_eoi.jpg", Concat({BeforeEoi(a, {0xFF, 0xD0}), b})},
        {"comment_ffd9.jpg", Concat({AfterSoi(a, comment), b})},
        {"empty_first_stream.jpg", Concat({{0xFF, 0xD8, 0xFF, 0xD9}, b})},
        {"camera_pair.mpo", camera},
        {"left.JPS", a},
        {"x.Jps", a},
        {"jps", a},
        {"a.jps.jpg", a},
        {"name.", a},
        {"x.bmp", Png(SolidPicture(8, 8, 0x123456))},
        {"x.jpg", text},
        {"truncated_header.jpg", ByteVector(a.begin(), a.begin() + 100)},
        {"truncated_data.jpg", ByteVector(sceneJpeg.begin(), sceneJpeg.begin() + (long)(sceneJpeg.size() * 6 / 10))},
        {"empty.jpg", {}},
        {"palette.png", Png(PalettePicture(64, 32))},
        {"rgba.png", Png(AlphaPicture(40, 30))},
        {"grey16.png", Png(Grey16Picture(50, 20))},
        {"landscape_1200x800.png", Png(CoordinatePicture(1200, 800))},
        {"portrait_800x1200.png", Png(CoordinatePicture(800, 1200))},
        {"sbs_2000x1000.jps", Png(CoordinatePicture(2000, 1000))},
        {"flat_100.png", Png(CoordinatePicture(100, 100))},
        {"one_pixel_wide.jps", Png(CoordinatePicture(1, 10))},
        {"huge_header.png", HugePng(100000, 100000)},
        {"huge_header.jpg", HugeJpeg(60000, 60000)},
        {"caf\xE9.jpg", c},  // a Latin-1 name: not valid UTF-8
        {"sub.jps/inner.jpg", c},
    };
    for (const File& f : files)
        if (!Write(Join(dir, f.name), f.bytes))
            return false;
    // A link to a folder is listed as a folder.
    std::string link = Join(dir, "link_to_sub");
    unlink(link.c_str());
    if (symlink("sub.jps", link.c_str()) != 0)
    {
        fprintf(stderr, "make_samples: cannot link %s\n", link.c_str());
        return false;
    }
    return MakePhoneFixtures(dir);
}

// Returns a quadrant picture of 64 x 48 (as seen upright) encoded as JPEG.
ByteVector QuadrantJpeg(const Quadrants& colors, int orientation = 1, int width = 64, int height = 48)
{
    FIBITMAP* dib = StoredQuadrants(width, height, colors, orientation);
    ByteVector bytes = EncodeJpeg(dib, 95);
    FreeImage_Unload(dib);
    return bytes;
}

// Returns a grey JPEG stream (one component), as a gain map is stored.
ByteVector GreyJpeg(int width, int height)
{
    FIBITMAP* dib = FreeImage_Allocate(width, height, 8);
    RGBQUAD* palette = FreeImage_GetPalette(dib);
    for (int i = 0; i < 256; i++)
        palette[i] = {(BYTE)i, (BYTE)i, (BYTE)i, 0};
    for (int y = 0; y < height; y++)
        memset(FreeImage_GetScanLine(dib, y), 40 + 3 * y, (size_t)width);
    ByteVector bytes = EncodeJpeg(dib, 90);
    FreeImage_Unload(dib);
    return bytes;
}

// Returns a quadrant picture encoded as HEIC or AVIF; the bitmap is stored
// turned so that the file's irot/imir boxes show it upright.
ByteVector QuadrantHeif(const Quadrants& colors, bool avif, int orientation)
{
    FIBITMAP* dib = StoredQuadrants(64, 48, colors, orientation);
    ByteVector bytes = EncodeHeif(dib, avif, orientation);
    FreeImage_Unload(dib);
    return bytes;
}

// Returns a stereo HEIC of two quadrant pictures, each stored turned as the
// orientation's irot/imir boxes undo.
ByteVector QuadrantStereoHeic(int orientation, bool swapped)
{
    FIBITMAP* left = StoredQuadrants(64, 48, kLeftEye, orientation);
    FIBITMAP* right = StoredQuadrants(64, 48, kRightEye, orientation);
    ByteVector bytes = StereoHeic(left, right, orientation, swapped);
    FreeImage_Unload(left), FreeImage_Unload(right);
    return bytes;
}

// Writes the files of today's cameras and phones into their own folder:
// MPF files whose second image is or is not a view, JPEGs with each Exif
// orientation, HEIC and AVIF pictures (flat, turned, stereo). Every picture
// shows quadrants of the left or right eye's colours, 64 x 48 upright.
bool MakePhoneFixtures(const std::string& parent)
{
    const std::string dir = Join(parent, "phone");
    if (!MakeFolder(dir))
        return false;
    const ByteVector left = QuadrantJpeg(kLeftEye), right = QuadrantJpeg(kRightEye);
    const ByteVector xmp = GainMapXmp(), iso = IsoGainMapMarker();
    FIBITMAP* small = StoredQuadrants(32, 24, kLeftEye, 1);
    const ByteVector preview = EncodeJpeg(small, 90);
    FreeImage_Unload(small);
    const uint32_t kPrimary = 0x20030000, kUndefined = 0, kDisparityFirst = 0x20020002, kDisparity = 0x00020002;
    struct File
    {
        std::string name;
        ByteVector bytes;
    };
    std::vector<File> files = {
        {"ultra_hdr.jpg", MpfFile(WithSegment(left, 0xE1, xmp), WithSegment(GreyJpeg(16, 12), 0xE1, xmp), kPrimary,
                                  kUndefined, false)},
        {"gain_map_mark_first.jpg", MpfFile(WithSegment(left, 0xE2, iso), GreyJpeg(64, 48), kPrimary, kUndefined, false)},
        {"gain_map_mark_second.jpg", MpfFile(left, WithSegment(GreyJpeg(64, 48), 0xE1, xmp), kPrimary, kUndefined, false)},
        {"ultra_hdr_rotated.jpg", MpfFile(WithSegment(WithOrientation(QuadrantJpeg(kLeftEye, 6), 6, false), 0xE1, xmp),
                                          WithSegment(GreyJpeg(12, 16), 0xE1, xmp), kPrimary, kUndefined, false)},
        {"camera_preview.jpg", MpfFile(left, preview, kPrimary, 0x00010002, false)},
        {"camera_preview_vga_mm.jpg", MpfFile(left, preview, kPrimary, 0x00010001, true)},
        {"mpf_disparity.jpg", MpfFile(left, right, kDisparityFirst, kDisparity, false)},
        {"script_pair.jpg", MpfFile(left, right, kPrimary, kUndefined, false)},
        {"other_picture.jpg", MpfFile(left, QuadrantJpeg(kRightEye, 1, 48, 64), kPrimary, kUndefined, false)},
        {"orientation_6_mm.jpg", WithOrientation(QuadrantJpeg(kLeftEye, 6), 6, true)},
        {"pair_orientation_6.jpg", Concat({WithOrientation(QuadrantJpeg(kLeftEye, 6), 6, false),
                                           QuadrantJpeg(kRightEye, 6)})},
        {"flat.heic", QuadrantHeif(kLeftEye, false, 1)},
        {"flat.avif", QuadrantHeif(kLeftEye, true, 1)},
        {"mirrored_2.heic", QuadrantHeif(kLeftEye, false, 2)},
        {"rotated_6.heic", QuadrantHeif(kLeftEye, false, 6)},
        {"turned_7.heic", QuadrantHeif(kLeftEye, false, 7)},
        {"stereo.heic", QuadrantStereoHeic(1, false)},
        {"stereo_swapped.heic", QuadrantStereoHeic(1, true)},
        {"stereo_rotated.heic", QuadrantStereoHeic(8, false)},
    };
    for (int orientation = 1; orientation <= 8; orientation++)
        files.push_back({"orientation_" + std::to_string(orientation) + ".jpg",
                         WithOrientation(QuadrantJpeg(kLeftEye, orientation), orientation, false)});
    // A side-by-side pair stored turned, with its tag: shown as stored.
    FIBITMAP* eyes[2] = {StoredQuadrants(64, 48, kRightEye, 6), StoredQuadrants(64, 48, kLeftEye, 6)};
    FIBITMAP* pair = SideBySide(eyes[0], eyes[1]);
    files.push_back({"sbs_orientation_6.jps", WithOrientation(EncodeJpeg(pair, 95), 6, false)});
    FreeImage_Unload(pair), FreeImage_Unload(eyes[0]), FreeImage_Unload(eyes[1]);
    for (const File& f : files)
        if (f.bytes.empty() || !Write(Join(dir, f.name), f.bytes))
            return false;
    return true;
}

}  // namespace

namespace {

// Adds a little grain to every byte, as a camera's sensor does, so that the
// streams take as long to decode as photographs of their size.
void AddGrain(FIBITMAP* dib, uint32_t seed)
{
    const unsigned width = FreeImage_GetWidth(dib), height = FreeImage_GetHeight(dib);
    for (unsigned y = 0; y < height; y++)
    {
        BYTE* row = FreeImage_GetScanLine(dib, (int)y);
        for (unsigned i = 0; i < 3 * width; i++)
        {
            seed = seed * 1664525u + 1013904223u;
            int v = row[i] + (int)(seed >> 28) - 8;
            row[i] = (BYTE)(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
}

// Fills a square of side pixels about the centre of a bitmap with one colour.
void PaintCentre(FIBITMAP* dib, int side, uint32_t rgb)
{
    const int x0 = (int)FreeImage_GetWidth(dib) / 2 - side / 2, y0 = (int)FreeImage_GetHeight(dib) / 2 - side / 2;
    for (int y = y0; y < y0 + side; y++)
    {
        BYTE* row = FreeImage_GetScanLine(dib, y);
        for (int x = x0; x < x0 + side; x++)
        {
            row[3 * x + FI_RGBA_BLUE] = (BYTE)rgb;
            row[3 * x + FI_RGBA_GREEN] = (BYTE)(rgb >> 8);
            row[3 * x + FI_RGBA_RED] = (BYTE)(rgb >> 16);
        }
    }
}

// Writes s00.mpo ... s39.mpo: one grainy scene of 3872 x 2592 pixels per eye
// (10 megapixels), each file with a square of its own colour in the middle of
// both eyes, so that each picture shows where it is drawn.
bool MakeStereo40(const std::string& dir)
{
    if (!MakeFolder(dir))
        return false;
    FIBITMAP* eyes[2];
    for (int e = 0; e < 2; e++)
    {
        FIBITMAP* small = RenderScene(968, 648, e ? kHalfBaseline : -kHalfBaseline);
        eyes[e] = FreeImage_Rescale(small, 3872, 2592, FILTER_BILINEAR);
        FreeImage_Unload(small);
        AddGrain(eyes[e], 7u + (uint32_t)e);
    }
    bool ok = true;
    for (int k = 0; k < 40 && ok; k++)
    {
        // Far apart from one file to the next, so that each shows as another.
        const uint32_t rgb = (uint32_t)(40 + 37 * k % 200) << 16 | (uint32_t)(30 + 91 * k % 200) << 8 |
                             (uint32_t)(40 + 53 * k % 200);
        for (FIBITMAP* eye : eyes)
            PaintCentre(eye, 600, rgb);
        char name[16];
        snprintf(name, sizeof name, "s%02d.mpo", k);
        ok = Write(Join(dir, name), CameraPair(eyes[0], eyes[1], 92));
    }
    FreeImage_Unload(eyes[0]), FreeImage_Unload(eyes[1]);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* modes[] = {"samples", "fixtures", "stereo40"};
    int mode = 0;
    while (argc == 3 && mode < 3 && strcmp(argv[1], modes[mode]) != 0)
        mode++;
    if (argc != 3 || mode == 3)
    {
        fprintf(stderr, "usage: %s samples|fixtures|stereo40 DIR\n", argv[0]);
        return 2;
    }
    bool ok = mode == 0 ? MakeSamples(argv[2]) : mode == 1 ? MakeFixtures(argv[2]) : MakeStereo40(argv[2]);
    return ok ? 0 : 1;
}
