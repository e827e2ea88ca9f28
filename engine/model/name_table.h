#pragma once

#include "engine/model/flat_slots.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

/// A set of byte strings kept in one block of text and found through a flat table of their
/// hashes: two allocations for any number of names, where a hash set of strings makes a node
/// (and, for longer names, a string) per name. Each name has a number, given in the order in
/// which names were first added. Names are compared byte for byte.
class NameTable {
public:
    /// What `find` gives for a name that is not in the table.
    static constexpr std::uint32_t absent = FlatSlots::empty;

    NameTable() = default;
    /// A table with room for `expected` names, of `textSize` bytes in all, before it grows.
    explicit NameTable(std::size_t expected, std::size_t textSize = 0);

    /// Adds `name` unless it is there; its number either way.
    std::uint32_t add(std::string_view name);
    /// The number of `name`, or `absent`.
    std::uint32_t find(std::string_view name) const;

    std::size_t size() const { return m_starts.size(); }
    /// The name numbered `number`.
    std::string_view operator[](std::uint32_t number) const;

private:
    /// The slot that holds `name`, or the empty one where it would go.
    std::size_t slotOf(std::string_view name, std::size_t hash) const;
    /// Room for `count` names, every name put back.
    void resize(std::size_t count);

    std::string m_text;
    /// Where each name begins in `m_text`; it ends where the next begins.
    std::vector<std::uint32_t> m_starts;
    FlatSlots m_slots;
};

/// Finds names among a list of them held elsewhere (the views must outlive the index): a
/// flat table of hashes and places, with no copy of any name's bytes. A name listed more than
/// once is found at its first place.
class NameIndex {
public:
    /// What `find` gives for a name that is not listed.
    static constexpr std::uint32_t absent = FlatSlots::empty;

    explicit NameIndex(const std::vector<std::string_view>& names);
    explicit NameIndex(std::vector<std::string_view>&&) = delete;

    /// The first place of `name` in the list, or `absent`.
    std::uint32_t find(std::string_view name) const;
    /// The first place of the name at `place`.
    std::uint32_t firstPlace(std::size_t place) const;

private:
    std::size_t slotOf(std::string_view name, std::size_t hash) const;

    const std::vector<std::string_view>& m_names;
    /// Each name's first place.
    FlatSlots m_slots;
    /// Each place's first place, where any name is listed twice; empty otherwise.
    std::vector<std::uint32_t> m_first;
};

} // namespace sorvik
