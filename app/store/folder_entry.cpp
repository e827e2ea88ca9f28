#include "app/store/folder_entry.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace sorvik {

unsigned char folderEntryType(DIR* directory, const dirent& entry)
{
    if (entry.d_type != DT_UNKNOWN)
        return entry.d_type;
    struct stat status { };
    if (::fstatat(::dirfd(directory), entry.d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return 0;
    return S_ISREG(status.st_mode) ? DT_REG : S_ISDIR(status.st_mode) ? DT_DIR : 0;
}

} // namespace sorvik
