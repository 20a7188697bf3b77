// The window views are not available yet: every request to draw into a
// window fails, and nothing is touched.
#include "present.h"

int ShowBitmap(const char* command_line) {
    (void)command_line;
    return -1;
}

int ShowVectors(const char* command_line, int prepare) {
    (void)command_line;
    (void)prepare;
    return -1;
}
