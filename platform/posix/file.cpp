// Files over POSIX: reading, and writing a replacement that is put in place
// only once it is complete, with the accounting the tests rely on.
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../handle_table.h"
#include "posix.h"

namespace {

// ---- Files ----
// A file opened for writing with CREATE_ALWAYS replaces its path when it is
// closed, and only if every write succeeded, so that the path never holds a
// partial file, not even after a kill. It is written unnamed beside the path
// and, once complete, linked under a temporary name and renamed over the path.
// Where the file system has no unnamed files, or /proc is missing to link one,
// it is written under the temporary name from the start. A temporary name is
// short and fixed in form, so it fits beside any name; it is marked as ours and
// locked by the process writing it, and one of this user's usual names that is
// marked and that nobody holds was left by a killed run and is removed by the
// next run that writes into that directory (temporary.cpp). Where nothing can
// be created beside the path, or the path could not be replaced by renaming
// (another user's file in a sticky directory), the writes are kept and put
// into the file itself when it is closed.
struct PosixFile {
    int descriptor;
    int writing;
    int failed;            // a write failed or came up short: never publish
    int directory;         // the target's directory, for every name beside it
    char* name;            // the target's last component, which the file replaces when it is closed
    char temporary[TEMPORARY_NAME_SIZE];  // the name beside it while one exists, else empty
    int in_place;          // writes are kept and written into the target at the close
    unsigned char* kept;   // those writes
    size_t kept_size;
    size_t kept_capacity;
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
    if (file->directory >= 0) close(file->directory);
    free(file->name);
    free(file->kept);
    free(file);
}

// The directory part of a path, "." when it has none.
char* DirectoryOf(const char* path) {
    const char* slash = strrchr(path, '/');
    if (!slash) return strdup(".");
    if (slash == path) return strdup("/");
    return strndup(path, static_cast<size_t>(slash - path));
}

// The directory a job holds: its path's directory part as text, and what
// that text named when the job began.
struct HeldDirectory {
    char* text;
    int descriptor;
};
HeldDirectory g_held = {nullptr, -1};

// A descriptor of the directory of `path`, the caller's to close, and the
// path's last component. The held directory stands in for its own text, so a
// job never looks its path up twice. -1 with errno when there is none.
int OpenDirectoryOf(const char* path, const char** name) {
    const char* slash = strrchr(path, '/');
    *name = slash ? slash + 1 : path;
    char* directory = DirectoryOf(path);
    if (!directory) {
        errno = ENOMEM;
        return -1;
    }
    int descriptor;
    if (g_held.descriptor >= 0 && strcmp(directory, g_held.text) == 0)
        descriptor = fcntl(g_held.descriptor, F_DUPFD_CLOEXEC, 0);
    else
        descriptor = open(directory, O_PATH | O_DIRECTORY | O_CLOEXEC);
    int error = errno;
    free(directory);
    errno = error;
    return descriptor;
}

// A file opened for reading by its path, in its directory as OpenDirectoryOf
// finds it. -1 with errno on failure.
int OpenForReading(const char* path) {
    const char* name = nullptr;
    int directory = OpenDirectoryOf(path, &name);
    if (directory < 0) return -1;
    int descriptor = openat(directory, name, O_RDONLY | O_CLOEXEC);
    int error = errno;
    close(directory);
    errno = error;
    return descriptor;
}

// An unnamed file in the directory that can later be linked through /proc.
// 0, or the error that rules it out.
int OpenUnnamed(PosixFile* file, mode_t mode) {
    int descriptor = openat(file->directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (descriptor < 0) return errno;
    char link_source[64];
    snprintf(link_source, sizeof link_source, "/proc/self/fd/%d", descriptor);
    struct stat through_proc, direct;
    if (stat(link_source, &through_proc) != 0 || fstat(descriptor, &direct) != 0 ||
        through_proc.st_dev != direct.st_dev || through_proc.st_ino != direct.st_ino) {
        close(descriptor);
        return EOPNOTSUPP;
    }
    if (MarkTemporary(descriptor) != 0 || flock(descriptor, LOCK_EX) != 0) {
        int error = errno;
        close(descriptor);
        return error;
    }
    file->descriptor = descriptor;
    return 0;
}

// A new file under a fresh temporary name, locked before anything is
// written. 0, or the error of the creation.
int OpenNamed(PosixFile* file, mode_t mode) {
    for (int attempt = 0; attempt < 2 * USUAL_TEMPORARY_NAMES; attempt++) {
        MakeTemporaryName(attempt, file->temporary);
        int descriptor = openat(file->directory, file->temporary,
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (descriptor < 0) {
            if (errno == EEXIST) continue;
            file->temporary[0] = '\0';
            return errno;
        }
        // Another run may have taken the name for stale in the moment before
        // it was locked: then it is gone, or about to be, and another is made.
        struct stat status;
        if (flock(descriptor, LOCK_EX | LOCK_NB) == 0 && fstat(descriptor, &status) == 0 && status.st_nlink > 0) {
            file->descriptor = descriptor;
            if (MarkTemporary(descriptor) == 0) return 0;
            int error = errno;
            close(descriptor);
            file->descriptor = -1;
            unlinkat(file->directory, file->temporary, 0);
            file->temporary[0] = '\0';
            return error;
        }
        close(descriptor);
    }
    file->temporary[0] = '\0';
    return EEXIST;
}

// Whether renaming over the path is refused although the directory is
// writable: a sticky directory protects its entries from everyone but their
// owner, the directory's owner and root.
int RenameIsProtected(int directory, const char* name) {
    struct stat folder, entry;
    uid_t self = geteuid();
    return self != 0 && fstat(directory, &folder) == 0 && (folder.st_mode & S_ISVTX) &&
           folder.st_uid != self && fstatat(directory, name, &entry, AT_SYMLINK_NOFOLLOW) == 0 &&
           entry.st_uid != self;
}

// The fallback for a path that cannot be replaced: the file itself, opened
// now and written only at the close.
int OpenInPlace(PosixFile* file) {
    int descriptor = openat(file->directory, file->name, O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return errno;
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(descriptor);
        return EACCES;
    }
    file->descriptor = descriptor;
    file->in_place = 1;
    return 0;
}

HANDLE OpenForReplacement(const char* path) {
    int error = 0;
    const char* name = nullptr;
    struct stat existing;
    int exists = 0;
    PosixFile* file = static_cast<PosixFile*>(calloc(1, sizeof(PosixFile)));
    if (!file) {
        error = ENOMEM;
    } else {
        file->writing = 1;
        file->descriptor = -1;
        file->directory = OpenDirectoryOf(path, &name);
        if (file->directory < 0) error = errno;
    }
    if (error == 0) {
        exists = fstatat(file->directory, name, &existing, 0) == 0;
        if (exists && S_ISDIR(existing.st_mode))
            error = EISDIR;
        else if (!(file->name = strdup(name)))
            error = ENOMEM;
    }
    if (error == 0) {
        RemoveStaleTemporaries(file->directory);
        // Private until it is complete; an existing file's permissions follow.
        const mode_t mode = exists ? 0600 : 0666;
        if (exists && RenameIsProtected(file->directory, file->name)) {
            error = EACCES;
        } else {
            error = OpenUnnamed(file, mode);
            // A named one replacing a file starts write-only for its owner: until
            // it is marked, that mode, on an empty file, is what says it is ours.
            if (error == EOPNOTSUPP || error == EISDIR || error == EINVAL)
                error = OpenNamed(file, exists ? 0200 : mode);
            if (error == 0 && exists) {
                error = TakeOverAttributes(file->descriptor, file->directory, file->name, &existing);
                if (error != 0) {
                    close(file->descriptor);
                    file->descriptor = -1;
                    // The name is given up with the file: once unlinked it may
                    // be somebody else's, and nothing later may remove it.
                    if (file->temporary[0]) unlinkat(file->directory, file->temporary, 0);
                    file->temporary[0] = '\0';
                }
            }
        }
        if ((error == EACCES || error == EPERM) && exists && S_ISREG(existing.st_mode)) error = OpenInPlace(file);
        if (error == 0 && TrackFile(file) != 0) error = ENOMEM;
    }
    if (error != 0 && file) {
        if (file->descriptor >= 0) close(file->descriptor);
        if (file->temporary[0]) unlinkat(file->directory, file->temporary, 0);
        FreeFile(file);
        file = nullptr;
    }
    if (error != 0) SetLastError(ErrorFromErrno(error));
    return file ? static_cast<HANDLE>(file) : INVALID_HANDLE_VALUE;
}

// Keeps a write of a file that is written into its target at the close.
int KeepWrite(PosixFile* file, const unsigned char* bytes, size_t count) {
    if (count > SIZE_MAX - file->kept_size) return -1;
    size_t needed = file->kept_size + count;
    if (needed > file->kept_capacity) {
        size_t capacity = file->kept_capacity > SIZE_MAX / 2 ? SIZE_MAX : file->kept_capacity * 2;
        if (capacity < needed) capacity = needed;
        void* grown = realloc(file->kept, capacity);
        if (!grown) return -1;
        file->kept = static_cast<unsigned char*>(grown);
        file->kept_capacity = capacity;
    }
    memcpy(file->kept + file->kept_size, bytes, count);
    file->kept_size = needed;
    return 0;
}

int WriteAll(int descriptor, const unsigned char* bytes, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t n = write(descriptor, bytes + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        done += static_cast<size_t>(n);
    }
    return 0;
}

// Whether `size` bytes may be written under the process's file-size limit.
int FitsSizeLimit(size_t size) {
    struct rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0) return 0;
    return limit.rlim_cur == RLIM_INFINITY || size <= limit.rlim_cur;
}

// The kept writes put into the target itself. One that the file-size limit
// would cut short fails before the target is touched; a failure once it has
// been cut leaves it empty rather than partial.
int WriteInPlace(PosixFile* file) {
    int result = TakeFault(FAULT_CLOSE_HANDLE) || !FitsSizeLimit(file->kept_size) ? -1 : 0;
    if (result == 0 && ftruncate(file->descriptor, 0) != 0) result = -1;
    if (result == 0 && (WriteAll(file->descriptor, file->kept, file->kept_size) != 0 || fsync(file->descriptor) != 0)) {
        (void)!ftruncate(file->descriptor, 0);
        result = -1;
    }
    if (close(file->descriptor) != 0) result = -1;
    return result;
}

// Puts a fully written replacement file in place. 0, or -1 with the path as
// it was and nothing left behind under any other name.
int Publish(PosixFile* file) {
    if (file->in_place) return WriteInPlace(file);
    int result = fsync(file->descriptor) == 0 ? 0 : -1;
    if (TakeFault(FAULT_CLOSE_HANDLE)) result = -1;
    // The unnamed file gets its temporary name only now that it is complete;
    // it stays locked, so a kill before the rename leaves a name that the
    // next run recognises as stale.
    if (result == 0 && !file->temporary[0]) {
        char link_source[64];
        snprintf(link_source, sizeof link_source, "/proc/self/fd/%d", file->descriptor);
        result = -1;
        for (int attempt = 0; attempt < 2 * USUAL_TEMPORARY_NAMES && result != 0; attempt++) {
            MakeTemporaryName(attempt, file->temporary);
            if (linkat(AT_FDCWD, link_source, file->directory, file->temporary, AT_SYMLINK_FOLLOW) == 0)
                result = 0;
            else if (errno != EEXIST)
                break;
        }
        if (result != 0) file->temporary[0] = '\0';
    }
    if (result == 0 && renameat(file->directory, file->temporary, file->directory, file->name) != 0) result = -1;
    if (result == 0) {
        file->temporary[0] = '\0';
        // Under the path's name the mark means nothing; a kill before it is
        // off leaves it on a file that is no leftover.
        UnmarkTemporary(file->descriptor);
    }
    if (close(file->descriptor) != 0 && result == 0) {
        unlinkat(file->directory, file->name, 0);
        result = -1;
    }
    if (file->temporary[0]) unlinkat(file->directory, file->temporary, 0);
    return result;
}
}  // namespace

int CountOpenFiles(void) {
    return g_files.count;
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
        int descriptor = OpenForReading(name);
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
        file->directory = -1;
        return file;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
}

// Here a file opened with CREATE_ALWAYS already replaces its path only once
// it is complete.
HANDLE CreateReplacementFile(LPCSTR path) {
    return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

BOOL CloseReplacementFile(HANDLE handle, LPCSTR path, BOOL complete) {
    (void)path;
    PosixFile* file = FindFile(handle);
    if (file && !complete) file->failed = 1;
    return CloseHandle(handle);
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
    if (file->in_place) {
        if (KeepWrite(file, p, wanted) != 0) {
            file->failed = 1;
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        if (written) *written = wanted;
        return TRUE;
    }
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
        if (file->temporary[0]) unlinkat(file->directory, file->temporary, 0);
    }
    FreeFile(file);
    if (result != 0) SetLastError(ERROR_WRITE_FAULT);
    return result == 0;
}

// Only a regular file or a symbolic link (the link, not what it names) is
// removed: a device, FIFO, socket or directory at the path stays.
BOOL DeleteFileA(LPCSTR path) {
    if (!path) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    const char* name = nullptr;
    int directory = OpenDirectoryOf(path, &name);
    struct stat status;
    int error = directory < 0 || fstatat(directory, name, &status, AT_SYMLINK_NOFOLLOW) != 0 ? errno : 0;
    if (error == 0 && !S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) error = EACCES;
    if (error == 0 && unlinkat(directory, name, 0) != 0) error = errno;
    if (directory >= 0) close(directory);
    if (error != 0) SetLastError(ErrorFromErrno(error));
    return error == 0;
}

// ---- One directory for a whole job ----

int HoldDirectoryOf(LPCSTR path) {
    ReleaseHeldDirectory();
    const char* name = nullptr;
    int descriptor = OpenDirectoryOf(path, &name);
    char* text = descriptor >= 0 ? DirectoryOf(path) : nullptr;
    if (!text) {
        if (descriptor >= 0) close(descriptor);
        return -1;
    }
    g_held.text = text;
    g_held.descriptor = descriptor;
    return 0;
}

void ReleaseHeldDirectory(void) {
    if (g_held.descriptor >= 0) close(g_held.descriptor);
    free(g_held.text);
    g_held.text = nullptr;
    g_held.descriptor = -1;
}

FILE* OpenFileStream(LPCSTR path) {
    int descriptor = OpenForReading(path);
    FILE* stream = descriptor >= 0 ? fdopen(descriptor, "rb") : nullptr;
    if (!stream && descriptor >= 0) close(descriptor);
    return stream;
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
