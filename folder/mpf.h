// mpf.h - what a two-stream JPEG file's MPF index says its second image is:
// the other eye, or something else that happens to follow the first stream
// (a camera's large preview, a phone's HDR gain map, another picture).
#pragma once

#include <cstdint>

// The second image of a two-stream file, as the first stream's MPF index and
// both streams' application segments tell it.
enum MpfSecondImage : uint8_t
{
    // A view: no MPF index (two JPEGs written back to back), a disparity or
    // multi-angle image, or any type not named below.
    kSecondIsView,
    // A large preview of the first image (type 0x010001 or 0x010002).
    kSecondIsPreview,
    // An HDR gain map: the gain-map XMP namespace or the ISO 21496-1 marker
    // in an application segment of either stream.
    kSecondIsGainMap,
    // Type 0 after a baseline primary image (0x030000): the pair a script
    // writes when it is as large as the first, another picture when not.
    kSecondIsViewIfSameSize,
};

// Reads what the MPF index in the first stream (bytes 0 .. split - 1) says of
// the image that starts at split, where FindStreamSplit found the second
// stream. Only the index's image types are read, never its offsets or sizes,
// which real files get wrong; an index that is missing or cannot be read
// leaves the second image a view.
MpfSecondImage ClassifySecondImage(const uint8_t* bytes, int32_t length, int32_t split);
// Answers whether the second stream is shown as the other eye, given what
// ClassifySecondImage said and both streams' decoded sizes; when it is not,
// the file is flat and shows its first stream alone.
bool SecondStreamIsView(MpfSecondImage second, int32_t firstWidth, int32_t firstHeight, int32_t secondWidth,
                        int32_t secondHeight);
