// blitview-inspect [OPTIONS] FILE...: the command line, the kind of each
// file, and the exit status.
#include <getopt.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "../present/present.h"
#include "inspect.h"

namespace {

const char kUsage[] =
    "Usage: blitview-inspect [OPTIONS] FILE...\n"
    "Says for each FILE what it is, what blitview would do with it, and why.\n"
    "A file that starts with \"BM\" is read as a BMP, one whose name ends in VCT\n"
    "as a vector file, and any other as a drawing file.\n"
    "\n"
    "  --records     list every record with the byte offset of its tag\n"
    "  --png OUT     write the picture as a PNG: a drawing as -f paints it, a BMP\n"
    "                as -b shows it, unframed at its natural size (one FILE only)\n"
    "  --box WxH     fit the picture into a box of W x H pixels, as -b and -v do\n"
    "  --kind KIND   read every FILE as KIND: drawing, bmp or vectors\n"
    "  --json        write one JSON object per file, a line each\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "Exit status: 0 when blitview would succeed with every FILE, 1 when it would\n"
    "fail with any (or a PNG could not be written), 2 for a usage error.\n";

int UsageError(const char* message, const char* detail) {
    if (detail)
        fprintf(stderr, "blitview-inspect: %s: %s\n", message, detail);
    else
        fprintf(stderr, "blitview-inspect: %s\n", message);
    fputs("Try 'blitview-inspect --help'.\n", stderr);
    return 2;
}

// "WxH" with both sides 1 to MAX_BOX_SIDE, the boxes the window modes take.
int ParseBox(const char* text, int32_t* width, int32_t* height) {
    char* end = nullptr;
    long w = strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X')) return -1;
    const char* rest = end + 1;
    long h = strtol(rest, &end, 10);
    if (end == rest || *end != '\0') return -1;
    if (w < 1 || h < 1 || w > MAX_BOX_SIDE || h > MAX_BOX_SIDE) return -1;
    *width = static_cast<int32_t>(w);
    *height = static_cast<int32_t>(h);
    return 0;
}

int ParseKind(const char* text, FileKind* kind) {
    if (strcmp(text, "drawing") == 0)
        *kind = KIND_DRAWING;
    else if (strcmp(text, "bmp") == 0)
        *kind = KIND_BMP;
    else if (strcmp(text, "vectors") == 0)
        *kind = KIND_VECTORS;
    else
        return -1;
    return 0;
}

// The vector overlay reads the file whose name ends in VCT; the bitmap view
// reads any file, and the reader's "BM" is what a BMP starts with.
FileKind DetectKind(const char* path) {
    size_t length = strlen(path);
    if (length >= 3 && strcmp(path + length - 3, "VCT") == 0) return KIND_VECTORS;
    FILE* stream = fopen(path, "rb");
    if (!stream) return KIND_DRAWING;
    unsigned char mark[2];
    size_t got = fread(mark, 1, 2, stream);
    fclose(stream);
    return got == 2 && mark[0] == 'B' && mark[1] == 'M' ? KIND_BMP : KIND_DRAWING;
}

}  // namespace

int main(int argc, char** argv) {
    InspectOptions options;
    memset(&options, 0, sizeof options);
    options.kind = KIND_UNKNOWN;
    enum { OPTION_RECORDS = 1, OPTION_PNG, OPTION_BOX, OPTION_KIND, OPTION_JSON, OPTION_HELP, OPTION_VERSION };
    static const struct option long_options[] = {
        {"records", no_argument, nullptr, OPTION_RECORDS}, {"png", required_argument, nullptr, OPTION_PNG},
        {"box", required_argument, nullptr, OPTION_BOX},   {"kind", required_argument, nullptr, OPTION_KIND},
        {"json", no_argument, nullptr, OPTION_JSON},       {"help", no_argument, nullptr, OPTION_HELP},
        {"version", no_argument, nullptr, OPTION_VERSION}, {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    for (;;) {
        int option_index = 0;
        int option = getopt_long(argc, argv, "", long_options, &option_index);
        if (option == -1) break;
        switch (option) {
            case OPTION_RECORDS:
                options.records = 1;
                break;
            case OPTION_PNG:
                options.png_path = optarg;
                break;
            case OPTION_BOX:
                if (ParseBox(optarg, &options.box_width, &options.box_height) != 0)
                    return UsageError("--box takes WxH with sides of 1 to 16384 pixels", optarg);
                options.has_box = 1;
                break;
            case OPTION_KIND:
                if (ParseKind(optarg, &options.kind) != 0)
                    return UsageError("--kind takes drawing, bmp or vectors", optarg);
                break;
            case OPTION_JSON:
                options.json = 1;
                break;
            case OPTION_HELP:
                fputs(kUsage, stdout);
                return fflush(stdout) == 0 ? 0 : 2;
            case OPTION_VERSION:
                printf("blitview-inspect %s\n", BLITVIEW_VERSION);
                return fflush(stdout) == 0 ? 0 : 2;
            default:
                return UsageError("unknown option or missing value", argv[optind - 1]);
        }
    }
    const int file_count = argc - optind;
    if (file_count == 0) return UsageError("no FILE given", nullptr);
    if (options.png_path && file_count > 1) return UsageError("--png writes the picture of one FILE", nullptr);
    // The picture would replace the file it is made from.
    struct stat file_status, png_status;
    if (options.png_path && stat(argv[optind], &file_status) == 0 && stat(options.png_path, &png_status) == 0 &&
        file_status.st_dev == png_status.st_dev && file_status.st_ino == png_status.st_ino)
        return UsageError("--png names the FILE itself", options.png_path);

    Report report;
    memset(&report, 0, sizeof report);
    report.out = stdout;
    report.json = options.json;
    int status = 0;
    for (int i = optind; i < argc; i++) {
        const char* path = argv[i];
        FileKind kind = options.kind != KIND_UNKNOWN ? options.kind : DetectKind(path);
        int result = kind == KIND_BMP       ? InspectBitmap(&report, path, &options)
                     : kind == KIND_VECTORS ? InspectVectors(&report, path, &options)
                                            : InspectDrawing(&report, path, &options);
        if (result != 0) status = 1;
    }
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fputs("blitview-inspect: cannot write the report\n", stderr);
        return 1;
    }
    return status;
}
