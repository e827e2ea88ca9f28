#pragma once

#include <dirent.h>

namespace sorvik {

/// The type of `entry`, read from the open folder `directory`: DT_REG, DT_DIR or another
/// d_type. Where the file system leaves the type unknown it is asked, links not followed, and
/// anything neither a regular file nor a folder then gives 0, as does a failed look-up.
unsigned char folderEntryType(DIR* directory, const dirent& entry);

} // namespace sorvik
