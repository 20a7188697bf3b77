// What --render costs beside the window job it stands in for: the sample
// drawing, converted by -f, shown in a 600 x 480 box by blitview -b, -v and
// -d in a stand-in host window, and rendered by blitview-inspect --render with
// the PNG written to a pipe. Each pair runs back to back, in turns of which
// goes first; the figure is the median of the pairs' ratios.
//   bench/render.sh [PAIRS]
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/fixtures/x11_host.h"

namespace {

double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The inspector with its standard output read through a pipe to the end, as
// a host reads it; its exit status, or -1.
int RunInspector(const std::vector<std::string>& arguments) {
    int ends[2];
    if (pipe(ends) != 0) return -1;
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        dup2(ends[1], 1);
        close(ends[0]);
        close(ends[1]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(INSPECT_PATH));
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(INSPECT_PATH, argv.data());
        _exit(127);
    }
    close(ends[1]);
    char buffer[65536];
    while (read(ends[0], buffer, sizeof buffer) > 0) {
    }
    close(ends[0]);
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: render_bench SAMPLE.drw SAMPLE.VCT [PAIRS]\n");
        return 2;
    }
    const int pairs = argc > 3 ? atoi(argv[3]) : 41;
    char directory[] = "/tmp/render_bench.XXXXXX";
    if (!mkdtemp(directory)) return 1;
    const std::string bmp = std::string(directory) + "/sample.bmp", vct = std::string(directory) + "/sample.VCT";
    const std::string copy_drawing = "cp " + std::string(argv[1]) + " " + bmp + " && cp " + argv[2] + " " + vct;
    if (system(copy_drawing.c_str()) != 0 || RunBlitview({"-f", bmp}) != 0) {
        fprintf(stderr, "render_bench: cannot convert the sample\n");
        return 1;
    }
    HostWindow host;
    if (OpenHostWindow(&host, 20, 20, 640, 520, 0x336699) != 0) {
        fprintf(stderr, "render_bench: no X display\n");
        return 1;
    }
    const int width = 600, height = 480;
    printf("%d pairs, a 600 x 480 box, the sample drawing as -f writes it (1024 x 768) and its overlay:\n", pairs);
    printf("%-4s %12s %12s %14s\n", "mode", "window ms", "render ms", "render/window");
    int status = 0;
    for (const char* mode : {"b", "v", "d"}) {
        const std::vector<std::string> window_job = {std::string("-") + mode, bmp, std::to_string(host.x),
                                                     std::to_string(host.y), std::to_string(host.x + width),
                                                     std::to_string(host.y + height)};
        const std::vector<std::string> render_job = {"--render", mode, "--box", "600x480", "--background",
                                                     "336699", "--png", "-", bmp};
        std::vector<double> window_ms, render_ms, ratios;
        for (int i = 0; i < pairs; i++) {
            double w = 0, r = 0;
            for (int turn = 0; turn < 2; turn++) {
                const bool window_turn = (turn == 0) == (i % 2 == 0);
                const double start = Now();
                const int result = window_turn ? RunBlitview(window_job) : RunInspector(render_job);
                const double elapsed = Now() - start;
                if (result != 0) {
                    fprintf(stderr, "render_bench: the %s job of -%s exited with %d\n",
                            window_turn ? "window" : "render", mode, result);
                    status = 1;
                }
                (window_turn ? w : r) = elapsed;
            }
            window_ms.push_back(w);
            render_ms.push_back(r);
            ratios.push_back(r / w);
        }
        printf("-%-3s %12.2f %12.2f %14.2f\n", mode, Median(window_ms), Median(render_ms), Median(ratios));
    }
    CloseHostWindow(&host);
    const std::string remove = std::string("rm -rf ") + directory;
    if (system(remove.c_str()) != 0) status = 1;
    return status;
}
