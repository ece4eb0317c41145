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

#include <atomic>
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

// A picture as a worker meets it: its absolute path (owned) and its key.
struct CThumbSource
{
    CThumbKey key;  // key.path is path; null while the file's stamp is unknown
    char16_t* path;
};
// Fills source with the key of the picture name inside folder (an absolute
// path), listed with format and flat. Returns 1 when it is a regular file
// whose stamp is known; 0 otherwise (nothing to look up or store). Free it
// with FreeThumbSource either way.
int StampThumbSource(CThumbSource* source, const char16_t* folder, const char16_t* name, int32_t format,
                     uint8_t flat);
void FreeThumbSource(CThumbSource* source);
// Stores what a load committed for the picture of key, decoded after its
// stamp was taken, when the picture still has that stamp (so it stayed the
// same throughout) and it has settled (a file written within its time's tick
// may change again without a new time), and, for a failure, when it is still
// a regular file. Returns 1 when the record is on disk.
int StoreThumbIfUnchanged(const CThumbCache* cache, const CThumbKey* key, const CThumbFields* fields,
                          const uint8_t* thumb);
// Writes into a pending entry what a load that committed fields and thumb writes.
void CommitThumbRecord(CFileEntry* entry, const CThumbFields* fields, const uint8_t* thumb);

// Drops records until the cache holds at most capBytes (each file counted in
// whole blocks of 4 KiB, as a disk stores it), the least recently used first;
// records whose picture is gone or changed, records that are not ours and
// temporary files left by a writer that died go first, whatever their age.
// Returns the bytes that stay. Setting *cancel (when not null) ends it early.
int64_t PruneThumbCache(const CThumbCache* cache, int64_t capBytes, const std::atomic<bool>* cancel);

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
