// Window presentation: placing a picture in a foreign window's box, the
// bitmap view and the vector overlay.
//
// The views leave the results of their context, bitmap, pen, brush, fill and
// copy calls unchecked on purpose: a call that fails leaves its part of the
// picture out and the view goes on.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "../platform/platform.h"

// The frame around a picture: a solid pen 2 pixels wide, dark blue.
#define FRAME_COLOR RGB(0, 0, 175)

// Where a picture goes in the box: its fitted size and its top-left pixel.
struct BoxPlacement {
    int32_t box_width;
    int32_t box_height;
    int32_t fitted_width;
    int32_t fitted_height;
    int32_t left;
    int32_t top;
};

// Fits a picture of the natural size into the box, never enlarging it, and
// centres it; an odd leftover pixel goes to the right or the bottom.
BoxPlacement FitToBox(int32_t box_width, int32_t box_height, int32_t natural_width, int32_t natural_height);

// The window's colour at column 0, row box height + 2, as GetPixel gives it.
COLORREF SampleBackground(HDC window_dc, int32_t box_height);

// The picture in the source DC, natural_width x natural_height, stretched
// into its placement with COLORONCOLOR, traversed from its last row upward.
void StretchPictureMirrored(HDC dc, const BoxPlacement* placement, HDC source_dc, int32_t natural_width,
                            int32_t natural_height);

// The closed frame along left, top, right, bottom, drawn clockwise.
void DrawFrame(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom);

// The host's box as a view's command line gives it: the screen point that
// picks the window, and the box's size at that window's client origin.
struct ViewBox {
    int32_t x1;
    int32_t y1;
    int32_t width;
    int32_t height;
};

// The largest box side composed off screen.
#define MAX_BOX_SIDE 16384

// Parses "MODE PATH x1 y1 x2 y2" with `format` reading the path ("-b %255s%n").
// -1 when a field is missing, the path is longer than 255 characters, or the
// box is empty, inverted or larger than MAX_BOX_SIDE.
int ParseViewCommand(const char* command_line, const char* format, char path[256], ViewBox* box);

// Reads x1 y1 x2 y2 from `text`: each a decimal number with an optional sign
// that fits in 32 bits (a negative one as its two's complement), followed by
// white space or the end. Words after y2 are ignored. 0, or -1 for anything
// else.
int ReadBoxCoordinates(const char* text, uint32_t values[4]);

// A context for drawing into the box: `target` itself when one is given,
// else the context of the window under (x1, y1), whose handle is left in
// *window. NULL when there is no window there that can be drawn into: the
// job then fails with the window untouched.
HDC OpenBoxWindow(const ViewBox& box, HDC target, HWND* window);
// Gives back what OpenBoxWindow opened: 0 when everything drawn reached the
// window, -1 when some of it did not (the window went away meanwhile, say).
int CloseBoxWindow(HWND window, HDC dc, HDC target);

// The background sample, black where the window cannot be read there.
COLORREF BoxBackground(HDC window_dc, int32_t box_height);

// Fills (0, 0) to (width, height) of `dc` with a solid brush of `colour`.
void FillBox(HDC dc, int32_t width, int32_t height, COLORREF colour);

// "-b PATH x1 y1 x2 y2". 0 or -1.
int ShowBitmap(const char* command_line);

// The views with `target` standing in for the window under (x1, y1): a
// context whose origin is the box's corner and which shows the window's
// colour three rows below the box. It stays the caller's, clipped as the view
// left it. A null target is the window under the point, as above.
int ShowBitmapInto(const char* command_line, HDC target);
int ShowVectorsInto(const char* command_line, int prepare, HDC target);

// Reads one polyline record (colour, point count, points) and draws it into
// the render state's context, scaled and placed at (left, top). 0, or -1 for
// a bad or cut record.
int DrawPolylineRecord(FILE* stream, int32_t left, int32_t top);

// Opens a vector file and reads its header into the render state's source
// width and height. 0 and the open stream, or -1 with nothing open when the
// file cannot be opened, its header is cut short or a side is zero.
int OpenVectorFile(const char* path, FILE** stream);

// Fits the render state's source size into the box and sets the scale that
// maps file units into the fitted picture.
BoxPlacement PlaceVectors(int32_t box_width, int32_t box_height);

// Draws the records from the stream's position up to the end of the file:
// 0, or -1 at the first bad or cut record, the ones before it drawn.
int DrawVectorRecords(FILE* stream, int32_t left, int32_t top);

// "-v PATH x1 y1 x2 y2"; `prepare` 1 clears, whitens and frames the box first,
// 0 draws over what the window shows. 0 or -1.
int ShowVectors(const char* command_line, int prepare);
