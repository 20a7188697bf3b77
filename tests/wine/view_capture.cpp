// Screen captures for the window-mode comparison (tests/wine/view_compare.sh).
//
//   view_capture grab X Y WIDTH HEIGHT OUT
//       Writes the root window's pixels in that rectangle to OUT as 0x00RRGGBB
//       words (little-endian), row by row. This reads the X screen itself, so
//       it shows whatever any client drew there.
//
//   view_capture run CASES INPUT_DIR OUTPUT_DIR
//       The Linux side: for each line of CASES (the table view_inputs
//       writes), maps a stand-in host window with the case's geometry and
//       colours, runs this build's blitview against it, and writes the host
//       window's rectangle as OUTPUT_DIR/NAME.raw and the exit status as
//       OUTPUT_DIR/NAME.status.
//
//   view_capture diff A B WIDTH
//       Compares two captures of WIDTH columns: prints nothing and exits 0
//       when they are identical, otherwise one line with the number of
//       differing pixels and the first few of them, and exits 1.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "../fixtures/tool_start.h"
#include "../fixtures/x11_host.h"
#include "view_case.h"

namespace {

int WriteWords(const char* path, const std::vector<uint32_t>& words) {
    FILE* file = fopen(path, "wb");
    if (!file) return -1;
    // Little-endian whatever the machine, so that the files compare as bytes.
    std::vector<unsigned char> bytes(words.size() * 4);
    for (size_t i = 0; i < words.size(); i++) {
        bytes[i * 4] = static_cast<unsigned char>(words[i]);
        bytes[i * 4 + 1] = static_cast<unsigned char>(words[i] >> 8);
        bytes[i * 4 + 2] = static_cast<unsigned char>(words[i] >> 16);
        bytes[i * 4 + 3] = static_cast<unsigned char>(words[i] >> 24);
    }
    size_t written = fwrite(bytes.data(), 1, bytes.size(), file);
    if (fclose(file) != 0 || written != bytes.size()) return -1;
    return 0;
}

int ReadWords(const char* path, std::vector<uint32_t>* words) {
    FILE* file = fopen(path, "rb");
    if (!file) return -1;
    words->clear();
    unsigned char bytes[4];
    while (fread(bytes, 1, 4, file) == 4)
        words->push_back(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
    fclose(file);
    return 0;
}

// The screen's pixels in a rectangle of the root window: a window's pixels as
// the server shows them, children included.
int GrabRoot(Display* display, int x, int y, int width, int height, std::vector<uint32_t>* words) {
    XSync(display, False);
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image) return -1;
    words->assign(static_cast<size_t>(width) * height, 0);
    for (int row = 0; row < height; row++)
        for (int column = 0; column < width; column++)
            (*words)[static_cast<size_t>(row) * width + column] =
                static_cast<uint32_t>(XGetPixel(image, column, row)) & 0xFFFFFF;
    XDestroyImage(image);
    return 0;
}

int Grab(int argc, char** argv) {
    if (CheckUsage(argc, 7, "view_capture grab X Y WIDTH HEIGHT OUT") != 0) return 2;
    Display* display = OpenDisplayOrSay("view_capture");
    if (!display) return 1;
    std::vector<uint32_t> words;
    int result = GrabRoot(display, atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]), &words);
    XCloseDisplay(display);
    if (result != 0 || WriteWords(argv[6], words) != 0) {
        fprintf(stderr, "view_capture: cannot capture into %s\n", argv[6]);
        return 1;
    }
    return 0;
}

int RunCases(int argc, char** argv) {
    if (CheckUsage(argc, 5, "view_capture run CASES INPUT_DIR OUTPUT_DIR") != 0) return 2;
    FILE* cases = OpenToRead("view_capture", argv[2]);
    if (!cases) return 1;
    // An X server resets whenever its last client leaves, and refuses
    // connections meanwhile; between two cases every other client (the host
    // window, blitview) is gone. This connection keeps the server up.
    Display* keeper = OpenDisplayOrSay("view_capture");
    if (!keeper) {
        fclose(cases);
        return 1;
    }
    const std::string input_dir = argv[3], output_dir = argv[4];
    char line[1024];
    int result = 0;
    while (fgets(line, sizeof line, cases)) {
        ViewCase c;
        if (ParseViewCase(line, &c) != 0) {
            fprintf(stderr, "view_capture: bad case line: %s", line);
            result = 1;
            continue;
        }
        HostWindow host;
        if (OpenHostWindow(&host, c.host_x, c.host_y, c.host_width, c.host_height, c.host_rgb) != 0) {
            fprintf(stderr, "view_capture: no X display\n");
            XCloseDisplay(keeper);
            fclose(cases);
            return 1;
        }
        const int sample_y = c.y2 - c.y1 + 2;
        if (sample_y < c.host_height) PaintHostWindow(host, 0, sample_y, 1, 1, c.sample_rgb);
        int status = RunBlitview({c.mode, input_dir + "/" + c.file, std::to_string(c.x1), std::to_string(c.y1),
                                  std::to_string(c.x2), std::to_string(c.y2)});
        std::vector<uint32_t> words;
        int grabbed = GrabRoot(host.display, c.host_x, c.host_y, c.host_width, c.host_height, &words);
        CloseHostWindow(&host);
        std::string raw = output_dir + "/" + c.name + ".raw", status_path = output_dir + "/" + c.name + ".status";
        FILE* status_file = fopen(status_path.c_str(), "w");
        if (grabbed != 0 || WriteWords(raw.c_str(), words) != 0 || !status_file ||
            fprintf(status_file, "%d\n", status) < 0) {
            fprintf(stderr, "view_capture: cannot capture case %s\n", c.name);
            result = 1;
        }
        if (status_file) fclose(status_file);
    }
    XCloseDisplay(keeper);
    fclose(cases);
    return result;
}

int Diff(int argc, char** argv) {
    if (CheckUsage(argc, 5, "view_capture diff A B WIDTH") != 0) return 2;
    std::vector<uint32_t> a, b;
    if (ReadWords(argv[2], &a) != 0 || ReadWords(argv[3], &b) != 0) {
        printf("a capture is missing\n");
        return 1;
    }
    const int width = atoi(argv[4]);
    if (a.size() != b.size() || width <= 0) {
        printf("captures of %zu and %zu pixels\n", a.size(), b.size());
        return 1;
    }
    size_t differing = 0;
    std::string first;
    for (size_t i = 0; i < a.size(); i++) {
        if (a[i] == b[i]) continue;
        if (differing++ < 4) {
            char text[96];
            snprintf(text, sizeof text, " (%zu,%zu) %06X/%06X", i % width, i / width, a[i], b[i]);
            first += text;
        }
    }
    if (differing == 0) return 0;
    printf("%zu pixels differ, first at (x,y) first/second:%s\n", differing, first.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && strcmp(argv[1], "grab") == 0) return Grab(argc, argv);
    if (argc >= 2 && strcmp(argv[1], "run") == 0) return RunCases(argc, argv);
    if (argc >= 2 && strcmp(argv[1], "diff") == 0) return Diff(argc, argv);
    fprintf(stderr, "usage: view_capture grab|run|diff ...\n");
    return 2;
}
