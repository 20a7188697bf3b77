// Whether a replacement's access ACL grants anybody more than the replaced
// file's did, decided without root or a file system that keeps ACLs: the
// on-disk forms are built here and compared as the kernel's check reads them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

#include "platform/posix/posix.h"
#include "tests/fixtures/file_builders.h"

namespace {

enum { USER_OBJ = 0x01, USER = 0x02, GROUP_OBJ = 0x04, GROUP = 0x08, MASK = 0x10, OTHER = 0x20 };

struct AclEntry {
    unsigned tag, bits;
    uint32_t id;
};

// A file: its mode, owner and group, and its ACL's entries (none: no ACL, the
// mode alone; a version other than 2 makes a form nobody knows).
struct File {
    unsigned mode;
    uint32_t owner, group;
    std::vector<AclEntry> acl;
    uint32_t version = 2;
};

struct GrantCase {
    const char* name;
    File now, before;
    int before_known;
    int grants_no_more;
};

std::vector<unsigned char> OnDisk(const File& file) {
    std::vector<unsigned char> bytes(4 + 8 * file.acl.size());
    PutU32Le(bytes.data(), file.version);
    for (size_t i = 0; i < file.acl.size(); i++) {
        PutU16Le(&bytes[4 + 8 * i], static_cast<uint16_t>(file.acl[i].tag));
        PutU16Le(&bytes[6 + 8 * i], static_cast<uint16_t>(file.acl[i].bits));
        PutU32Le(&bytes[8 + 8 * i], file.acl[i].id);
    }
    return bytes;
}

struct stat Status(const File& file) {
    struct stat status = {};
    status.st_mode = S_IFREG | file.mode;
    status.st_uid = file.owner;
    status.st_gid = file.group;
    return status;
}

// rw- for the owner, then a named user 1001 or group 60 with the given bits
// under the given mask, and nothing for the rest.
std::vector<AclEntry> Named(unsigned tag, unsigned bits, unsigned mask) {
    return {{USER_OBJ, 6, 0}, {tag, bits, tag == USER ? 1001u : 60u}, {GROUP_OBJ, 0, 0}, {MASK, mask, 0}, {OTHER, 0, 0}};
}

std::vector<AclEntry> ManyGroups(int count) {
    std::vector<AclEntry> acl = {{USER_OBJ, 6, 0}, {GROUP_OBJ, 0, 0}, {MASK, 7, 0}, {OTHER, 0, 0}};
    for (int g = 0; g < count; g++) acl.push_back({GROUP, 4, static_cast<uint32_t>(100 + g)});
    return acl;
}

TEST(AclGrants, ANewFileIsPublishedOnlyWhenItGrantsNoMore) {
    const File plain600 = {0600, 1000, 50, {}};
    const GrantCase cases[] = {
        {"the same mode", plain600, plain600, 1, 1},
        {"others gain read", {0604, 1000, 50, {}}, plain600, 1, 0},
        {"the group gains write", {0660, 1000, 50, {}}, {0640, 1000, 50, {}}, 1, 0},
        {"less for everyone", plain600, {0644, 1000, 50, {}}, 1, 1},
        {"another group is granted what the old group had", {0640, 1000, 51, {}}, {0640, 1000, 50, {}}, 1, 0},
        {"another owner", {0600, 0, 50, {}}, plain600, 1, 0},
        {"a named user lost", plain600, {0660, 1000, 50, Named(USER, 6, 6)}, 1, 1},
        {"a named user gained", {0640, 1000, 50, Named(USER, 4, 4)}, plain600, 1, 0},
        {"the mask holds a named user back", {0640, 1000, 50, Named(USER, 6, 4)}, {0640, 1000, 50, Named(USER, 4, 4)},
         1, 1},
        {"a wider mask lets a named user write", {0660, 1000, 50, Named(USER, 6, 6)},
         {0640, 1000, 50, Named(USER, 6, 4)}, 1, 0},
        {"a named group for the old owning group", {0640, 1000, 51, Named(GROUP, 4, 4)}, {0640, 1000, 60, {}}, 1, 1},
        {"the mask holds a named group back", {0640, 1000, 51, Named(GROUP, 6, 4)}, {0640, 1000, 60, {}}, 1, 1},
        {"a named group gained", {0640, 1000, 50, Named(GROUP, 4, 4)}, plain600, 1, 0},
        {"an old ACL nobody could read: the owner alone", {0640, 1000, 50, {}}, {0644, 1000, 50, {}}, 0, 0},
        {"an old ACL nobody could read, the owner alone kept", plain600, {0644, 1000, 50, {}}, 0, 1},
        {"an old ACL of a form not known", {0640, 1000, 50, {}}, {0644, 1000, 50, Named(USER, 4, 4), 3}, 1, 0},
        {"a new ACL of a form not known", {0600, 1000, 50, Named(USER, 4, 4), 3}, {0644, 1000, 50, {}}, 1, 0},
        {"too many groups to weigh", {0600, 1000, 50, ManyGroups(10)}, {0600, 1000, 50, ManyGroups(10)}, 1, 0},
        {"groups enough to weigh", {0600, 1000, 50, ManyGroups(8)}, {0600, 1000, 50, ManyGroups(9)}, 1, 1},
    };
    for (const GrantCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<unsigned char> now = OnDisk(c.now), before = OnDisk(c.before);
        const struct stat now_status = Status(c.now), before_status = Status(c.before);
        EXPECT_EQ(AclGrantsNoMore(c.now.acl.empty() ? nullptr : now.data(), now.size(), &now_status,
                                  c.before.acl.empty() ? nullptr : before.data(), before.size(), &before_status,
                                  c.before_known),
                  c.grants_no_more);
    }
}

}  // namespace
