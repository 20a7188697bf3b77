// The one reason held for the process, as plain text.
#include "stop_reason.h"

#include <stdarg.h>
#include <stdio.h>

namespace {

StopReason held_reason;
int reason_held = 0;

}  // namespace

void ClearStopReason(void) {
    reason_held = 0;
}

void NoteStop(int64_t offset, const char* format, ...) {
    if (reason_held) return;
    held_reason.offset = offset;
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(held_reason.text, sizeof held_reason.text, format, arguments);
    va_end(arguments);
    reason_held = 1;
}

int GetStopReason(StopReason* reason) {
    if (!reason_held) return -1;
    *reason = held_reason;
    return 0;
}
