#pragma once

#include "engine/model/file_url.h"

// Access to a granted folder is held between a start and a stop, possibly several times at
// once. Linux has no application sandbox, so holding access is bookkeeping only: a count per
// folder, process-wide, that lets every start be balanced by a stop and lets tests see that
// it was. Starting fails for a path that is not an existing folder.
namespace sorvik::SecurityScope {

/// Starts access to the folder at `url`; false, with nothing started, when it is no folder.
bool startAccessing(const FileURL& url);
/// Ends one start on `url`.
void stopAccessing(const FileURL& url);
/// How many starts on `url` are not yet balanced by a stop.
int accessCount(const FileURL& url);

} // namespace sorvik::SecurityScope
