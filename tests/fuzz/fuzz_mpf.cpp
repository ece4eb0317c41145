// libFuzzer target: the MPF reader. Any bytes, split where the marker scan
// splits them and at an arbitrary point too, must give one of the four
// answers without reading outside the bytes; a second image that is a view
// stays one whatever the streams' sizes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "folder/image_load.h"
#include "folder/mpf.h"

// Checks one answer.
static void Check(MpfSecondImage second)
{
    if (second > kSecondIsViewIfSameSize)
        abort();
    if (second == kSecondIsView && !SecondStreamIsView(second, 1, 1, 2, 3))
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > INT32_MAX)
        return 0;
    const int32_t length = (int32_t)size;
    const int32_t split = FindStreamSplit(data, length);
    if (split != 0)
        Check(ClassifySecondImage(data, length, split));
    Check(ClassifySecondImage(data, length, (int32_t)((data[0] << 8 | data[1]) % size)));
    return 0;
}
