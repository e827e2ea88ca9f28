#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace sorvik {

/// Feeds values one after another into one hash, so that a record's hash depends on its
/// fields and their order. Used by the `std::hash` specialisations of the value types.
class Hasher {
public:
    /// Mixes in a hash value that was computed elsewhere.
    Hasher& combine(std::size_t value)
    {
        m_seed ^= value + 0x9E3779B97F4A7C15ULL + (m_seed << 6) + (m_seed >> 2);
        return *this;
    }

    /// Mixes in the `std::hash` of a value.
    template <class T> Hasher& add(const T& value) { return combine(std::hash<T> {}(value)); }

    std::size_t value() const { return m_seed; }

private:
    std::size_t m_seed = 0;
};

} // namespace sorvik
