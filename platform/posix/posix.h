// Shared by the files of the POSIX kernel backend only.
#pragma once

#include "../backend.h"

// The last-error code that stands for an errno value.
DWORD ErrorFromErrno(int error);
