// What the Linux platform offers the tests besides the Win32 calls: injected
// faults, each kind counting down to the call that fails, and the live
// objects of every backend, summed.
#include "backend.h"

namespace {

// 0: no fault of that kind is injected; n: the n-th call from now fails.
int g_calls_to_fault[FAULT_KIND_COUNT];

}  // namespace

int TakeFault(PlatformFault kind) {
    int& calls = g_calls_to_fault[kind];
    if (calls == 0) return 0;
    calls--;
    return calls == 0;
}

void InjectFault(PlatformFault kind, int skip) {
    g_calls_to_fault[kind] = skip + 1;
}

int ClearFaults(void) {
    int unfired = 0;
    for (int& calls : g_calls_to_fault) {
        if (calls > 0) unfired++;
        calls = 0;
    }
    return unfired;
}

PlatformCounts GetPlatformCounts(void) {
    PlatformCounts counts;
    counts.gdi_objects = CountLiveGdiObjects();
    counts.device_contexts = CountLiveDeviceContexts();
    counts.files = CountOpenFiles();
    counts.heap_blocks = CountHeapBlocks();
    return counts;
}
