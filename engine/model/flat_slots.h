#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sorvik {

/// The flat table behind the name and key sets that keep their entries elsewhere, numbered
/// from 0: a slot holds the low bits of an entry's hash and its number, so an entry costs eight
/// bytes here and its bytes are compared only where the hash matches. Open addressing with
/// linear probing, a power of two slots, at most half of them full.
class FlatSlots {
public:
    /// What `entryAt` gives for an empty slot.
    static constexpr std::uint32_t empty = UINT32_MAX;

    /// Room for `count` entries, every slot empty.
    void reset(std::size_t count)
    {
        std::size_t slotCount = 16;
        while (slotCount < 2 * count)
            slotCount *= 2;
        m_slots.assign(slotCount, Slot {});
    }

    /// Whether `count` entries need more room than there is (`reset`, then `add` them again).
    bool isFullFor(std::size_t count) const { return m_slots.size() < 2 * count; }
    bool hasNoRoom() const { return m_slots.empty(); }

    /// The slot of the entry of `hash` that `isEntry(number)` accepts, or the empty slot where
    /// that entry would go.
    template <class IsEntry> std::size_t slotOf(std::size_t hash, IsEntry&& isEntry) const
    {
        const std::size_t mask = m_slots.size() - 1;
        const auto low = static_cast<std::uint32_t>(hash);
        std::size_t index = (hash >> 32 ^ hash) & mask;
        while (m_slots[index].number != 0
            && (m_slots[index].hash != low || !isEntry(m_slots[index].number - 1)))
            index = (index + 1) & mask;
        return index;
    }

    /// The number of the entry in slot `index`, or `empty`.
    std::uint32_t entryAt(std::size_t index) const { return m_slots[index].number - 1; }

    /// Puts entry `number` of `hash` in slot `index`, an empty one `slotOf` gave.
    void fill(std::size_t index, std::size_t hash, std::uint32_t number)
    {
        m_slots[index] = { static_cast<std::uint32_t>(hash), number + 1 };
    }

    /// Puts entry `number` of `hash` in the first empty slot for it, as refilling after
    /// `reset` does with entries known to differ.
    void add(std::size_t hash, std::uint32_t number)
    {
        fill(slotOf(hash, [](std::uint32_t) { return false; }), hash, number);
    }

private:
    struct Slot {
        std::uint32_t hash = 0; // the low bits of the entry's hash
        std::uint32_t number = 0; // the entry's number + 1; 0 marks an empty slot
    };

    std::vector<Slot> m_slots;
};

} // namespace sorvik
