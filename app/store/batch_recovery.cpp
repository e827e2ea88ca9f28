#include "app/store/batch_recovery.h"

#include "app/store/json_files.h"
#include "engine/apply/local_file_system.h"
#include "engine/apply/rename_executor.h"

namespace sorvik {

FileURL batchJournalFolder() { return FileURL(JSONFiles::applicationFolder().string(), true); }

std::vector<FileURL> recoverInterruptedBatches()
{
    LocalFileSystem fileSystem;
    RenameExecutor executor(fileSystem, batchJournalFolder());
    return executor.recoverInterruptedBatches();
}

} // namespace sorvik
