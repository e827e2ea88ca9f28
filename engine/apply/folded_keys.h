#pragma once

#include "engine/model/flat_slots.h"

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

namespace sorvik {

/// Compares comparison keys (see `comparisonKey`) held in one of two forms: a path that is
/// ASCII or not UTF-8, whose key is its own bytes with ASCII letters folded, or a key itself.
/// Either way, folding ASCII letters on the fly gives the key's bytes: so a batch's paths need
/// no copies to be compared.
struct FoldedKey {
    static char folded(char character)
    {
        return character >= 'A' && character <= 'Z' ? static_cast<char>(character + 32) : character;
    }
    std::size_t operator()(std::string_view text) const;
    bool operator()(std::string_view first, std::string_view second) const;
};

/// A set of comparison keys in `FoldedKey`'s forms, held as views that must outlive it, so a
/// batch's keys cost no node each.
class KeySet {
public:
    void reserve(std::size_t count);
    /// Adds `key` unless an equal key is there; `second` tells whether it was added.
    std::pair<std::size_t, bool> insert(std::string_view key);
    bool contains(std::string_view key) const;
    std::size_t size() const { return m_keys.size(); }

private:
    /// The slot that holds `key`, or the empty one where it would go.
    std::size_t slotOf(std::string_view key, std::size_t hash) const;
    /// Room for `count` keys, every key put back.
    void rehash(std::size_t count);

    std::vector<std::string_view> m_keys;
    FlatSlots m_slots;
};

} // namespace sorvik
