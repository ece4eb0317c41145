// serial_load.h - an entry's state as the window's own load leaves it, for
// the tests that compare the workers' and the cache's outcomes with it.
#pragma once

#include <FreeImage.h>

#include <cstdlib>
#include <vector>

#include "folder/folder_list.h"
#include "folder/image_load.h"

namespace testfs {

// Everything a load writes into an entry: flags, format, size, thumbnail.
inline std::vector<uint8_t> State(const CFileEntry* e) { return {(const uint8_t*)e, (const uint8_t*)&e->name}; }

// Loads a fresh copy of e as the listing made it, on this thread, with the
// window's own code; returns its state, and appends the pixels it leaves to
// *pixels when given.
inline std::vector<uint8_t> SerialState(const CFileEntry* e, std::vector<uint8_t>* pixels = nullptr,
                                        uint8_t thumbnailOnly = 1)
{
    CFileEntry* c = (CFileEntry*)calloc(1, sizeof(CFileEntry));
    InitEntry(c, e->name, 0, e->flat), c->format = e->format;
    FIBITMAP *p = nullptr, *s = nullptr;
    LoadEntryImage(c, thumbnailOnly, &p, &s);
    for (FIBITMAP* b : {p, s})
        if (pixels && b)
            pixels->insert(pixels->end(), FreeImage_GetBits(b), FreeImage_GetBits(b) + FreeImage_GetPitch(b) * FreeImage_GetHeight(b));
    std::vector<uint8_t> state = State(c);
    FreeImageSlots(&p, &s), free(c->name), free(c);
    return state;
}

}  // namespace testfs
