// --render MODE: the box exactly as -b, -v or -d would draw it into a window
// of the given background, as a PNG or a PPM, for hosts that cannot lend a
// window and show the pixels themselves. The views themselves draw it: a
// memory bitmap of the box's window (the box and the three rows below it, in
// the background colour), lent to them as a window, stands in for the window
// under the box's corner.
#include <string.h>

#include "../app/app.h"
#include "../platform/platform_test.h"
#include "../present/present.h"
#include "../reading/reading.h"
#include "../pictures/pictures.h"
#include "inspect.h"

namespace {

// Rows below the box that the window must show: the views take the box's
// background from the third.
const int32_t kRowsBelowBox = 3;

// Runs the mode's own handler on "-M PATH 0 0 W H", the box at the stand-in's
// origin. 0 or -1, as blitview would exit.
int RunView(char mode, const char* path, int32_t width, int32_t height, HDC target) {
    char line[512];
    snprintf(line, sizeof line, "-%c %s 0 0 %d %d", mode, path, width, height);
    if (mode == 'b') return ShowBitmapInto(line, target);
    if (mode == 'v') return ShowVectorsInto(line, 1, target);
    return ShowCombinedInto(line, target);
}

int WriteBox(const InspectOptions* options, const DirectSurface& surface, int32_t width, int32_t height, char* error,
             size_t error_size) {
    const char* path = options->picture_path;
    const PictureForm form = options->picture_form;
    if (strcmp(path, "-") != 0)
        return SavePicture(path, form, surface.words, surface.stride_words, width, height, error, error_size);
    if (WritePictureStream(stdout, form, surface.words, surface.stride_words, width, height) != 0) {
        snprintf(error, error_size, "cannot write the picture to standard output");
        return -1;
    }
    return 0;
}

}  // namespace

int RenderBox(const char* path, const InspectOptions* options) {
    const char mode = options->render_mode;
    const int32_t width = options->box_width, height = options->box_height;
    char reason[1024] = "";
    // What blitview's command line and the views refuse before they read
    // anything; the stand-in window would be too large to make as well.
    const char* refusal = PathRefusal(path);
    if (refusal)
        snprintf(reason, sizeof reason, "%s", refusal);
    else if (width > MAX_BOX_SIDE || height > MAX_BOX_SIDE)
        snprintf(reason, sizeof reason, "the box is larger than the %d pixels a side blitview takes", MAX_BOX_SIDE);
    if (reason[0]) {
        fprintf(stderr, "blitview-inspect: %s: -%c fails: %s\n", path, mode, reason);
        return 1;
    }

    HDC screen = GetDC(nullptr);
    HDC window = CreateCompatibleDC(screen);
    HBITMAP pixels = CreateCompatibleBitmap(screen, width, height + kRowsBelowBox);
    HGDIOBJ previous = window && pixels ? SelectObject(window, pixels) : nullptr;
    if (previous) FillBox(window, width, height + kRowsBelowBox, options->background);
    // The views draw through the window DC of a window over those pixels,
    // as they draw into a host's window, at the same cost.
    HWND stand_in = previous ? CreateBitmapWindow(pixels) : nullptr;
    HDC target = stand_in ? GetDC(stand_in) : nullptr;
    int status = 1;
    if (!target) {
        snprintf(reason, sizeof reason, "no memory for a box of %d x %d", width, height);
    } else {
        ClearStopReason();
        const int shown = RunView(mode, path, width, height, target);
        // What is drawn reaches the pixels at the latest when the window DC
        // is released, as it reaches a window.
        ReleaseDC(stand_in, target);
        const BOOL written = GdiFlush();
        if (shown != 0) {
            StopReason stop;
            const size_t length = strlen(path);
            const char* why = GetStopReason(&stop) == 0 ? stop.text
                              : mode != 'b' && length < 3 ? "the path has no three last characters to replace by VCT"
                                                          : "blitview refuses the job";
            // The reason may be the vector file's, which the path names only
            // through its last three characters.
            char files[600] = "";
            if (mode == 'v' && length >= 3)
                snprintf(files, sizeof files, " (the vector file %.*sVCT)", static_cast<int>(length - 3), path);
            else if (mode == 'd' && length >= 3)
                snprintf(files, sizeof files, " (the bitmap %s, then the vector file %.*sVCT)", path,
                         static_cast<int>(length - 3), path);
            snprintf(reason, sizeof reason, "-%c fails: %s%s", mode, why, files);
        } else {
            DirectSurface surface;
            if (!written || GetDirectSurface(window, &surface) != 0)
                snprintf(reason, sizeof reason, "the box's pixels are not at hand");
            else if (WriteBox(options, surface, width, height, reason, sizeof reason) == 0)
                status = 0;
        }
    }
    if (stand_in) DestroyBitmapWindow(stand_in);
    if (previous) SelectObject(window, previous);
    if (pixels) DeleteObject(pixels);
    if (window) DeleteDC(window);
    ReleaseDC(nullptr, screen);
    if (status != 0) fprintf(stderr, "blitview-inspect: %s: %s\n", path, reason);
    return status;
}
