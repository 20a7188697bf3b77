// Window presentation: the bitmap view and the vector overlay.
#pragma once

// "-b PATH x1 y1 x2 y2". 0 or -1.
int ShowBitmap(const char* command_line);

// "-v PATH x1 y1 x2 y2"; `prepare` 1 clears, whitens and frames the box first,
// 0 draws over what the window shows. 0 or -1.
int ShowVectors(const char* command_line, int prepare);
