// Kernel calls over POSIX: the last-error code, the named mutex, the process
// heap with its pins, and the read probe. Files are in file.cpp.
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include "../handle_table.h"
#include "posix.h"

DWORD ErrorFromErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_WRITE_FAULT;
    }
}

namespace {

thread_local DWORD g_last_error = 0;

// ---- Heap blocks ----
// Live blocks are kept with their sizes so that IsBadReadPtr can answer from
// what the program owns instead of touching the memory it is asked about.
HandleTable g_blocks = {};
int g_heap_marker;  // its address serves as the process heap's handle

// Pinned blocks, each with its number of pins in the entry's size, and the
// one reader that pins them, set by the first pin.
HandleTable g_pins = {};
void (*g_before_pinned_free)(const void* start, size_t size) = nullptr;

// ---- Blocks kept for reuse ----
// The program allocates and frees a block for every record it reads (a
// polyline's points, a strip's rows). From the C library each would cost an
// allocation and a free, and past its mapping threshold fresh pages, which
// the kernel clears, every time. Freed blocks of up to 512 KiB are kept
// instead, a few of each power-of-two capacity, and handed out again
// cleared; larger ones are large blocks, mapped on their own.
const int kSmallestCapacityShift = 4;  // 16 bytes
const int kCapacities = 16;            // 16 bytes to 512 KiB
const int kKeptPerCapacity = 4;

struct KeptBlocks {
    void* blocks[kKeptPerCapacity];
    int count;
};
KeptBlocks g_kept[kCapacities];

// The capacity class of a block of `size` bytes (at least 1), -1 for a large block.
int CapacityClass(size_t size) {
    const int shift = size <= 1 ? 0 : 64 - __builtin_clzll(static_cast<unsigned long long>(size - 1));
    const int capacity_class = shift > kSmallestCapacityShift ? shift - kSmallestCapacityShift : 0;
    return capacity_class < kCapacities ? capacity_class : -1;
}

size_t Capacity(int capacity_class) {
    return size_t{1} << (capacity_class + kSmallestCapacityShift);
}

// The sanitizer sees a kept block as freed memory, and the spare bytes past a
// block's size as lying outside it, as it would with the C library's blocks.
void MarkUnusable(void* start, size_t size) {
#if defined(__SANITIZE_ADDRESS__)
    ASAN_POISON_MEMORY_REGION(start, size);
#else
    (void)start;
    (void)size;
#endif
}

void MarkUsable(void* start, size_t size) {
#if defined(__SANITIZE_ADDRESS__)
    ASAN_UNPOISON_MEMORY_REGION(start, size);
#else
    (void)start;
    (void)size;
#endif
}

// A zeroed block of `size` bytes, at least 1, of the capacity class: a kept
// one, or a new one from the C library.
void* TakeBlock(int capacity_class, size_t size) {
    KeptBlocks& kept = g_kept[capacity_class];
    void* block = kept.count ? kept.blocks[--kept.count] : malloc(Capacity(capacity_class));
    if (!block) return nullptr;
    MarkUsable(block, size);
    memset(block, 0, size);
    MarkUnusable(static_cast<unsigned char*>(block) + size, Capacity(capacity_class) - size);
    return block;
}

void GiveBackBlock(int capacity_class, void* block) {
    KeptBlocks& kept = g_kept[capacity_class];
    MarkUsable(block, Capacity(capacity_class));
    if (kept.count == kKeptPerCapacity) {
        free(block);
        return;
    }
    MarkUnusable(block, Capacity(capacity_class));
    kept.blocks[kept.count++] = block;
}

}  // namespace

// ---- Accounting ----

int CountHeapBlocks(void) {
    return g_blocks.count;
}

// ---- Errors ----

DWORD GetLastError(void) {
    return g_last_error;
}

void SetLastError(DWORD error) {
    g_last_error = error;
}

// ---- The named mutex ----
// An exclusive lock on a file in a directory that only this user can reach:
// the kernel drops the lock when the process ends, however it ends, a second
// copy of the same user finds it taken, and no other user can take it or get
// in its way. The directory is $XDG_RUNTIME_DIR when that is this user's own
// (mode 0700), else /tmp/blitview-UID, made here and checked the same way.
// Where neither is safe (another user's directory, a link) there is no claim
// and the run goes on; any other failure (no descriptor left, no memory, an
// I/O error) is a failure of the claim, so that a second copy never runs
// only because the first left it no descriptors.
namespace {

enum { CLAIM_PLACE = 0, CLAIM_UNSAFE = 1, CLAIM_FAILED = -1 };

// The errors that say a place is not ours to use, rather than that this
// process could not look.
int IsUnsafePlace(int error) {
    return error == ELOOP || error == ENOTDIR || error == EACCES || error == EPERM || error == ENOENT ||
           error == EROFS;
}

// CLAIM_PLACE with the directory open, CLAIM_UNSAFE, or CLAIM_FAILED with errno.
int OpenIfPrivate(const char* path, int* directory) {
    int descriptor = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) return IsUnsafePlace(errno) ? CLAIM_UNSAFE : CLAIM_FAILED;
    struct stat status;
    if (fstat(descriptor, &status) != 0) {
        int error = errno;
        close(descriptor);
        errno = error;
        return CLAIM_FAILED;
    }
    if (!S_ISDIR(status.st_mode) || status.st_uid != geteuid() || (status.st_mode & 0777) != 0700) {
        close(descriptor);
        return CLAIM_UNSAFE;
    }
    *directory = descriptor;
    return CLAIM_PLACE;
}

int OpenClaimDirectory(int* directory) {
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') {
        int outcome = OpenIfPrivate(runtime, directory);
        if (outcome != CLAIM_UNSAFE) return outcome;
    }
    char fallback[64];
    snprintf(fallback, sizeof fallback, "/tmp/blitview-%lu", static_cast<unsigned long>(geteuid()));
    if (mkdir(fallback, 0700) != 0 && errno != EEXIST) return IsUnsafePlace(errno) ? CLAIM_UNSAFE : CLAIM_FAILED;
    return OpenIfPrivate(fallback, directory);
}

// The last error of a claim that failed for want of resources.
DWORD ClaimFailure(int error) {
    if (error == ENOMEM) return ERROR_NOT_ENOUGH_MEMORY;
    if (error == EMFILE || error == ENFILE) return ERROR_TOO_MANY_OPEN_FILES;
    return ERROR_GEN_FAILURE;
}

}  // namespace

// NULL with ERROR_ACCESS_DENIED where no safe place exists, as for a name that
// another user holds on Windows; NULL with another error when the claim failed.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initial_owner, LPCSTR name) {
    (void)attributes;
    (void)initial_owner;
    static int s_mutex_marker;
    SetLastError(ERROR_SUCCESS);
    if (!name) return &s_mutex_marker;
    char lock_name[256];
    int length = snprintf(lock_name, sizeof lock_name, "blitview-%s.lock", name);
    if (length < 0 || length >= static_cast<int>(sizeof lock_name) || strchr(name, '/')) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int directory = -1;
    int outcome = OpenClaimDirectory(&directory);
    if (outcome != CLAIM_PLACE) {
        SetLastError(outcome == CLAIM_UNSAFE ? ERROR_ACCESS_DENIED : ClaimFailure(errno));
        return nullptr;
    }
    int descriptor = openat(directory, lock_name, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    int error = errno;
    close(directory);
    if (descriptor < 0) {
        SetLastError(IsUnsafePlace(error) ? ERROR_ACCESS_DENIED : ClaimFailure(error));
        return nullptr;
    }
    struct stat status;
    int examined = fstat(descriptor, &status) == 0;
    if (!examined || !S_ISREG(status.st_mode)) {
        error = errno;
        close(descriptor);
        SetLastError(examined ? ERROR_ACCESS_DENIED : ClaimFailure(error));
        return nullptr;
    }
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        error = errno;
        close(descriptor);
        SetLastError(error == EWOULDBLOCK ? ERROR_ALREADY_EXISTS : ClaimFailure(error));
        return error == EWOULDBLOCK ? &s_mutex_marker : nullptr;
    }
    // The descriptor stays open, and so the claim stays, until the process exits.
    return &s_mutex_marker;
}


// ---- Process heap ----

HANDLE GetProcessHeap(void) {
    return &g_heap_marker;
}

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
    if (heap != &g_heap_marker || TakeFault(FAULT_HEAP_ALLOC)) return nullptr;
    // A zero-byte request still gets a distinct block.
    const size_t real_size = size ? size : 1;
    // Every block comes zeroed: large ones are fresh pages, for which
    // zeroing is free, and small ones cost next to nothing to clear.
    (void)flags;
    const int capacity_class = CapacityClass(real_size);
    void* block = capacity_class >= 0 ? TakeBlock(capacity_class, real_size) : AllocateZeroed(real_size);
    if (!block) return nullptr;
    if (AddHandle(&g_blocks, block, size) != 0) {
        if (capacity_class >= 0)
            GiveBackBlock(capacity_class, block);
        else
            ReleaseZeroed(block);
        return nullptr;
    }
    return block;
}

BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block) {
    (void)flags;
    if (heap != &g_heap_marker) return FALSE;
    if (!block) return TRUE;
    const int index = FindHandle(&g_blocks, block);
    if (index < 0) return FALSE;
    const size_t size = g_blocks.entries[index].size;
    // Whoever pinned the block still reads it: they take what they need first.
    if (FindHandle(&g_pins, block) >= 0) {
        g_before_pinned_free(block, size);
        RemoveHandle(&g_pins, block);
    }
    RemoveHandle(&g_blocks, block);
    const int capacity_class = CapacityClass(size ? size : 1);
    if (capacity_class >= 0)
        GiveBackBlock(capacity_class, block);
    else
        ReleaseZeroed(block);
    return TRUE;
}

const void* HeapBlockHolding(const void* pointer) {
    const unsigned char* p = static_cast<const unsigned char*>(pointer);
    for (int i = 0; i < g_blocks.count; i++) {
        const unsigned char* start = static_cast<const unsigned char*>(g_blocks.entries[i].handle);
        if (p >= start && p < start + g_blocks.entries[i].size) return start;
    }
    return nullptr;
}

int PinHeapBlock(const void* start, void (*before_free)(const void* start, size_t size)) {
    if (FindHandle(&g_blocks, start) < 0 || !before_free) return -1;
    if (g_before_pinned_free && g_before_pinned_free != before_free) return -1;
    const int index = FindHandle(&g_pins, start);
    if (index >= 0) {
        g_pins.entries[index].size++;
        return 0;
    }
    if (AddHandle(&g_pins, const_cast<void*>(start), 1) != 0) return -1;
    g_before_pinned_free = before_free;
    return 0;
}

void UnpinHeapBlock(const void* start) {
    const int index = FindHandle(&g_pins, start);
    if (index < 0) return;
    if (--g_pins.entries[index].size == 0) RemoveHandleAt(&g_pins, index);
}

// Readable means: inside one live heap block. Nothing is dereferenced.
BOOL IsBadReadPtr(const void* pointer, UINT_PTR size) {
    if (size == 0) return FALSE;
    if (!pointer) return TRUE;
    const unsigned char* p = static_cast<const unsigned char*>(pointer);
    for (int i = 0; i < g_blocks.count; i++) {
        const unsigned char* start = static_cast<const unsigned char*>(g_blocks.entries[i].handle);
        const size_t length = g_blocks.entries[i].size;
        if (p >= start && p < start + length && size <= static_cast<UINT_PTR>(start + length - p)) return FALSE;
    }
    return TRUE;
}
