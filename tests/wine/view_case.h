// One line of the table of window-mode cases that view_inputs writes:
//
//   NAME HOST_X HOST_Y HOST_W HOST_H HOST_RGB SAMPLE_RGB MODE FILE X1 Y1 X2 Y2
//
// Header only: read by the Linux capture and by the probe built for Windows.
#pragma once

#include <stdio.h>

struct ViewCase {
    char name[256], mode[16], file[256];
    int host_x, host_y, host_width, host_height, x1, y1, x2, y2;
    unsigned host_rgb, sample_rgb;
};

// 0, or -1 when the line is no case.
inline int ParseViewCase(const char* line, ViewCase* c) {
    int fields = sscanf(line, "%255s %d %d %d %d %x %x %15s %255s %d %d %d %d", c->name, &c->host_x, &c->host_y,
                        &c->host_width, &c->host_height, &c->host_rgb, &c->sample_rgb, c->mode, c->file, &c->x1,
                        &c->y1, &c->x2, &c->y2);
    return fields == 13 ? 0 : -1;
}
