#include "app/store/history_file_index.h"

#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "app/store/stored_file.h"
#include "engine/model/error.h"
#include "engine/model/json_stream.h"
#include "engine/model/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

namespace sorvik::HistoryFileIndex {

namespace {

    bool isSpace(char character)
    {
        return character == ' ' || character == '\n' || character == '\r' || character == '\t';
    }

    /// The longest run of white space, a separator and white space that may stand between
    /// the records of a history file; any longer gap is not believed.
    constexpr std::size_t gapLimit = 4096;

    /// Whether `gap` is white space around exactly one `separator` (none when it is 0).
    bool isGap(std::string_view gap, char separator)
    {
        std::size_t separators = 0;
        for (char character : gap) {
            if (separator != '\0' && character == separator)
                ++separators;
            else if (!isSpace(character))
                return false;
        }
        return separators == (separator != '\0' ? 1 : 0);
    }

    /// Whether the text just before a value that begins at `valueStart` is the member name
    /// `key` and its colon, as the record's own member (after "{" or ","), white space
    /// allowed anywhere between.
    bool isMemberBefore(
        int descriptor, std::size_t recordStart, std::size_t valueStart, std::string_view key)
    {
        constexpr std::size_t window = 64;
        auto from = valueStart > recordStart + window ? valueStart - window : recordStart;
        auto text = bytesAt(descriptor, from, valueStart - from);
        if (text.size() != valueStart - from)
            return false;
        std::string_view before(text);
        auto trim = [&] {
            while (!before.empty() && isSpace(before.back()))
                before.remove_suffix(1);
        };
        trim();
        if (!before.ends_with(':'))
            return false;
        before.remove_suffix(1);
        trim();
        std::string quoted = "\"" + std::string(key) + "\"";
        if (!before.ends_with(quoted))
            return false;
        before.remove_suffix(quoted.size());
        trim();
        return !before.empty() && (before.back() == '{' || before.back() == ',');
    }

    /// Whether a member value that ends at `valueEnd` is followed by another member of its
    /// record, or by the end of the record that ends at `recordEnd`, and not by the end of
    /// some other record.
    bool endsMemberOf(int descriptor, std::size_t valueEnd, std::size_t recordEnd)
    {
        constexpr std::size_t window = 64;
        auto after = bytesAt(descriptor, valueEnd, std::min(window, recordEnd - valueEnd));
        auto next = after.find_first_not_of(" \t\r\n");
        if (next == std::string::npos)
            return false;
        return after[next] == ',' || (after[next] == '}' && valueEnd + next + 1 == recordEnd);
    }

    /// Whether the value of the JSON text `text` is one string that reads as `id`.
    bool isIDText(std::string_view text, const Uuid& id)
    {
        try {
            auto reader = json::StreamReader::overText(text);
            if (reader.next() != json::StreamReader::Token::string)
                return false;
            auto parsed = Uuid::parse(reader.text());
            return parsed && *parsed == id && reader.next() == json::StreamReader::Token::end;
        } catch (const std::exception&) {
            return false;
        }
    }

    /// Whether the value of the JSON text `text` is one number that reads as `date`, as a full
    /// read would read it.
    bool isDateText(std::string_view text, Date date)
    {
        try {
            auto reader = json::StreamReader::overText(text);
            if (reader.next() != json::StreamReader::Token::number)
                return false;
            auto seconds = reader.number();
            return seconds == date.seconds && reader.next() == json::StreamReader::Token::end;
        } catch (const std::exception&) {
            return false;
        }
    }

    /// The index's form: which file it was written for, and one entry per record.
    constexpr int indexVersion = 2;

} // namespace

std::string bytesAt(int descriptor, std::size_t offset, std::size_t length)
{
    std::string bytes(length, '\0');
    std::size_t done = 0;
    while (done < length) {
        ssize_t count = ::pread(
            descriptor, bytes.data() + done, length - done, static_cast<off_t>(offset + done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        done += static_cast<std::size_t>(count);
    }
    bytes.resize(done);
    return bytes;
}

std::optional<Identity> identityOf(int descriptor)
{
    struct stat status { };
    if (::fstat(descriptor, &status) != 0)
        return std::nullopt;
    Identity identity;
    identity.device = status.st_dev;
    identity.inode = status.st_ino;
    identity.size = status.st_size;
    identity.modified[0] = status.st_mtim.tv_sec;
    identity.modified[1] = status.st_mtim.tv_nsec;
    identity.changed[0] = status.st_ctim.tv_sec;
    identity.changed[1] = status.st_ctim.tv_nsec;
    return identity;
}

std::filesystem::path indexPath()
{
    return JSONFiles::applicationFolder() / HistoryFile::indexName;
}

bool factsHold(int descriptor, std::int64_t size, const std::vector<StoredRecordFacts>& facts)
{
    if (size < 2)
        return false;
    auto length = static_cast<std::size_t>(size);
    // Where the text between the last record looked at and the next one begins.
    std::size_t position = 0;
    auto gapUpTo = [&](std::size_t to, char separator) {
        if (to < position || to - position > gapLimit)
            return false;
        auto gap = bytesAt(descriptor, position, to - position);
        if (gap.size() != to - position)
            return false;
        std::string_view rest(gap);
        if (position == 0) {
            // A history file begins with "[", as its writer wrote it.
            if (!rest.starts_with('['))
                return false;
            rest.remove_prefix(1);
        }
        return isGap(rest, separator);
    };
    for (const auto& record : facts) {
        if (!gapUpTo(record.start, position == 0 ? '\0' : ','))
            return false;
        constexpr std::size_t idLength = 38; // the UUID text and its quotes
        auto undoneLength = std::size_t { record.undone ? 4U : 5U };
        bool inside = record.start < record.end && record.end <= length
            && record.undoneStart > record.start && record.undoneEnd < record.end
            && record.undoneEnd == record.undoneStart + undoneLength
            && record.idEnd >= record.start + 1 + idLength && record.idEnd < record.end
            && record.dateEnd > record.start + 1 && record.dateEnd < record.end;
        if (!inside || bytesAt(descriptor, record.start, 1) != "{"
            || bytesAt(descriptor, record.end - 1, 1) != "}")
            return false;
        if (bytesAt(descriptor, record.undoneStart, undoneLength)
                != (record.undone ? "true" : "false")
            || !isMemberBefore(descriptor, record.start, record.undoneStart, "undone")
            || !endsMemberOf(descriptor, record.undoneEnd, record.end))
            return false;
        auto idStart = record.idEnd - idLength;
        if (!isIDText(bytesAt(descriptor, idStart, idLength), record.id)
            || !isMemberBefore(descriptor, record.start, idStart, "id"))
            return false;
        // A number is at most a few dozen characters; it begins after the white space or
        // colon before it.
        constexpr std::size_t numberLimit = 40;
        auto from = record.dateEnd > record.start + numberLimit ? record.dateEnd - numberLimit
                                                                : record.start;
        auto before = bytesAt(descriptor, from, record.dateEnd - from);
        auto begin = before.find_last_of(": \t\r\n");
        if (begin == std::string::npos || before.size() != record.dateEnd - from)
            return false;
        auto dateStart = from + begin + 1;
        if (!isDateText(std::string_view(before).substr(begin + 1), record.date)
            || !isMemberBefore(descriptor, record.start, dateStart, "date"))
            return false;
        position = record.end;
    }
    return gapUpTo(length, ']');
}

std::optional<std::vector<StoredRecordFacts>> indexedFacts(int descriptor)
{
    auto identity = identityOf(descriptor);
    if (!identity)
        return std::nullopt;
    try {
        std::error_code failure;
        auto file = RegularFile::open(indexPath(), failure, RegularFile::Links::refuse);
        if (!file || file->size() > (std::int64_t { 1 } << 20))
            return std::nullopt;
        auto text = file->readAll(failure);
        if (failure)
            return std::nullopt;
        auto index = nlohmann::json::parse(text);
        if (index.at("version").get<int>() != indexVersion)
            return std::nullopt;
        Identity stored;
        stored.device = index.at("device").get<std::uint64_t>();
        stored.inode = index.at("inode").get<std::uint64_t>();
        stored.size = index.at("size").get<std::int64_t>();
        for (int part = 0; part < 2; ++part) {
            stored.modified[part] = index.at("modified").at(part).get<std::int64_t>();
            stored.changed[part] = index.at("changed").at(part).get<std::int64_t>();
        }
        if (!(stored == *identity))
            return std::nullopt;
        std::vector<StoredRecordFacts> facts;
        for (const auto& entry : index.at("records")) {
            if (entry.size() != 9)
                return std::nullopt;
            auto& fact = facts.emplace_back();
            auto id = Uuid::parse(entry.at(0).get<std::string>());
            if (!id)
                return std::nullopt;
            fact.id = *id;
            fact.date = Date { entry.at(1).get<double>() };
            fact.undone = entry.at(2).get<bool>();
            fact.start = entry.at(3).get<std::size_t>();
            fact.end = entry.at(4).get<std::size_t>();
            fact.undoneStart = entry.at(5).get<std::size_t>();
            fact.undoneEnd = entry.at(6).get<std::size_t>();
            fact.idEnd = entry.at(7).get<std::size_t>();
            fact.dateEnd = entry.at(8).get<std::size_t>();
        }
        if (!factsHold(descriptor, identity->size, facts))
            return std::nullopt;
        return facts;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void writeIndex(int descriptor, const std::vector<StoredRecordFacts>& facts)
{
    auto identity = identityOf(descriptor);
    try {
        if (!identity)
            throw Error("no identity");
        nlohmann::json index;
        index["version"] = indexVersion;
        index["device"] = identity->device;
        index["inode"] = identity->inode;
        index["size"] = identity->size;
        index["modified"] = { identity->modified[0], identity->modified[1] };
        index["changed"] = { identity->changed[0], identity->changed[1] };
        auto& records = index["records"] = nlohmann::json::array();
        for (const auto& fact : facts)
            records.push_back({ fact.id.text(), fact.date.seconds, fact.undone, fact.start,
                fact.end, fact.undoneStart, fact.undoneEnd, fact.idEnd, fact.dateEnd });
        StoredFile::writeAtomically(indexPath(), index.dump());
    } catch (const std::exception&) {
        ::unlink(indexPath().c_str());
    }
}

} // namespace sorvik::HistoryFileIndex
