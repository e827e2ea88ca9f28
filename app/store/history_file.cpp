#include "app/store/history_file.h"

#include "app/store/file_error.h"
#include "app/store/json_files.h"
#include "app/store/stored_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace sorvik::HistoryFile {

namespace {

    /// Holds the exclusive lock on "history.lock" for as long as it lives.
    class HistoryLock {
    public:
        HistoryLock()
        {
            auto folder = JSONFiles::applicationFolder();
            StoredFile::createFolder(folder);
            auto path = folder / lockName;
            m_descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (m_descriptor < 0)
                throw FileError::writing(path.string(), errno);
            while (::flock(m_descriptor, LOCK_EX) != 0) {
                if (errno == EINTR)
                    continue;
                int failure = errno;
                ::close(m_descriptor);
                throw FileError::writing(path.string(), failure);
            }
        }
        ~HistoryLock() { ::close(m_descriptor); }
        HistoryLock(const HistoryLock&) = delete;
        HistoryLock& operator=(const HistoryLock&) = delete;

    private:
        int m_descriptor = -1;
    };

} // namespace

std::vector<HistoryRecord> load()
{
    return JSONFiles::load<std::vector<HistoryRecord>>(fileName).value_or(
        std::vector<HistoryRecord> {});
}

std::vector<HistoryRecord> update(const std::function<void(std::vector<HistoryRecord>&)>& change)
{
    HistoryLock lock;
    auto records = load();
    change(records);
    if (records.size() > recordLimit)
        records.resize(recordLimit);
    JSONFiles::save(records, fileName);
    return records;
}

std::vector<HistoryRecord> insert(const HistoryRecord& record)
{
    return update(
        [&](std::vector<HistoryRecord>& records) { records.insert(records.begin(), record); });
}

} // namespace sorvik::HistoryFile
