// Kernel calls over POSIX: the last-error code, the named mutex, files, the
// process heap and the read probe, with the accounting the tests rely on.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "handle_table.h"
#include "internal.h"

namespace {

thread_local DWORD g_last_error = 0;

int g_fault_skip[FAULT_KIND_COUNT] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

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

// ---- Heap blocks ----
// Live blocks are kept with their sizes so that IsBadReadPtr can answer from
// what the program owns instead of touching the memory it is asked about.
HandleTable g_blocks = {};
int g_heap_marker;  // its address serves as the process heap's handle

// ---- Files ----
// A file opened for writing with CREATE_ALWAYS is written unnamed beside its
// path and put in place by CloseHandle once everything written has landed, so
// that the path never holds a partial file, not even after a kill. Where the
// file system has no unnamed files, a hidden temporary name stands in.
struct PosixFile {
    int descriptor;
    int writing;
    int failed;           // a write failed or came up short: never publish
    char* target;         // the path the file replaces when it is closed
    char* temporary;      // a named temporary, where unnamed files are unsupported
};
HandleTable g_files = {};

int TrackFile(PosixFile* file) {
    return AddHandle(&g_files, file, 0);
}

PosixFile* FindFile(HANDLE handle) {
    int index = FindHandle(&g_files, handle);
    return index < 0 ? nullptr : static_cast<PosixFile*>(g_files.entries[index].handle);
}

void FreeFile(PosixFile* file) {
    free(file->target);
    free(file->temporary);
    free(file);
}

// The directory part of a path, "." when it has none.
char* DirectoryOf(const char* path) {
    const char* slash = strrchr(path, '/');
    if (!slash) return strdup(".");
    if (slash == path) return strdup("/");
    return strndup(path, static_cast<size_t>(slash - path));
}

// A hidden name beside `path` for the fallback temporary file.
char* TemporaryNameFor(const char* path) {
    const char* slash = strrchr(path, '/');
    size_t directory_length = slash ? static_cast<size_t>(slash - path) + 1 : 0;
    const char* base = path + directory_length;
    size_t length = directory_length + 1 + strlen(base) + 32;
    char* name = static_cast<char*>(malloc(length));
    if (!name) return nullptr;
    snprintf(name, length, "%.*s.%s.%ld.XXXXXX", static_cast<int>(directory_length), path, base,
             static_cast<long>(getpid()));
    return name;
}

HANDLE OpenForReplacement(const char* path) {
    struct stat existing;
    if (stat(path, &existing) == 0 && S_ISDIR(existing.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    PosixFile* file = static_cast<PosixFile*>(calloc(1, sizeof(PosixFile)));
    char* directory = DirectoryOf(path);
    if (!file || !directory || !(file->target = strdup(path))) {
        free(directory);
        if (file) FreeFile(file);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    file->writing = 1;
    file->descriptor = open(directory, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    free(directory);
    if (file->descriptor < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        file->temporary = TemporaryNameFor(path);
        if (file->temporary) {
            file->descriptor = mkostemp(file->temporary, O_CLOEXEC);
            if (file->descriptor >= 0) {
                mode_t mask = umask(0);
                umask(mask);
                if (fchmod(file->descriptor, 0666 & ~mask) != 0) file->failed = 1;
            }
        }
    }
    if (file->descriptor < 0 || TrackFile(file) != 0) {
        SetLastError(ErrorFromErrno(errno));
        if (file->descriptor >= 0) close(file->descriptor);
        if (file->temporary && file->descriptor >= 0) unlink(file->temporary);
        FreeFile(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

// Puts a fully written replacement file in place. 0, or -1 with nothing left
// behind under any name.
int Publish(PosixFile* file) {
    int result = fsync(file->descriptor) == 0 ? 0 : -1;
    if (file->temporary) {
        if (close(file->descriptor) != 0 || TakeFault(FAULT_CLOSE_HANDLE)) result = -1;
        if (result == 0 && rename(file->temporary, file->target) != 0) result = -1;
        if (result != 0) unlink(file->temporary);
        return result;
    }
    // The target goes, then the finished file is linked under its name: a
    // kill between the two leaves nothing at the path, never a partial file,
    // and no other name behind.
    if (TakeFault(FAULT_CLOSE_HANDLE)) result = -1;
    if (result == 0) {
        char link_source[64];
        snprintf(link_source, sizeof link_source, "/proc/self/fd/%d", file->descriptor);
        if (unlink(file->target) != 0 && errno != ENOENT)
            result = -1;
        else if (linkat(AT_FDCWD, link_source, AT_FDCWD, file->target, AT_SYMLINK_FOLLOW) != 0)
            result = -1;
    }
    if (close(file->descriptor) != 0) {
        if (result == 0) unlink(file->target);
        result = -1;
    }
    return result;
}

}  // namespace

// ---- Fault injection and accounting ----

int TakeFault(PlatformFault kind) {
    int& skip = g_fault_skip[kind];
    if (skip < 0) return 0;
    if (skip > 0) {
        skip--;
        return 0;
    }
    skip = -1;
    return 1;
}

void InjectFault(PlatformFault kind, int skip) {
    g_fault_skip[kind] = skip;
}

int ClearFaults(void) {
    int unfired = 0;
    for (int& skip : g_fault_skip) {
        if (skip >= 0) unfired++;
        skip = -1;
    }
    return unfired;
}

int CountOpenFiles(void) {
    return g_files.count;
}

int CountHeapBlocks(void) {
    return g_blocks.count;
}

PlatformCounts GetPlatformCounts(void) {
    PlatformCounts counts;
    counts.gdi_objects = CountLiveGdiObjects();
    counts.device_contexts = CountLiveDeviceContexts();
    counts.files = CountOpenFiles();
    counts.heap_blocks = CountHeapBlocks();
    return counts;
}

// ---- Errors ----

DWORD GetLastError(void) {
    return g_last_error;
}

void SetLastError(DWORD error) {
    g_last_error = error;
}

// ---- The named mutex ----
// An abstract-namespace socket bound under the mutex's name and the user's id:
// the kernel frees the name when the process ends, however it ends, and a
// second bind while it lives fails as a second CreateMutex sees the first.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initial_owner, LPCSTR name) {
    (void)attributes;
    (void)initial_owner;
    static int s_mutex_marker;
    SetLastError(ERROR_SUCCESS);
    if (!name) return &s_mutex_marker;
    int descriptor = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    int length = snprintf(address.sun_path + 1, sizeof(address.sun_path) - 1, "blitview-mutex-%s-%lu",
                          name, static_cast<unsigned long>(getuid()));
    if (length < 0 || length >= static_cast<int>(sizeof(address.sun_path) - 1)) {
        close(descriptor);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (bind(descriptor, reinterpret_cast<sockaddr*>(&address), size) != 0) {
        int error = errno;
        close(descriptor);
        if (error == EADDRINUSE) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return &s_mutex_marker;
        }
        SetLastError(ErrorFromErrno(error));
        return nullptr;
    }
    // The descriptor stays open, and so the claim stays, until the process exits.
    return &s_mutex_marker;
}

// ---- Files ----

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD disposition, DWORD flags, HANDLE template_file) {
    (void)share_mode;
    (void)attributes;
    (void)flags;
    (void)template_file;
    if (!name || name[0] == '\0') {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (TakeFault(FAULT_CREATE_FILE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if ((access & GENERIC_WRITE) && disposition == CREATE_ALWAYS) return OpenForReplacement(name);
    if (access == GENERIC_READ && disposition == OPEN_EXISTING) {
        int descriptor = open(name, O_RDONLY | O_CLOEXEC);
        if (descriptor < 0) {
            SetLastError(ErrorFromErrno(errno));
            return INVALID_HANDLE_VALUE;
        }
        struct stat status;
        if (fstat(descriptor, &status) != 0 || S_ISDIR(status.st_mode)) {
            close(descriptor);
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        PosixFile* file = static_cast<PosixFile*>(calloc(1, sizeof(PosixFile)));
        if (!file || TrackFile(file) != 0) {
            free(file);
            close(descriptor);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return INVALID_HANDLE_VALUE;
        }
        file->descriptor = descriptor;
        return file;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) {
    (void)overlapped;
    if (written) *written = 0;
    PosixFile* file = FindFile(handle);
    if (!file || !file->writing) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (TakeFault(FAULT_WRITE_FILE)) {
        file->failed = 1;
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    DWORD wanted = count;
    if (TakeFault(FAULT_SHORT_WRITE)) {
        wanted = count / 2;
        file->failed = 1;
    }
    const unsigned char* p = static_cast<const unsigned char*>(buffer);
    DWORD done = 0;
    while (done < wanted) {
        ssize_t n = write(file->descriptor, p + done, wanted - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            file->failed = 1;
            SetLastError(ErrorFromErrno(errno));
            if (written) *written = done;
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (written) *written = done;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    PosixFile* file = FindFile(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    RemoveHandle(&g_files, file);
    int result = 0;
    if (file->writing && !file->failed) {
        result = Publish(file);
    } else {
        // A file whose writing failed is dropped, and the close says so.
        if (close(file->descriptor) != 0 || file->writing) result = -1;
        if (file->temporary) unlink(file->temporary);
    }
    FreeFile(file);
    if (result != 0) SetLastError(ERROR_WRITE_FAULT);
    return result == 0;
}

BOOL DeleteFileA(LPCSTR name) {
    if (!name || unlink(name) != 0) {
        SetLastError(ErrorFromErrno(name ? errno : ENOENT));
        return FALSE;
    }
    return TRUE;
}

// ---- Process heap ----

HANDLE GetProcessHeap(void) {
    return &g_heap_marker;
}

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
    if (heap != &g_heap_marker || TakeFault(FAULT_HEAP_ALLOC)) return nullptr;
    // A zero-byte request still gets a distinct block.
    size_t real_size = size ? size : 1;
    void* block = (flags & HEAP_ZERO_MEMORY) ? calloc(1, real_size) : malloc(real_size);
    if (!block) return nullptr;
    if (AddHandle(&g_blocks, block, size) != 0) {
        free(block);
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
    // Uploads kept for later still read this block.
    SettleUploadsFrom(block, g_blocks.entries[index].size);
    RemoveHandle(&g_blocks, block);
    free(block);
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

// ---- Reading files ----

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD read_count, LPOVERLAPPED overlapped) {
    (void)overlapped;
    if (read_count) *read_count = 0;
    PosixFile* file = FindFile(handle);
    if (!file || file->writing) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (TakeFault(FAULT_READ_FILE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    unsigned char* p = static_cast<unsigned char*>(buffer);
    DWORD done = 0;
    // Like the Win32 call, a read stops short only at the end of the file.
    while (done < count) {
        ssize_t n = read(file->descriptor, p + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            SetLastError(ErrorFromErrno(errno));
            if (read_count) *read_count = done;
            return FALSE;
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    if (read_count) *read_count = done;
    return TRUE;
}

DWORD GetFileSize(HANDLE handle, LPDWORD high_part) {
    PosixFile* file = FindFile(handle);
    struct stat status;
    if (!file || TakeFault(FAULT_FILE_SIZE) || fstat(file->descriptor, &status) != 0 || status.st_size < 0) {
        SetLastError(!file ? ERROR_INVALID_HANDLE : ErrorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(status.st_size);
    if (high_part) *high_part = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}
