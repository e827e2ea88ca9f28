#include "engine/model/name_table.h"

#include <cassert>
#include <functional>
#include <limits>

namespace sorvik {

namespace {

    std::size_t hashOf(std::string_view name) { return std::hash<std::string_view> {}(name); }

    /// Slots for `count` names at most half full, a power of two.
    std::size_t slotCountFor(std::size_t count)
    {
        std::size_t slots = 16;
        while (slots < 2 * count)
            slots *= 2;
        return slots;
    }

} // namespace

NameTable::NameTable(std::size_t expected, std::size_t textSize)
{
    m_text.reserve(textSize);
    m_starts.reserve(expected);
    resize(slotCountFor(expected));
}

std::string_view NameTable::operator[](std::uint32_t number) const
{
    std::size_t start = m_starts[number];
    std::size_t end = number + 1 < m_starts.size() ? m_starts[number + 1] : m_text.size();
    return std::string_view(m_text).substr(start, end - start);
}

std::size_t NameTable::slotOf(std::string_view name, std::size_t hash) const
{
    const std::size_t mask = m_slots.size() - 1;
    const auto low = static_cast<std::uint32_t>(hash);
    std::size_t index = (hash >> 32 ^ hash) & mask;
    while (m_slots[index].number != 0
        && (m_slots[index].hash != low || (*this)[m_slots[index].number - 1] != name))
        index = (index + 1) & mask;
    return index;
}

void NameTable::resize(std::size_t slotCount)
{
    m_slots.assign(slotCount, Slot {});
    const std::size_t mask = slotCount - 1;
    for (std::uint32_t number = 0; number < m_starts.size(); ++number) {
        std::size_t hash = hashOf((*this)[number]);
        std::size_t index = (hash >> 32 ^ hash) & mask;
        while (m_slots[index].number != 0)
            index = (index + 1) & mask;
        m_slots[index] = { static_cast<std::uint32_t>(hash), number + 1 };
    }
}

std::uint32_t NameTable::add(std::string_view name)
{
    if (m_slots.size() < 2 * (m_starts.size() + 1))
        resize(slotCountFor(m_starts.size() + 1));
    std::size_t hash = hashOf(name);
    std::size_t index = slotOf(name, hash);
    if (m_slots[index].number != 0)
        return m_slots[index].number - 1;
    assert(m_text.size() + name.size() < std::numeric_limits<std::uint32_t>::max()
        && m_starts.size() + 1 < std::numeric_limits<std::uint32_t>::max() && "names fit 32 bits");
    auto number = static_cast<std::uint32_t>(m_starts.size());
    m_starts.push_back(static_cast<std::uint32_t>(m_text.size()));
    m_text.append(name);
    m_slots[index] = { static_cast<std::uint32_t>(hash), number + 1 };
    return number;
}

std::uint32_t NameTable::find(std::string_view name) const
{
    if (m_slots.empty())
        return absent;
    std::size_t index = slotOf(name, hashOf(name));
    return m_slots[index].number == 0 ? absent : m_slots[index].number - 1;
}

NameIndex::NameIndex(const std::vector<std::string_view>& names)
    : m_names(names)
{
    assert(names.size() < std::numeric_limits<std::uint32_t>::max() && "places fit 32 bits");
    m_slots.assign(slotCountFor(names.size()), Slot {});
    for (std::size_t place = 0; place < names.size(); ++place) {
        std::size_t hash = hashOf(names[place]);
        std::size_t index = slotOf(names[place], hash);
        if (m_slots[index].place == 0) {
            m_slots[index]
                = { static_cast<std::uint32_t>(hash), static_cast<std::uint32_t>(place + 1) };
            if (!m_first.empty())
                m_first.push_back(static_cast<std::uint32_t>(place));
            continue;
        }
        if (m_first.empty()) {
            m_first.reserve(names.size());
            for (std::size_t before = 0; before < place; ++before)
                m_first.push_back(static_cast<std::uint32_t>(before));
        }
        m_first.push_back(m_slots[index].place - 1);
    }
}

std::size_t NameIndex::slotOf(std::string_view name, std::size_t hash) const
{
    const std::size_t mask = m_slots.size() - 1;
    const auto low = static_cast<std::uint32_t>(hash);
    std::size_t index = (hash >> 32 ^ hash) & mask;
    while (m_slots[index].place != 0
        && (m_slots[index].hash != low || m_names[m_slots[index].place - 1] != name))
        index = (index + 1) & mask;
    return index;
}

std::uint32_t NameIndex::find(std::string_view name) const
{
    std::size_t index = slotOf(name, hashOf(name));
    return m_slots[index].place == 0 ? absent : m_slots[index].place - 1;
}

std::uint32_t NameIndex::firstPlace(std::size_t place) const
{
    return m_first.empty() ? static_cast<std::uint32_t>(place) : m_first[place];
}

} // namespace sorvik
