// The program's entry and mode dispatch.
#include <stdio.h>
#include <string.h>

#include "../drawing/drawing.h"
#include "../present/present.h"
#include "../reading/reading.h"
#include "app.h"

int DispatchCommand(const char* command_line) {
    char mode[16];
    int consumed = 0;
    if (sscanf(command_line, "%15s%n", mode, &consumed) != 1) return -1;
    // A first word longer than 15 characters is no mode word.
    if (WordWasCut(command_line + consumed)) return -1;
    if (strcmp(mode, "-f") == 0) return ConvertDrawing(command_line);
    if (strcmp(mode, "-d") == 0) return ShowCombined(command_line);
    if (strcmp(mode, "-v") == 0) return ShowVectors(command_line, 1);
    if (strcmp(mode, "-b") == 0) return ShowBitmap(command_line);
    return -1;
}

int ShowCombinedInto(const char* command_line, HDC target) {
    char path[256];
    uint32_t values[4];
    int consumed = 0;
    if (sscanf(command_line, "-d %255s%n", path, &consumed) != 1) return -1;
    if (WordWasCut(command_line + consumed)) return -1;
    if (ReadBoxCoordinates(command_line + consumed, values) != 0) return -1;
    const unsigned x1 = values[0], y1 = values[1], x2 = values[2], y2 = values[3];

    char line[512];
    snprintf(line, sizeof line, "-b %s %u %u %u %u", path, x1, y1, x2, y2);
    if (ShowBitmapInto(line, target) != 0) return -1;
    snprintf(line, sizeof line, "-v %s %u %u %u %u", path, x1, y1, x2, y2);
    return ShowVectorsInto(line, 0, target);
}

int ShowCombined(const char* command_line) {
    return ShowCombinedInto(command_line, nullptr);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    (void)instance;
    (void)previous;
    (void)show;
    // Only one copy works at a time. The handle is never closed: the claim
    // lasts until the process ends. A name that is not ours to take (access
    // denied) lets the run go on without a claim; a claim that failed for any
    // other reason ends the run before anything is touched.
    HANDLE claim = CreateMutexA(nullptr, TRUE, INSTANCE_MUTEX_NAME);
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) return -1;
    if (!claim && error != ERROR_ACCESS_DENIED) return -1;
    return DispatchCommand(command_line);
}
