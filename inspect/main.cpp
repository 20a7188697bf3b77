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
    "  --ppm OUT     write the picture as --png does, as a binary PPM (P6): the\n"
    "                pixels as they are, for programs without a decoder\n"
    "  --box WxH     fit the picture into a box of W x H pixels, as -b and -v do\n"
    "  --render MODE write the box of --box as -b, -v or -d (MODE b, v or d) would\n"
    "                draw it into a window, to --png or --ppm (- for standard\n"
    "                output); one FILE, the path as the mode reads it\n"
    "  --background RRGGBB\n"
    "                the window's colour around the box for --render (FFFFFF)\n"
    "  --kind KIND   read every FILE as KIND: drawing, bmp or vectors\n"
    "  --json        write one JSON object per file, a line each\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "Exit status: 0 when blitview would succeed with every FILE, 1 when it would\n"
    "fail with any (or the picture could not be written), 2 for a usage error.\n";

int UsageError(const char* message, const char* detail) {
    if (detail)
        fprintf(stderr, "blitview-inspect: %s: %s\n", message, detail);
    else
        fprintf(stderr, "blitview-inspect: %s\n", message);
    fputs("Try 'blitview-inspect --help'.\n", stderr);
    return 2;
}

// "WxH" with both sides positive; the caller holds them to the boxes the
// window modes take.
int ParseBox(const char* text, int32_t* width, int32_t* height) {
    char* end = nullptr;
    long w = strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X')) return -1;
    const char* rest = end + 1;
    long h = strtol(rest, &end, 10);
    if (end == rest || *end != '\0') return -1;
    if (w < 1 || h < 1 || w > INT32_MAX || h > INT32_MAX) return -1;
    *width = static_cast<int32_t>(w);
    *height = static_cast<int32_t>(h);
    return 0;
}

// Six hexadecimal digits, red first, as a COLORREF.
int ParseColour(const char* text, uint32_t* colour) {
    if (strlen(text) != 6 || strspn(text, "0123456789abcdefABCDEF") != 6) return -1;
    const unsigned long rgb = strtoul(text, nullptr, 16);
    *colour = RGB(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF);
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

const char* PictureOption(const InspectOptions* options) {
    return options->picture_form == PICTURE_PPM ? "ppm" : "png";
}

int main(int argc, char** argv) {
    InspectOptions options;
    memset(&options, 0, sizeof options);
    options.kind = KIND_UNKNOWN;
    options.background = RGB(255, 255, 255);
    const char* box_text = nullptr;
    enum {
        OPTION_RECORDS = 1,
        OPTION_PNG,
        OPTION_PPM,
        OPTION_BOX,
        OPTION_KIND,
        OPTION_JSON,
        OPTION_HELP,
        OPTION_VERSION,
        OPTION_RENDER,
        OPTION_BACKGROUND
    };
    static const struct option long_options[] = {
        {"records", no_argument, nullptr, OPTION_RECORDS}, {"png", required_argument, nullptr, OPTION_PNG},
        {"ppm", required_argument, nullptr, OPTION_PPM},   {"box", required_argument, nullptr, OPTION_BOX},
        {"kind", required_argument, nullptr, OPTION_KIND}, {"json", no_argument, nullptr, OPTION_JSON},
        {"help", no_argument, nullptr, OPTION_HELP},       {"version", no_argument, nullptr, OPTION_VERSION},
        {"render", required_argument, nullptr, OPTION_RENDER},
        {"background", required_argument, nullptr, OPTION_BACKGROUND},
        {nullptr, 0, nullptr, 0},
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
            case OPTION_PPM:
                if (options.picture_path) return UsageError("one picture only: give --png or --ppm once", optarg);
                options.picture_path = optarg;
                options.picture_form = option == OPTION_PPM ? PICTURE_PPM : PICTURE_PNG;
                break;
            case OPTION_BOX:
                if (ParseBox(optarg, &options.box_width, &options.box_height) != 0)
                    return UsageError("--box takes WxH with sides of 1 to 16384 pixels", optarg);
                options.has_box = 1;
                box_text = optarg;
                break;
            case OPTION_RENDER:
                if (strlen(optarg) != 1 || !strchr("bvd", optarg[0]))
                    return UsageError("--render takes b, v or d", optarg);
                options.render_mode = optarg[0];
                break;
            case OPTION_BACKGROUND:
                if (ParseColour(optarg, &options.background) != 0)
                    return UsageError("--background takes six hexadecimal digits, RRGGBB", optarg);
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
    // A box the window modes refuse is, for --render, a job that fails.
    if (options.has_box && !options.render_mode &&
        (options.box_width > MAX_BOX_SIDE || options.box_height > MAX_BOX_SIDE))
        return UsageError("--box takes WxH with sides of 1 to 16384 pixels", box_text);
    if (options.render_mode) {
        if (!options.has_box || !options.picture_path)
            return UsageError("--render needs --box and --png or --ppm", nullptr);
        if (options.records || options.json || options.kind != KIND_UNKNOWN)
            return UsageError("--render takes no --records, --json or --kind", nullptr);
    }
    char message[64];
    snprintf(message, sizeof message, "--%s writes the picture of one FILE", PictureOption(&options));
    if (options.picture_path && file_count > 1) return UsageError(message, nullptr);
    // The picture would replace the file it is made from.
    struct stat file_status, picture_status;
    const int to_output = options.render_mode && strcmp(options.picture_path, "-") == 0;
    snprintf(message, sizeof message, "--%s names the FILE itself", PictureOption(&options));
    if (options.picture_path && !to_output && stat(argv[optind], &file_status) == 0 &&
        stat(options.picture_path, &picture_status) == 0 && file_status.st_dev == picture_status.st_dev &&
        file_status.st_ino == picture_status.st_ino)
        return UsageError(message, options.picture_path);

    if (options.render_mode) return RenderBox(argv[optind], &options);

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
