// folder_list.cpp - the entry chain's lifetime.
#include "folder/folder_list.h"

#include <cstdlib>
#include <cstring>

void FreeEntries(CFileEntry* entry)
{
    // A listing may hold tens of thousands of entries: walk, never recurse.
    while (entry)
    {
        CFileEntry* next = entry->next;
        free(entry->name);
        free(entry);
        entry = next;
    }
}

void ClearFolder(CFolderList* folder)
{
    if (folder->head)
        FreeEntries(folder->head);
    memset(folder, 0, sizeof *folder);
}
