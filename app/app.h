// Command dispatch: the single instance, the mode word and the combined mode.
#pragma once

#include "../platform/platform.h"

#define INSTANCE_MUTEX_NAME "MORVIEW"

// Picks the handler for the command line's first word and returns its
// result: 0, or -1 for failure and for anything that is not a mode.
int DispatchCommand(const char* command_line);

// "-d PATH x1 y1 x2 y2": the bitmap view, then the vector overlay over it.
int ShowCombined(const char* command_line);
// The same into a context that stands in for the window (ShowBitmapInto).
int ShowCombinedInto(const char* command_line, HDC target);
