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
    void Close();
    bool IsOpen() const;
    // True when every byte of the file is an upper-case hex digit or a line end.
    bool IsHexText() const;

    uint32_t ReadBits(int n);       // n 0..32; n < 1 gives 0 (the counter still moves by n)
    uint32_t ReadBit();
    void SkipBits(int n);
    uint32_t BitPosition() const;   // the bit counter
    void SetBitPosition(uint32_t bits);
    bool AtEnd() const;             // the end-of-stream flag
    // 1 when pattern (nbits wide) is found at a 4-bit boundary within limit steps.
    int FindSync(uint32_t pattern, int nbits, int limit);

    // Direct file access for the frame scan and tag reading (bypasses the buffer).
    FILE* File() const;
    // Drops buffered bytes so the next read refills from the file's current position.
    void Resync();

private:
    struct Impl;
    Impl* m_impl = nullptr;
};

} // namespace lumetra::mpeg
