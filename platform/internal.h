// Shared between the sibling files of the POSIX platform backend only.
#pragma once

#include "platform.h"

// Consumes one call of `kind`: 1 when an injected fault makes it fail now.
int TakeFault(PlatformFault kind);

// Live-object accounting, kept by each backend file and summed by GetPlatformCounts.
int CountLiveGdiObjects(void);
int CountLiveDeviceContexts(void);
int CountOpenFiles(void);
int CountHeapBlocks(void);
