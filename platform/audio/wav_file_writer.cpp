#include "platform/audio/wav_file_writer.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumetra::platform::audio {

namespace {

constexpr size_t kHeaderBytes = 44;

void Put16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v)
{
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

std::array<uint8_t, kHeaderBytes> MakeHeader(const WaveFormat& format, uint32_t dataBytes)
{
    std::array<uint8_t, kHeaderBytes> h{};
    std::memcpy(&h[0], "RIFF", 4);
    Put32(&h[4], dataBytes > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu : dataBytes + 36);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    Put32(&h[16], 16);
    Put16(&h[20], format.formatTag);
    Put16(&h[22], format.channels);
    Put32(&h[24], format.samplesPerSec);
    Put32(&h[28], format.avgBytesPerSec);
    Put16(&h[32], format.blockAlign);
    Put16(&h[34], format.bitsPerSample);
    std::memcpy(&h[36], "data", 4);
    Put32(&h[40], dataBytes);
    return h;
}

bool WriteAll(int fd, const uint8_t* data, size_t bytes, off_t offset)
{
    while (bytes > 0) {
        ssize_t n = pwrite(fd, data, bytes, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        bytes -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

} // namespace

WavFileWriter::~WavFileWriter()
{
    Close();
}

bool WavFileWriter::Open(const std::string& path, const WaveFormat& format, bool append)
{
    Close();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    auto header = MakeHeader(format, 0);
    bool keep = false;
    struct stat st {};
    if (append && fstat(fd, &st) == 0 && st.st_size >= static_cast<off_t>(kHeaderBytes)) {
        std::array<uint8_t, kHeaderBytes> existing{};
        // Only the format fields are compared; the sizes may be anything.
        if (pread(fd, existing.data(), kHeaderBytes, 0) == static_cast<ssize_t>(kHeaderBytes) &&
            std::memcmp(&existing[8], &header[8], 32) == 0 && std::memcmp(&existing[0], "RIFF", 4) == 0 &&
            std::memcmp(&existing[36], "data", 4) == 0) {
            uint64_t data = static_cast<uint64_t>(st.st_size) - kHeaderBytes;
            m_dataBytes = data - data % std::max<uint16_t>(1, format.blockAlign);
            keep = true;
        }
    }
    if (!keep) {
        m_dataBytes = 0;
        if (ftruncate(fd, 0) != 0 || !WriteAll(fd, header.data(), header.size(), 0)) {
            ::close(fd);
            return false;
        }
    } else if (ftruncate(fd, static_cast<off_t>(kHeaderBytes + m_dataBytes)) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return WriteSizes();
}

bool WavFileWriter::Append(const uint8_t* data, size_t bytes)
{
    if (m_fd < 0)
        return false;
    if (!WriteAll(m_fd, data, bytes, static_cast<off_t>(kHeaderBytes + m_dataBytes)))
        return false;
    m_dataBytes += bytes;
    return WriteSizes();
}

bool WavFileWriter::WriteSizes()
{
    uint32_t data = m_dataBytes > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(m_dataBytes);
    uint8_t riff[4];
    uint8_t sizeField[4];
    Put32(riff, data + 36);
    Put32(sizeField, data);
    return WriteAll(m_fd, riff, 4, 4) && WriteAll(m_fd, sizeField, 4, 40);
}

void WavFileWriter::Close()
{
    if (m_fd >= 0) {
        WriteSizes();
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace lumetra::platform::audio
