#include "app/shell/instance_request.h"

namespace sorvik::InstanceRequestFrame {

namespace {

    constexpr std::string_view magic = "sorvik-request";
    constexpr std::uint8_t version = 1;

    void appendNumber(std::string& out, std::uint32_t value)
    {
        for (int shift = 24; shift >= 0; shift -= 8)
            out += static_cast<char>((value >> shift) & 0xFF);
    }

    /// Reads the body front to back; every read fails once the body is too short.
    class Reader {
    public:
        explicit Reader(std::string_view body)
            : m_rest(body)
        {
        }

        std::optional<std::uint8_t> byte()
        {
            if (m_rest.empty())
                return std::nullopt;
            auto value = static_cast<std::uint8_t>(m_rest.front());
            m_rest.remove_prefix(1);
            return value;
        }

        std::optional<std::uint32_t> number()
        {
            if (m_rest.size() < 4)
                return std::nullopt;
            auto value = bodyLength(m_rest.substr(0, 4));
            m_rest.remove_prefix(4);
            return value;
        }

        std::optional<std::string_view> bytes(std::size_t count)
        {
            if (m_rest.size() < count)
                return std::nullopt;
            auto value = m_rest.substr(0, count);
            m_rest.remove_prefix(count);
            return value;
        }

        std::size_t remaining() const { return m_rest.size(); }

    private:
        std::string_view m_rest;
    };

} // namespace

std::string encode(const InstanceRequest& request)
{
    std::string body(magic);
    body += static_cast<char>(version);
    body += static_cast<char>(request.kind);
    appendNumber(body, static_cast<std::uint32_t>(request.files.size()));
    for (const auto& file : request.files) {
        body += static_cast<char>(file.isDirectory ? 1 : 0);
        appendNumber(body, static_cast<std::uint32_t>(file.path.size()));
        body += file.path;
    }
    std::string frame;
    frame.reserve(headerSize + body.size());
    appendNumber(frame, static_cast<std::uint32_t>(body.size()));
    frame += body;
    return frame;
}

std::uint32_t bodyLength(std::string_view header)
{
    std::uint32_t value = 0;
    for (std::size_t index = 0; index < 4 && index < header.size(); ++index)
        value = (value << 8) | static_cast<unsigned char>(header[index]);
    return value;
}

std::optional<InstanceRequest> decode(std::string_view body)
{
    Reader reader(body);
    if (reader.bytes(magic.size()) != magic || reader.byte() != version)
        return std::nullopt;
    auto kind = reader.byte();
    if (!kind || *kind < 1 || *kind > 3)
        return std::nullopt;
    auto count = reader.number();
    // Each file takes five bytes at least: a count beyond that is a lie, not a long list.
    if (!count || *count > reader.remaining() / 5)
        return std::nullopt;

    InstanceRequest request;
    request.kind = static_cast<InstanceRequest::Kind>(*kind);
    request.files.reserve(*count);
    for (std::uint32_t index = 0; index < *count; ++index) {
        auto isDirectory = reader.byte();
        auto length = reader.number();
        if (!isDirectory || *isDirectory > 1 || !length)
            return std::nullopt;
        auto path = reader.bytes(*length);
        if (!path || !path->starts_with('/') || path->find('\0') != std::string_view::npos)
            return std::nullopt;
        request.files.emplace_back(*path, *isDirectory == 1);
    }
    if (reader.remaining() != 0)
        return std::nullopt;
    return request;
}

} // namespace sorvik::InstanceRequestFrame
