#pragma once
// Builds MPEG audio frames bit by bit for the decoder's unit tests: silent
// layer I and II frames (every allocation 0) with any header, optional CRC,
// and files in a per-test temporary folder.

#include "bit_writer.h"
#include "mpeg/allocation_table.h"
#include "mpeg/frame_crc.h"
#include "mpeg/frame_header.h"
#include "mpeg/layer2_decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace lumetra::mpeg::test {

struct FrameShape {
    int id = 1;
    int layer = 2;
    bool protect = false;
    int bitrateIndex = 12;     // layer II MPEG-1: 256 kbit/s
    int samplingFrequency = 1; // MPEG-1: 48 kHz
    int padding = 0;
    int mode = 0;
    int modeExt = 0;
    bool badCrc = false;
};

inline FrameHeader HeaderOf(const FrameShape& s)
{
    FrameHeader h{};
    h.id = s.id;
    h.layer = s.layer;
    h.errorProtection = s.protect ? 1 : 0;
    h.bitrateIndex = s.bitrateIndex;
    h.samplingFrequency = s.samplingFrequency;
    h.padding = s.padding;
    h.mode = s.mode;
    h.modeExt = s.modeExt;
    return h;
}

// A silent frame of the exact length its header gives.
inline std::vector<uint8_t> SilentFrame(const FrameShape& s)
{
    const FrameHeader h = HeaderOf(s);
    const int channels = s.mode == kModeSingleChannel ? 1 : 2;
    BitWriter allocation;
    int bound = 32, limit = 32;
    if (s.layer == 2) {
        static AllocationTable table;
        const int number = AllocationTableNumber(s.id, s.samplingFrequency, s.bitrateIndex, channels);
        limit = ReadAllocationTable(number, table);
        bound = limit;
        if (s.mode == kModeJointStereo)
            bound = std::min(limit, 4 + 4 * s.modeExt);
        for (int sb = 0; sb < limit; ++sb)
            allocation.Put(0, table.entry[sb][0].bits * (sb < bound ? channels : 1));
    } else {
        if (s.mode == kModeJointStereo)
            bound = 4 + 4 * s.modeExt;
        for (int sb = 0; sb < 32; ++sb)
            allocation.Put(0, 4 * (sb < bound ? channels : 1));
    }
    FrameCrc crc;
    crc.AddHeader(h);
    crc.Add(0, static_cast<int>(allocation.BitCount() % 32));
    for (int64_t i = 0; i < allocation.BitCount() / 32; ++i)
        crc.Add(0, 32);

    BitWriter w;
    w.Put(0xFFF0u | static_cast<uint32_t>(s.id << 3 | (4 - s.layer) << 1 | !s.protect), 16);
    w.Put(static_cast<uint32_t>(s.bitrateIndex << 12 | s.samplingFrequency << 10 | s.padding << 9 | s.mode << 6 |
                                s.modeExt << 4),
          16);
    if (s.protect)
        w.Put(s.badCrc ? crc.Value() ^ 0x1234u : crc.Value(), 16);
    w.Put(0, static_cast<int>(allocation.BitCount() % 32));
    for (int64_t i = 0; i < allocation.BitCount() / 32; ++i)
        w.Put(0, 32);
    const std::size_t length = static_cast<std::size_t>(FrameLengthBits(h) / 8);
    std::vector<uint8_t> bytes = w.Bytes();
    bytes.resize(std::max(length, bytes.size()), 0);
    return bytes;
}

inline void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes)
{
    to.insert(to.end(), bytes.begin(), bytes.end());
}

// ID3v2 header for major version `major` and a body of `size` bytes.
inline std::vector<uint8_t> Id3v2Header(int major, uint32_t size)
{
    std::vector<uint8_t> h = {'I', 'D', '3', static_cast<uint8_t>(major), 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7)
        h.push_back(static_cast<uint8_t>((size >> shift) & 0x7F)); // syncsafe
    return h;
}

class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/lumetra-mpeg-XXXXXX";
        m_path = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(m_path); }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        std::string path = m_path + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f) {
            if (!bytes.empty())
                std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return path;
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace lumetra::mpeg::test
