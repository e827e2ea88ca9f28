#include "engine/apply/local_preview_disk.h"

#include "engine/apply/batch_checks.h"

#include <string>
#include <string_view>
#include <unordered_map>

namespace sorvik {

namespace {

    /// How many items each folder holds: about as many names as a reading of it finds, and as
    /// many targets as will be looked for in it.
    std::unordered_map<std::string, std::size_t> itemsPerFolder(const std::vector<FileItem>& items)
    {
        // Files of one folder mostly follow each other: each run of them is counted at once.
        std::unordered_map<std::string, std::size_t> perFolder;
        std::string_view folder;
        std::size_t inFolder = 0;
        for (const auto& item : items) {
            auto itemFolder = folderPathOf(item.url.path);
            if (itemFolder != folder && inFolder > 0) {
                perFolder[std::string(folder)] += inFolder;
                inFolder = 0;
            }
            folder = itemFolder;
            ++inFolder;
        }
        if (inFolder > 0)
            perFolder[std::string(folder)] += inFolder;
        return perFolder;
    }

} // namespace

LocalPreviewDisk::LocalPreviewDisk(const std::vector<FileItem>& items, std::stop_token stop)
    : m_existence(itemsPerFolder(items))
    , m_stop(std::move(stop))
{
}

LocalPreviewDisk::~LocalPreviewDisk() { joinAhead(); }

void LocalPreviewDisk::lookForFilesAhead(const std::vector<FileItem>& items)
{
    if (m_ahead.joinable())
        return;
    m_aheadFiles.reserve(items.size());
    for (const auto& item : items) {
        if (item.included)
            m_aheadFiles.push_back(&item.url);
    }
    m_aheadAnswers.assign(m_aheadFiles.size(), 0);
    // The snapshot is the thread's alone until it is joined: its reading of a folder then
    // serves the targets too.
    m_ahead = std::thread([this] {
        for (std::size_t index = 0; index < m_aheadFiles.size(); ++index) {
            if (m_stop.stop_requested())
                return;
            m_aheadAnswers[index] = m_existence(*m_aheadFiles[index]) ? 1 : 0;
        }
    });
}

void LocalPreviewDisk::joinAhead()
{
    if (m_ahead.joinable())
        m_ahead.join();
}

bool LocalPreviewDisk::fileIsThere(const FileURL& url)
{
    if (m_filesJustRead)
        return true;
    // The files are asked about in list order, each among those looked for ahead.
    for (std::size_t index = m_aheadCursor; index < m_aheadFiles.size(); ++index) {
        if (m_aheadFiles[index]->path == url.path) {
            m_aheadCursor = index + 1;
            return m_aheadAnswers[index] != 0;
        }
    }
    return m_existence(url);
}

PreviewDisk LocalPreviewDisk::questions()
{
    PreviewDisk disk;
    disk.fileExists = [this](const FileURL& url) {
        joinAhead();
        return !m_stop.stop_requested() && m_existence(url);
    };
    disk.isSameEntry = [this](const FileURL& first, const FileURL& second) {
        return !m_stop.stop_requested() && BatchChecks::isOneEntry(m_fileSystem, first, second);
    };
    disk.findSources
        = [this](const std::vector<const FileURL*>& files, const std::vector<bool>& moving) {
              if (m_stop.stop_requested())
                  return SourceAnswers { std::vector<bool>(files.size(), false), {} };
              joinAhead();
              m_aheadCursor = 0;
              return BatchChecks::findSources(m_fileSystem, files, moving,
                  [this](const FileURL& url) { return fileIsThere(url); });
          };
    disk.destinationFolder = [this](const FileURL& folder, const FileURL& within) {
        if (m_stop.stop_requested())
            return FolderAnswer {};
        return BatchChecks::folderState(m_fileSystem, folder, within);
    };
    return disk;
}

} // namespace sorvik
