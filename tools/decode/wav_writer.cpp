#include "wav_writer.h"

#include <bit>
#include <cstring>

namespace lumetra::tools {
namespace {

void Put16(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void Put32(unsigned char* p, uint32_t v)
{
    Put16(p, v & 0xFFFFu);
    Put16(p + 2, v >> 16);
}

void MakeHeader(unsigned char h[44], int sampleRate, int channels, uint32_t dataBytes)
{
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    Put16(h + 20, 1);
    Put16(h + 22, static_cast<uint32_t>(channels));
    Put32(h + 24, static_cast<uint32_t>(sampleRate));
    Put32(h + 28, static_cast<uint32_t>(sampleRate * channels * 2));
    Put16(h + 32, static_cast<uint32_t>(channels * 2));
    Put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataBytes);
}

} // namespace

WavWriter::~WavWriter()
{
    Close();
}

bool WavWriter::Open(const char* path, int sampleRate, int channels)
{
    m_file = std::fopen(path, "wb");
    if (!m_file)
        return false;
    unsigned char h[44];
    MakeHeader(h, sampleRate, channels, 0);
    m_failed = std::fwrite(h, 1, sizeof h, m_file) != sizeof h;
    m_dataBytes = 0;
    return !m_failed;
}

bool WavWriter::Write(const int16_t* samples, std::size_t count)
{
    if (!m_file)
        return false;
    if constexpr (std::endian::native == std::endian::little) {
        // The samples already are the file's little-endian bytes: one write.
        if (std::fwrite(samples, 2, count, m_file) != count)
            m_failed = true;
        m_dataBytes += static_cast<uint32_t>(2 * count);
        return !m_failed;
    }
    unsigned char buf[2 * 4608];
    while (count > 0) {
        std::size_t n = count < 4608 ? count : 4608;
        for (std::size_t i = 0; i < n; ++i)
            Put16(buf + 2 * i, static_cast<uint16_t>(samples[i]));
        if (std::fwrite(buf, 2, n, m_file) != n)
            m_failed = true;
        m_dataBytes += static_cast<uint32_t>(2 * n);
        samples += n;
        count -= n;
    }
    return !m_failed;
}

bool WavWriter::Close()
{
    if (!m_file)
        return !m_failed;
    // Rate and channels live in the header written at Open; only sizes change.
    unsigned char size[4];
    Put32(size, 36 + m_dataBytes);
    if (std::fseek(m_file, 4, SEEK_SET) != 0 || std::fwrite(size, 1, 4, m_file) != 4)
        m_failed = true;
    Put32(size, m_dataBytes);
    if (std::fseek(m_file, 40, SEEK_SET) != 0 || std::fwrite(size, 1, 4, m_file) != 4)
        m_failed = true;
    if (std::fclose(m_file) != 0)
        m_failed = true;
    m_file = nullptr;
    return !m_failed;
}

} // namespace lumetra::tools
