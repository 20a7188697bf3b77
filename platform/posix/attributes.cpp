// What a replacement file takes over from the file it replaces, beyond its
// bytes: owner, group and permission bits, the access ACL exactly, and the
// user's and security extended attributes. Kernel calls only: an ACL is the
// "system.posix_acl_access" attribute, read and written whole.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "posix.h"

namespace {

const char kAccessAcl[] = "system.posix_acl_access";

// An attribute's value in a new block, its size in `size`; NULL with errno.
unsigned char* ReadAttribute(int descriptor, const char* name, size_t* size) {
    for (int attempt = 0; attempt < 4; attempt++) {
        ssize_t needed = fgetxattr(descriptor, name, nullptr, 0);
        if (needed < 0) return nullptr;
        unsigned char* value = static_cast<unsigned char*>(malloc(needed > 0 ? static_cast<size_t>(needed) : 1));
        if (!value) {
            errno = ENOMEM;
            return nullptr;
        }
        ssize_t got = fgetxattr(descriptor, name, value, static_cast<size_t>(needed));
        if (got >= 0) {
            *size = static_cast<size_t>(got);
            return value;
        }
        free(value);
        if (errno != ERANGE) return nullptr;
    }
    errno = ERANGE;
    return nullptr;
}

// The user's attributes, and the security ones where this process may set
// them, copied from `from` to `to`. 0, or the error that stopped the copy.
int CopyExtendedAttributes(int from, int to) {
    ssize_t length = flistxattr(from, nullptr, 0);
    if (length < 0) return errno == ENOTSUP ? 0 : errno;
    char* names = static_cast<char*>(malloc(static_cast<size_t>(length) + 1));
    if (!names) return ENOMEM;
    length = flistxattr(from, names, static_cast<size_t>(length));
    int error = length < 0 ? errno : 0;
    for (ssize_t at = 0; error == 0 && at < length; at += static_cast<ssize_t>(strlen(names + at)) + 1) {
        const char* name = names + at;
        int user = strncmp(name, "user.", 5) == 0, security = strncmp(name, "security.", 9) == 0;
        if ((!user && !security) || IsTemporaryMark(name)) continue;
        size_t size = 0;
        unsigned char* value = ReadAttribute(from, name, &size);
        if (!value) {
            if (errno != ENODATA) error = errno;
            continue;
        }
        if (fsetxattr(to, name, value, size, 0) != 0 &&
            (user || (errno != EPERM && errno != EACCES && errno != ENOTSUP)))
            error = errno;
        free(value);
    }
    free(names);
    return error;
}

// The replaced file opened to read its attributes, -1 where it cannot be
// without side effects (a device) or it is no longer the file stated.
int OpenReplaced(int directory, const char* name, const struct stat* replaced) {
    if (!S_ISREG(replaced->st_mode) && !S_ISFIFO(replaced->st_mode)) return -1;
    int descriptor = openat(directory, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat opened;
    if (descriptor >= 0 && (fstat(descriptor, &opened) != 0 || opened.st_dev != replaced->st_dev ||
                            opened.st_ino != replaced->st_ino)) {
        close(descriptor);
        descriptor = -1;
    }
    return descriptor;
}

}  // namespace

// Owner and group first (a change of owner would clear what follows), then
// the attributes while the new file is still writable by its owner, then the
// ACL, then the permission bits, which with an ACL set its mask. A group it
// could not keep gets no more than everyone else. Where the ACL could not be
// copied, the file is kept only if it grants no one more than the old one
// did; an old file whose ACL cannot be read counts as granting only its owner.
int TakeOverAttributes(int descriptor, int directory, const char* name, const struct stat* replaced) {
    if (fchown(descriptor, replaced->st_uid, replaced->st_gid) != 0)
        (void)!fchown(descriptor, static_cast<uid_t>(-1), replaced->st_gid);
    int old = OpenReplaced(directory, name, replaced);
    int error = old >= 0 ? CopyExtendedAttributes(old, descriptor) : 0;
    size_t acl_size = 0;
    unsigned char* acl = nullptr;
    int known = old >= 0;  // whether the old file's ACL, or its having none, is known
    if (error == 0 && known) {
        acl = ReadAttribute(old, kAccessAcl, &acl_size);
        if (!acl && errno != ENODATA && errno != ENOTSUP) known = 0;
    }
    int copied = 0;
    if (error == 0) {
        if (acl)
            copied = fsetxattr(descriptor, kAccessAcl, acl, acl_size, 0) == 0;
        else
            copied = (fremovexattr(descriptor, kAccessAcl) == 0 || errno == ENODATA || errno == ENOTSUP) && known;
    }
    struct stat now;
    if (error == 0 && fstat(descriptor, &now) != 0) error = errno;
    if (error == 0) {
        mode_t mode = replaced->st_mode & 0777;
        if (now.st_gid != replaced->st_gid) mode &= ~(070 & ~((mode & 07) << 3));
        if (fchmod(descriptor, mode) != 0 && (fstat(descriptor, &now) != 0 || (now.st_mode & 0777 & ~mode) != 0))
            error = EPERM;
    }
    if (error == 0 && !copied) {
        size_t result_size = 0;
        int readable = fstat(descriptor, &now) == 0;
        unsigned char* result = readable ? ReadAttribute(descriptor, kAccessAcl, &result_size) : nullptr;
        if (!result && !(readable && (errno == ENODATA || errno == ENOTSUP))) readable = 0;
        if (!readable || !AclGrantsNoMore(result, result_size, &now, acl, acl_size, replaced, known)) error = ENOTSUP;
        free(result);
    }
    free(acl);
    if (old >= 0) close(old);
    return error;
}
