// Moving a finished file into place under a name that must not exist yet, inside one folder.
// Any thread.
#pragma once

namespace qv {

// The kernel's renameat2, or a stand-in with its signature.
using Renameat2 = int (*)(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                          unsigned int flags);

// Renames `from` to `to`, both relative to the folder `dir`, unless something is already called
// `to`. Atomic where the file system offers RENAME_NOREPLACE; where it does not (EINVAL from
// NFS and some FUSE file systems, ENOSYS from old kernels) by a hard link under the new name,
// which fails as well when the name exists, and the removal of the old name. Returns 0, or an
// errno value: EEXIST when `to` exists (then nothing changed). `rename2` is for tests.
int renameNoReplace(int dir, const char* from, const char* to, Renameat2 rename2 = nullptr);

}  // namespace qv
