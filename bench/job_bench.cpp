// Whole blitview jobs, each run as its own process: wall time and peak
// resident memory of the vector overlay, of the bitmap view of a picture that
// declares a huge size in a small file, and of run sets beside rectangles;
// and, as medians of paired runs beside what their work costs at least, a
// small conversion and a few very long polylines.
//   bench/jobs.sh [LIMIT_SECONDS [vectors|bitmap|runs|small|polylines [PROGRAM]]]
// The short and the long polylines are also run in pairs beside the X
// server's own XDrawLines doing the same job (bench/x_lines.cpp). A job
// still running after LIMIT_SECONDS (default 120) is stopped and shown as
// such. A section named runs alone; PROGRAM, another build of blitview,
// runs in place of this build's, so that two builds can be compared.
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "tests/fixtures/x11_host.h"

namespace {

struct JobFigures {
    int finished;  // 0: stopped at the limit
    int status;
    double milliseconds;
    long peak_kib;
};

int g_limit_seconds = 120;
const char* g_program = nullptr;  // another blitview, or this build's
char g_self[PATH_MAX];            // this program, which also serves as the floor of a job

double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

JobFigures RunJob(const std::vector<std::string>& arguments, const char* program = g_program) {
    RunLimits limits;
    limits.seconds = static_cast<unsigned>(g_limit_seconds);
    limits.program = program;
    rusage usage = {};
    double start = Now();
    int status = RunBlitviewWithin(arguments, limits, &usage);
    JobFigures figures = {status >= 0, status, Now() - start, usage.ru_maxrss};
    return figures;
}

// The best of `runs` runs; `prepare` runs untimed before each.
JobFigures BestOf(int runs, const std::vector<std::string>& arguments, void (*prepare)(void) = nullptr) {
    JobFigures best = {};
    for (int i = 0; i < runs; i++) {
        if (prepare) prepare();
        JobFigures figures = RunJob(arguments);
        if (i == 0 || figures.milliseconds < best.milliseconds) best = figures;
        if (!figures.finished) break;
    }
    return best;
}

void PrintJob(const char* name, const JobFigures& f) {
    if (!f.finished)
        printf("%-48s stopped after %d s\n", name, g_limit_seconds);
    else
        printf("%-48s %9.1f ms   peak RSS %8ld KiB   exit %d\n", name, f.milliseconds, f.peak_kib, f.status);
}

std::vector<std::string> ViewCommand(const char* mode, const std::string& path, int x1, int y1, int x2, int y2) {
    return {mode, path, std::to_string(x1), std::to_string(y1), std::to_string(x2), std::to_string(y2)};
}

void BesideXDrawLines(const char* name, int runs, const std::vector<std::string>& job);

void BenchVectors(const std::string& directory, const HostWindow& host) {
    printf("-v, 600 x 480 units in a 600 x 480 box, two-point polylines 7 x 3 pixels:\n");
    const long counts[] = {0, 20000, 1000000};
    double header_only = 0;
    for (long records : counts) {
        std::string path = directory + "/v" + std::to_string(records) + ".bmp";
        std::string file = path.substr(0, path.size() - 3) + "VCT";
        if (Save(file, VectorFile(records)) != 0) return;
        JobFigures f = BestOf(records > 100000 ? 1 : 3, ViewCommand("-v", path, host.x + 10, host.y + 10,
                                                                    host.x + 610, host.y + 490));
        char name[64];
        snprintf(name, sizeof name, "  %ld records", records);
        PrintJob(name, f);
        if (records == 0) header_only = f.milliseconds;
        else if (f.finished)
            printf("  %48s %.2f x the header-only run, %.2f us per record\n", "", f.milliseconds / header_only,
                   (f.milliseconds - header_only) * 1e3 / records);
        if (records == 20000)
            BesideXDrawLines("  20000 records, beside XDrawLines", 21,
                             ViewCommand("-v", path, host.x + 10, host.y + 10, host.x + 610, host.y + 490));
        unlink(file.c_str());
    }
}

void BenchBitmap(const std::string& directory, const HostWindow& host) {
    printf("-b, in a 400 x 300 box:\n");
    struct Picture {
        const char* kind;
        int side;
        Bytes (*make)(int width, int height);
    };
    const Picture pictures[] = {{"RLE8", 20000, RleBmp},
                                {"RLE8", 32767, RleBmp},
                                {"RLE8", 65535, RleBmp},
                                {"1 bpp top-down", 32767, TopDownMonoBmp}};
    for (const Picture& picture : pictures) {
        std::string path = directory + "/big.bmp";
        size_t size;
        {
            Bytes bytes = picture.make(picture.side, picture.side);
            size = bytes.size();
            if (Save(path, bytes) != 0) return;
        }
        JobFigures f = BestOf(1, ViewCommand("-b", path, host.x + 10, host.y + 10, host.x + 410, host.y + 310));
        char name[80];
        snprintf(name, sizeof name, "  %s %d x %d, %.1f MiB file", picture.kind, picture.side, picture.side,
                 size / 1048576.0);
        PrintJob(name, f);
        unlink(path.c_str());
    }
}

std::string g_drawing, g_copy;

void CopyDrawing(void) {
    FILE* from = fopen(g_drawing.c_str(), "rb");
    FILE* to = fopen(g_copy.c_str(), "wb");
    char buffer[65536];
    size_t n;
    while (from && to && (n = fread(buffer, 1, sizeof buffer, from)) > 0) fwrite(buffer, 1, n, to);
    if (from) fclose(from);
    if (to) fclose(to);
}

// 262,128 full-width rows on a 1024 x 768 canvas (scale 1): eight run sets
// of 32,766 runs, or as many rectangles one row high on the same rows.
void BenchRuns(const std::string& directory) {
    printf("-f, 1024 x 768, 262,128 full-width rows:\n");
    const int sets = 8, runs = 32766;
    Bytes run_file, rect_file;
    PutU16(&run_file, 1024);
    PutU16(&run_file, 768);
    rect_file = run_file;
    for (int set = 0; set < sets; set++) {
        const unsigned row = static_cast<unsigned>(set * 96);
        PutU16(&run_file, 0xFFFC);
        PutU16(&run_file, runs + 1);
        PutU16(&run_file, static_cast<unsigned>(set % 8));
        PutU16(&run_file, 0);
        PutU16(&run_file, row);
        for (int r = 0; r < runs; r++) {
            PutU16(&run_file, (r & 1) ? 1024 : 0);  // both directions
            PutU16(&run_file, (r & 1) ? 0 : 1024);
            PutU16(&rect_file, 0xFFFE);
            const unsigned values[6] = {0, 0, row, 1024, row + 1, static_cast<unsigned>(set % 8)};
            for (unsigned v : values) PutU16(&rect_file, v);
        }
    }
    g_copy = directory + "/copy.drw";
    const char* names[2] = {"  run sets", "  rectangles"};
    const Bytes* files[2] = {&run_file, &rect_file};
    double times[2] = {0, 0};
    for (int i = 0; i < 2; i++) {
        g_drawing = directory + "/source.drw";
        if (Save(g_drawing, *files[i]) != 0) return;
        JobFigures f = BestOf(3, {"-f", g_copy}, CopyDrawing);
        PrintJob(names[i], f);
        times[i] = f.milliseconds;
    }
    printf("  %48s run sets take %.2f x the rectangles' time\n", "", times[0] / times[1]);
    unlink(g_drawing.c_str());
    unlink(g_copy.c_str());
}

// The floor of a small conversion, run as a process of its own: the 3 MiB of
// a 1024 x 768 BMP's pixels written to PATH and synced. They are written from
// one small buffer, so that the floor pays for hardly any fresh memory.
int WriteFloor(const char* path) {
    static unsigned char bytes[256u << 10];
    memset(bytes, 0xFF, sizeof bytes);
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return 1;
    int failed = 0;
    for (int i = 0; i < 12; i++) failed |= write(fd, bytes, sizeof bytes) != static_cast<ssize_t>(sizeof bytes);
    failed |= fsync(fd) != 0;
    failed |= close(fd) != 0;
    return failed;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The medians over pairs of runs of two jobs, one after the other: of each
// job's time and of the first's time over the second's.
struct PairMedians {
    int failed;  // a run failed or was stopped: the statuses say which
    int first_status, second_status;
    double first_ms, second_ms, ratio;
    long first_peak_kib;
};

// `runs` pairs of two jobs, each run after its `prepare`, by its program.
PairMedians RunPairs(int runs, const std::vector<std::string>& first, const char* first_program,
                     void (*prepare_first)(void), const std::vector<std::string>& second, const char* second_program,
                     void (*prepare_second)(void)) {
    std::vector<double> first_ms, second_ms, ratios;
    PairMedians m = {};
    for (int i = 0; i < runs; i++) {
        if (prepare_first) prepare_first();
        JobFigures a = RunJob(first, first_program);
        if (prepare_second) prepare_second();
        JobFigures b = RunJob(second, second_program);
        if (!a.finished || !b.finished || a.status != 0 || b.status != 0) {
            m = {1, a.status, b.status, 0, 0, 0, 0};
            return m;
        }
        first_ms.push_back(a.milliseconds);
        second_ms.push_back(b.milliseconds);
        ratios.push_back(a.milliseconds / b.milliseconds);
        m.first_peak_kib = std::max(m.first_peak_kib, a.peak_kib);
    }
    m.first_ms = Median(first_ms);
    m.second_ms = Median(second_ms);
    m.ratio = Median(ratios);
    return m;
}

// `runs` pairs of a job and its floor: the medians of the job's time, of
// the floor's and of their ratio, pair by pair.
void PairedRuns(const char* name, int runs, const std::vector<std::string>& job, void (*prepare_job)(void),
                const std::vector<std::string>& floor, const char* floor_program, void (*prepare_floor)(void)) {
    const PairMedians m = RunPairs(runs, job, g_program, prepare_job, floor, floor_program, prepare_floor);
    if (m.failed)
        printf("%-48s failed (exit %d, floor exit %d)\n", name, m.first_status, m.second_status);
    else
        printf("%-48s %9.1f ms   floor %7.1f ms   ratio %.2f (median of %d pairs)   peak RSS %ld KiB\n", name,
               m.first_ms, m.second_ms, m.ratio, runs, m.first_peak_kib);
}

// `runs` pairs of a window job done by blitview and by the X server's own
// lines (bench/x_lines.cpp): how many times blitview's time the X server's
// takes, pair by pair. The count of pairs is odd, so that the median of the
// inverse ratios is the inverse of their median.
void BesideXDrawLines(const char* name, int runs, const std::vector<std::string>& job) {
    const PairMedians m = RunPairs(runs | 1, job, g_program, nullptr, job, X_LINES_PATH, nullptr);
    if (m.failed)
        printf("%-48s failed (exit %d, XDrawLines exit %d)\n", name, m.first_status, m.second_status);
    else
        printf("%-48s %9.1f ms   XDrawLines %7.1f ms   XDrawLines takes %.2f x (median of %d pairs)\n", name,
               m.first_ms, m.second_ms, 1 / m.ratio, runs | 1);
}

std::string g_small;

// A 1024 x 768 drawing of one red rectangle.
void SmallDrawing(void) {
    Bytes bytes;
    const unsigned words[] = {1024, 768, 0xFFFE, 0, 100, 100, 900, 600, 1};
    for (unsigned w : words) PutU16(&bytes, w);
    Save(g_small, bytes);
}

void BenchSmall(const std::string& directory) {
    printf("-f, 1024 x 768, one rectangle, beside a process that writes and syncs 3 MiB:\n");
    g_small = directory + "/small.drw";
    PairedRuns("  small conversion", 21, {"-f", g_small}, SmallDrawing, {"write-floor", g_small}, g_self,
               SmallDrawing);
    unlink(g_small.c_str());
}

void BenchPolylines(const std::string& directory, const HostWindow& host) {
    printf("-v, 4000 x 3000 units in a 600 x 480 box, beside the header alone:\n");
    const std::string lines = directory + "/lines.bmp", header = directory + "/header.bmp";
    if (Save(directory + "/lines.VCT", LongPolylines(4)) != 0 || Save(directory + "/header.VCT", LongPolylines(0)) != 0)
        return;
    PairedRuns("  4 polylines of 65,535 random points", 11,
               ViewCommand("-v", lines, host.x + 10, host.y + 10, host.x + 610, host.y + 490), nullptr,
               ViewCommand("-v", header, host.x + 10, host.y + 10, host.x + 610, host.y + 490), g_program, nullptr);
    BesideXDrawLines("  the same, beside XDrawLines", 11,
                     ViewCommand("-v", lines, host.x + 10, host.y + 10, host.x + 610, host.y + 490));
    unlink((directory + "/lines.VCT").c_str());
    unlink((directory + "/header.VCT").c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "write-floor") == 0) return WriteFloor(argv[2]);
    if (!realpath("/proc/self/exe", g_self)) return 1;
    if (argc > 1) g_limit_seconds = atoi(argv[1]);
    if (argc > 3) g_program = argv[3];
    char pattern[] = "/tmp/job_bench.XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    std::string directory = pattern;
    HostWindow host;
    if (OpenHostWindow(&host, 20, 20, 640, 520, 0xC0C0C0) != 0) {
        fprintf(stderr, "job_bench: no X display\n");
        return 1;
    }
    const std::string only = argc > 2 ? argv[2] : "";
    if (only.empty() || only == "vectors") BenchVectors(directory, host);
    if (only.empty() || only == "bitmap") BenchBitmap(directory, host);
    if (only.empty() || only == "runs") BenchRuns(directory);
    if (only.empty() || only == "small") BenchSmall(directory);
    if (only.empty() || only == "polylines") BenchPolylines(directory, host);
    CloseHostWindow(&host);
    rmdir(directory.c_str());
    return 0;
}
