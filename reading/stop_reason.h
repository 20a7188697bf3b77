// Why a reader stopped: the first failure it met, in words, with the byte of
// the file it concerns. The readers of the drawing file and of BMP files note
// a reason on every failure; blitview itself never looks at it, while a tool
// that explains files to people clears it, runs the same readers and reads it.
#pragma once

#include <stdint.h>

#define STOP_REASON_TEXT_SIZE 200

struct StopReason {
    int64_t offset;  // the byte of the file the reason concerns; -1 for none
    char text[STOP_REASON_TEXT_SIZE];
};

// Forgets the reason held, if any.
void ClearStopReason(void);

// Keeps the reason unless one is already held since the last clear: the
// first failure is the one that stopped the read, what follows is its echo.
void NoteStop(int64_t offset, const char* format, ...)
#if defined(__GNUC__) && !defined(_WIN32)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// 0 and the reason held, or -1 when none is.
int GetStopReason(StopReason* reason);
