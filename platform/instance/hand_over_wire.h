#pragma once
// The bytes of a hand-over between two players on one machine. The second
// player sends one request: the 8 bytes "LUMETRA1", the path's length as 4
// bytes little-endian, then the path (any bytes, at most 4096 of them). The
// running player answers with one byte: accepted (the sender ends) or busy (the
// sender tries again later). Pure: no sockets here.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumetra::platform {

inline constexpr std::size_t kMaxHandOverPathBytes = 4096;
inline constexpr std::string_view kHandOverMagic = "LUMETRA1";
inline constexpr std::size_t kHandOverHeaderBytes = kHandOverMagic.size() + 4;
inline constexpr char kHandOverAccepted = 'A';
inline constexpr char kHandOverBusy = 'B';

// The request for path; path must not exceed kMaxHandOverPathBytes.
std::string EncodeHandOverRequest(std::string_view path);

// Reads one request from bytes as they arrive; never holds more than the header
// and kMaxHandOverPathBytes.
class HandOverRequestReader {
public:
    enum class Status { NeedMore, Complete, Invalid };

    // Takes the next bytes; bytes after a complete request make it Invalid.
    Status Feed(std::string_view bytes);
    Status Current() const { return m_status; }
    // The path once Complete.
    const std::string& Path() const { return m_path; }

private:
    std::array<char, kHandOverHeaderBytes> m_header{};
    std::size_t m_headerFill = 0;
    std::size_t m_length = 0;
    std::string m_path;
    Status m_status = Status::NeedMore;
};

} // namespace lumetra::platform
