#include "app/automation/watch_log.h"

#include "app/store/file_error.h"
#include "app/store/json_files.h"
#include "app/store/stored_file_error.h"
#include "engine/apply/local_file_system.h"
#include "engine/model/date_formatter.h"
#include "engine/model/error.h"
#include "engine/model/text.h"

#include <cstdio>
#include <exception>

#include <map>
#include <memory>

#include <unicode/dtptngen.h>
#include <unicode/locid.h>

#include <sys/stat.h>

namespace sorvik {

namespace {

    /// The best pattern of the skeleton in the locale, kept per thread: making a pattern
    /// generator takes a while.
    std::string patternFor(std::string_view localeName)
    {
        thread_local std::map<std::string, std::string, std::less<>> patterns;
        icu::Locale locale = localeName.empty()
            ? icu::Locale::getDefault()
            : icu::Locale::createCanonical(std::string(localeName).c_str());
        std::string key = locale.getName();
        if (auto found = patterns.find(key); found != patterns.end())
            return found->second;
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::DateTimePatternGenerator> generator(
            icu::DateTimePatternGenerator::createInstance(locale, status));
        std::string pattern = "y-MM-dd HH:mm";
        if (U_SUCCESS(status)) {
            auto best = generator->getBestPattern(icu::UnicodeString(u"yMdjmm"), status);
            if (U_SUCCESS(status))
                pattern = text::fromUnicode(best);
        }
        patterns.emplace(key, pattern);
        return pattern;
    }

} // namespace

std::string watchLogDate(Date date, std::string_view localeName)
{
    const auto& formatter = DateFormatter::cached(patternFor(localeName), localeName);
    return formatter.format(date).value_or(std::string());
}

std::string watchLogLine(Date date, std::string_view text)
{
    return watchLogDate(date) + std::string(watchLogSeparator) + std::string(text);
}

std::vector<std::string> WatchLogFile::load()
{
    m_isWritten = true;
    m_damaged.reset();
    auto path = JSONFiles::savedPath(fileName);
    struct stat status { };
    bool isThere = ::lstat(path.c_str(), &status) == 0;
    // Only a regular file of the application folder is ever replaced.
    if (isThere && !S_ISREG(status.st_mode))
        m_isWritten = false;
    auto stored = JSONFiles::storedPath(fileName);
    if (!stored)
        return {};
    // What becomes of the file, which the failure says.
    auto keptAsItIs = [&] {
        if (!isThere)
            return "sorvik leaves " + FileError::quoted(stored->string())
                + " as it is and starts a new log in " + FileError::quoted(path.string()) + ".";
        return "sorvik leaves " + FileError::quoted(path.string())
            + " as it is and keeps new lines only until it quits; move it aside to keep a log "
              "again.";
    };
    try {
        return json::decode<std::vector<std::string>>(JSONFiles::readDocument(*stored));
    } catch (const json::DecodeError&) {
        if (isThere && S_ISREG(status.st_mode)) {
            m_damaged.emplace(status.st_dev, status.st_ino);
            StoredFile::rethrowUnreadable(*stored,
                "sorvik sets " + FileError::quoted(stored->string()) + " aside, with \u201C"
                    + std::string(setAsideSuffix)
                    + "\u201D added to its name, and starts a new log.");
        }
        StoredFile::rethrowUnreadable(*stored, keptAsItIs());
    } catch (const std::exception&) {
        // Not read for another reason than its content (no permission, not a regular file):
        // it is not known to be damaged, so it is kept as it is.
        if (isThere)
            m_isWritten = false;
        StoredFile::rethrowUnreadable(*stored, keptAsItIs());
    }
}

void WatchLogFile::save(const std::vector<std::string>& lines)
{
    if (!m_isWritten)
        return;
    auto path = JSONFiles::savedPath(fileName);
    struct stat status { };
    if (::lstat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        m_isWritten = false;
        return;
    }
    if (auto damaged = std::exchange(m_damaged, std::nullopt); damaged
        && ::lstat(path.c_str(), &status) == 0
        && std::make_pair(
               static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino))
            == *damaged) {
        // A log that cannot be set aside is not written over.
        if (!LocalFileSystem::moveAside(FileURL(path.string()), setAsideSuffix)) {
            m_isWritten = false;
            throw Error("The activity log \u201C" + path.string()
                + "\u201D could not be set aside, so it is not written: new lines are kept only "
                  "until sorvik quits. Move it aside to keep a log again.");
        }
    }
    JSONFiles::save(lines, fileName);
}

} // namespace sorvik
