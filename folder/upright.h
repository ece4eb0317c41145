// upright.h - which pictures are shown upright by their Exif orientation.
//
// A flat JPEG picture is decoded with FreeImage's JPEG_EXIFROTATE: FreeImage
// reads the Orientation tag (2 to 8) of the stream it decodes and turns or
// mirrors the decoded bitmap, so the thumbnail, the picture's size and the
// open view all come from the upright bitmap. We read no tag ourselves: the
// library that decodes the stream already parses its Exif segment, bounded,
// on every load. Stereo files (two streams, or side by side) are decoded as
// stored: turning a pair would turn the offset between the eyes with it.
#pragma once

#include <cstdint>

// Returns the load flags for decoding one stream of a picture in a format:
// JPEG_EXIFROTATE for a flat JPEG picture, 0 otherwise.
int UprightLoadFlags(int32_t format, bool stereo);
