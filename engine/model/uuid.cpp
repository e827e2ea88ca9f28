#include "engine/model/uuid.h"

#include "engine/model/hex_digit.h"
#include "engine/model/json.h"

#include <cstring>
#include <random>

namespace sorvik {

namespace {

    bool isHyphenPosition(std::size_t position)
    {
        return position == 8 || position == 13 || position == 18 || position == 23;
    }

} // namespace

Uuid Uuid::random()
{
    // One generator per thread, seeded from the system's entropy source once.
    thread_local std::mt19937_64 generator { [] {
        std::random_device device;
        std::seed_seq seed { device(), device(), device(), device(), device(), device() };
        return std::mt19937_64(seed);
    }() };
    Uuid uuid;
    std::uint64_t high = generator();
    std::uint64_t low = generator();
    std::memcpy(uuid.bytes.data(), &high, 8);
    std::memcpy(uuid.bytes.data() + 8, &low, 8);
    uuid.bytes[6] = static_cast<std::uint8_t>((uuid.bytes[6] & 0x0F) | 0x40);
    uuid.bytes[8] = static_cast<std::uint8_t>((uuid.bytes[8] & 0x3F) | 0x80);
    return uuid;
}

std::optional<Uuid> Uuid::parse(std::string_view text)
{
    if (text.size() != 36)
        return std::nullopt;
    Uuid uuid;
    std::size_t byteIndex = 0;
    for (std::size_t position = 0; position < text.size();) {
        if (isHyphenPosition(position)) {
            if (text[position] != '-')
                return std::nullopt;
            ++position;
            continue;
        }
        int high = hexDigitValue(text[position]);
        int low = hexDigitValue(text[position + 1]);
        if (high < 0 || low < 0 || isHyphenPosition(position + 1))
            return std::nullopt;
        uuid.bytes[byteIndex++] = static_cast<std::uint8_t>(high * 16 + low);
        position += 2;
    }
    return uuid;
}

std::string Uuid::text() const
{
    auto characters = textCharacters();
    return std::string(characters.begin(), characters.end());
}

std::array<char, 36> Uuid::textCharacters() const
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::array<char, 36> result {};
    std::size_t end = 0;
    for (std::size_t index = 0; index < bytes.size(); ++index) {
        if (index == 4 || index == 6 || index == 8 || index == 10)
            result[end++] = '-';
        result[end++] = digits[bytes[index] >> 4];
        result[end++] = digits[bytes[index] & 0x0F];
    }
    return result;
}

bool Uuid::isNull() const
{
    for (auto byte : bytes) {
        if (byte != 0)
            return false;
    }
    return true;
}

void to_json(nlohmann::json& json, const Uuid& uuid) { json = uuid.text(); }

void from_json(const nlohmann::json& json, Uuid& uuid)
{
    auto parsed = Uuid::parse(json::decode<std::string>(json));
    if (!parsed)
        throw json::DecodeError("Invalid UUID string");
    uuid = *parsed;
}

} // namespace sorvik

std::size_t std::hash<sorvik::Uuid>::operator()(const sorvik::Uuid& uuid) const noexcept
{
    std::uint64_t high;
    std::uint64_t low;
    std::memcpy(&high, uuid.bytes.data(), 8);
    std::memcpy(&low, uuid.bytes.data() + 8, 8);
    return static_cast<std::size_t>(high ^ (low * 0x9E3779B97F4A7C15ULL));
}
