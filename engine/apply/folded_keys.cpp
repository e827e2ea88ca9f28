#include "engine/apply/folded_keys.h"

#include <algorithm>
#include <cstdint>

namespace sorvik {

std::size_t FoldedKey::operator()(std::string_view text) const
{
    // FNV-1a over the folded bytes.
    std::size_t hash = 14695981039346656037ULL;
    for (char character : text) {
        hash ^= static_cast<unsigned char>(folded(character));
        hash *= 1099511628211ULL;
    }
    return hash;
}

bool FoldedKey::operator()(std::string_view first, std::string_view second) const
{
    return first.size() == second.size()
        && std::equal(first.begin(), first.end(), second.begin(),
            [](char one, char other) { return folded(one) == folded(other); });
}

void KeySet::reserve(std::size_t count)
{
    m_keys.reserve(count);
    if (m_slots.isFullFor(count))
        rehash(count);
}

std::pair<std::size_t, bool> KeySet::insert(std::string_view key)
{
    if (m_slots.isFullFor(m_keys.size() + 1))
        rehash(m_keys.size() + 1);
    std::size_t hash = FoldedKey {}(key);
    std::size_t index = slotOf(key, hash);
    if (auto found = m_slots.entryAt(index); found != FlatSlots::empty)
        return { found, false };
    m_keys.push_back(key);
    m_slots.fill(index, hash, static_cast<std::uint32_t>(m_keys.size() - 1));
    return { m_keys.size() - 1, true };
}

bool KeySet::contains(std::string_view key) const
{
    return !m_slots.hasNoRoom()
        && m_slots.entryAt(slotOf(key, FoldedKey {}(key))) != FlatSlots::empty;
}

std::size_t KeySet::slotOf(std::string_view key, std::size_t hash) const
{
    return m_slots.slotOf(
        hash, [&](std::uint32_t number) { return FoldedKey {}(m_keys[number], key); });
}

void KeySet::rehash(std::size_t count)
{
    m_slots.reset(count);
    for (std::size_t number = 0; number < m_keys.size(); ++number)
        m_slots.add(FoldedKey {}(m_keys[number]), static_cast<std::uint32_t>(number));
}

} // namespace sorvik
