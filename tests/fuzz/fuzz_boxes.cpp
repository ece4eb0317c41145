// libFuzzer target: the ISO box reader. Every box read lies inside its
// parent and past its own header; finding the stereo group reads nothing
// outside the bytes; and a brand found in a prefix is found in the whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "folder/iso_boxes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    IsoBox box;
    for (uint64_t at = 0; ReadBoxHeader(data, at, size, &box); at = box.end)
        if (box.start != at || box.contents < at + 8 || box.contents > box.end || box.end > size)
            abort();
    StereoItems eyes;
    FindStereoItems(data, size, &eyes);
    if (HasHeifBrand(data, size / 2) && !HasHeifBrand(data, size))
        abort();
    return 0;
}
