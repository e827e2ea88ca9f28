#pragma once

#include "engine/model/file_url.h"

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace sorvik {

/// What the disk says of the files of a preview's rows, asked about all at once.
struct SourceAnswers {
    /// Per file asked about: nothing is there.
    std::vector<bool> missing;
    /// Pairs of files that would move (their places among those asked about, the earlier
    /// first) that are one entry given twice: by two paths to its folder, or by two spellings
    /// where the volume ignores letter case.
    std::vector<std::pair<std::size_t, std::size_t>> sameEntries;
};

/// What stands at a folder that files are to be put in.
struct FolderAnswer {
    enum class Kind {
        /// A folder, or nothing yet (the batch makes the missing folders).
        usable,
        /// `blocking`, the folder itself or one above it, is something other than a folder.
        notAFolder,
        /// A folder on the way cannot be opened.
        unusable,
    };
    Kind kind = Kind::usable;
    FileURL blocking;
};

/// What a preview asks the disk about the rows that would move or stay: the questions the
/// executor's checks answer before a batch moves anything, so that a row the preview shows
/// ready is one those checks accept. The answers are those of one moment, which is all a
/// preview needs: the executor checks again before anything moves.
struct PreviewDisk {
    /// Whether anything, a dangling symbolic link included, exists at a path.
    std::function<bool(const FileURL&)> fileExists;
    /// Whether two paths alike but for letter case lead to one entry of one folder (where the
    /// volume ignores letter case, or one folder is reached by two paths), rather than to two
    /// files or to two names of one file (hard links).
    std::function<bool(const FileURL&, const FileURL&)> isSameEntry;
    /// The files of the rows, all at once; `moving` tells which are to move.
    std::function<SourceAnswers(
        const std::vector<const FileURL*>& files, const std::vector<bool>& moving)>
        findSources;
    /// What stands at `folder`, a folder below `within` (an existing folder) that files are
    /// to be put in.
    std::function<FolderAnswer(const FileURL& folder, const FileURL& within)> destinationFolder;
};

} // namespace sorvik
