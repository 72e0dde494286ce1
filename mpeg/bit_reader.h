#pragma once
// Reads an MPEG stream bit by bit, most significant first, through a buffer that
// is refilled from the file. Accepts binary files and text of hexadecimal digits.
// The bit counter is the absolute bit position once the frame loop has set it.

#include <cstdint>
#include <cstdio>

namespace lumetra::mpeg {

class BitReader {
public:
    BitReader() = default;
    ~BitReader();
    BitReader(const BitReader&) = delete;
    BitReader& operator=(const BitReader&) = delete;

    // Opens path for reading, detects binary or hexadecimal text; false on failure.
    bool Open(const char* path, int bufferSize = 4096);
    // The same over a file the caller keeps open (and closes after Close), read
    // from its start.
    bool Open(FILE* file, int bufferSize = 4096);
    void Close();
    bool IsOpen() const { return m_file != nullptr; }
    // True when every byte of the file is an upper-case hex digit or a line end.
    bool IsHexText() const { return m_hex; }

    // n 0..32; n < 1 gives 0 (the counter still moves by n).
    uint32_t ReadBits(int n)
    {
        if (n > 0 && n <= m_bitIdx) { // within the current byte
            m_counter += static_cast<uint64_t>(n);
            m_bitIdx -= n;
            return (Current() >> m_bitIdx) & ((1u << n) - 1u);
        }
        return ReadBitsWide(n);
    }
    uint32_t ReadBit() { return ReadBits(1); }
    // count reads of widths[i] bits into out[i]; the same as count ReadBits.
    void ReadMany(const uint8_t* widths, int count, uint32_t* out);
    void SkipBits(int n);
    uint64_t BitPosition() const { return m_counter; } // the bit counter
    void SetBitPosition(uint64_t bits) { m_counter = bits; }
    bool AtEnd() const { return !m_file || m_eos; } // the end-of-stream flag
    // 1 when pattern (nbits wide) is found at a 4-bit boundary within limit steps.
    int FindSync(uint32_t pattern, int nbits, int limit);
    // As FindSync, with only the bits of mask compared; *matched receives the
    // nbits that matched (0xFFE and 0xFFF both match 0xFFE under mask 0xFFE).
    int FindSyncMasked(uint32_t pattern, uint32_t mask, int nbits, int limit, uint32_t* matched);

    // Direct file access for the frame scan and tag reading (bypasses the buffer).
    FILE* File() const { return m_file; }
    // Drops buffered bytes so the next read refills from the file's current position.
    void Resync();
    // Binary files: the stream ends at this file offset (tags that follow the
    // audio are not read); -1 for the end of the file.
    void SetEnd(long byteOffset) { m_end = byteOffset; }

private:
    // The buffer holds the stream backwards, so the eight bytes ending at the
    // current one, loaded little-endian, are the next stream bits in order.
    uint32_t ReadBitsWide(int n)
    {
        const int need = n - m_bitIdx;
        const int bytes = (need + 7) >> 3;
        const int last = m_byteIdx - bytes;
        if (n > 0 && n <= 32 && m_byteIdx >= 7 && last >= 4 && last >= m_eob) {
            uint64_t word;
            __builtin_memcpy(&word, m_buf + m_byteIdx - 7, sizeof word);
            if constexpr (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__)
                word = __builtin_bswap64(word);
            m_counter += static_cast<uint64_t>(n);
            m_byteIdx = last;
            const uint32_t value = static_cast<uint32_t>((word << (8 - m_bitIdx)) >> (64 - n));
            m_bitIdx = 8 * bytes - need;
            return value;
        }
        return ReadBitsSlow(n);
    }
    uint32_t ReadBitsSlow(int n);
    unsigned Current() const { return m_byteIdx >= 0 ? m_buf[m_byteIdx] : 0u; }
    void NextByte();
    void Refill();
    int ReadFileByte();

    // The buffer is consumed from its high end downward: the next byte has the
    // next lower index.
    FILE* m_file = nullptr;
    bool m_ownsFile = false;
    unsigned char* m_buf = nullptr;
    int m_size = 0;
    uint64_t m_counter = 0;
    int m_byteIdx = 0;
    int m_bitIdx = 0; // bits left in the current byte
    int m_eob = 0;    // slot where the file ran out; 0 while it has more data
    bool m_eos = false;
    bool m_hex = false;
    long m_end = -1;
};

} // namespace lumetra::mpeg
