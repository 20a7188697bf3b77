// The live objects of every backend, summed for the tests.
#include "backend.h"

PlatformCounts GetPlatformCounts(void) {
    PlatformCounts counts;
    counts.gdi_objects = CountLiveGdiObjects();
    counts.device_contexts = CountLiveDeviceContexts();
    counts.files = CountOpenFiles();
    counts.heap_blocks = CountHeapBlocks();
    return counts;
}
