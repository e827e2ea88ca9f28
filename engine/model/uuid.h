#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace sorvik {

/// A 128-bit identifier. New values are random (version 4); the text form is the
/// 36-character hyphenated form with upper-case hexadecimal digits.
struct Uuid {
    std::array<std::uint8_t, 16> bytes {};

    /// A new random version-4 identifier.
    static Uuid random();
    /// Parses the hyphenated form in either letter case; nothing for any other text.
    static std::optional<Uuid> parse(std::string_view text);

    /// The upper-case hyphenated text, e.g. "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
    std::string text() const;
    /// The characters of `text()`, made without a string.
    std::array<char, 36> textCharacters() const;
    bool isNull() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;
    friend auto operator<=>(const Uuid&, const Uuid&) = default;
};

void to_json(nlohmann::json& json, const Uuid& uuid);
/// Strict: a string holding a valid UUID text, nothing else.
void from_json(const nlohmann::json& json, Uuid& uuid);

} // namespace sorvik

template <> struct std::hash<sorvik::Uuid> {
    std::size_t operator()(const sorvik::Uuid& uuid) const noexcept;
};
