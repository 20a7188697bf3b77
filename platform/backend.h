// What the backend folders of the Linux platform share: injected faults, the
// live-object counts each of them keeps, and heap blocks that a backend reads
// after the call that was given them returns. Nothing outside platform/
// includes it.
#pragma once

#include "platform_test.h"

// Consumes one call of `kind`: 1 when an injected fault makes it fail now.
int TakeFault(PlatformFault kind);

// Live-object accounting, kept by each backend file and summed by GetPlatformCounts.
int CountLiveGdiObjects(void);
int CountLiveDeviceContexts(void);
int CountOpenFiles(void);
int CountHeapBlocks(void);

// ---- Heap blocks read later ----
// The start of the live heap block that holds `pointer`, NULL when none does.
const void* HeapBlockHolding(const void* pointer);
// A backend that goes on reading a heap block after its call returns pins
// the block, once per read. Freeing a pinned block first calls `before_free`
// with the block's bounds, so that its reader takes what it still needs; the
// heap knows nothing of who that is. A process has one such reader, the
// software GDI's kept uploads: a pin for another handler is refused, so that
// no reader of a block is left unwarned. 0, or -1 when `start` is no live
// block or the pin cannot be kept.
int PinHeapBlock(const void* start, void (*before_free)(const void* start, size_t size));
void UnpinHeapBlock(const void* start);

// ---- Large zeroed blocks (posix/large_blocks.cpp) ----
// Zeroed memory of `size` bytes, NULL when none can be had; released only by
// ReleaseZeroed, which knows its size.
void* AllocateZeroed(size_t size);
void ReleaseZeroed(void* block);
