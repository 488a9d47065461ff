#include "supervisor/no_replace_rename.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>

namespace qv {

int renameNoReplace(int dir, const char* from, const char* to, Renameat2 rename2) {
    if (!rename2) rename2 = ::renameat2;
    if (rename2(dir, from, dir, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // No atomic no-replace rename here: a link cannot replace anything either. Between the
    // link and the unlink both names show the same complete file, never a partial one.
    if (::linkat(dir, from, dir, to, 0) != 0) return errno;
    if (::unlinkat(dir, from, 0) != 0) {
        const int error = errno;
        // Keep the file under one name only: the caller sees a failure and may try again.
        ::unlinkat(dir, to, 0);
        return error;
    }
    return 0;
}

}  // namespace qv
