#pragma once

#include "engine/apply/local_file_system.h"
#include "engine/model/file_item.h"
#include "engine/model/preview_disk.h"

#include <stop_token>
#include <thread>
#include <vector>

namespace sorvik {

/// A preview's questions answered by the real disk, with the judgements the executor's own
/// checks make (`BatchChecks`). Targets, and files not looked for ahead, are looked for in one
/// `ExistenceSnapshot`, so a folder that holds many of them is read once.
/// Once `stop` is requested nothing more is asked of the disk: every file is there, nothing is
/// at any target and every folder takes files, answers that a cancelled preview drops.
class LocalPreviewDisk {
public:
    /// For a preview of `items`: their folders tell where many paths will be looked for.
    explicit LocalPreviewDisk(const std::vector<FileItem>& items, std::stop_token stop = {});
    ~LocalPreviewDisk();
    LocalPreviewDisk(const LocalPreviewDisk&) = delete;
    LocalPreviewDisk& operator=(const LocalPreviewDisk&) = delete;

    /// Looks for the included files of `items` on a thread of its own while the preview names
    /// them, so that the disk is read beside the naming rather than after it (the folders it
    /// reads then serve the targets too). `items` must stay as they are until the preview has
    /// asked about its files, or this object ends.
    void lookForFilesAhead(const std::vector<FileItem>& items);

    /// Takes every file as there without looking for it again: for a caller that has just
    /// read each one. Which are one entry given twice is still asked.
    void takeFilesAsJustRead() { m_filesJustRead = true; }

    /// The questions, answered by this object, which must outlive them.
    PreviewDisk questions();

private:
    /// Whether `url`, the next file asked about in list order, is there.
    bool fileIsThere(const FileURL& url);
    /// Waits for the files looked for ahead.
    void joinAhead();

    LocalFileSystem m_fileSystem;
    ExistenceSnapshot m_existence;
    std::stop_token m_stop;
    /// The files looked for ahead, in list order, and whether each is there.
    std::vector<const FileURL*> m_aheadFiles;
    std::vector<char> m_aheadAnswers;
    std::size_t m_aheadCursor = 0;
    bool m_filesJustRead = false;
    std::thread m_ahead;
};

} // namespace sorvik
