#pragma once

#include "app/store/saved_session.h"

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

class QObject;

// Writes "last-session.json" on a thread of its own, so that a keystroke in a rule never waits
// for the disk (each write ends in an fsync, which alone can take longer than a frame).
//
// Latest wins: a session handed in while an earlier one still waits replaces it, so a burst
// of edits costs one write of the newest state; a write already running is finished first.
// The folder is fixed when a session is handed in, so a write lands where the store lived at
// the time of the change. `flush` returns once the newest session handed in is on the disk
// (or has failed); destroying the writer flushes, so nothing handed in is lost on a normal
// quit.
//
// A failed write's text is given to `failed` on the thread of `context`, never on the
// writer's own thread: at the next turn of that thread's event loop, or at once in `flush`.
// `context` must outlive the writer (the store owns its writer).
namespace sorvik {

class SessionWriter {
public:
    /// Writes one session into a folder; fails with an exception whose text is reported.
    using Write = std::function<void(const SavedSession&, const std::filesystem::path& folder)>;

    /// Writes "last-session.json" atomically through the JSON file store.
    static void writeFile(const SavedSession& session, const std::filesystem::path& folder);

    SessionWriter(
        QObject& context, std::function<void(const std::string&)> failed, Write write = writeFile);
    /// Flushes, then stops the thread.
    ~SessionWriter();
    SessionWriter(const SessionWriter&) = delete;
    SessionWriter& operator=(const SessionWriter&) = delete;

    /// Hands `session` to the writer thread, to be written into the application folder as it
    /// is now; replaces a session that is still waiting.
    void write(SavedSession session);
    /// Waits until every session handed in is written or has failed, then reports the
    /// failures. Call it on the thread of the context.
    void flush();

    /// How many sessions were written so far (for tests of the coalescing).
    std::uint64_t writtenCount() const;

private:
    struct Job {
        SavedSession session;
        std::filesystem::path folder;
    };

    void run(std::stop_token stop);
    void reportFailures();

    QObject& m_context;
    std::function<void(const std::string&)> m_failed;
    Write m_write;

    mutable std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::condition_variable m_idle;
    std::optional<Job> m_pending;
    bool m_busy = false;
    std::uint64_t m_written = 0;
    std::vector<std::string> m_failures;
    // Last: the thread starts once everything it uses is made, and stops first.
    std::jthread m_thread;
};

} // namespace sorvik
