// iso_boxes.h - a bounded reader of the boxes that HEIF and AVIF files are
// made of: the brands that mark a still picture, and the stereo pair that a
// `ster` entity group names. Each box's size is checked against what is left
// of its parent before anything inside it is read.
#pragma once

#include <cstddef>
#include <cstdint>

// Returns the four-character box type or brand as one big-endian number.
constexpr uint32_t FourCC(const char (&s)[5])
{
    return (uint32_t)(uint8_t)s[0] << 24 | (uint32_t)(uint8_t)s[1] << 16 | (uint32_t)(uint8_t)s[2] << 8 |
           (uint8_t)s[3];
}

// One box, as offsets into the file.
struct IsoBox
{
    uint32_t type;
    uint64_t start;     // its size field
    uint64_t contents;  // the first byte after its header (a full box's version and flags are contents)
    uint64_t end;       // one past its last byte
};

// Reads the header of the box at `at` inside a parent that ends at `end`:
// 32-bit size, or 1 and a 64-bit size after the type, or 0 for "to the end
// of the parent"; a `uuid` box's 16-byte user type belongs to the header.
// Answers false when the header does not fit or the size is smaller than the
// header or larger than what is left of the parent.
bool ReadBoxHeader(const uint8_t* bytes, uint64_t at, uint64_t end, IsoBox* box);
// Finds the first box of a type among the boxes from `from` to `end`.
// Answers false when there is none, or a box before it cannot be read.
bool FindBox(const uint8_t* bytes, uint64_t from, uint64_t end, uint32_t type, IsoBox* box);
// Answers whether the bytes open with an `ftyp` box whose major brand or a
// compatible brand is one of HEIF's or AVIF's (heic heix heim heis hevc hevx
// mif1 msf1 avif avis). A prefix of the file is enough: brands beyond the
// bytes given are not read.
bool HasHeifBrand(const uint8_t* bytes, size_t length);

// The two images of a stereo pair, by item id.
struct StereoItems
{
    uint32_t left;   // the group's first entity
    uint32_t right;  // its second
};

// Finds the `ster` entity group (box version 0, exactly two entities) in the
// `grpl` box of the file's top-level `meta` box. Answers false when the file
// has none, or when any box on the way cannot be read.
bool FindStereoItems(const uint8_t* bytes, size_t length, StereoItems* items);
