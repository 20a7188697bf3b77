// Writes a drawing made of one raster strip, for measuring whole conversions:
//   make_big_drawing PATH WIDTH HEIGHT BYTES_PER_ROW ROWS blank|sparse|dense
// The strip starts at the top-left corner, ink is where bits are 1, and
// about 2 % of the bits are ink when sparse, half when dense.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <random>
#include <vector>

#include "tests/fixtures/file_builders.h"

int main(int argc, char** argv) {
    if (argc != 7) {
        fprintf(stderr, "usage: make_big_drawing PATH WIDTH HEIGHT BYTES_PER_ROW ROWS blank|sparse|dense\n");
        return 2;
    }
    const unsigned width = static_cast<unsigned>(atoi(argv[2])), height = static_cast<unsigned>(atoi(argv[3]));
    const unsigned bytes_per_row = static_cast<unsigned>(atoi(argv[4])), rows = static_cast<unsigned>(atoi(argv[5]));
    const char* density = argv[6];
    if (width > 65535 || height > 65535 || bytes_per_row > 65535 || rows > 65535) {
        fprintf(stderr, "make_big_drawing: every number must fit 16 bits\n");
        return 2;
    }
    FILE* out = fopen(argv[1], "wb");
    if (!out) {
        fprintf(stderr, "make_big_drawing: cannot create %s\n", argv[1]);
        return 1;
    }
    unsigned char head[4 + 2 + 18];
    PutU16Le(head, static_cast<uint16_t>(width));
    PutU16Le(head + 2, static_cast<uint16_t>(height));
    PutU16Le(head + 4, 0xFFFF);
    const uint16_t fields[7] = {0, 0, 0, static_cast<uint16_t>(8 * bytes_per_row > 65535 ? 65535 : 8 * bytes_per_row),
                                static_cast<uint16_t>(rows), static_cast<uint16_t>(bytes_per_row), 0};
    for (int i = 0; i < 7; i++) PutU16Le(head + 6 + 2 * i, fields[i]);
    PutU32Le(head + 20, 0x00E20746);
    bool ok = fwrite(head, 1, sizeof head, out) == sizeof head;

    std::mt19937 rng(11);
    std::vector<unsigned char> chunk(1 << 20);
    unsigned long long left = static_cast<unsigned long long>(rows) * bytes_per_row;
    while (ok && left > 0) {
        size_t n = left < chunk.size() ? static_cast<size_t>(left) : chunk.size();
        for (size_t i = 0; i < n; i++) {
            if (strcmp(density, "dense") == 0)
                chunk[i] = static_cast<unsigned char>(rng());
            else if (strcmp(density, "sparse") == 0)
                chunk[i] = (rng() % 6) == 0 ? static_cast<unsigned char>(1u << (rng() % 8)) : 0;
            else
                chunk[i] = 0;
        }
        ok = fwrite(chunk.data(), 1, n, out) == n;
        left -= n;
    }
    if (fclose(out) != 0 || !ok) {
        fprintf(stderr, "make_big_drawing: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
