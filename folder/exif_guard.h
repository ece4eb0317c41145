// exif_guard.h - keeping malformed Exif segments away from the image
// library.
//
// FreeImage parses the Exif segment of every JPEG stream it reads (for the
// metadata, and for the orientation of a picture shown upright) and trusts
// its counts and offsets: an IFD whose entries run past the segment is read
// past the end of the buffer. Before a JPEG stream goes to FreeImage, every
// Exif segment is walked here, bounded, the way the library walks it (IFD0,
// IFD1 and its thumbnail, the Exif, GPS and interoperability IFDs); one that
// does not fit its segment is renamed so that the library skips it, in a
// copy. The picture then decodes as stored, without its Exif orientation.
#pragma once

#include <cstdint>

// Returns whether the TIFF structure of one Exif segment (the bytes after
// "Exif\0\0") keeps every IFD, value and thumbnail inside its size.
bool ExifFits(const uint8_t* tiff, int32_t size);
// Returns bytes itself when the JPEG stream's Exif segments all fit, else a
// copy (in *copy, freed by the caller with free()) in which those that do not
// fit are renamed; null when memory is short.
const uint8_t* GuardExif(const uint8_t* bytes, int32_t length, uint8_t** copy);
