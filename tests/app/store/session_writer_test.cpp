#include "app/store/session_writer.h"

#include "app/store/json_files.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <QObject>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <stdexcept>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::IsolatedHome;
    using testing::patternRule;
    using testing::waitUntil;

    SavedSession sessionOf(std::string templateText)
    {
        static const Uuid id = Uuid::random();
        Rule rule = patternRule(std::move(templateText));
        rule.id = id;
        return SavedSession { 1, { rule }, SortKey::name, true };
    }

    std::optional<SavedSession> stored()
    {
        return JSONFiles::load<SavedSession>(SavedSession::fileName);
    }

    /// A write that waits, on its first call, until the test lets it go, and records what it
    /// was given.
    class HeldWrite {
    public:
        SessionWriter::Write write()
        {
            return [this](const SavedSession& session, const std::filesystem::path&) {
                std::unique_lock lock(m_mutex);
                m_written.push_back(session);
                m_started = true;
                m_wake.notify_all();
                m_wake.wait(lock, [this] { return m_released; });
            };
        }
        void waitUntilStarted()
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_started; });
        }
        void release()
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
            m_wake.notify_all();
        }
        std::vector<SavedSession> written()
        {
            std::lock_guard lock(m_mutex);
            return m_written;
        }

    private:
        std::mutex m_mutex;
        std::condition_variable m_wake;
        bool m_started = false;
        bool m_released = false;
        std::vector<SavedSession> m_written;
    };

    class SessionWriterTest : public ::testing::Test {
    protected:
        IsolatedHome home;
        QObject context;
        std::vector<std::string> failures;
        std::function<void(const std::string&)> failed
            = [this](const std::string& failure) { failures.push_back(failure); };
    };

    TEST_F(SessionWriterTest, FlushReturnsOnceTheLastSessionIsOnTheDisk)
    {
        SessionWriter writer(context, failed);
        writer.write(sessionOf("first"));
        writer.write(sessionOf("second"));
        writer.flush();
        EXPECT_EQ(stored(), sessionOf("second"));
        EXPECT_TRUE(failures.empty());
        // Nothing waiting: a flush returns at once.
        writer.flush();
    }

    TEST_F(SessionWriterTest, SessionsHandedInDuringAWriteCoalesceIntoTheNewest)
    {
        HeldWrite held;
        SessionWriter writer(context, failed, held.write());
        writer.write(sessionOf("running"));
        held.waitUntilStarted();
        for (int index = 0; index < 20; ++index)
            writer.write(sessionOf("waiting " + std::to_string(index)));
        held.release();
        writer.flush();
        EXPECT_EQ(held.written(),
            (std::vector<SavedSession> { sessionOf("running"), sessionOf("waiting 19") }));
        EXPECT_EQ(writer.writtenCount(), 2u);
    }

    TEST_F(SessionWriterTest, DestroyingTheWriterWritesWhatWasHandedIn)
    {
        HeldWrite held;
        {
            SessionWriter writer(context, failed, held.write());
            writer.write(sessionOf("running"));
            held.waitUntilStarted();
            writer.write(sessionOf("last"));
            held.release();
        }
        ASSERT_EQ(held.written().size(), 2u);
        EXPECT_EQ(held.written().back(), sessionOf("last"));
    }

    TEST_F(SessionWriterTest, TheFolderIsTheOneOfTheMomentOfTheChange)
    {
        auto folder = JSONFiles::applicationFolder();
        HeldWrite held;
        std::vector<std::filesystem::path> folders;
        SessionWriter writer(
            context, failed, [&](const SavedSession& session, const std::filesystem::path& into) {
                folders.push_back(into);
                held.write()(session, into);
            });
        writer.write(sessionOf("here"));
        held.waitUntilStarted();
        writer.write(sessionOf("also here"));
        {
            // The home moves while the writer is busy: what was handed in before still goes
            // to the folder of its time.
            IsolatedHome moved;
            held.release();
            writer.flush();
        }
        EXPECT_EQ(folders, (std::vector<std::filesystem::path> { folder, folder }));
    }

    TEST_F(SessionWriterTest, FailuresReachTheContextsThreadNeverTheWriters)
    {
        SessionWriter writer(
            context, failed, [](const SavedSession&, const std::filesystem::path&) {
                throw std::runtime_error("disk full");
            });
        writer.write(sessionOf("x"));
        // Given by the event loop, on this thread.
        ASSERT_TRUE(waitUntil([&] { return !failures.empty(); }));
        EXPECT_EQ(failures, std::vector<std::string> { "disk full" });

        // And at once by a flush, exactly once.
        writer.write(sessionOf("y"));
        writer.flush();
        EXPECT_EQ(failures.size(), 2u);
        testing::runEvents(20);
        EXPECT_EQ(failures.size(), 2u);
        EXPECT_EQ(writer.writtenCount(), 0u);
    }

    TEST_F(SessionWriterTest, AFileInPlaceOfTheFolderFailsWithTheFilesText)
    {
        std::filesystem::create_directories(JSONFiles::applicationFolder().parent_path());
        std::ofstream(JSONFiles::applicationFolder()) << "not a folder";
        SessionWriter writer(context, failed);
        writer.write(sessionOf("x"));
        writer.flush();
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_FALSE(failures[0].empty());
    }

} // namespace
} // namespace sorvik
