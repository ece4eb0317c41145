// thumb_cache.cpp - the thumbnail cache: records on disk, their format, the
// load through the cache, and pruning.
//
// [SECTION] Record format
// [SECTION] Where a record lives
// [SECTION] Lookups and stores
// [SECTION] Loading through the cache
// [SECTION] Pruning
//
// A record, every number little-endian:
//   0   8  magic "OVTHUMB" and 0x1A
//   8   4  kThumbCacheVersion
//   12  4  n, the code units of the picture's absolute path
//   16  8  the picture's size            (key)
//   24  8  its modification time, ns     (key)
//   32  4  the format it was listed as   (key, with the path)
//   36  1  the flat flag it was listed   (key)
//   37  1  flat                          (committed)
//   38  1  loadFailed                    (committed)
//   39  1  storage: kStoredDeflated or kStoredRuns, and kStoredOneView
//   40  4  format                        (committed)
//   44  4  width                         (committed)
//   48  4  height                        (committed)
//   52  4  p, the payload's bytes
//   56  2n the path, UTF-16
//   ..  p  the payload: view 0, then view 1 unless it equals view 0; as
//          runs of one colour (a count 1 to 255, then blue, green, red) when
//          they take at most an eighth of the room, else as one raw deflate
//          stream when that takes at most half, else raw
//   ..  4  CRC-32 of every byte before it
#include "folder/thumb_cache.h"

#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "folder/folder_list.h"
#include "folder/image_load.h"

// [SECTION] Record format

namespace {

const uint8_t kMagic[8] = {'O', 'V', 'T', 'H', 'U', 'M', 'B', 0x1A};

enum : uint8_t
{
    kStoredDeflated = 1,  // the payload is one raw deflate stream
    kStoredOneView = 2,   // view 1 equals view 0 and is not stored
    kStoredRuns = 4,      // the payload is runs of one colour
};

enum : int32_t
{
    kHeaderBytes = 56,
    kCheckBytes = 4,
    kViewBytes = (int32_t)(kThumbBytes / 2),
    kMaxPathUnits = 32767,  // the longest path Windows has
};

// Deflating a noisy thumbnail saves a quarter of its bytes and reads back
// ten times slower; one that deflates to half or less is kept deflated. Runs
// of one colour (failures, small pictures sampled up) read back faster than
// raw bytes and take least room.
const int kDeflateLevel = 6;
std::atomic<int> gStorage{kThumbStoreAuto};

void Put32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        at[i] = (uint8_t)(value >> (8 * i));
}

void Put64(uint8_t* at, uint64_t value)
{
    for (int i = 0; i < 8; i++)
        at[i] = (uint8_t)(value >> (8 * i));
}

uint32_t Get32(const uint8_t* at)
{
    return (uint32_t)at[0] | (uint32_t)at[1] << 8 | (uint32_t)at[2] << 16 | (uint32_t)at[3] << 24;
}

uint64_t Get64(const uint8_t* at) { return (uint64_t)Get32(at) | (uint64_t)Get32(at + 4) << 32; }

// Returns the code units of a path, or -1 for one longer than any system has.
int32_t PathUnits(const char16_t* path)
{
    int32_t n = 0;
    while (path[n])
        if (++n > kMaxPathUnits)
            return -1;
    return n;
}

// Answers whether the path stored at bytes (n code units, little-endian) is path.
bool SamePath(const uint8_t* bytes, const char16_t* path, int32_t n)
{
    for (int32_t i = 0; i < n; i++)
        if (((uint32_t)bytes[2 * i] | (uint32_t)bytes[2 * i + 1] << 8) != path[i])
            return false;
    return true;
}

// Deflates size bytes into out (room bytes). Returns the stream's length, or
// 0 when it does not fit.
int32_t DeflateInto(const uint8_t* in, int32_t size, uint8_t* out, int32_t room)
{
    z_stream z;
    memset(&z, 0, sizeof z);
    if (deflateInit2(&z, kDeflateLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return 0;
    z.next_in = (Bytef*)in;
    z.avail_in = (uInt)size;
    z.next_out = out;
    z.avail_out = (uInt)room;
    int result = deflate(&z, Z_FINISH);
    int32_t length = result == Z_STREAM_END ? (int32_t)z.total_out : 0;
    deflateEnd(&z);
    return length;
}

// Writes size bytes of pixels as runs of one colour into out (room bytes).
// Returns the runs' length, or 0 when they do not fit.
int32_t RunsInto(const uint8_t* in, int32_t size, uint8_t* out, int32_t room)
{
    int32_t length = 0;
    for (int32_t at = 0; at < size;)
    {
        int32_t count = 1;
        while (count < 255 && at + 3 * count < size && memcmp(in + at, in + at + 3 * count, 3) == 0)
            count++;
        if (length + 4 > room)
            return 0;
        out[length] = (uint8_t)count;
        memcpy(out + length + 1, in + at, 3);
        length += 4;
        at += 3 * count;
    }
    return length;
}

// Fills size bytes at out from runs of exactly length bytes. Returns 0 when
// the runs are malformed or do not fill size exactly.
int FillFromRuns(const uint8_t* in, int32_t length, uint8_t* out, int32_t size)
{
    if (length % 4)
        return 0;
    int32_t at = 0;
    for (int32_t i = 0; i < length; i += 4)
    {
        const int32_t count = in[i];
        if (count == 0 || at + 3 * count > size)
            return 0;
        // Sixteen pixels by hand, then 48 bytes at a time from those.
        uint8_t* run = out + at;
        const int32_t first = count < 16 ? count : 16;
        for (int32_t k = 0; k < first; k++)
            memcpy(run + 3 * k, in + i + 1, 3);
        int32_t done = 3 * first;
        for (; done + 48 <= 3 * count; done += 48)
            memcpy(run + done, run, 48);
        memcpy(run + done, run, (size_t)(3 * count - done));
        at += 3 * count;
    }
    return at == size;
}

// Inflates one raw deflate stream of exactly length bytes into exactly size
// bytes. Returns 0 for anything else.
int InflateExactly(const uint8_t* in, int32_t length, uint8_t* out, int32_t size)
{
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit2(&z, -15) != Z_OK)
        return 0;
    z.next_in = (Bytef*)in;
    z.avail_in = (uInt)length;
    z.next_out = out;
    z.avail_out = (uInt)size;
    int result = inflate(&z, Z_FINISH);
    int ok = result == Z_STREAM_END && z.avail_in == 0 && z.avail_out == 0;
    inflateEnd(&z);
    return ok;
}

}  // namespace

void SetThumbCacheStorage(int storage) { gStorage.store(storage, std::memory_order_relaxed); }

int32_t EncodeThumbRecord(const CThumbKey* key, const CThumbFields* fields, const uint8_t* thumb,
                          uint8_t** bytes)
{
    *bytes = nullptr;
    const int32_t n = PathUnits(key->path);
    if (n < 0)
        return 0;
    uint8_t storage = memcmp(thumb, thumb + kViewBytes, kViewBytes) == 0 ? kStoredOneView : 0;
    const int32_t raw = storage ? kViewBytes : 2 * kViewBytes;
    const int32_t start = kHeaderBytes + 2 * n;
    uint8_t* record = (uint8_t*)malloc((size_t)start + raw + kCheckBytes);
    if (!record)
        return 0;
    const int choice = gStorage.load(std::memory_order_relaxed);
    int32_t payload = 0;
    if (choice == kThumbStoreAuto || choice == kThumbStoreRuns)
        payload = RunsInto(thumb, raw, record + start, choice == kThumbStoreRuns ? raw : raw / 8);
    if (payload > 0)
        storage |= kStoredRuns;
    else if (choice == kThumbStoreAuto || choice == kThumbStoreDeflated)
        payload = DeflateInto(thumb, raw, record + start, choice == kThumbStoreDeflated ? raw : raw / 2);
    if (payload > 0 && !(storage & kStoredRuns))
        storage |= kStoredDeflated;
    if (payload == 0)
    {
        memcpy(record + start, thumb, (size_t)raw);
        payload = raw;
    }
    memcpy(record, kMagic, 8);
    Put32(record + 8, kThumbCacheVersion);
    Put32(record + 12, (uint32_t)n);
    Put64(record + 16, key->stamp.size);
    Put64(record + 24, (uint64_t)key->stamp.modifiedNs);
    Put32(record + 32, (uint32_t)key->format);
    record[36] = key->flat;
    record[37] = fields->flat;
    record[38] = fields->loadFailed;
    record[39] = storage;
    Put32(record + 40, (uint32_t)fields->format);
    Put32(record + 44, (uint32_t)fields->width);
    Put32(record + 48, (uint32_t)fields->height);
    Put32(record + 52, (uint32_t)payload);
    for (int32_t i = 0; i < n; i++)
    {
        record[kHeaderBytes + 2 * i] = (uint8_t)key->path[i];
        record[kHeaderBytes + 2 * i + 1] = (uint8_t)(key->path[i] >> 8);
    }
    const int32_t end = start + payload;
    Put32(record + end, (uint32_t)crc32(0, record, (uInt)end));
    *bytes = record;
    return end + kCheckBytes;
}

int DecodeThumbRecord(const uint8_t* bytes, int32_t length, const CThumbKey* key, CThumbFields* fields,
                      uint8_t* thumb)
{
    // Every size is checked against what is there before anything it counts
    // is read; the sums stay far inside 64 bits.
    if (length < kHeaderBytes + kCheckBytes || memcmp(bytes, kMagic, 8) != 0 ||
        Get32(bytes + 8) != kThumbCacheVersion)
        return 0;
    const int64_t n = Get32(bytes + 12), payload = Get32(bytes + 52);
    if (n > kMaxPathUnits || payload > 2 * kViewBytes ||
        (int64_t)kHeaderBytes + 2 * n + payload + kCheckBytes != length)
        return 0;
    const int32_t end = length - kCheckBytes;
    if (Get32(bytes + end) != (uint32_t)crc32(0, bytes, (uInt)end))
        return 0;
    // The key: the same picture, unchanged, listed the same way.
    if (PathUnits(key->path) != n || !SamePath(bytes + kHeaderBytes, key->path, (int32_t)n) ||
        Get64(bytes + 16) != key->stamp.size || (int64_t)Get64(bytes + 24) != key->stamp.modifiedNs ||
        (int32_t)Get32(bytes + 32) != key->format || bytes[36] != key->flat)
        return 0;
    const uint8_t flat = bytes[37], loadFailed = bytes[38], storage = bytes[39];
    const int32_t width = (int32_t)Get32(bytes + 44), height = (int32_t)Get32(bytes + 48);
    if (flat > 1 || loadFailed > 1 || (storage & ~(kStoredDeflated | kStoredOneView | kStoredRuns)) ||
        (storage & kStoredDeflated && storage & kStoredRuns) || width < 0 || height < 0 ||
        (int64_t)width * height > kMaxStreamPixels)
        return 0;
    const int32_t raw = (storage & kStoredOneView) ? kViewBytes : 2 * kViewBytes;
    const uint8_t* data = bytes + kHeaderBytes + 2 * n;
    if (storage & kStoredDeflated)
    {
        if (!InflateExactly(data, (int32_t)payload, thumb, raw))
            return 0;
    }
    else if (storage & kStoredRuns)
    {
        if (!FillFromRuns(data, (int32_t)payload, thumb, raw))
            return 0;
    }
    else if (payload == raw)
        memcpy(thumb, data, (size_t)raw);
    else
        return 0;
    if (storage & kStoredOneView)
        memcpy(thumb + kViewBytes, thumb, kViewBytes);
    fields->flat = flat;
    fields->loadFailed = loadFailed;
    fields->format = (int32_t)Get32(bytes + 40);
    fields->width = width;
    fields->height = height;
    return 1;
}

// [SECTION] Where a record lives

namespace {

// Returns a 64-bit FNV-1a hash of a path's code units.
uint64_t HashPath(const char16_t* path)
{
    uint64_t hash = 14695981039346656037ull;
    for (; *path; path++)
    {
        hash = (hash ^ (uint8_t)*path) * 1099511628211ull;
        hash = (hash ^ (uint8_t)(*path >> 8)) * 1099511628211ull;
    }
    return hash;
}

// Writes hex digits of value, most significant first.
void PutHex(char16_t* out, uint64_t value, int digits)
{
    for (int i = digits - 1; i >= 0; i--, value >>= 4)
        out[i] = u"0123456789abcdef"[value & 15];
}

// A record's folder (one of 256, by the hash's first byte) and its file (the
// whole hash), spread so that no folder grows long.
struct CRecordPath
{
    char16_t folder[kThumbCacheFolderCapacity + 4];
    char16_t file[kThumbCacheFolderCapacity + 24];
};

// Fills where the record of the picture at path lives. Returns 0 without a cache.
int RecordPathOf(const CThumbCache* cache, const char16_t* path, CRecordPath* where)
{
    if (!cache->folder[0])
        return 0;
    const uint64_t hash = HashPath(path);
    char16_t sub[3] = {0, 0, 0};
    PutHex(sub, hash >> 56, 2);
    char16_t name[17] = {};
    PutHex(name, hash, 16);
    return PlatJoinPath(cache->folder, sub, where->folder, kThumbCacheFolderCapacity + 4) > 0 &&
           PlatJoinPath(where->folder, name, where->file, kThumbCacheFolderCapacity + 24) > 0;
}

}  // namespace

int OpenThumbCache(CThumbCache* cache, const char16_t* folder)
{
    cache->folder[0] = 0;
    if (!folder)
        return PlatGetCacheFolder(cache->folder, kThumbCacheFolderCapacity) > 0;
    int32_t n = PlatTextLength(folder);
    if (n == 0 || n >= kThumbCacheFolderCapacity || !PlatMakePrivateFolder(folder))
        return 0;
    memcpy(cache->folder, folder, ((size_t)n + 1) * sizeof(char16_t));
    return 1;
}

// [SECTION] Lookups and stores

namespace {

// Marking a record used costs a write of its time; one that was used this
// recently is left as it is, which is exact enough for dropping the least
// recently used.
const int64_t kUseStepNs = (int64_t)600 * 1000000000;

// Returns the present as nanoseconds since 1970.
int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int FindThumbRecord(const CThumbCache* cache, const CThumbKey* key, CThumbFields* fields, uint8_t* thumb)
{
    CRecordPath where;
    if (!RecordPathOf(cache, key->path, &where))
        return 0;
    uint8_t* bytes = nullptr;
    int32_t length = 0;
    PlatFileStamp record;
    if (!PlatReadStampedFile(where.file, &bytes, &length, &record))
        return 0;
    int hit = DecodeThumbRecord(bytes, length, key, fields, thumb);
    free(bytes);
    // A hit is a use: pruning drops the records used longest ago first. A
    // record's time says when it was last used, to within kUseStepNs.
    if (hit && record.modifiedNs < NowNs() - kUseStepNs)
        PlatTouchFile(where.file);
    return hit;
}

int StoreThumbRecord(const CThumbCache* cache, const CThumbKey* key, const CThumbFields* fields,
                     const uint8_t* thumb)
{
    CRecordPath where;
    if (!RecordPathOf(cache, key->path, &where))
        return 0;
    uint8_t* bytes = nullptr;
    int32_t length = EncodeThumbRecord(key, fields, thumb, &bytes);
    if (length <= 0)
        return 0;
    // The record's folder is made the first time one of its records is stored.
    int ok = PlatWriteFileAtomic(where.file, bytes, length) ||
             (PlatMakePrivateFolder(where.folder) && PlatWriteFileAtomic(where.file, bytes, length));
    free(bytes);
    return ok;
}

// [SECTION] Loading through the cache

namespace {

// A file whose time is this close to now may be written again within the
// same tick of a coarse file system clock, and so change without a new time:
// its thumbnail is kept only once its time lies further from now. (A time far
// in the future, from a camera's wrong clock, changes with any new write.)
const int64_t kSettledNs = 2000000000;

// Answers whether a file's modification time lies far enough from now.
bool Settled(const PlatFileStamp* stamp)
{
    const int64_t now = NowNs();
    return stamp->modifiedNs <= now - kSettledNs || stamp->modifiedNs >= now + kSettledNs;
}

}  // namespace

int StampThumbSource(CThumbSource* source, const char16_t* folder, const char16_t* name, int32_t format,
                     uint8_t flat)
{
    *source = {{nullptr, {0, 0}, format, flat}, nullptr};
    const int32_t room = PlatTextLength(folder) + PlatTextLength(name) + 2;
    source->path = (char16_t*)malloc((size_t)room * sizeof(char16_t));
    if (!source->path || PlatJoinPath(folder, name, source->path, room) <= 0 ||
        !PlatGetFileStamp(source->path, &source->key.stamp))
        return 0;
    source->key.path = source->path;
    return 1;
}

void FreeThumbSource(CThumbSource* source)
{
    free(source->path);
    *source = {};
}

int StoreThumbIfUnchanged(const CThumbCache* cache, const CThumbKey* key, const CThumbFields* fields,
                          const uint8_t* thumb)
{
    // A failure is kept only while the file is there to fail: a file we may
    // not read fails now but may not fail later.
    PlatFileStamp after;
    if (!cache->folder[0] || !key->path || !PlatGetFileStamp(key->path, &after) || after.size != key->stamp.size ||
        after.modifiedNs != key->stamp.modifiedNs || !Settled(&after) ||
        (fields->loadFailed && PlatGetPathKind(key->path) != PLAT_PATH_FILE))
        return 0;
    return StoreThumbRecord(cache, key, fields, thumb);
}

void CommitThumbRecord(CFileEntry* entry, const CThumbFields* fields, const uint8_t* thumb)
{
    memcpy(entry->thumb, thumb, kThumbBytes);
    entry->width = fields->width;
    entry->height = fields->height;
    entry->format = fields->format;
    entry->flat = fields->flat;
    entry->loadFailed = fields->loadFailed;
    entry->thumbPending = 0;
}

// [SECTION] Pruning

namespace {

const int64_t kBlockBytes = 4096;
// A temporary file this old belongs to a writer that is gone.
const int64_t kStaleTemporaryNs = (int64_t)3600 * 1000000000;
// Bytes of a record a prune reads: the header and a path of up to 2,000
// code units.
const int32_t kPruneHeadBytes = 4096;

struct CPruneItem
{
    int64_t usedNs;  // the record's modification time: its last use
    int64_t bytes;   // in whole blocks
    char16_t name[24];
    uint8_t folder;  // which of the 256 folders
};

// Returns a file's room on disk, in whole blocks.
int64_t BlockBytes(uint64_t size) { return (int64_t)((size + kBlockBytes - 1) / kBlockBytes * kBlockBytes); }

// Answers whether a name is a record's: 16 lower-case hex digits.
bool IsRecordName(const char16_t* name)
{
    int i = 0;
    for (; name[i]; i++)
        if (i >= 16 || !((name[i] >= u'0' && name[i] <= u'9') || (name[i] >= u'a' && name[i] <= u'f')))
            return false;
    return i == 16;
}

// Answers whether the record at file is worth keeping: ours, of this version,
// and of a picture that is still there, unchanged. Only its header and path
// are read. A record of another version is left to age out: another version
// of the program may use it.
bool RecordStillUseful(const char16_t* file)
{
    uint8_t head[kPruneHeadBytes];
    int32_t got = PlatReadFileHead(file, head, kPruneHeadBytes);
    if (got < 0)
        return true;  // gone already, or unreadable now: nothing to decide
    if (got < kHeaderBytes + kCheckBytes || memcmp(head, kMagic, 8) != 0)
        return false;
    if (Get32(head + 8) != kThumbCacheVersion)
        return true;
    const int64_t n = Get32(head + 12);
    if (n > kMaxPathUnits)
        return false;
    uint8_t* bytes = head;
    if (kHeaderBytes + 2 * n > got)
    {
        // A path longer than the head: read as far as its end.
        const int32_t want = (int32_t)(kHeaderBytes + 2 * n);
        bytes = (uint8_t*)malloc((size_t)want);
        if (!bytes)
            return true;
        got = PlatReadFileHead(file, bytes, want);
    }
    bool useful = false;
    char16_t* path = (char16_t*)malloc(((size_t)n + 1) * sizeof(char16_t));
    PlatFileStamp stamp;
    if (path && kHeaderBytes + 2 * n <= got)
    {
        for (int64_t i = 0; i < n; i++)
            path[i] = (char16_t)(bytes[kHeaderBytes + 2 * i] | bytes[kHeaderBytes + 2 * i + 1] << 8);
        path[n] = 0;
        useful = PlatGetFileStamp(path, &stamp) && stamp.size == Get64(bytes + 16) &&
                 stamp.modifiedNs == (int64_t)Get64(bytes + 24);
    }
    free(path);
    if (bytes != head)
        free(bytes);
    return useful;
}

int CompareByUse(const void* a, const void* b)
{
    const CPruneItem* x = (const CPruneItem*)a;
    const CPruneItem* y = (const CPruneItem*)b;
    return x->usedNs < y->usedNs ? -1 : x->usedNs > y->usedNs ? 1 : 0;
}

}  // namespace

int64_t PruneThumbCache(const CThumbCache* cache, int64_t capBytes, const std::atomic<bool>* cancel)
{
    if (!cache->folder[0])
        return 0;
    const int64_t now = NowNs();
    CPruneItem* items = nullptr;
    size_t count = 0, capacity = 0;
    int64_t total = 0;
    CRecordPath where;
    for (int f = 0; f < 256 && !(cancel && cancel->load(std::memory_order_relaxed)); f++)
    {
        char16_t sub[3] = {0, 0, 0};
        PutHex(sub, (uint64_t)f, 2);
        if (PlatJoinPath(cache->folder, sub, where.folder, kThumbCacheFolderCapacity + 4) <= 0)
            continue;
        PlatFileList* list = PlatListFiles(where.folder);
        PlatFileInfo info;
        while (list && PlatNextFileInfo(list, &info))
        {
            if (PlatJoinPath(where.folder, info.name, where.file, kThumbCacheFolderCapacity + 24) <= 0)
                continue;
            const bool record = IsRecordName(info.name);
            if (!record && info.stamp.modifiedNs < now - kStaleTemporaryNs)
            {
                PlatRemoveFile(where.file);
                continue;
            }
            if (record && !RecordStillUseful(where.file))
            {
                PlatRemoveFile(where.file);
                continue;
            }
            total += BlockBytes(info.stamp.size);
            if (!record)
                continue;  // a store in progress: it counts, but is not ours to drop
            if (count == capacity)
            {
                size_t grown = capacity ? capacity * 2 : 1024;
                CPruneItem* more = (CPruneItem*)realloc(items, grown * sizeof(CPruneItem));
                if (!more)
                    break;
                items = more;
                capacity = grown;
            }
            CPruneItem* item = &items[count++];
            item->usedNs = info.stamp.modifiedNs;
            item->bytes = BlockBytes(info.stamp.size);
            item->folder = (uint8_t)f;
            memcpy(item->name, info.name, 17 * sizeof(char16_t));
        }
        PlatEndFileList(list);
    }
    if (count > 0)  // no records: items is still null
        qsort(items, count, sizeof(CPruneItem), CompareByUse);
    const bool cut = cancel && cancel->load(std::memory_order_relaxed);
    for (size_t i = 0; i < count && total > capBytes && !cut; i++)
    {
        char16_t sub[3] = {0, 0, 0};
        PutHex(sub, items[i].folder, 2);
        if (PlatJoinPath(cache->folder, sub, where.folder, kThumbCacheFolderCapacity + 4) > 0 &&
            PlatJoinPath(where.folder, items[i].name, where.file, kThumbCacheFolderCapacity + 24) > 0 &&
            PlatRemoveFile(where.file))
            total -= items[i].bytes;
    }
    free(items);
    return total;
}
