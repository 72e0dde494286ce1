#include "tools/radio-codec/wav_file.h"
#include "platform/regular_file.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace lumetra::tools {

namespace {

uint32_t Le32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

void Put32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}
void Put16(std::vector<uint8_t>& b, uint16_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

} // namespace

bool ReadWavMono(const std::string& path, MonoPcm& pcm, std::string& error)
{
    if (platform::ExistsButNotRegular(path.c_str())) {
        error = platform::NotRegularFileText(path);
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) != 0 || std::memcmp(data.data() + 8, "WAVE", 4) != 0) {
        error = path + " is not a RIFF WAVE file";
        return false;
    }
    int channels = 0, bits = 0, format = 0;
    bool haveFormat = false;
    std::size_t pos = 12;
    while (pos + 8 <= data.size()) {
        const uint32_t size = Le32(&data[pos + 4]);
        const std::size_t body = pos + 8;
        const std::size_t avail = std::min<std::size_t>(size, data.size() - body);
        if (std::memcmp(&data[pos], "fmt ", 4) == 0 && avail >= 16) {
            format = Le16(&data[body]);
            channels = Le16(&data[body + 2]);
            pcm.sampleRate = static_cast<int>(Le32(&data[body + 4]));
            bits = Le16(&data[body + 14]);
            haveFormat = true;
        } else if (std::memcmp(&data[pos], "data", 4) == 0) {
            if (!haveFormat || (format != 1 && format != 0xFFFE) || channels < 1 || (bits != 8 && bits != 16)) {
                error = path + ": only 8- or 16-bit PCM is read";
                return false;
            }
            const std::size_t frameBytes = static_cast<std::size_t>(channels) * (bits / 8);
            pcm.samples.clear();
            for (std::size_t f = 0; f + frameBytes <= avail; f += frameBytes) {
                int32_t sum = 0;
                for (int c = 0; c < channels; ++c) {
                    const uint8_t* s = &data[body + f + static_cast<std::size_t>(c) * (bits / 8)];
                    sum += bits == 8 ? (s[0] - 128) * 256 : static_cast<int16_t>(Le16(s));
                }
                pcm.samples.push_back(static_cast<int16_t>(sum / channels));
            }
            return true;
        }
        pos = body + size + (size & 1);
    }
    error = path + " has no data chunk";
    return false;
}

bool WriteWav8(const std::string& path, int sampleRate, const std::vector<uint8_t>& samples)
{
    std::vector<uint8_t> b;
    const auto n = static_cast<uint32_t>(samples.size());
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    Put32(b, 36 + n);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(b, 16);
    Put16(b, 1);
    Put16(b, 1);
    Put32(b, static_cast<uint32_t>(sampleRate));
    Put32(b, static_cast<uint32_t>(sampleRate));
    Put16(b, 1);
    Put16(b, 8);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    Put32(b, n);
    b.insert(b.end(), samples.begin(), samples.end());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace lumetra::tools
