// libFuzzer target: names. Arbitrary bytes, cut into file names at '/' and
// NUL as a folder could hold them, must come back byte for byte through
// UTF-16; the listing order must be a total order that puts the names in one
// fixed sequence; and the side-by-side rule must see "jps", in any case, as the
// whole last extension only.
#include <strings.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "folder/folder_list.h"
// The order is private to the listing: compile it in here.
#include "platform/posix/posix_files.cpp"

// Checks one name's round trip through UTF-16 and its classification: flat 0
// for a last extension "jps" in any case, 1 for any other, untouched without a
// dot.
static void CheckName(const std::string& bytes)
{
    size_t back = 0;
    char16_t* wide = PosixToUtf16(bytes.data(), bytes.size(), nullptr);
    char* again = wide ? PosixToBytes(wide, &back) : nullptr;
    if (!again || std::string(again, back) != bytes)
        abort();
    const size_t dot = bytes.rfind('.');
    uint8_t flat = 7;
    ClassifyName(wide, &flat);
    if (flat != (dot == std::string::npos ? 7 : strcasecmp(bytes.c_str() + dot + 1, "jps") != 0))
        abort();
    free(again), free(wide);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> names(1);
    for (size_t i = 0; i < size && names.size() <= 12; i++)
        data[i] == '/' || data[i] == 0 ? names.emplace_back() : names.back() += (char)data[i];
    PlatFolderScan scan = {};
    size_t capacity = 0;
    for (const std::string& name : names)
        if (CheckName(name), !AddItem(&scan, &capacity, name.c_str(), 0))
            abort();
    // Antisymmetric, reflexive only on equal names, and transitive.
    auto compare = [&](size_t a, size_t b) { return CompareItems(&scan.items[a], &scan.items[b]); };
    for (size_t i = 0; i < scan.count; i++)
        for (size_t j = 0; j < scan.count; j++)
        {
            if (compare(i, j) != -compare(j, i) || (compare(i, j) == 0) != (names[i] == names[j]))
                abort();
            for (size_t k = 0; k < scan.count; k++)
                if (compare(i, j) <= 0 && compare(j, k) <= 0 && compare(i, k) > 0)
                    abort();
        }
    for (size_t i = 0; i < scan.count; i++)
        free(scan.items[i].name);
    free(scan.items);
    return 0;
}
