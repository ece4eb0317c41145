// libFuzzer target: names. Arbitrary bytes, cut into file names at '/' and
// NUL as a folder could hold them, must come back byte for byte through
// UTF-16; the listing order must be a total order that puts the names in one
// fixed sequence; and the side-by-side rule must see "jps", in any case, as the
// whole last extension only.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "folder/folder_list.h"
// The order is private to the listing: compile it in here.
#include "platform/posix/posix_files.cpp"

static int Sign(int v) { return (v > 0) - (v < 0); }

// Checks one name's round trip through UTF-16 and its classification.
static void CheckName(const std::string& bytes)
{
    size_t units = 0;
    char16_t* wide = PosixToUtf16(bytes.data(), bytes.size(), &units);
    if (!wide)
        abort();
    size_t back = 0;
    char* again = PosixToBytes(wide, &back);
    if (!again || back != bytes.size() || memcmp(again, bytes.data(), back) != 0)
        abort();
    size_t dot = bytes.rfind('.');
    uint8_t flat = 7;
    ClassifyName(wide, &flat);
    if (dot == std::string::npos)
    {
        if (flat != 7)
            abort();
    }
    else
    {
        std::string ext = bytes.substr(dot + 1);
        bool pair = ext.size() == 3 && (ext[0] | 0x20) == 'j' && (ext[1] | 0x20) == 'p' && (ext[2] | 0x20) == 's';
        if (flat != (pair ? 0 : 1))
            abort();
    }
    free(again);
    free(wide);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> names(1);
    for (size_t i = 0; i < size && names.size() <= 12; i++)
    {
        if (data[i] == '/' || data[i] == 0)
            names.emplace_back();
        else
            names.back() += (char)data[i];
    }
    PlatFolderScan scan = {};
    size_t capacity = 0;
    for (const std::string& name : names)
    {
        CheckName(name);
        if (!AddItem(&scan, &capacity, name.c_str(), 0))
            abort();
    }
    // Antisymmetric, reflexive only on equal names, and transitive.
    size_t n = scan.count;
    for (size_t i = 0; i < n; i++)
        for (size_t j = 0; j < n; j++)
        {
            int ij = CompareItems(&scan.items[i], &scan.items[j]);
            if (ij != -CompareItems(&scan.items[j], &scan.items[i]) ||
                (ij == 0) != (names[i] == names[j]))
                abort();
            for (size_t k = 0; k < n; k++)
                if (ij <= 0 && CompareItems(&scan.items[j], &scan.items[k]) <= 0 &&
                    Sign(CompareItems(&scan.items[i], &scan.items[k])) > 0)
                    abort();
        }
    for (size_t i = 0; i < n; i++)
        free(scan.items[i].name);
    free(scan.items);
    return 0;
}
