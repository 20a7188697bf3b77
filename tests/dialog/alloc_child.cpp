// Loads a BMP with the address space capped, so that the reader's one block
// cannot be had: a real allocation failure, not an injected one. Prints the
// load's result; exits 0 when it was -1.
//
//   alloc_child PATH LIMIT_MIB
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>

#include "bitmap/bitmap.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: alloc_child PATH LIMIT_MIB\n");
        return 2;
    }
    rlim_t limit = static_cast<rlim_t>(strtoull(argv[2], nullptr, 10)) << 20;
    struct rlimit cap = {limit, limit};
    if (setrlimit(RLIMIT_AS, &cap) != 0) {
        perror("setrlimit");
        return 2;
    }
    LoadedBitmap picture;
    int result = LoadBmpFile(&picture, argv[1]);
    if (result == 0) FreeBmpFile(&picture);
    printf("result %d\n", result);
    fflush(stdout);
    return result == -1 ? 0 : 1;
}
