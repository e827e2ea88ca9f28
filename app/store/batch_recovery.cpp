#include "app/store/batch_recovery.h"

#include "app/store/folder_access_manager.h"
#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "engine/apply/journal_recovery.h"
#include "engine/apply/local_file_system.h"
#include "engine/apply/rename_executor.h"
#include "engine/apply/rename_journal.h"

#include <filesystem>

namespace sorvik {

namespace {

    // Worded as a rolled-back batch that left files behind is.
    constexpr std::string_view strandedCause
        = "An interrupted rename was put back as far as it could be.";
    constexpr std::string_view missingFilesHeading
        = "\nSome files were not found where the rename left them, so they could not be put "
          "back. Once a file is back at the place shown, the next start of sorvik puts it "
          "home:\n";

    bool hasJournals()
    {
        std::error_code error;
        std::filesystem::directory_iterator listing(batchJournalFolder().path, error);
        for (; !error && listing != std::filesystem::directory_iterator();
             listing.increment(error)) {
            if (RenameJournal::nameIsUnfinished(listing->path().filename().string()))
                return true;
        }
        // A folder that cannot be listed is the recovery's to report.
        return error && error != std::errc::no_such_file_or_directory;
    }

    std::optional<std::string> text(const JournalRecovery::Report& report, const PathText& shown)
    {
        if (report.empty())
            return std::nullopt;
        std::string message;
        if (!report.stranded.empty() || !report.missing.empty())
            message = strandedCause;
        if (!report.stranded.empty())
            message
                += std::string(strandedFilesHeading) + strandedFilesText(report.stranded, shown);
        if (!report.missing.empty())
            message += std::string(missingFilesHeading) + strandedFilesText(report.missing, shown);
        for (const auto& problem : report.problems) {
            if (!message.empty())
                message += '\n';
            message += problem;
        }
        return message;
    }

} // namespace

FileURL batchJournalFolder() { return FileURL(JSONFiles::applicationFolder().string(), true); }

void recordRecoveredBatch(const HistoryRecord& record)
{
    // Other batches may have been recorded since this one was killed.
    HistoryFile::insert(record, HistoryFile::Placement::byDate);
}

std::optional<std::string> recoverInterruptedBatches(
    const FolderAccessManager& access, const PathText& shown)
{
    return recoverInterruptedBatches(access.folders(), access.storageError(), shown);
}

std::optional<std::string> recoverInterruptedBatches(const std::vector<FileURL>& grantedFolders,
    const std::optional<std::string>& grantsError, const PathText& shown)
{
    if (!hasJournals())
        return std::nullopt;
    // Grants that could not be read at all would make every journal look foreign: such
    // journals wait for a start that can read them.
    if (grantsError)
        return "Interrupted renames were not put back, because the granted folders could not "
               "be read: "
            + *grantsError;
    JournalRecovery::Options options;
    options.grantedFolders = grantedFolders;
    options.recordBatch = recordRecoveredBatch;
    LocalFileSystem fileSystem;
    RenameExecutor executor(fileSystem, batchJournalFolder());
    return text(executor.recoverInterruptedBatches(options), shown);
}

std::optional<std::string> recoverInterruptedBatches(const PathText& shown)
{
    if (!hasJournals())
        return std::nullopt;
    FolderAccessManager access;
    return recoverInterruptedBatches(access, shown);
}

} // namespace sorvik
