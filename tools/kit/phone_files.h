// phone_files.h - the files today's cameras and phones write, made small for
// the fixtures: JPEG files with an MPF index (HDR gain maps, previews,
// disparity pairs), Exif orientations, and HEIF/AVIF pictures with their
// transforms and stereo groups.
//
// The pictures are quadrants of four colours, so that a test can tell which
// eye a view shows and which way up it is.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "tools/kit/picture_kit.h"

// The four colours (0x00RRGGBB) of a quadrant picture, as seen upright.
struct Quadrants
{
    uint32_t topLeft, topRight, bottomLeft, bottomRight;
};

// The colours that mark each eye's picture.
extern const Quadrants kLeftEye;
extern const Quadrants kRightEye;

// Returns a 24-bit bitmap of width x height that shows the quadrants upright
// once it is turned as Exif orientation (1 to 8) says: the picture a camera
// stores with that tag. Orientations 5 to 8 swap width and height.
FIBITMAP* StoredQuadrants(int width, int height, const Quadrants& colors, int orientation);
// Returns a JPEG stream whose Exif segment (its only one) carries an
// orientation, in little-endian ("II") or big-endian ("MM") byte order.
ByteVector WithOrientation(const ByteVector& jpeg, int orientation, bool bigEndian);
// Returns a JPEG stream with an application segment inserted after its SOI
// (and after any segment already there).
ByteVector WithSegment(const ByteVector& jpeg, uint8_t marker, const ByteVector& payload);
// Returns the payload of an XMP segment that declares the HDR gain-map
// namespace, as both images of an Ultra HDR file carry.
ByteVector GainMapXmp();
// Returns the payload of an ISO 21496-1 gain-map metadata segment.
ByteVector IsoGainMapMarker();
// Writes a two-stream file whose first stream carries an MPF index of two
// entries with the given attributes (flags and type), in either byte order;
// the second stream follows the first directly.
ByteVector MpfFile(const ByteVector& first, const ByteVector& second, uint32_t firstAttribute,
                   uint32_t secondAttribute, bool bigEndian);

// Returns an ISO box (32-bit size) of a type around its contents.
ByteVector MakeBox(const char* type, const ByteVector& contents);
// Returns 32-bit words in big-endian order, as ISO boxes hold them.
ByteVector BigEndianWords(std::initializer_list<uint32_t> words);

// Encodes a bitmap as HEIC (HEVC) or AVIF (AV1), with irot/imir boxes for an
// Exif-style orientation (1: none). Empty when libheif cannot encode.
ByteVector EncodeHeif(FIBITMAP* dib, bool avif, int orientation);
// Encodes two bitmaps as the two images of one HEIC file, the left one
// primary, and adds a grpl box whose ster group names (first, second) by
// item id: (left, right) as the format says, or swapped to test the order.
// Empty when libheif cannot encode.
ByteVector StereoHeic(FIBITMAP* left, FIBITMAP* right, int orientation, bool swapped);
