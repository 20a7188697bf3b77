// What an access ACL grants, worked out as the kernel's access check does,
// so that a replacement whose ACL could not be copied is published only when
// it grants nobody more than the file it replaces did.
#include <stdint.h>
#include <string.h>
#include <sys/stat.h>

#include "posix.h"

namespace {

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

}  // namespace

int AclGrantsNoMore(const unsigned char* now, size_t now_size, const struct stat* now_status,
                    const unsigned char* before, size_t before_size, const struct stat* before_status,
                    int before_known) {
    Acl after, was;
    if (!now)
        AclFromMode(&after, now_status);
    else if (ParseAcl(&after, now, now_size, now_status) != 0)
        return 0;
    if (!before)
        AclFromMode(&was, before_status);
    else if (ParseAcl(&was, before, before_size, before_status) != 0)
        before_known = 0;
    // What nobody can know was granted counts as granted to the owner alone.
    if (!before_known) {
        AclFromMode(&was, before_status);
        was.group_bits = was.other_bits = was.mask_bits = 0;
    }
    return GrantsNoMore(&after, &was);
}
