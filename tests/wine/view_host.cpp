// The Windows side of the window-mode comparison: a host window for the
// Windows build of blitview, run under Wine. It maps an undecorated popup at
// a screen position with a solid colour (and another colour at one sample
// pixel), waits until the X screen shows it, runs blitview.exe against it,
// reports the outcome and keeps the window up until the caller has captured
// the screen.
//
//   view_host X Y WIDTH HEIGHT HOST_RGB SAMPLE_X SAMPLE_Y SAMPLE_RGB
//             READY_FILE RELEASE_FILE BLITVIEW_EXE ARGUMENT...
//
// Colours are hexadecimal 0xRRGGBB words; a sample point outside the window
// paints nothing. READY_FILE receives one line, "STATUS CLIENT_X CLIENT_Y":
// blitview's exit status (-1 shows as 255, as on Linux) and where the client
// origin is on the screen. The window stays until RELEASE_FILE exists (at
// most 60 s). The host's own exit status is 0, or 1 when it could not set up
// or run the program.
//
// Built with MinGW-w64 (-mwindows, static); it never runs on Linux.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

COLORREF g_host_colour;
COLORREF g_sample_colour;
int g_sample_x = -1, g_sample_y = -1;
int g_painted = 0;

COLORREF FromRgbWord(unsigned long rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        // The class brush has erased the update region already.
        HDC dc = BeginPaint(window, &paint);
        RECT client;
        GetClientRect(window, &client);
        if (g_sample_x >= 0 && g_sample_y >= 0 && g_sample_x < client.right && g_sample_y < client.bottom) {
            RECT dot = {g_sample_x, g_sample_y, g_sample_x + 1, g_sample_y + 1};
            HBRUSH brush = CreateSolidBrush(g_sample_colour);
            FillRect(dc, &dot, brush);
            DeleteObject(brush);
        }
        EndPaint(window, &paint);
        g_painted = 1;
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

void PumpMessages(void) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Pumps messages for about `milliseconds`.
void PumpFor(DWORD milliseconds) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        PumpMessages();
    }
}

// Whether the screen (not the window's own surface) shows the window's
// colours at its corners and the sample: blitview.exe samples the real
// screen, so the host must have reached it before the program starts.
int ScreenShowsHost(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    HDC screen = GetDC(nullptr);
    int shown = 1;
    const POINT corners[4] = {{0, 0}, {client.right - 1, 0}, {0, client.bottom - 1}, {client.right - 1, client.bottom - 1}};
    for (const POINT& corner : corners) {
        if (corner.x == g_sample_x && corner.y == g_sample_y) continue;
        if (GetPixel(screen, origin.x + corner.x, origin.y + corner.y) != g_host_colour) shown = 0;
    }
    if (g_sample_x >= 0 && g_sample_y >= 0 && g_sample_x < client.right && g_sample_y < client.bottom &&
        GetPixel(screen, origin.x + g_sample_x, origin.y + g_sample_y) != g_sample_colour)
        shown = 0;
    ReleaseDC(nullptr, screen);
    return shown;
}

// Writes the whole file under a temporary name first: the caller polls for
// it and must never read half a line.
int WriteReadyFile(const char* path, unsigned long status, long client_x, long client_y) {
    char temporary[MAX_PATH + 8];
    snprintf(temporary, sizeof temporary, "%s.tmp", path);
    FILE* file = fopen(temporary, "wb");
    if (!file) return -1;
    fprintf(file, "%lu %ld %ld\n", status, client_x, client_y);
    if (fclose(file) != 0) return -1;
    return MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING) ? 0 : -1;
}

int Fail(const char* what) {
    fprintf(stderr, "view_host: %s (error %lu)\n", what, GetLastError());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 12) {
        fprintf(stderr,
                "usage: view_host X Y WIDTH HEIGHT HOST_RGB SAMPLE_X SAMPLE_Y SAMPLE_RGB READY_FILE RELEASE_FILE "
                "BLITVIEW_EXE ARGUMENT...\n");
        return 1;
    }
    const int x = atoi(argv[1]), y = atoi(argv[2]), width = atoi(argv[3]), height = atoi(argv[4]);
    g_host_colour = FromRgbWord(strtoul(argv[5], nullptr, 16));
    g_sample_x = atoi(argv[6]);
    g_sample_y = atoi(argv[7]);
    g_sample_colour = FromRgbWord(strtoul(argv[8], nullptr, 16));
    const char* ready_file = argv[9];
    const char* release_file = argv[10];

    // The program's command line: its path quoted, then the arguments as
    // they came (none holds white space).
    char command_line[4096];
    int length = snprintf(command_line, sizeof command_line, "\"%s\"", argv[11]);
    for (int i = 12; i < argc && length > 0 && length < static_cast<int>(sizeof command_line); i++)
        length += snprintf(command_line + length, sizeof command_line - length, " %s", argv[i]);
    if (length <= 0 || length >= static_cast<int>(sizeof command_line)) return Fail("command line too long");

    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = HostProc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.hbrBackground = CreateSolidBrush(g_host_colour);
    window_class.lpszClassName = "BlitviewTestHost";
    if (!RegisterClassA(&window_class)) return Fail("RegisterClass failed");
    // A popup has neither caption nor border: its client area is the whole
    // window, at exactly the position asked for.
    HWND window = CreateWindowExA(WS_EX_TOPMOST, window_class.lpszClassName, "blitview host", WS_POPUP, x, y, width,
                                  height, nullptr, nullptr, window_class.hInstance, nullptr);
    if (!window) return Fail("CreateWindowEx failed");
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);

    // Until painted and on the screen; Wine copies a window's surface to the
    // X server some time after the paint.
    int shown = 0;
    for (int attempt = 0; attempt < 500 && !shown; attempt++) {
        PumpFor(10);
        shown = g_painted && ScreenShowsHost(window);
    }
    if (!shown) return Fail("the host window never showed on the screen");

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return Fail("CreateProcess failed");
    // Messages keep flowing while the program runs, in case anything it
    // does waits for this thread; nothing invalidates the window, so none
    // of them repaints it.
    for (;;) {
        DWORD woken = MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 60000, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0) break;
        if (woken != WAIT_OBJECT_0 + 1) {
            TerminateProcess(process.hProcess, 254);
            WaitForSingleObject(process.hProcess, INFINITE);
            break;
        }
        PumpMessages();
    }
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    if (WriteReadyFile(ready_file, status & 0xFF, origin.x, origin.y) != 0) return Fail("cannot write the ready file");

    for (int waited = 0; waited < 6000; waited++) {
        if (GetFileAttributesA(release_file) != INVALID_FILE_ATTRIBUTES) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        PumpMessages();
    }
    DestroyWindow(window);
    return 0;
}
