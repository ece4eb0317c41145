// posix_text.h - names between the bytes of POSIX and the UTF-16 of the core.
//
// File names on POSIX are bytes. Valid UTF-8 becomes UTF-16; every byte that
// is not part of valid UTF-8 becomes the lone surrogate U+DC80 + (byte - 0x80),
// and turns back into that byte on the way out, so every name survives a round
// trip whatever its bytes. Internal to the POSIX-side backends.
#pragma once

#include <cstddef>

// Decodes length bytes into a new NUL-terminated UTF-16 string (free() it).
// Stores the code-unit count in *outLength when given. Returns null when memory
// runs out.
char16_t* PosixToUtf16(const char* bytes, size_t length, size_t* outLength);
// Encodes a NUL-terminated UTF-16 string into new NUL-terminated bytes (free()
// it). Stores the byte count in *outLength when given. Returns null when memory
// runs out.
char* PosixToBytes(const char16_t* text, size_t* outLength);
