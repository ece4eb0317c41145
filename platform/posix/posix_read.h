// posix_read.h - reading whole files the system cannot size in advance.
// Internal to the POSIX-side backends.
#pragma once

#include <cstddef>

// Reads a whole file whose size the system does not know in advance (files
// under /proc report 0). Returns a new NUL-terminated buffer (free() it) and
// its length without the terminator in *length when given; null on failure.
char* PosixReadWholeFile(const char* path, size_t* length);
