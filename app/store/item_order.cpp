#include "app/store/item_order.h"

#include "engine/model/text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>

#include <unicode/coll.h>
#include <unicode/ustring.h>

namespace sorvik::ItemOrder {

namespace {

    /// The user's locale for ordering names. The C and POSIX locales say nothing about
    /// language; ICU maps them to en_US_POSIX, whose collation is code point order (every
    /// upper-case letter before every lower-case one), so they get the root collation instead.
    icu::Locale collationLocale()
    {
        icu::Locale locale = icu::Locale::getDefault();
        if (std::string_view(locale.getName()) == "en_US_POSIX")
            return icu::Locale::getRoot();
        return locale;
    }

    /// One collator per thread, built once: numeric ordering of digit runs, tertiary strength
    /// (case and accents only break ties), the user's locale.
    icu::Collator* nameCollator()
    {
        thread_local std::unique_ptr<icu::Collator> collator = []() {
            UErrorCode status = U_ZERO_ERROR;
            std::unique_ptr<icu::Collator> created(
                icu::Collator::createInstance(collationLocale(), status));
            if (U_FAILURE(status) || !created) {
                status = U_ZERO_ERROR;
                created.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
            }
            if (U_FAILURE(status) || !created)
                return std::unique_ptr<icu::Collator>();
            created->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
            created->setAttribute(UCOL_STRENGTH, UCOL_TERTIARY, status);
            return created;
        }();
        return collator.get();
    }

    /// The collation keys of many texts, packed into one buffer, with an order over them.
    /// Comparing a key is mostly comparing its first eight bytes, held beside the index, so
    /// the sort rarely leaves the entry array.
    class SortKeys {
    public:
        explicit SortKeys(std::size_t count)
        {
            m_entries.reserve(count);
            m_bytes.reserve(count * 48);
        }

        void add(std::string_view text)
        {
            auto offset = m_bytes.size();
            appendKey(text);
            auto length = m_bytes.size() - offset;
            std::uint64_t prefix = 0;
            for (std::size_t index = 0; index < 8; ++index) {
                prefix <<= 8;
                if (index < length)
                    prefix |= m_bytes[offset + index];
            }
            m_entries.push_back({ prefix, static_cast<std::uint32_t>(offset),
                static_cast<std::uint32_t>(length), static_cast<std::uint32_t>(m_entries.size()) });
        }

        /// The indices in ascending key order; equal keys keep the order they were added in.
        std::vector<std::uint32_t> order()
        {
            const std::uint8_t* bytes = m_bytes.data();
            std::sort(m_entries.begin(), m_entries.end(),
                [bytes](const Entry& first, const Entry& second) {
                    if (first.prefix != second.prefix)
                        return first.prefix < second.prefix;
                    if (first.length > 8 && second.length > 8) {
                        auto common = std::min(first.length, second.length) - 8;
                        int compared = std::memcmp(
                            bytes + first.offset + 8, bytes + second.offset + 8, common);
                        if (compared != 0)
                            return compared < 0;
                    }
                    if (first.length != second.length)
                        return first.length < second.length;
                    return first.index < second.index;
                });
            std::vector<std::uint32_t> indices;
            indices.reserve(m_entries.size());
            for (const auto& entry : m_entries)
                indices.push_back(entry.index);
            return indices;
        }

        void appendKey(std::string_view text)
        {
            icu::Collator* collator = nameCollator();
            if (!collator) {
                m_bytes.insert(m_bytes.end(), text.begin(), text.end());
                return;
            }
            const char16_t* units = toUtf16(text);
            auto unitCount = static_cast<int32_t>(m_units.size());
            auto offset = m_bytes.size();
            std::size_t room = std::max<std::size_t>(64, text.size() * 4);
            for (;;) {
                m_bytes.resize(offset + room);
                int32_t length = collator->getSortKey(
                    units, unitCount, m_bytes.data() + offset, static_cast<int32_t>(room));
                if (length <= 0) {
                    m_bytes.resize(offset);
                    m_bytes.insert(m_bytes.end(), text.begin(), text.end());
                    return;
                }
                if (static_cast<std::size_t>(length) <= room) {
                    m_bytes.resize(offset + static_cast<std::size_t>(length));
                    return;
                }
                room = static_cast<std::size_t>(length);
            }
        }

        const std::vector<std::uint8_t>& bytes() const { return m_bytes; }

    private:
        struct Entry {
            std::uint64_t prefix;
            std::uint32_t offset;
            std::uint32_t length;
            std::uint32_t index;
        };

        /// UTF-16 of the text in a buffer reused from key to key; bytes that are not UTF-8
        /// become U+FFFD.
        const char16_t* toUtf16(std::string_view text)
        {
            m_units.resize(text.size());
            if (text::isAscii(text)) {
                std::copy(text.begin(), text.end(), m_units.begin());
                return m_units.data();
            }
            int32_t length = 0;
            UErrorCode status = U_ZERO_ERROR;
            u_strFromUTF8WithSub(m_units.data(), static_cast<int32_t>(m_units.size()), &length,
                text.data(), static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
            m_units.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
            return m_units.data();
        }

        std::vector<Entry> m_entries;
        std::vector<std::uint8_t> m_bytes;
        std::vector<char16_t> m_units;
    };

    std::string_view lastComponent(const FileURL& url)
    {
        std::string_view path = url.path;
        auto slash = path.rfind('/');
        if (slash == std::string_view::npos || path == "/")
            return path;
        return path.substr(slash + 1);
    }

    /// The permutation that sorts by a scalar key; equal keys keep list order.
    template <class Key, class KeyOf>
    std::vector<std::uint32_t> scalarOrder(const std::vector<FileItem>& items, KeyOf keyOf)
    {
        struct Entry {
            Key key;
            std::uint32_t index;
        };
        std::vector<Entry> entries;
        entries.reserve(items.size());
        for (std::size_t index = 0; index < items.size(); ++index)
            entries.push_back({ keyOf(items[index]), static_cast<std::uint32_t>(index) });
        std::sort(entries.begin(), entries.end(), [](const Entry& first, const Entry& second) {
            if (first.key < second.key)
                return true;
            if (second.key < first.key)
                return false;
            return first.index < second.index;
        });
        std::vector<std::uint32_t> indices;
        indices.reserve(entries.size());
        for (const auto& entry : entries)
            indices.push_back(entry.index);
        return indices;
    }

    std::vector<std::uint32_t> orderOf(const std::vector<FileItem>& items, SortKey sortKey)
    {
        switch (sortKey) {
        case SortKey::added:
            return scalarOrder<std::int64_t>(
                items, [](const FileItem& item) { return item.order; });
        case SortKey::name: {
            SortKeys keys(items.size());
            for (const auto& item : items)
                keys.add(lastComponent(item.url));
            return keys.order();
        }
        case SortKey::modified:
            return scalarOrder<double>(
                items, [](const FileItem& item) { return item.modified.seconds; });
        case SortKey::created:
            return scalarOrder<double>(
                items, [](const FileItem& item) { return item.created.seconds; });
        case SortKey::size:
            return scalarOrder<std::int64_t>(items, [](const FileItem& item) { return item.size; });
        }
        return scalarOrder<int>(items, [](const FileItem&) { return 0; });
    }

    /// The values in `order`, or in its reverse. Copies first, in list order, and then moves
    /// the copies into place: moving touches no text, so the scattered reads stay cheap.
    template <class T>
    std::vector<T> arranged(
        const std::vector<T>& values, const std::vector<std::uint32_t>& order, bool ascending)
    {
        std::vector<T> copies = values;
        std::vector<T> result;
        result.reserve(values.size());
        if (ascending) {
            for (auto index : order)
                result.push_back(std::move(copies[index]));
        } else {
            for (auto index = order.rbegin(); index != order.rend(); ++index)
                result.push_back(std::move(copies[*index]));
        }
        return result;
    }

    char asciiLower(char character)
    {
        return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a')
                                                    : character;
    }

    bool isCompanionExtension(std::string_view extension)
    {
        if (extension.empty() || extension.size() > 4 || !text::isAscii(extension))
            return false;
        char lower[4];
        for (std::size_t index = 0; index < extension.size(); ++index)
            lower[index] = asciiLower(extension[index]);
        std::string_view lowered(lower, extension.size());
        return std::find(std::begin(companionExtensions), std::end(companionExtensions), lowered)
            != std::end(companionExtensions);
    }

    /// Writes the pairing key of a companion file into `key`: its folder path as it is (not
    /// case-folded), "/", its base name lowercased. False for an item that never pairs.
    bool pairingKey(const FileItem& item, std::string& key)
    {
        if (item.isDirectory)
            return false;
        std::string_view path = item.url.path;
        auto slash = path.rfind('/');
        if (slash == std::string_view::npos)
            return false;
        std::string_view name = path.substr(slash + 1);
        std::string_view folder = slash == 0 ? "/" : path.substr(0, slash);

        // The extension by the item rule. When the byte before the last "." is ASCII and the
        // text after it is too, that "." is a character of its own and the byte split is the
        // character split; anything else goes through the full rule.
        std::string_view base;
        auto dot = name.rfind('.');
        if (dot == std::string_view::npos || dot == 0)
            return false;
        std::string_view extension = name.substr(dot + 1);
        if (static_cast<unsigned char>(name[dot - 1]) < 0x80 && text::isAscii(extension)) {
            if (!isCompanionExtension(extension))
                return false;
            base = name.substr(0, dot);
        } else {
            auto ruled = extensionOfName(name);
            if (!isCompanionExtension(ruled))
                return false;
            base = name.substr(0, name.size() - ruled.size() - 1);
        }

        key.assign(folder);
        key.push_back('/');
        if (text::isAscii(base) || !text::isValidUtf8(base)) {
            for (char character : base)
                key.push_back(asciiLower(character));
        } else {
            key += text::lowercased(base);
        }
        // Keys are equal under canonical equivalence, like every text the store compares.
        if (!text::isAscii(key) && text::isValidUtf8(key))
            key = text::nfd(key);
        return true;
    }

} // namespace

std::string nameSortKey(std::string_view name)
{
    SortKeys keys(1);
    keys.appendKey(name);
    return std::string(keys.bytes().begin(), keys.bytes().end());
}

std::vector<FileItem> sortedItems(
    const std::vector<FileItem>& items, SortKey sortKey, bool ascending)
{
    return arranged(items, orderOf(items, sortKey), ascending);
}

void assignPairGroups(std::vector<FileItem>& items)
{
    // Candidates are grouped by the hash of their key; members of one hash are then split by
    // the key itself, so a collision never pairs two files.
    struct Candidate {
        std::size_t hash;
        std::uint32_t index;
    };
    std::vector<Candidate> candidates;
    candidates.reserve(items.size());
    std::string key;
    for (std::size_t index = 0; index < items.size(); ++index) {
        if (pairingKey(items[index], key))
            candidates.push_back(
                { std::hash<std::string_view> {}(key), static_cast<std::uint32_t>(index) });
    }
    std::sort(
        candidates.begin(), candidates.end(), [](const Candidate& first, const Candidate& second) {
            return first.hash != second.hash ? first.hash < second.hash
                                             : first.index < second.index;
        });

    std::vector<std::pair<std::string, std::uint32_t>> members;
    for (std::size_t start = 0; start < candidates.size();) {
        std::size_t end = start + 1;
        while (end < candidates.size() && candidates[end].hash == candidates[start].hash)
            ++end;
        if (end - start >= 2) {
            members.clear();
            for (std::size_t position = start; position < end; ++position) {
                pairingKey(items[candidates[position].index], key);
                members.emplace_back(key, candidates[position].index);
            }
            std::stable_sort(members.begin(), members.end(),
                [](const auto& first, const auto& second) { return first.first < second.first; });
            for (std::size_t first = 0; first < members.size();) {
                std::size_t last = first + 1;
                while (last < members.size() && members[last].first == members[first].first)
                    ++last;
                if (last - first >= 2) {
                    Uuid group = Uuid::random();
                    for (std::size_t member = first; member < last; ++member)
                        items[members[member].second].pairGroup = group;
                }
                first = last;
            }
        }
        start = end;
    }
}

std::vector<FileItem> itemSnapshot(
    const std::vector<FileItem>& items, SortKey sortKey, bool ascending, bool pairPhotos)
{
    auto snapshot = sortedItems(items, sortKey, ascending);
    if (pairPhotos)
        assignPairGroups(snapshot);
    return snapshot;
}

std::vector<FileURL> sortURLsByPath(const std::vector<FileURL>& urls)
{
    SortKeys keys(urls.size());
    for (const auto& url : urls)
        keys.add(url.path);
    return arranged(urls, keys.order(), true);
}

} // namespace sorvik::ItemOrder
