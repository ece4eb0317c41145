// libFuzzer target: loading an entry from a file with arbitrary contents, in
// thumbnail-only mode and in open mode, as a JPEG or PNG (the formats whose
// decoders we trust to be fuzzed; the others are FreeImage's own code).
#include <unistd.h>

#include <FreeImage.h>
#include <cstdio>
#include <cstdlib>

#include "folder/decoder.h"
#include "folder/folder_list.h"
#include "folder/image_load.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Every input is written to one file in a private folder.
    char pattern[] = "/tmp/orvale-fuzz-XXXXXX";
    if (!mkdtemp(pattern) || chdir(pattern) != 0)
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* f = fopen("input", "wb");
    if (!f || (size && fwrite(data, 1, size, f) != size) || fclose(f) != 0)
        abort();
    static char16_t name[] = u"input";
    const int format = DetectImageFormat(name);
    if (format != FIF_JPEG && format != FIF_PNG)
        return 0;
    CFileEntry* entry = (CFileEntry*)calloc(1, sizeof(CFileEntry));
    entry->name = name, entry->format = format, entry->thumbPending = 1, entry->flat = size & 1;  // both view rules
    FIBITMAP *primary = nullptr, *secondary = nullptr;
    LoadEntryImage(entry, 1, &primary, &secondary);
    if (primary || secondary || entry->thumbPending)
        abort();
    entry->thumbPending = 1;
    LoadEntryImage(entry, 0, &primary, &secondary);
    if (entry->loadFailed != (primary == nullptr) || (primary && FreeImage_GetBPP(primary) != 24))
        abort();
    FreeImage_Unload(primary), FreeImage_Unload(secondary);  // either may be null
    free(entry);
    return 0;
}
