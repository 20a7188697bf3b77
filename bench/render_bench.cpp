// What --render costs beside the window job it stands in for, in a 600 x 480
// box: blitview -b, -v or -d drawing into a stand-in host window, against
// blitview-inspect --render of the same job, its PNG and its PPM each read
// from a pipe to the end, as a host reads them. The inputs are the sample
// drawing as -f writes it (1024 x 768) and its overlay; big pictures (RLE8
// pictures of up to 65,535 pixels a side, a 1-bit one and a 24-bit 6000 x
// 4000 one), shown alone and under the sample's overlay; and polylines
// (4 of 65,535 random points, and 20,000 short ones), alone and over the
// sample. A round runs the window job and the renders back to back, the
// first of them changing from round to round; the figures are medians over
// the rounds, the ratios taken round by round.
//   bench/render.sh [ROUNDS [all|sample|pictures|polylines [INSPECTOR]]]
// INSPECTOR, another build of blitview-inspect, renders in place of this
// build's; one without --ppm renders PNG alone.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "tests/fixtures/x11_host.h"

namespace {

const char* g_inspector = INSPECT_PATH;

double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The inspector with its standard output read through a pipe to the end, as
// a host reads it, and kept in `output` when given; its exit status, or -1.
int RunInspector(const std::vector<std::string>& arguments, std::string* output = nullptr) {
    int ends[2];
    if (pipe(ends) != 0) return -1;
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        dup2(ends[1], 1);
        close(ends[0]);
        close(ends[1]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(g_inspector));
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(g_inspector, argv.data());
        _exit(127);
    }
    close(ends[1]);
    char buffer[65536];
    ssize_t n;
    while ((n = read(ends[0], buffer, sizeof buffer)) > 0)
        if (output) output->append(buffer, static_cast<size_t>(n));
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

struct Input {
    std::string name;
    std::string path;  // the BMP; its VCT beside it
};

// One mode of one input: the window job and each form's render, in turns.
int BenchJob(const Input& input, char mode, const HostWindow& host, int rounds, int forms) {
    const std::vector<std::string> window_job = {std::string("-") + mode,        input.path,
                                                 std::to_string(host.x),         std::to_string(host.y),
                                                 std::to_string(host.x + 600), std::to_string(host.y + 480)};
    const char* form_options[2] = {"--png", "--ppm"};
    std::vector<double> window_ms, render_ms[2], ratios[2];
    int status = 0;
    for (int round = 0; round < rounds; round++) {
        double ms[3] = {0, 0, 0};
        for (int turn = 0; turn <= forms; turn++) {
            const int job = (turn + round) % (forms + 1);  // 0 the window job, then the forms
            const double start = Now();
            const int result =
                job == 0 ? RunBlitview(window_job)
                         : RunInspector({"--render", std::string(1, mode), "--box", "600x480", "--background",
                                         "336699", form_options[job - 1], "-", input.path});
            ms[job] = Now() - start;
            if (result != 0) {
                fprintf(stderr, "render_bench: %s -%c: the %s job exited with %d\n", input.name.c_str(), mode,
                        job == 0 ? "window" : form_options[job - 1], result);
                status = 1;
            }
        }
        window_ms.push_back(ms[0]);
        for (int f = 0; f < forms; f++) {
            render_ms[f].push_back(ms[f + 1]);
            ratios[f].push_back(ms[f + 1] / ms[0]);
        }
    }
    printf("%-34s -%c %9.2f %9.2f %6.2f", input.name.c_str(), mode, Median(window_ms), Median(render_ms[0]),
           Median(ratios[0]));
    if (forms == 2) printf(" %9.2f %6.2f", Median(render_ms[1]), Median(ratios[1]));
    printf("\n");
    fflush(stdout);
    return status;
}

int Copy(const std::string& from, const std::string& to) {
    const std::string command = "cp '" + from + "' '" + to + "'";
    return system(command.c_str()) == 0 ? 0 : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: render_bench SAMPLE.drw SAMPLE.VCT [ROUNDS [INPUTS [INSPECTOR]]]\n");
        return 2;
    }
    const int rounds = argc > 3 ? atoi(argv[3]) : 21;
    const std::string only = argc > 4 ? argv[4] : "all";
    if (argc > 5) g_inspector = argv[5];
    std::string help;
    const int forms = RunInspector({"--help"}, &help) == 0 && help.find("--ppm") != std::string::npos ? 2 : 1;
    char pattern[] = "/tmp/render_bench.XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::string directory = pattern, sample = directory + "/sample.bmp";
    if (Copy(argv[1], sample) != 0 || Copy(argv[2], directory + "/sample.VCT") != 0 ||
        RunBlitview({"-f", sample}) != 0) {
        fprintf(stderr, "render_bench: cannot convert the sample\n");
        return 1;
    }
    HostWindow host;
    if (OpenHostWindow(&host, 20, 20, 640, 520, 0x336699) != 0) {
        fprintf(stderr, "render_bench: no X display\n");
        return 1;
    }
    printf("%d rounds, a 600 x 480 box; milliseconds, and render/window:\n", rounds);
    printf("%-34s %2s %9s %9s %6s", "input", "", "window", "png", "ratio");
    if (forms == 2) printf(" %9s %6s", "ppm", "ratio");
    printf("\n");
    int status = 0;
    if (only == "all" || only == "sample")
        for (char mode : {'b', 'v', 'd'}) status |= BenchJob({"sample", sample}, mode, host, rounds, forms);
    if (only == "all" || only == "pictures") {
        struct Picture {
            const char* name;
            int width, height;
            Bytes (*make)(int width, int height);
        };
        const Picture pictures[] = {{"24 bpp 6000 x 4000", 6000, 4000, Rgb24Bmp},
                                    {"RLE8 20000 x 20000", 20000, 20000, RleBmp},
                                    {"RLE8 32767 x 32767", 32767, 32767, RleBmp},
                                    {"RLE8 65535 x 65535", 65535, 65535, RleBmp},
                                    {"1 bpp top-down 32767 x 32767", 32767, 32767, TopDownMonoBmp}};
        const std::string path = directory + "/big.bmp", overlay = directory + "/big.VCT";
        for (const Picture& picture : pictures) {
            if (Save(path, picture.make(picture.width, picture.height)) != 0 ||
                Copy(directory + "/sample.VCT", overlay) != 0)
                return 1;
            for (char mode : {'b', 'd'}) status |= BenchJob({picture.name, path}, mode, host, rounds, forms);
        }
        unlink(path.c_str());
        unlink(overlay.c_str());
    }
    if (only == "all" || only == "polylines") {
        const std::string path = directory + "/lines.bmp", vectors = directory + "/lines.VCT";
        if (Copy(sample, path) != 0) return 1;
        const char* names[2] = {"4 polylines of 65,535 points", "20,000 short polylines"};
        for (int i = 0; i < 2; i++) {
            if (Save(vectors, i == 0 ? LongPolylines(4) : VectorFile(20000)) != 0) return 1;
            for (char mode : {'v', 'd'}) status |= BenchJob({names[i], path}, mode, host, rounds, forms);
        }
        unlink(path.c_str());
        unlink(vectors.c_str());
    }
    CloseHostWindow(&host);
    const std::string remove = "rm -rf " + directory;
    if (system(remove.c_str()) != 0) status = 1;
    return status;
}
