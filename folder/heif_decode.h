// heif_decode.h - decoding HEIF and AVIF pictures (through libheif) into the
// program's one bitmap type: 24-bit, blue green red, bottom row first.
#pragma once

#include <cstddef>
#include <cstdint>

struct FIBITMAP;

// Readies libheif's decoders; called once on the window's thread before any
// other thread decodes.
void StartHeifDecoder();
// Releases what StartHeifDecoder readied, at exit.
void StopHeifDecoder();
// Decodes a HEIF or AVIF file held in memory, with libheif's transforms
// (rotation, mirroring, crop) applied to each image and its security limits
// on. A file whose `ster` group names two images is a pair: view0 gets the
// right eye and view1 the left eye, as the views of every other stereo file.
// Any other file, or a pair whose eyes do not both decode, gives its primary
// image in view0 and leaves view1 null. An image larger than the pixel budget
// is refused before it is decoded. Returns 0 with both null when nothing
// decodes.
int DecodeHeif(const uint8_t* bytes, size_t length, FIBITMAP** view0, FIBITMAP** view1);
// Returns the pixels DecodeHeif will hold for the file, from the images'
// sizes alone (both eyes of a pair, else the primary image); 1 when one is
// over the budget (the decode refuses it), 0 when the file does not read.
int64_t HeifPixels(const uint8_t* bytes, size_t length);
