// iso_boxes.cpp - walking ISO base media boxes (HEIF, AVIF) within their
// parents: brands for detection, meta/grpl/ster for stereo pairs.
#include "folder/iso_boxes.h"

namespace {

uint32_t Read32(const uint8_t* p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }

uint64_t Read64(const uint8_t* p) { return (uint64_t)Read32(p) << 32 | Read32(p + 4); }

}  // namespace

bool ReadBoxHeader(const uint8_t* bytes, uint64_t at, uint64_t end, IsoBox* box)
{
    if (at > end || end - at < 8)
        return false;
    const uint64_t left = end - at;
    uint64_t size = Read32(bytes + at);
    uint64_t header = 8;
    if (size == 1)
    {
        if (left < 16)
            return false;
        size = Read64(bytes + at + 8);
        header = 16;
    }
    else if (size == 0)
        size = left;
    box->type = Read32(bytes + at + 4);
    if (box->type == FourCC("uuid"))
        header += 16;
    if (size < header || size > left)
        return false;
    box->start = at;
    box->contents = at + header;
    box->end = at + size;
    return true;
}

bool FindBox(const uint8_t* bytes, uint64_t from, uint64_t end, uint32_t type, IsoBox* box)
{
    // Every box is at least 8 bytes long, so the walk ends.
    for (uint64_t at = from; ReadBoxHeader(bytes, at, end, box); at = box->end)
        if (box->type == type)
            return true;
    return false;
}

bool HasHeifBrand(const uint8_t* bytes, size_t length)
{
    static const uint32_t kBrands[] = {FourCC("heic"), FourCC("heix"), FourCC("heim"), FourCC("heis"),
                                       FourCC("hevc"), FourCC("hevx"), FourCC("mif1"), FourCC("msf1"),
                                       FourCC("avif"), FourCC("avis")};
    if (length < 16 || Read32(bytes + 4) != FourCC("ftyp"))
        return false;
    // The box may say it is longer than the prefix we have: read the brands
    // that are in both.
    uint64_t end = Read32(bytes);
    if (end < 16)
        return false;
    if (end > length)
        end = length;
    // The major brand at 8, the minor version at 12, compatible brands from 16.
    for (uint64_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4)
        for (uint32_t brand : kBrands)
            if (Read32(bytes + at) == brand)
                return true;
    return false;
}

bool FindStereoItems(const uint8_t* bytes, size_t length, StereoItems* items)
{
    IsoBox meta, grpl, ster;
    if (!FindBox(bytes, 0, length, FourCC("meta"), &meta) || meta.end - meta.contents < 4)
        return false;
    // meta is a full box: its children follow its version and flags.
    if (!FindBox(bytes, meta.contents + 4, meta.end, FourCC("grpl"), &grpl) ||
        !FindBox(bytes, grpl.contents, grpl.end, FourCC("ster"), &ster))
        return false;
    // Version and flags, group id, entity count, the entities' ids.
    const uint64_t size = ster.end - ster.contents;
    const uint8_t* p = bytes + ster.contents;
    if (size < 12 || p[0] != 0 || Read32(p + 8) != 2 || size < 12 + 2 * 4)
        return false;
    items->left = Read32(p + 12);
    items->right = Read32(p + 16);
    return true;
}
