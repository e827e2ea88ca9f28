#include "app/shell/update_feed.h"

#include "engine/model/error.h"

#include <nlohmann/json.hpp>
#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <vector>

namespace sorvik::UpdateFeed {

namespace {

    constexpr const char* whiteSpace = " \t\r\n";

    std::string_view trimmed(std::string_view text)
    {
        auto first = text.find_first_not_of(whiteSpace);
        if (first == std::string_view::npos)
            return {};
        auto last = text.find_last_not_of(whiteSpace);
        return text.substr(first, last - first + 1);
    }

    /// Exactly `size` bytes from base64 text, else nothing.
    std::optional<std::vector<unsigned char>> decodeBase64(
        std::string_view base64, std::size_t size)
    {
        auto text = trimmed(base64);
        if (text.empty())
            return std::nullopt;
        // One byte more than wanted, so that a longer text shows as longer.
        std::vector<unsigned char> bytes(size + 1);
        std::size_t length = 0;
        if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr,
                &length, nullptr, sodium_base64_VARIANT_ORIGINAL)
                != 0
            || length != size)
            return std::nullopt;
        bytes.resize(size);
        return bytes;
    }

    std::string lowercased(std::string_view text)
    {
        std::string out(text);
        std::transform(out.begin(), out.end(), out.begin(),
            [](unsigned char character) { return static_cast<char>(std::tolower(character)); });
        return out;
    }

    Error notAFeed() { return Error(notAFeedText); }

    const nlohmann::json& stringMember(const nlohmann::json& object, const char* key)
    {
        auto member = object.find(key);
        if (member == object.end() || !member->is_string())
            throw notAFeed();
        return *member;
    }

} // namespace

std::optional<PublicKey> decodePublicKey(std::string_view base64)
{
    auto bytes = decodeBase64(base64, publicKeySize);
    if (!bytes)
        return std::nullopt;
    PublicKey key {};
    std::copy(bytes->begin(), bytes->end(), key.begin());
    return key;
}

bool isSignedBy(std::string_view feed, std::string_view signatureBase64, const PublicKey& key)
{
    if (sodium_init() < 0)
        return false;
    auto signature = decodeBase64(signatureBase64, signatureSize);
    if (!signature)
        return false;
    return crypto_sign_verify_detached(signature->data(),
               reinterpret_cast<const unsigned char*>(feed.data()), feed.size(), key.data())
        == 0;
}

Release parse(std::string_view feed)
{
    nlohmann::json document;
    try {
        document = nlohmann::json::parse(feed);
    } catch (const nlohmann::json::exception&) {
        throw notAFeed();
    }
    if (!document.is_object())
        throw notAFeed();
    Release release;
    release.version = stringMember(document, "version").get<std::string>();
    release.downloadPage = stringMember(document, "downloadPage").get<std::string>();
    if (document.contains("releaseNotes"))
        release.releaseNotes = stringMember(document, "releaseNotes").get<std::string>();
    if (!versionNumbers(release.version)
        || !lowercased(release.downloadPage).starts_with("https://")
        || release.downloadPage.size() <= 8)
        throw notAFeed();
    return release;
}

std::optional<std::array<std::uint32_t, 4>> versionNumbers(std::string_view version)
{
    std::array<std::uint32_t, 4> numbers {};
    std::size_t index = 0;
    std::size_t start = 0;
    while (true) {
        if (index == numbers.size())
            return std::nullopt;
        auto end = version.find('.', start);
        auto part = version.substr(start, end == std::string_view::npos ? end : end - start);
        if (part.empty() || part.size() > 9
            || !std::all_of(part.begin(), part.end(),
                [](unsigned char character) { return std::isdigit(character); }))
            return std::nullopt;
        std::uint32_t value = 0;
        for (char digit : part)
            value = value * 10 + static_cast<std::uint32_t>(digit - '0');
        numbers[index++] = value;
        if (end == std::string_view::npos)
            return numbers;
        start = end + 1;
    }
}

bool isNewer(std::string_view offered, std::string_view current)
{
    auto offeredNumbers = versionNumbers(offered);
    auto currentNumbers = versionNumbers(current);
    return offeredNumbers && currentNumbers && *offeredNumbers > *currentNumbers;
}

bool isSecureAddress(std::string_view address)
{
    auto text = lowercased(address);
    if (text.starts_with("https://"))
        return text.size() > 8;
    for (std::string_view local : { "http://127.0.0.1", "http://[::1]", "http://localhost" }) {
        if (!text.starts_with(local))
            continue;
        auto rest = std::string_view(text).substr(local.size());
        if (rest.empty() || rest.front() == ':' || rest.front() == '/')
            return true;
    }
    return false;
}

} // namespace sorvik::UpdateFeed
