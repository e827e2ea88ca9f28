#include "app/store/batch_recovery.h"

#include "app/store/folder_access_manager.h"
#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "engine/apply/journal_recovery.h"
#include "engine/apply/local_file_system.h"
#include "engine/apply/rename_executor.h"
#include "engine/apply/rename_journal.h"

#include <algorithm>
#include <filesystem>

namespace sorvik {

namespace {

    constexpr std::string_view strandedText
        = "Some files of an interrupted rename could not be put back. They remain at:\n";

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

    std::optional<std::string> text(const JournalRecovery::Report& report)
    {
        if (report.empty())
            return std::nullopt;
        std::string message;
        if (!report.stranded.empty())
            message = std::string(strandedText) + strandedFilesText(report.stranded);
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
    HistoryFile::update([&record](std::vector<HistoryRecord>& records) {
        bool present = std::any_of(records.begin(), records.end(),
            [&](const HistoryRecord& stored) { return stored.id == record.id; });
        if (present)
            return;
        // Newest first: before the first record that is older.
        auto place = std::find_if(records.begin(), records.end(),
            [&](const HistoryRecord& stored) { return stored.date.seconds < record.date.seconds; });
        records.insert(place, record);
    });
}

std::optional<std::string> recoverInterruptedBatches(const FolderAccessManager& access)
{
    if (!hasJournals())
        return std::nullopt;
    // Grants that could not be read at all would make every journal look foreign: such
    // journals wait for a start that can read them.
    if (access.bookmarks().empty() && access.errorMessage())
        return "Interrupted renames were not put back, because the granted folders could not "
               "be read: "
            + *access.errorMessage();
    JournalRecovery::Options options;
    options.grantedFolders = access.folders();
    options.recordBatch = recordRecoveredBatch;
    LocalFileSystem fileSystem;
    RenameExecutor executor(fileSystem, batchJournalFolder());
    return text(executor.recoverInterruptedBatches(options));
}

std::optional<std::string> recoverInterruptedBatches()
{
    if (!hasJournals())
        return std::nullopt;
    FolderAccessManager access;
    return recoverInterruptedBatches(access);
}

} // namespace sorvik
