#include "handle_table.h"

#include <limits.h>
#include <stdlib.h>

int AddHandle(HandleTable* table, void* handle, size_t size) {
    if (table->count == table->capacity) {
        if (table->capacity > INT_MAX / 2) return -1;
        int capacity = table->capacity ? table->capacity * 2 : 16;
        void* grown = realloc(table->entries, sizeof(HandleEntry) * static_cast<size_t>(capacity));
        if (!grown) return -1;
        table->entries = static_cast<HandleEntry*>(grown);
        table->capacity = capacity;
    }
    table->entries[table->count].handle = handle;
    table->entries[table->count].size = size;
    table->count++;
    return 0;
}

void RemoveHandleAt(HandleTable* table, int index) {
    table->entries[index] = table->entries[--table->count];
}

int RemoveHandle(HandleTable* table, const void* handle) {
    int index = FindHandle(table, handle);
    if (index < 0) return -1;
    RemoveHandleAt(table, index);
    return 0;
}
