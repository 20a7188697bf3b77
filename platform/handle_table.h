// The live handles a backend file hands out, kept so that a stale or foreign
// handle is recognised without being dereferenced. Each entry carries a size
// for those that need one (heap blocks); the others leave it 0.
#pragma once

#include <stddef.h>

struct HandleEntry {
    void* handle;
    size_t size;
};

struct HandleTable {
    HandleEntry* entries;
    int count;
    int capacity;
};

// 0, or -1 when the table cannot grow.
int AddHandle(HandleTable* table, void* handle, size_t size);
// The index of `handle`, -1 when it is not in the table. The newest first:
// most handles are let go soon after they were made.
inline int FindHandle(const HandleTable* table, const void* handle) {
    for (int i = table->count - 1; i >= 0; i--)
        if (table->entries[i].handle == handle) return i;
    return -1;
}
// Removes the entry at `index`; the last entry takes its place.
void RemoveHandleAt(HandleTable* table, int index);
// 0, or -1 when `handle` is not in the table.
int RemoveHandle(HandleTable* table, const void* handle);
