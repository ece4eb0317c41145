// thumb_cache.h - the thumbnail cache: what a thumbnail load committed for a
// picture, kept on disk per user, so that a folder seen once fills at once.
//
// One record per picture, in a folder private to the user, named by a hash of
// the picture's absolute path. A record holds everything the load committed
// (both views of the thumbnail, the size, the flags, the format), keyed by
// the absolute path, the file's size and modification time, the format and
// flat flag the listing found, and kThumbCacheVersion. Records are written
// whole (a temporary file renamed into place) and carry a checksum; a record
// that is missing, short, damaged, of another version or of another key is a
// miss, never an error, and the next store replaces it. Without a usable
// cache folder every lookup misses and every store does nothing.
//
// Every call may run on any thread, several at once: a CThumbCache is only
// read once opened.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

struct CFileEntry;

enum : uint32_t
{
    // The version of the thumbnails and of the record layout. Bump it whenever
    // a thumbnail or anything committed with it may come out differently for
    // the same file: the sampling, the stream split, the flat and side-by-side
    // rules, the failure colour, a decoder added or changed, the budget, or
    // the layout below. Records of any other version are misses.
    kThumbCacheVersion = 1,
};

enum : int64_t
{
    // The cache's size on disk after a prune: 1 GiB.
    kThumbCacheCapBytes = (int64_t)1 << 30,
};

enum
{
    kThumbCacheFolderCapacity = 4096,  // code units of the cache folder's path
};

struct CThumbCache
{
    char16_t folder[kThumbCacheFolderCapacity];  // absolute; empty: no cache
};

// What identifies the picture a record was made from.
struct CThumbKey
{
    const char16_t* path;  // absolute path of the picture
    PlatFileStamp stamp;   // its size and modification time
    int32_t format;        // as the listing found it
    uint8_t flat;          // as the listing set it
};

// What a thumbnail load commits besides the thumbnail itself.
struct CThumbFields
{
    int32_t width;
    int32_t height;
    int32_t format;
    uint8_t flat;
    uint8_t loadFailed;
};

// Opens the cache in folder (an absolute path), or in the user's cache folder
// when folder is null, creating it when missing. Returns 1 when there is one;
// 0 leaves the cache closed (every lookup misses).
int OpenThumbCache(CThumbCache* cache, const char16_t* folder);
// Looks the key up. On a hit fills fields and the kThumbBytes at thumb (the
// layout of CFileEntry::thumb), marks the record as used and returns 1;
// returns 0 on a miss, with thumb and fields undefined.
int FindThumbRecord(const CThumbCache* cache, const CThumbKey* key, CThumbFields* fields, uint8_t* thumb);
// Writes the record of key. Returns 1 when it is on disk.
int StoreThumbRecord(const CThumbCache* cache, const CThumbKey* key, const CThumbFields* fields,
                     const uint8_t* thumb);

// Makes a pending entry's thumbnail as a thumbnail-only load of its file
// inside folder (an absolute path) does, through the cache: a hit commits the
// record; a miss loads the picture and stores what the load committed when
// the file stayed the same throughout. Returns 1 on a hit, 0 otherwise.
int LoadThumbnailCached(const CThumbCache* cache, CFileEntry* entry, const char16_t* folder);

// Drops records until the cache holds at most capBytes (each file counted in
// whole blocks of 4 KiB, as a disk stores it), the least recently used first;
// records whose picture is gone or changed, records that are not ours and
// temporary files left by a writer that died go first, whatever their age.
// Returns the bytes that stay.
int64_t PruneThumbCache(const CThumbCache* cache, int64_t capBytes);

// The record format, for the benchmarks and the fuzz target.
enum
{
    kThumbStoreAuto = 0,      // the default: runs, deflated or raw, by what they save
    kThumbStoreRaw = 1,       // always raw
    kThumbStoreDeflated = 2,  // deflated wherever that is smaller
    kThumbStoreRuns = 3,      // runs of one colour wherever they are smaller
};
// Sets how records are stored from now on, to compare the choices.
void SetThumbCacheStorage(int storage);
// Encodes a record into a new buffer (free() it). Returns its length, 0 when
// memory runs out.
int32_t EncodeThumbRecord(const CThumbKey* key, const CThumbFields* fields, const uint8_t* thumb,
                          uint8_t** bytes);
// Decodes a record made for key. Returns 1 with fields and thumb filled; 0
// for anything else (never trusting a byte of it).
int DecodeThumbRecord(const uint8_t* bytes, int32_t length, const CThumbKey* key, CThumbFields* fields,
                      uint8_t* thumb);
