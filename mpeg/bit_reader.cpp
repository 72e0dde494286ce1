#include "mpeg/bit_reader.h"

#include "mpeg/diagnostics.h"

#include <cmath>
#include <cstring>
#include <new>

namespace lumetra::mpeg {

int BitReader::ReadFileByte()
{
    if (!m_hex)
        return getc_unlocked(m_file);
    int digits[2];
    int have = 0;
    while (have < 2) {
        int c = getc_unlocked(m_file);
        if (c == EOF)
            return -1;
        if (c >= '0' && c <= '9')
            digits[have++] = c - '0';
        else if (c >= 'A' && c <= 'F')
            digits[have++] = c - 'A' + 10;
    }
    return digits[0] * 16 + digits[1];
}

// Keeps the unread bytes (index 0 up to the current one) at the top of the
// buffer, in order, and fills the space below them from the file.
void BitReader::Refill()
{
    for (int i = m_byteIdx; i >= 0; --i)
        m_buf[m_size - 1 - m_byteIdx + i] = m_buf[i];
    int i = m_size - 2 - m_byteIdx;
    if (!m_hex) {
        // Binary files are read in blocks; the bytes land exactly where the
        // byte-by-byte loop below would put them and nothing else is touched.
        unsigned char block[4096];
        while (i >= 0) {
            std::size_t want =
                static_cast<std::size_t>(i + 1) < sizeof block ? static_cast<std::size_t>(i + 1) : sizeof block;
            bool limited = false;
            if (m_end >= 0) {
                const long left = m_end - std::ftell(m_file);
                if (left < static_cast<long>(want)) {
                    want = left > 0 ? static_cast<std::size_t>(left) : 0;
                    limited = true;
                }
            }
            const std::size_t got = std::fread(block, 1, want, m_file);
            std::size_t k = 0;
            // Eight bytes at a time, reversed by a byte swap.
            for (; k + 8 <= got; k += 8, i -= 8) {
                uint64_t word;
                std::memcpy(&word, block + k, sizeof word);
                word = __builtin_bswap64(word);
                std::memcpy(m_buf + i - 7, &word, sizeof word);
            }
            for (; k < got; ++k)
                m_buf[i--] = block[k];
            if (got < want || (limited && i >= 0)) {
                m_eob = i;
                break;
            }
        }
        m_byteIdx = m_size - 1;
        return;
    }
    for (; i >= 0; --i) {
        int c = ReadFileByte();
        if (c < 0) {
            m_eob = i;
            break;
        }
        m_buf[i] = static_cast<unsigned char>(c);
    }
    m_byteIdx = m_size - 1;
}

void BitReader::NextByte()
{
    m_bitIdx = 8;
    if (m_byteIdx >= 0)
        --m_byteIdx;
    if (m_byteIdx < 4 || m_byteIdx < m_eob) {
        if (m_eob)
            m_eos = true;
        else
            Refill();
    }
}

BitReader::~BitReader()
{
    Close();
}

bool BitReader::Open(const char* path, int bufferSize)
{
    Close();
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    if (!Open(file, bufferSize)) {
        std::fclose(file);
        return false;
    }
    m_ownsFile = true;
    return true;
}

bool BitReader::Open(FILE* file, int bufferSize)
{
    Close();
    if (std::fseek(file, 0, SEEK_SET) != 0)
        return false;
    bool hex = true;
    for (int c; (c = getc_unlocked(file)) != EOF;) {
        bool digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
        if (!digit && c != '\n' && c != '\r' && c != 0x1A) {
            hex = false;
            break;
        }
    }
    std::clearerr(file);
    if (std::fseek(file, 0, SEEK_SET) != 0)
        return false;
    if (bufferSize < 8)
        bufferSize = 8;
    auto* buf = new (std::nothrow) unsigned char[bufferSize]();
    if (!buf)
        return false;
    m_file = file;
    m_ownsFile = false;
    m_buf = buf;
    m_size = bufferSize;
    m_hex = hex;
    m_end = -1;
    m_counter = 0;
    m_byteIdx = 0;
    m_bitIdx = 0;
    m_eob = 0;
    m_eos = false;
    return true;
}

void BitReader::Close()
{
    if (m_file && m_ownsFile)
        std::fclose(m_file);
    delete[] m_buf;
    m_file = nullptr;
    m_ownsFile = false;
    m_buf = nullptr;
    m_size = 0;
    m_byteIdx = 0;
    m_bitIdx = 0;
    m_eob = 0;
    m_eos = false;
}

uint32_t BitReader::ReadBitsSlow(int n)
{
    if (n > 32)
        DiagErr("Cannot read or write more than %d bits at a time.\n", 32);
    m_counter += static_cast<uint64_t>(n);
    if (!m_buf)
        return 0;
    if (n > m_bitIdx) {
        // When the whole read stays clear of the refill and end checks, take
        // the bytes directly: same bits, same final byte and bit position.
        const int need = n - m_bitIdx;
        const int bytes = (need + 7) >> 3;
        const int last = m_byteIdx - bytes;
        if (last >= 4 && last >= m_eob) {
            uint64_t value = Current() & ((1u << m_bitIdx) - 1u);
            for (int k = m_byteIdx - 1; k >= last; --k)
                value = (value << 8) | m_buf[k];
            m_byteIdx = last;
            m_bitIdx = 8 * bytes - need;
            return static_cast<uint32_t>(value >> m_bitIdx);
        }
    }
    uint64_t value = 0;
    int left = n;
    while (left > 0) {
        if (m_bitIdx == 0)
            NextByte();
        int take = left < m_bitIdx ? left : m_bitIdx;
        unsigned bits = (Current() & ((1u << m_bitIdx) - 1)) >> (m_bitIdx - take);
        value = (value << take) | bits;
        m_bitIdx -= take;
        left -= take;
    }
    return static_cast<uint32_t>(value);
}

void BitReader::ReadMany(const uint8_t* widths, int count, uint32_t* out)
{
    int i = 0;
    while (i < count) {
        // pos: bits consumed from the start of byte `top`. Reads stay within
        // bytes top down to `floor`, clear of the refill and the end, so the
        // eight bytes ending at any of them can be loaded at once; only pos
        // changes from one read to the next.
        const int top = m_byteIdx;
        const int floor = m_eob > 7 ? m_eob : 7;
        const int64_t limit = m_buf ? (static_cast<int64_t>(top) - floor + 1) * 8 : 0;
        const int64_t start = 8 - m_bitIdx;
        int64_t pos = start;
        for (; i < count; ++i) {
            const int n = widths[i];
            if (n < 1 || n > 32 || pos + n > limit)
                break;
            uint64_t word;
            __builtin_memcpy(&word, m_buf + top - (pos >> 3) - 7, sizeof word);
            if constexpr (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__)
                word = __builtin_bswap64(word);
            out[i] = static_cast<uint32_t>((word << (pos & 7)) >> (64 - n));
            pos += n;
        }
        if (pos > start) {
            // As ReadBits leaves it: the byte of the last bit taken is current.
            m_byteIdx = top - static_cast<int>((pos - 1) >> 3);
            m_bitIdx = 7 - static_cast<int>((pos - 1) & 7);
            m_counter += static_cast<uint64_t>(pos - start);
        }
        if (i < count) {
            out[i] = ReadBits(widths[i]);
            ++i;
        }
    }
}

void BitReader::SkipBits(int n)
{
    m_counter += static_cast<uint64_t>(n);
    if (!m_buf)
        return;
    int left = n;
    while (left > 0) {
        if (m_bitIdx == 0)
            NextByte();
        int take = left < m_bitIdx ? left : m_bitIdx;
        m_bitIdx -= take;
        left -= take;
    }
}

int BitReader::FindSync(uint32_t pattern, int nbits, int limit)
{
    uint32_t matched = 0;
    return FindSyncMasked(pattern, nbits >= 32 ? ~0u : (1u << nbits) - 1u, nbits, limit, &matched);
}

int BitReader::FindSyncMasked(uint32_t pattern, uint32_t mask, int nbits, int limit, uint32_t* matched)
{
    uint32_t misalign = static_cast<uint32_t>(m_counter % 4);
    if (misalign)
        ReadBits(static_cast<int>(4 - misalign));
    uint32_t value = ReadBits(nbits);
    int steps = limit;
    while ((value & mask) != pattern) {
        if (AtEnd())
            break;
        value = (value << 4) | ReadBits(4);
        if (--steps < 1)
            return 0;
    }
    *matched = nbits >= 32 ? value : value & ((1u << nbits) - 1u);
    return AtEnd() ? 0 : 1;
}

void BitReader::Resync()
{
    m_byteIdx = 0;
    m_bitIdx = 0;
    m_eob = 0;
    m_eos = false;
}

} // namespace lumetra::mpeg
