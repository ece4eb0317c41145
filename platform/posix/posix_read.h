// posix_read.h - reading whole files: those the system cannot size in advance,
// and regular files with their status.
// Internal to the POSIX-side backends.
#pragma once

#include <cstddef>
#include <cstdint>

struct stat;

// Reads a whole file whose size the system does not know in advance (files
// under /proc report 0). Returns a new NUL-terminated buffer (free() it) and
// its length without the terminator in *length when given; null on failure.
char* PosixReadWholeFile(const char* path, size_t* length);
// Reads the regular file at path whole (see PlatReadFile), and its status
// from the same opening into *status when given. Returns 1 on success.
int PosixReadRegularFile(const char* path, uint8_t** bytes, int32_t* length, struct stat* status);
