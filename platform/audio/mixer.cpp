#include "platform/audio/mixer.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace lumetra::platform::audio {

namespace {

// A meter whose line has not been fed for this long reads 0. Samples are fed as
// they go to the sink, at least every half second while it plays.
constexpr int64_t kMeterHoldMs = 600;

int Index(MixerLine line)
{
    return static_cast<int>(line);
}

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void RaisePeak(std::atomic<int32_t>& peak, int32_t value)
{
    int32_t current = peak.load(std::memory_order_relaxed);
    while (value > current && !peak.compare_exchange_weak(current, value, std::memory_order_relaxed)) {
    }
}

constexpr size_t kBlock = 16;

template <size_t N>
int32_t PeakOf(const uint8_t* data)
{
    int32_t peak = 0;
    for (size_t i = 0; i < N; ++i) {
        int16_t sample;
        std::memcpy(&sample, data + 2 * i, 2);
        int32_t v = sample;
        peak = std::max(peak, v < 0 ? -v : v);
    }
    return peak;
}

// Below unity the gain fits 16 bits: the high half of a 16 x 16 product, on
// vector lanes of eight samples, corrected to truncate toward zero (which keeps
// the scale symmetric around silence).
template <size_t N>
int32_t ScaleBlock(uint8_t* data, int32_t gain)
{
    const auto g = static_cast<int16_t>(static_cast<uint16_t>(gain));
    const int16_t wide = gain >= 32768 ? -1 : 0; // g read as signed is gain - 65536
    int16_t peak = 0;
    for (size_t i = 0; i < N; ++i) {
        int16_t v;
        std::memcpy(&v, data + 2 * i, 2);
        auto high = static_cast<int16_t>((static_cast<int32_t>(v) * g) >> 16);
        auto low = static_cast<uint16_t>(static_cast<uint16_t>(v) * static_cast<uint16_t>(g));
        auto r = static_cast<int16_t>(high + (v & wide) + ((v < 0) & (low != 0)));
        std::memcpy(data + 2 * i, &r, 2);
        auto a = static_cast<int16_t>(r < 0 ? -r : r);
        peak = std::max(peak, a);
    }
    return peak;
}

} // namespace

Mixer::Mixer()
{
    for (int i = 0; i < kLines; ++i) {
        m_volume[i].store(65535);
        m_peak[i].store(0);
        m_lastFeedMs[i].store(0);
    }
}

MixerControl Mixer::VolumeControl(MixerLine) const
{
    return MixerControl{0, 65535, false};
}

MixerControl Mixer::MeterControl(MixerLine line) const
{
    if (!HasMeter(line))
        return MixerControl{0, 0, false};
    return MixerControl{-32768, 32767, true};
}

bool Mixer::HasMeter(MixerLine line) const
{
    return line == MixerLine::Midi || line == MixerLine::Wave;
}

void Mixer::SetVolumeValue(MixerLine line, int32_t value)
{
    m_volume[Index(line)].store(std::clamp<int32_t>(value, 0, 65535));
}

int32_t Mixer::VolumeValue(MixerLine line) const
{
    return m_volume[Index(line)].load();
}

uint32_t Mixer::GainQ16(MixerLine line) const
{
    uint64_t master = static_cast<uint64_t>(VolumeValue(MixerLine::Master));
    uint64_t own = line == MixerLine::Master ? 65535 : static_cast<uint64_t>(VolumeValue(line));
    // Rounded so that 65535 x 65535 maps to exactly 65536 (unity).
    constexpr uint64_t kFull = 65535ull * 65535ull;
    return static_cast<uint32_t>((master * own * 65536 + kFull / 2) / kFull);
}

float Mixer::Gain(MixerLine line) const
{
    return static_cast<float>(GainQ16(line)) / 65536.0f;
}

int32_t Mixer::ReadMeter(MixerLine line) const
{
    if (!HasMeter(line))
        return 0;
    int32_t peak = m_peak[Index(line)].exchange(0);
    if (NowMs() - m_lastFeedMs[Index(line)].load() > kMeterHoldMs)
        return 0;
    return std::min(peak, 32767);
}

void Mixer::FeedMeter(MixerLine line, const int16_t* samples, int count)
{
    if (!HasMeter(line))
        return;
    int32_t peak = 0;
    for (int i = 0; i < count; ++i)
        peak = std::max(peak, samples[i] < 0 ? -static_cast<int32_t>(samples[i]) : samples[i]);
    RaisePeak(m_peak[Index(line)], peak);
    m_lastFeedMs[Index(line)].store(NowMs());
}

void Mixer::FeedMeter8(MixerLine line, const uint8_t* samples, int count)
{
    if (!HasMeter(line))
        return;
    int32_t peak = 0;
    for (int i = 0; i < count; ++i) {
        int32_t v = (static_cast<int32_t>(samples[i]) - 128) * 256;
        peak = std::max(peak, v < 0 ? -v : v);
    }
    RaisePeak(m_peak[Index(line)], peak);
    m_lastFeedMs[Index(line)].store(NowMs());
}

void Mixer::Apply(MixerLine line, uint8_t* data, size_t bytes, int bitsPerSample)
{
    Apply(line, data, bytes, bitsPerSample, GainQ16(line));
}

void Mixer::Apply(MixerLine line, uint8_t* data, size_t bytes, int bitsPerSample, uint32_t gainQ16)
{
    int32_t peak = ScaleSamples(data, bytes, bitsPerSample, gainQ16);
    if (HasMeter(line) && bytes > 0) {
        RaisePeak(m_peak[Index(line)], peak);
        m_lastFeedMs[Index(line)].store(NowMs());
    }
}

int32_t ScaleSamples(uint8_t* data, size_t bytes, int bitsPerSample, uint32_t gainQ16)
{
    const int64_t gain = gainQ16;
    int32_t peak = 0;
    if (bitsPerSample == 8) {
        for (size_t i = 0; i < bytes; ++i) {
            int32_t v = static_cast<int32_t>(data[i]) - 128;
            if (gain != 65536)
                v = static_cast<int32_t>((v * gain) / 65536);
            data[i] = static_cast<uint8_t>(v + 128);
            int32_t a = (v < 0 ? -v : v) * 256;
            peak = std::max(peak, a);
        }
        return peak;
    }
    // 16-bit little-endian samples, as the host stores them. In blocks of a
    // fixed length the loops run on vector lanes (this is on every byte played).
    const size_t count = bytes / 2;
    const int32_t gain32 = static_cast<int32_t>(std::min<int64_t>(gain, 65536));
    size_t i = 0;
    if (gain32 == 65536) {
        for (; i + kBlock <= count; i += kBlock)
            peak = std::max(peak, PeakOf<kBlock>(data + 2 * i));
        for (; i < count; ++i)
            peak = std::max(peak, PeakOf<1>(data + 2 * i));
    } else {
        for (; i + kBlock <= count; i += kBlock)
            peak = std::max(peak, ScaleBlock<kBlock>(data + 2 * i, gain32));
        for (; i < count; ++i)
            peak = std::max(peak, ScaleBlock<1>(data + 2 * i, gain32));
    }
    return peak;
}

Mixer& TheMixer()
{
    static Mixer mixer;
    return mixer;
}

} // namespace lumetra::platform::audio
