#pragma once
// Appends bits to a byte string, first bit most significant: test streams are
// written with it.

#include <cstdint>
#include <string>
#include <vector>

namespace lumetra::mpeg::test {

class BitWriter {
public:
    void Put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i, ++m_bits) {
            if (m_bits % 8 == 0)
                m_bytes.push_back(0);
            if ((value >> i) & 1)
                m_bytes.back() |= static_cast<uint8_t>(0x80 >> (m_bits % 8));
        }
    }
    void PutCode(const std::string& code)
    {
        for (char c : code)
            Put(c == '1', 1);
    }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    int64_t BitCount() const { return m_bits; }

private:
    std::vector<uint8_t> m_bytes;
    int64_t m_bits = 0;
};

} // namespace lumetra::mpeg::test
