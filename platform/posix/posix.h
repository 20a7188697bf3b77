// Shared by the files of the POSIX kernel backend only.
#pragma once

#include <sys/stat.h>

#include "../backend.h"

// The last-error code that stands for an errno value.
DWORD ErrorFromErrno(int error);

// ---- Temporaries beside a replaced file (temporary.cpp) ----
// Every temporary name is ".blitview-" and eight letters or digits. The first
// USUAL_TEMPORARY_NAMES attempts give the same names in every directory for
// one user, so that the next run finds what a killed one left by looking up
// those names alone; later attempts give random ones.
#define TEMPORARY_NAME_SIZE 19
#define USUAL_TEMPORARY_NAMES 16
void MakeTemporaryName(int attempt, char name[TEMPORARY_NAME_SIZE]);
// Marks a new temporary as ours (a user attribute, where the file system keeps
// them), before it is locked or written; 0, or -1 with errno. The mark is
// taken off once the file has its path's name.
int MarkTemporary(int descriptor);
void UnmarkTemporary(int descriptor);
// Whether an attribute's name is the mark.
int IsTemporaryMark(const char* attribute);
// Removes what killed runs of this user left in `directory` under the usual
// names: regular files of ours, marked, that no live run holds locked.
void RemoveStaleTemporaries(int directory);

// ---- What a replacement takes over (attributes.cpp) ----
// Gives the new file at `descriptor` the owner, group, permission bits, access
// ACL and user and security attributes of the file it replaces, `name` in
// `directory` as `replaced` states it. 0; EPERM or EACCES where the bits
// cannot be given; another error where the ACL or an attribute could not be
// copied and the file may not be published.
int TakeOverAttributes(int descriptor, int directory, const char* name, const struct stat* replaced);

// ---- What an access ACL grants (acl_grants.cpp) ----
// 1 when the access ACL `now` (its on-disk form; NULL for a file without one,
// which grants its mode bits) of a file stated as `now_status` grants no
// process anything that `before` of `before_status` did not; 0 when it may,
// or when `now` is of a form not known. Where `before_known` is 0, or
// `before` is of a form not known, the old file counts as granting its owner
// alone.
int AclGrantsNoMore(const unsigned char* now, size_t now_size, const struct stat* now_status,
                    const unsigned char* before, size_t before_size, const struct stat* before_status,
                    int before_known);
