// The names a replacement file has beside its path before it takes the
// path's place, and how a run knows, without reading the directory, what a
// killed run of the same user left there.
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <string.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include "posix.h"

namespace {

const char kTemporaryPrefix[] = ".blitview-";
const size_t kTemporaryRandomLength = 8;
const char kNameCharacters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
const char kMarkName[] = "user.blitview.temporary";
const char kMarkValue[] = "1";

// Eight characters from `bits`, a few of them at a time.
void PutNameCharacters(char* out, uint64_t bits) {
    for (size_t i = 0; i < kTemporaryRandomLength; i++) {
        out[i] = kNameCharacters[bits % (sizeof kNameCharacters - 1)];
        bits /= sizeof kNameCharacters - 1;
    }
}

uint64_t RandomBits(void) {
    static unsigned s_counter;
    uint64_t bits = 0;
    if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
        bits = static_cast<uint64_t>(getpid()) * 2654435761ull ^ ++s_counter * 40503ull ^
               static_cast<uint64_t>(time(nullptr));
        bits = bits * 6364136223846793005ull + 1442695040888963407ull;
    }
    return bits;
}

// This user's first names: FNV-1a over the user id and the attempt.
uint64_t UsualBits(int attempt) {
    uint64_t hash = 14695981039346656037ull;
    const uint32_t words[2] = {static_cast<uint32_t>(geteuid()), static_cast<uint32_t>(attempt)};
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(words);
    for (size_t i = 0; i < sizeof words; i++) hash = (hash ^ bytes[i]) * 1099511628211ull;
    return hash;
}

// Where the file system keeps no user attributes, what our writer puts first:
// a BMP file header that declares at least the file's length.
int CarriesOurHeader(int descriptor, const struct stat* status) {
    unsigned char header[14];
    if (pread(descriptor, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) return 0;
    uint32_t declared = static_cast<uint32_t>(header[2]) | static_cast<uint32_t>(header[3]) << 8 |
                        static_cast<uint32_t>(header[4]) << 16 | static_cast<uint32_t>(header[5]) << 24;
    uint32_t offset = static_cast<uint32_t>(header[10]) | static_cast<uint32_t>(header[11]) << 8 |
                      static_cast<uint32_t>(header[12]) << 16 | static_cast<uint32_t>(header[13]) << 24;
    return header[0] == 'B' && header[1] == 'M' && header[6] == 0 && header[7] == 0 && header[8] == 0 &&
           header[9] == 0 && status->st_size <= static_cast<off_t>(declared) && offset >= 54 && offset <= declared;
}

// Whether the open file carries our mark, or, on a file system without user
// attributes, our header. An empty file that only its owner may write, and
// only write, is one that a run was killed with before it could mark it.
int IsMarked(int descriptor, const struct stat* status) {
    if (status->st_size == 0 && (status->st_mode & 07777) == 0200) return 1;
    char value[sizeof kMarkValue];
    ssize_t length = fgetxattr(descriptor, kMarkName, value, sizeof value);
    if (length == static_cast<ssize_t>(sizeof kMarkValue - 1)) return memcmp(value, kMarkValue, sizeof kMarkValue - 1) == 0;
    if (length < 0 && errno == ENOTSUP) return CarriesOurHeader(descriptor, status);
    return 0;
}

// Removes `name` from `directory` when it is a leftover of this user's: a
// regular file of ours, marked, that no live run holds locked.
void RemoveIfStale(int directory, const char* name) {
    int descriptor = openat(directory, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0 && errno == ENOENT) return;
    if (descriptor < 0) descriptor = openat(directory, name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return;
    struct stat opened, named;
    if (fstat(descriptor, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == geteuid() &&
        flock(descriptor, LOCK_EX | LOCK_NB) == 0 && IsMarked(descriptor, &opened) &&
        fstatat(directory, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == opened.st_dev &&
        named.st_ino == opened.st_ino)
        unlinkat(directory, name, 0);
    close(descriptor);
}

}  // namespace

void MakeTemporaryName(int attempt, char name[TEMPORARY_NAME_SIZE]) {
    size_t prefix = sizeof kTemporaryPrefix - 1;
    memcpy(name, kTemporaryPrefix, prefix);
    PutNameCharacters(name + prefix, attempt < USUAL_TEMPORARY_NAMES ? UsualBits(attempt) : RandomBits());
    name[prefix + kTemporaryRandomLength] = '\0';
}

int MarkTemporary(int descriptor) {
    if (fsetxattr(descriptor, kMarkName, kMarkValue, sizeof kMarkValue - 1, 0) == 0 || errno == ENOTSUP) return 0;
    return -1;
}

void UnmarkTemporary(int descriptor) {
    (void)fremovexattr(descriptor, kMarkName);
}

int IsTemporaryMark(const char* attribute) {
    return strcmp(attribute, kMarkName) == 0;
}

void RemoveStaleTemporaries(int directory) {
    char name[TEMPORARY_NAME_SIZE];
    for (int attempt = 0; attempt < USUAL_TEMPORARY_NAMES; attempt++) {
        MakeTemporaryName(attempt, name);
        RemoveIfStale(directory, name);
    }
}
