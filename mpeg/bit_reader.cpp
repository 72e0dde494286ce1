#include "mpeg/bit_reader.h"

#include "mpeg/error_message.h"

#include <cmath>
#include <cstring>
#include <new>

namespace lumetra::mpeg {

// The buffer is consumed from its high end downward: the next byte has the next
// lower index. A refill keeps the last few unread bytes at the top, so a reader
// that stops short of the end can always see a little ahead.
struct BitReader::Impl {
    FILE* file = nullptr;
    unsigned char* buf = nullptr;
    int size = 0;
    uint32_t counter = 0;
    int byteIdx = 0;
    int bitIdx = 0;
    int eob = 0;        // slot where the file ran out; 0 while it has more data
    bool eos = false;
    bool hex = false;

    int ReadFileByte()
    {
        if (!hex)
            return getc_unlocked(file);
        int digits[2];
        int have = 0;
        while (have < 2) {
            int c = getc_unlocked(file);
            if (c == EOF)
                return -1;
            if (c >= '0' && c <= '9')
                digits[have++] = c - '0';
            else if (c >= 'A' && c <= 'F')
                digits[have++] = c - 'A' + 10;
        }
        return digits[0] * 16 + digits[1];
    }

    void Refill()
    {
        for (int i = byteIdx; i >= 0; --i)
            buf[size - 1 - byteIdx + i] = buf[i];
        for (int i = size - 2 - byteIdx; i >= 0; --i) {
            int c = ReadFileByte();
            if (c < 0) {
                eob = i;
                break;
            }
            buf[i] = static_cast<unsigned char>(c);
        }
        byteIdx = size - 1;
    }

    void NextByte()
    {
        bitIdx = 8;
        if (byteIdx >= 0)
            --byteIdx;
        if (byteIdx < 4 || byteIdx < eob) {
            if (eob)
                eos = true;
            else
                Refill();
        }
    }

    unsigned Current() const { return byteIdx >= 0 ? buf[byteIdx] : 0u; }
};

BitReader::~BitReader()
{
    Close();
}

bool BitReader::Open(const char* path, int bufferSize)
{
    Close();
    FILE* probe = std::fopen(path, "rb");
    if (!probe)
        return false;
    bool hex = true;
    for (int c; (c = getc_unlocked(probe)) != EOF;) {
        bool digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
        if (!digit && c != '\n' && c != '\r' && c != 0x1A) {
            hex = false;
            break;
        }
    }
    std::fclose(probe);
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    if (bufferSize < 8)
        bufferSize = 8;
    auto* buf = new (std::nothrow) unsigned char[bufferSize]();
    if (!buf)
        FailAllocation("buffer");
    m_impl = new Impl;
    m_impl->file = file;
    m_impl->buf = buf;
    m_impl->size = bufferSize;
    m_impl->hex = hex;
    return true;
}

void BitReader::Close()
{
    if (!m_impl)
        return;
    if (m_impl->file)
        std::fclose(m_impl->file);
    delete[] m_impl->buf;
    delete m_impl;
    m_impl = nullptr;
}

bool BitReader::IsOpen() const
{
    return m_impl != nullptr;
}

bool BitReader::IsHexText() const
{
    return m_impl && m_impl->hex;
}

uint32_t BitReader::ReadBits(int n)
{
    if (n > 32)
        ShowErrorMessage("Cannot read or write more than %d bits at a time.\n", 32);
    Impl& r = *m_impl;
    r.counter += static_cast<uint32_t>(n);
    uint64_t value = 0;
    int left = n;
    while (left > 0) {
        if (r.bitIdx == 0)
            r.NextByte();
        int take = left < r.bitIdx ? left : r.bitIdx;
        unsigned bits = (r.Current() & ((1u << r.bitIdx) - 1)) >> (r.bitIdx - take);
        value = (value << take) | bits;
        r.bitIdx -= take;
        left -= take;
    }
    return static_cast<uint32_t>(value);
}

uint32_t BitReader::ReadBit()
{
    Impl& r = *m_impl;
    r.counter += 1;
    if (r.bitIdx == 0)
        r.NextByte();
    --r.bitIdx;
    return (r.Current() >> r.bitIdx) & 1u;
}

void BitReader::SkipBits(int n)
{
    Impl& r = *m_impl;
    r.counter += static_cast<uint32_t>(n);
    int left = n;
    while (left > 0) {
        if (r.bitIdx == 0)
            r.NextByte();
        int take = left < r.bitIdx ? left : r.bitIdx;
        r.bitIdx -= take;
        left -= take;
    }
}

uint32_t BitReader::BitPosition() const
{
    return m_impl->counter;
}

void BitReader::SetBitPosition(uint32_t bits)
{
    m_impl->counter = bits;
}

bool BitReader::AtEnd() const
{
    return !m_impl || m_impl->eos;
}

int BitReader::FindSync(uint32_t pattern, int nbits, int limit)
{
    uint32_t misalign = m_impl->counter % 4;
    if (misalign)
        ReadBits(static_cast<int>(4 - misalign));
    uint32_t value = ReadBits(nbits);
    auto mask = static_cast<uint32_t>(std::pow(2.0, nbits) - 1.0);
    int steps = limit;
    while ((value & mask) != pattern) {
        if (AtEnd())
            break;
        value = (value << 4) | ReadBits(4);
        if (--steps < 1)
            return 0;
    }
    return AtEnd() ? 0 : 1;
}

FILE* BitReader::File() const
{
    return m_impl ? m_impl->file : nullptr;
}

void BitReader::Resync()
{
    m_impl->byteIdx = 0;
    m_impl->bitIdx = 0;
    m_impl->eob = 0;
    m_impl->eos = false;
}

} // namespace lumetra::mpeg
