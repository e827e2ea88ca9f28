#pragma once

#include "app/shell/updater.h"

#include <sodium.h>

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik::testing {

inline std::string base64(const unsigned char* bytes, std::size_t size)
{
    std::string text(sodium_base64_encoded_len(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.find('\0'));
    return text;
}

/// An Ed25519 key pair made for one test.
struct SigningKey {
    std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> publicKey {};
    std::array<unsigned char, crypto_sign_SECRETKEYBYTES> secretKey {};

    SigningKey()
    {
        if (sodium_init() < 0)
            throw std::runtime_error("libsodium cannot start");
        crypto_sign_keypair(publicKey.data(), secretKey.data());
    }

    std::string publicKeyBase64() const { return base64(publicKey.data(), publicKey.size()); }

    /// The base64 detached signature of `message`.
    std::string sign(std::string_view message) const
    {
        std::array<unsigned char, crypto_sign_BYTES> signature {};
        crypto_sign_detached(signature.data(), nullptr,
            reinterpret_cast<const unsigned char*>(message.data()), message.size(),
            secretKey.data());
        return base64(signature.data(), signature.size());
    }
};

/// Records what an updater shows, in order, as short lines.
struct RecordingUpdateDriver : UpdateUserDriver {
    std::vector<std::string> shown;
    std::function<void()> cancel;

    void showChecking(std::function<void()> cancelCheck) override
    {
        cancel = std::move(cancelCheck);
        shown.push_back("checking");
    }
    void showUpToDate(const std::string& currentVersion) override
    {
        shown.push_back("up to date " + currentVersion);
    }
    void showUpdateFound(const AvailableUpdate& update, bool background) override
    {
        shown.push_back(std::string(background ? "background " : "") + "found " + update.version
            + " " + update.downloadPage + " [" + update.releaseNotes + "] over "
            + update.currentVersion);
    }
    void showCheckFailed(const std::string& reason) override
    {
        shown.push_back("failed " + reason);
    }
    void showUnavailable(const std::string& reason) override
    {
        shown.push_back("unavailable " + reason);
    }
    void dismiss() override { shown.push_back("dismissed"); }
};

} // namespace sorvik::testing
