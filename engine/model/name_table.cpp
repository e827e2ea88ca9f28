#include "engine/model/name_table.h"

#include <cassert>
#include <functional>
#include <limits>

namespace sorvik {

namespace {

    std::size_t hashOf(std::string_view name) { return std::hash<std::string_view> {}(name); }

} // namespace

NameTable::NameTable(std::size_t expected, std::size_t textSize)
{
    m_text.reserve(textSize);
    m_starts.reserve(expected);
    m_slots.reset(expected);
}

std::string_view NameTable::operator[](std::uint32_t number) const
{
    std::size_t start = m_starts[number];
    std::size_t end = number + 1 < m_starts.size() ? m_starts[number + 1] : m_text.size();
    return std::string_view(m_text).substr(start, end - start);
}

std::size_t NameTable::slotOf(std::string_view name, std::size_t hash) const
{
    return m_slots.slotOf(hash, [&](std::uint32_t number) { return (*this)[number] == name; });
}

void NameTable::resize(std::size_t count)
{
    m_slots.reset(count);
    for (std::uint32_t number = 0; number < m_starts.size(); ++number)
        m_slots.add(hashOf((*this)[number]), number);
}

std::uint32_t NameTable::add(std::string_view name)
{
    if (m_slots.isFullFor(m_starts.size() + 1))
        resize(m_starts.size() + 1);
    std::size_t hash = hashOf(name);
    std::size_t index = slotOf(name, hash);
    if (auto found = m_slots.entryAt(index); found != FlatSlots::empty)
        return found;
    assert(m_text.size() + name.size() < std::numeric_limits<std::uint32_t>::max()
        && m_starts.size() + 1 < std::numeric_limits<std::uint32_t>::max() && "names fit 32 bits");
    auto number = static_cast<std::uint32_t>(m_starts.size());
    m_starts.push_back(static_cast<std::uint32_t>(m_text.size()));
    m_text.append(name);
    m_slots.fill(index, hash, number);
    return number;
}

std::uint32_t NameTable::find(std::string_view name) const
{
    if (m_slots.hasNoRoom())
        return absent;
    return m_slots.entryAt(slotOf(name, hashOf(name)));
}

NameIndex::NameIndex(const std::vector<std::string_view>& names)
    : m_names(names)
{
    assert(names.size() < std::numeric_limits<std::uint32_t>::max() && "places fit 32 bits");
    m_slots.reset(names.size());
    for (std::size_t place = 0; place < names.size(); ++place) {
        std::size_t hash = hashOf(names[place]);
        std::size_t index = slotOf(names[place], hash);
        auto first = m_slots.entryAt(index);
        if (first == FlatSlots::empty) {
            m_slots.fill(index, hash, static_cast<std::uint32_t>(place));
            if (!m_first.empty())
                m_first.push_back(static_cast<std::uint32_t>(place));
            continue;
        }
        if (m_first.empty()) {
            m_first.reserve(names.size());
            for (std::size_t before = 0; before < place; ++before)
                m_first.push_back(static_cast<std::uint32_t>(before));
        }
        m_first.push_back(first);
    }
}

std::size_t NameIndex::slotOf(std::string_view name, std::size_t hash) const
{
    return m_slots.slotOf(hash, [&](std::uint32_t place) { return m_names[place] == name; });
}

std::uint32_t NameIndex::find(std::string_view name) const
{
    return m_slots.entryAt(slotOf(name, hashOf(name)));
}

std::uint32_t NameIndex::firstPlace(std::size_t place) const
{
    return m_first.empty() ? static_cast<std::uint32_t>(place) : m_first[place];
}

} // namespace sorvik
