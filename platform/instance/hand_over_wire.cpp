#include "platform/instance/hand_over_wire.h"

#include <algorithm>
#include <cstring>

namespace lumetra::platform {

std::string EncodeHandOverRequest(std::string_view path)
{
    std::string request(kHandOverMagic);
    uint32_t length = static_cast<uint32_t>(path.size());
    for (int i = 0; i < 4; ++i)
        request += static_cast<char>((length >> (8 * i)) & 0xFF);
    request += path;
    return request;
}

HandOverRequestReader::Status HandOverRequestReader::Feed(std::string_view bytes)
{
    if (m_status != Status::NeedMore) {
        if (!bytes.empty())
            m_status = Status::Invalid;
        return m_status;
    }
    if (m_headerFill < m_header.size()) {
        std::size_t take = std::min(bytes.size(), m_header.size() - m_headerFill);
        std::memcpy(m_header.data() + m_headerFill, bytes.data(), take);
        m_headerFill += take;
        bytes.remove_prefix(take);
        if (m_headerFill < m_header.size())
            return m_status;
        if (std::memcmp(m_header.data(), kHandOverMagic.data(), kHandOverMagic.size()) != 0)
            return m_status = Status::Invalid;
        m_length = 0;
        for (int i = 3; i >= 0; --i)
            m_length = (m_length << 8) | static_cast<unsigned char>(m_header[kHandOverMagic.size() + i]);
        if (m_length > kMaxHandOverPathBytes)
            return m_status = Status::Invalid;
        m_path.reserve(m_length);
    }
    if (bytes.size() > m_length - m_path.size())
        return m_status = Status::Invalid;
    m_path.append(bytes);
    if (m_path.size() == m_length)
        m_status = Status::Complete;
    return m_status;
}

} // namespace lumetra::platform
