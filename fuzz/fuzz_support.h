// What the fuzz targets share: the input as a file, and the check that a
// run released everything it acquired.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/platform_test.h"

// Writes the input to a file of this process's own and returns its path.
inline const char* FuzzFile(const uint8_t* data, size_t size) {
    static char path[64];
    snprintf(path, sizeof path, "/dev/shm/blitview-fuzz-%ld", static_cast<long>(getpid()));
    FILE* f = fopen(path, "wb");
    if (!f) return nullptr;
    bool ok = size == 0 || fwrite(data, 1, size, f) == size;
    if (fclose(f) != 0 || !ok) return nullptr;
    return path;
}

inline void CheckNothingLive() {
    PlatformCounts counts = GetPlatformCounts();
    if (counts.gdi_objects || counts.device_contexts || counts.files || counts.heap_blocks) {
        fprintf(stderr, "leak: gdi %d, dc %d, files %d, blocks %d\n", counts.gdi_objects, counts.device_contexts,
                counts.files, counts.heap_blocks);
        abort();
    }
}
