#include "app/store/session_writer.h"

#include "app/store/json_files.h"

#include <QMetaObject>
#include <QObject>

#include <exception>
#include <utility>

namespace sorvik {

void SessionWriter::writeFile(const SavedSession& session, const std::filesystem::path& folder)
{
    json::Json document = session;
    JSONFiles::saveDocument(document, SavedSession::fileName, folder);
}

SessionWriter::SessionWriter(
    QObject& context, std::function<void(const std::string&)> failed, Write write)
    : m_context(context)
    , m_failed(std::move(failed))
    , m_write(std::move(write))
    , m_thread([this](std::stop_token stop) { run(std::move(stop)); })
{
}

SessionWriter::~SessionWriter()
{
    flush();
    m_thread.request_stop();
    m_thread.join();
}

void SessionWriter::write(SavedSession session)
{
    Job job { std::move(session), JSONFiles::applicationFolder() };
    {
        std::lock_guard lock(m_mutex);
        m_pending = std::move(job);
    }
    m_wake.notify_one();
}

void SessionWriter::flush()
{
    {
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return !m_pending && !m_busy; });
    }
    reportFailures();
}

std::uint64_t SessionWriter::writtenCount() const
{
    std::lock_guard lock(m_mutex);
    return m_written;
}

void SessionWriter::run(std::stop_token stop)
{
    for (;;) {
        std::optional<Job> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, stop, [this] { return m_pending.has_value(); });
            if (!m_pending)
                return;
            job = std::exchange(m_pending, std::nullopt);
            m_busy = true;
        }
        std::optional<std::string> failure;
        try {
            m_write(job->session, job->folder);
        } catch (const std::exception& error) {
            failure = error.what();
        }
        {
            std::lock_guard lock(m_mutex);
            m_busy = false;
            if (failure)
                m_failures.push_back(std::move(*failure));
            else
                ++m_written;
        }
        m_idle.notify_all();
        if (failure) {
            QMetaObject::invokeMethod(
                &m_context, [this] { reportFailures(); }, Qt::QueuedConnection);
        }
    }
}

void SessionWriter::reportFailures()
{
    std::vector<std::string> failures;
    {
        std::lock_guard lock(m_mutex);
        failures.swap(m_failures);
    }
    for (const auto& failure : failures)
        m_failed(failure);
}

} // namespace sorvik
