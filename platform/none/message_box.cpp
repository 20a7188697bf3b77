// The program's one message box without a windowing system: the caption and
// text go to the standard error stream and count as acknowledged at once, as
// on X11 without a display.
#include <stdio.h>

#include "../platform.h"

HWND GetFocus(void) {
    return nullptr;
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
    fprintf(stderr, "%s: %s\n", caption ? caption : "Error", text ? text : "");
    fflush(stderr);
    return IDOK;
}
