// libFuzzer target: the thumbnail cache's record reader on arbitrary bytes.
// The first byte of an input chooses whether its last four bytes are first
// made the right checksum (bit 0), so that mutations reach past the checksum
// into the key, the fields and the deflate stream. A record that reads must
// write and read again to the same thumbnail and fields.
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "folder/image_load.h"
#include "folder/thumb_cache.h"

namespace {

const char16_t kPath[] = u"/photos/2024/IMG_0001.JPG";
const CThumbKey kKey = {kPath, {4123456, 1700000000123456789}, 2, 1};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Seeds every way a record is stored (one view or two; runs, deflated or
    // raw) into the first corpus folder, each with the sealing byte in front.
    const char* corpus = nullptr;
    for (int i = 1; i < *argc && !corpus; i++)
        corpus = (*argv)[i][0] != '-' ? (*argv)[i] : nullptr;
    uint8_t* thumb = (uint8_t*)malloc(kThumbBytes);
    uint32_t seed = 1;
    for (int n = 0; corpus && n < 12; n++)
    {
        for (size_t i = 0; i < kThumbBytes; i++)  // steps of colour, or noise; n & 2: two views
            thumb[i] = n & 1 ? (uint8_t)((seed = seed * 1664525u + 1013904223u) >> 24) : (uint8_t)(i / 577);
        if (n & 2)
            thumb[kThumbBytes - 1] ^= 1;
        SetThumbCacheStorage(n / 4 == 0 ? kThumbStoreAuto : n / 4 == 1 ? kThumbStoreDeflated : kThumbStoreRaw);
        const CThumbFields fields = {3872, 2592, 2, (uint8_t)(n & 1), 0};
        uint8_t* record = nullptr;
        const int32_t length = EncodeThumbRecord(&kKey, &fields, thumb, &record);
        FILE* f = fopen((std::string(corpus) + "/seed" + std::to_string(n)).c_str(), "wb");
        if (f)
            fputc(1, f), fwrite(record, 1, (size_t)length, f), fclose(f);
        free(record);
    }
    SetThumbCacheStorage(kThumbStoreAuto);
    free(thumb);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > (1u << 20))
        return 0;
    // A buffer of exactly the record's size, so a read past its end is caught.
    const int32_t length = (int32_t)size - 1;
    uint8_t* record = (uint8_t*)malloc(length ? (size_t)length : 1);
    memcpy(record, data + 1, (size_t)length);
    if ((data[0] & 1) && length >= 4)
    {
        const uint32_t crc = (uint32_t)crc32(0, record, (uInt)length - 4);
        for (int i = 0; i < 4; i++)
            record[length - 4 + i] = (uint8_t)(crc >> (8 * i));
    }
    uint8_t* thumb = (uint8_t*)malloc(kThumbBytes);
    uint8_t* again = (uint8_t*)malloc(kThumbBytes);
    CThumbFields fields, fieldsAgain;
    memset(&fields, 0, sizeof fields), memset(&fieldsAgain, 0, sizeof fieldsAgain);
    if (DecodeThumbRecord(record, length, &kKey, &fields, thumb))
    {
        uint8_t* written = nullptr;
        const int32_t writtenLength = EncodeThumbRecord(&kKey, &fields, thumb, &written);
        if (!DecodeThumbRecord(written, writtenLength, &kKey, &fieldsAgain, again) ||
            memcmp(thumb, again, kThumbBytes) != 0 || memcmp(&fields, &fieldsAgain, sizeof fields) != 0)
            abort();
        free(written);
    }
    free(again);
    free(thumb);
    free(record);
    return 0;
}
