#include "app/services/ai_cache_key.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <charconv>

namespace sorvik {

std::string sha256Hex(std::string_view bytes)
{
    QByteArray digest = QCryptographicHash::hash(
        QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
        QCryptographicHash::Sha256);
    return digest.toHex().toStdString();
}

std::string shortestDecimalText(double value)
{
    char buffer[400];
    auto [end, error]
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (error != std::errc())
        return std::to_string(value);
    std::string text(buffer, end);
    if (text.find_first_of(".ni") == std::string::npos) // not NaN or infinity either
        text += ".0";
    return text;
}

std::string aiCacheKey(std::string_view contentHash, const FileItem& item, AIMode mode,
    std::int64_t maxWords, bool includeDate)
{
    std::string key = "v1|";
    key += contentHash;
    key += '|';
    key += std::to_string(item.size);
    key += '|';
    key += shortestDecimalText(item.modified.unixSeconds());
    key += '|';
    key += caseName(mode);
    key += '|';
    key += std::to_string(maxWords);
    key += '|';
    key += includeDate ? "true" : "false";
    return key;
}

} // namespace sorvik
