// What a replacement file takes over from the file it replaces, beyond its
// bytes: owner, group and permission bits, the access ACL exactly, and the
// user's and security extended attributes. Kernel calls only: an ACL is the
// "system.posix_acl_access" attribute, read and written whole.
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "posix.h"

namespace {

const char kAccessAcl[] = "system.posix_acl_access";

// The on-disk form of an ACL: a version word, then entries of tag,
// permission bits and id, all little-endian.
enum { ACL_VERSION = 2, MAX_NAMED = 32 };
enum { TAG_USER_OBJ = 0x01, TAG_USER = 0x02, TAG_GROUP_OBJ = 0x04, TAG_GROUP = 0x08, TAG_MASK = 0x10, TAG_OTHER = 0x20 };

// An ACL as the access check reads it; a file without one is its mode bits.
struct Acl {
    unsigned owner_bits, group_bits, other_bits, mask_bits;
    int users, groups;
    uint32_t user_ids[MAX_NAMED], group_ids[MAX_NAMED];
    unsigned user_bits[MAX_NAMED], group_bits_named[MAX_NAMED];
    uid_t owner;
    gid_t group;
};

void AclFromMode(Acl* acl, const struct stat* status) {
    memset(acl, 0, sizeof *acl);
    acl->owner_bits = (status->st_mode >> 6) & 7;
    acl->group_bits = (status->st_mode >> 3) & 7;
    acl->other_bits = status->st_mode & 7;
    acl->mask_bits = 7;
    acl->owner = status->st_uid;
    acl->group = status->st_gid;
}

uint32_t LittleEndian(const unsigned char* p, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; i--) value = value << 8 | p[i];
    return value;
}

// 0, or -1 for a form it does not know or more named entries than it keeps.
int ParseAcl(Acl* acl, const unsigned char* bytes, size_t size, const struct stat* status) {
    AclFromMode(acl, status);
    if (size < 4 || (size - 4) % 8 != 0 || LittleEndian(bytes, 4) != ACL_VERSION) return -1;
    for (size_t at = 4; at < size; at += 8) {
        unsigned tag = LittleEndian(bytes + at, 2), bits = LittleEndian(bytes + at + 2, 2) & 7;
        uint32_t id = LittleEndian(bytes + at + 4, 4);
        if (tag == TAG_USER_OBJ) acl->owner_bits = bits;
        else if (tag == TAG_GROUP_OBJ) acl->group_bits = bits;
        else if (tag == TAG_OTHER) acl->other_bits = bits;
        else if (tag == TAG_MASK) acl->mask_bits = bits;
        else if (tag == TAG_USER && acl->users < MAX_NAMED) {
            acl->user_ids[acl->users] = id;
            acl->user_bits[acl->users++] = bits;
        } else if (tag == TAG_GROUP && acl->groups < MAX_NAMED) {
            acl->group_ids[acl->groups] = id;
            acl->group_bits_named[acl->groups++] = bits;
        } else {
            return -1;
        }
    }
    return 0;
}

// What the kernel's access check grants a process of `uid` that is a member
// of the groups of `groups` whose bit is set in `member`.
unsigned Grants(const Acl* acl, uint32_t uid, const uint32_t* groups, int group_count, unsigned member) {
    if (uid == acl->owner) return acl->owner_bits;
    for (int i = 0; i < acl->users; i++)
        if (acl->user_ids[i] == uid) return acl->user_bits[i] & acl->mask_bits;
    int matched = 0;
    unsigned bits = 0;
    for (int g = 0; g < group_count; g++) {
        if (!(member >> g & 1)) continue;
        if (groups[g] == acl->group) {
            matched = 1;
            bits |= acl->group_bits;
        }
        for (int i = 0; i < acl->groups; i++)
            if (acl->group_ids[i] == groups[g]) {
                matched = 1;
                bits |= acl->group_bits_named[i];
            }
    }
    return matched ? bits & acl->mask_bits : acl->other_bits;
}

void AddId(uint32_t* ids, int* count, uint32_t id) {
    for (int i = 0; i < *count; i++)
        if (ids[i] == id) return;
    ids[(*count)++] = id;
}

// Whether `now` grants no process anything that `before` did not: every user
// either names, and one that neither names, each with every combination of
// the groups either names.
int GrantsNoMore(const Acl* now, const Acl* before) {
    enum { MAX_GROUPS = 10 };
    uint32_t users[2 * MAX_NAMED + 3], groups[2 * MAX_NAMED + 2];
    int user_count = 0, group_count = 0;
    const Acl* both[2] = {now, before};
    for (const Acl* acl : both) {
        AddId(users, &user_count, acl->owner);
        for (int i = 0; i < acl->users; i++) AddId(users, &user_count, acl->user_ids[i]);
        AddId(groups, &group_count, acl->group);
        for (int i = 0; i < acl->groups; i++) AddId(groups, &group_count, acl->group_ids[i]);
    }
    if (group_count > MAX_GROUPS) return 0;
    // An id that is nobody's here stands for every other user.
    uint32_t stranger = 0;
    for (int i = 0; i < user_count; i++)
        if (users[i] >= stranger) stranger = users[i] + 1;
    users[user_count++] = stranger;
    for (int u = 0; u < user_count; u++)
        for (unsigned member = 0; member < (1u << group_count); member++)
            if (Grants(now, users[u], groups, group_count, member) &
                ~Grants(before, users[u], groups, group_count, member))
                return 0;
    return 1;
}

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
        Acl before, after;
        if (acl && ParseAcl(&before, acl, acl_size, replaced) != 0) known = 0;
        if (!acl) AclFromMode(&before, replaced);
        if (!known) {
            before.group_bits = before.other_bits = before.mask_bits = 0;
            before.users = before.groups = 0;
        }
        size_t result_size = 0;
        int readable = fstat(descriptor, &now) == 0;
        unsigned char* result = readable ? ReadAttribute(descriptor, kAccessAcl, &result_size) : nullptr;
        if (result)
            readable = ParseAcl(&after, result, result_size, &now) == 0;
        else if (readable && (errno == ENODATA || errno == ENOTSUP))
            AclFromMode(&after, &now);
        else
            readable = 0;
        free(result);
        if (!readable || !GrantsNoMore(&after, &before)) error = ENOTSUP;
    }
    free(acl);
    if (old >= 0) close(old);
    return error;
}
