// libFuzzer target: the marker scan that splits two-stream JPEG files. Any
// bytes at all must give 0 or the offset of an SOI marker that follows an
// EOI, at least 4 bytes in.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "folder/image_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > INT32_MAX)
        return 0;
    int32_t split = FindStreamSplit(data, (int32_t)size);
    if (split == 0)
        return 0;
    if (split < 4 || (size_t)split + 1 >= size || data[split] != 0xFF || data[split + 1] != 0xD8)
        abort();
    return 0;
}
