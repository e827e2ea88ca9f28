#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The update feed: a small JSON document at an address compiled into the build, signed by
// whoever makes the builds. Its detached Ed25519 signature (64 bytes, base64) lives at the
// same address with ".sig" added and is checked over the feed's exact bytes, with the public
// key compiled into the build, before a byte of it is read as JSON. The feed names the newest
// version and the page to get it from; sorvik installs nothing itself.
//
//   { "version": "0.2.0", "downloadPage": "https://…", "releaseNotes": "…" }
//
// "version" is one to four dot-separated numbers; "downloadPage" an https address;
// "releaseNotes" may be left out. Other keys are ignored.
namespace sorvik::UpdateFeed {

inline constexpr std::size_t publicKeySize = 32;
inline constexpr std::size_t signatureSize = 64;
/// The largest feed and signature read; more is refused.
inline constexpr std::size_t feedSizeLimit = 64 * 1024;
inline constexpr std::size_t signatureSizeLimit = 1024;

using PublicKey = std::array<unsigned char, publicKeySize>;

/// Why a feed that holds its signature is no feed all the same.
inline constexpr const char* notAFeedText = "The update information could not be read.";

/// The newest version the feed offers.
struct Release {
    std::string version;
    std::string downloadPage;
    std::string releaseNotes;

    friend bool operator==(const Release&, const Release&) = default;
};

/// The key in base64 (white space around it ignored); nothing unless it is exactly 32 bytes.
std::optional<PublicKey> decodePublicKey(std::string_view base64);

/// Whether `signatureBase64` is a valid Ed25519 signature of `feed` by `key`.
bool isSignedBy(std::string_view feed, std::string_view signatureBase64, const PublicKey& key);

/// The release a verified feed offers. Fails with `Error` when it is not a feed.
Release parse(std::string_view feed);

/// The numbers of a version ("1.10" is {1, 10, 0, 0}); nothing unless it is one to four
/// dot-separated numbers of at most nine digits.
std::optional<std::array<std::uint32_t, 4>> versionNumbers(std::string_view version);

/// Whether `offered` is a later version than `current`; false when either is no version.
bool isNewer(std::string_view offered, std::string_view current);

/// Whether `address` may be fetched: https, or http to this computer itself (127.0.0.1,
/// ::1, localhost), which no one on the way can see.
bool isSecureAddress(std::string_view address);

} // namespace sorvik::UpdateFeed
