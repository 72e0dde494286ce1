#include "platform/audio/backends.h"
#include "platform/audio/clock_sink.h"
#include "platform/audio/queued_wave_out.h"
#include "platform/audio/wave_out.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <vector>

namespace lumetra::platform::audio {

namespace {

enum class Backend { Null, File, FileFast, Pulse, Alsa };

// The WAVE_FORMAT_* bit of a format at 11.025, 22.05 or 44.1 kHz, else 0.
uint32_t FormatBit(const WaveFormat& format)
{
    int rateIndex = format.samplesPerSec == 11025   ? 0
                    : format.samplesPerSec == 22050 ? 1
                    : format.samplesPerSec == 44100 ? 2
                                                    : -1;
    if (rateIndex < 0)
        return 0;
    int bit = rateIndex * 4 + (format.channels == 2 ? 1 : 0) + (format.bitsPerSample == 16 ? 2 : 0);
    return 1u << bit;
}

// "out.wav" -> "out-2.wav": the file of a device opened while others are open.
std::string SlotPath(const std::string& path, int slot)
{
    if (slot == 0)
        return path;
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    std::string suffix = "-" + std::to_string(slot);
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + suffix;
    return path.substr(0, dot) + suffix + path.substr(dot);
}

class BackendAudioSystem : public AudioSystem {
public:
    BackendAudioSystem(Backend backend, std::string argument, std::vector<uint32_t> deviceFormats, Mixer& mixer)
        : m_backend(backend), m_argument(std::move(argument)), m_formats(std::move(deviceFormats)), m_mixer(mixer)
    {
    }

    int DeviceCount() override { return static_cast<int>(m_formats.size()); }

    int GetCaps(int device, DeviceCaps& caps) override
    {
        if (device < 0 || device >= DeviceCount())
            return kWaveBadDeviceId;
        caps = DeviceCaps{};
        caps.productName = ProductName(device);
        caps.manufacturerId = 1;
        caps.productId = static_cast<uint16_t>(static_cast<int>(m_backend) + 1);
        caps.driverVersion = 0x0100;
        caps.formats = m_formats[static_cast<size_t>(device)];
        caps.channels = 2;
        return kWaveOk;
    }

    int QueryFormat(int device, const WaveFormat& format) override
    {
        if (device < 0 || device >= DeviceCount())
            return kWaveBadDeviceId;
        if (!IsSupportedFormat(format))
            return kWaveBadFormat;
        uint32_t bit = FormatBit(format);
        if (bit != 0 && !(m_formats[static_cast<size_t>(device)] & bit))
            return kWaveBadFormat;
        return kWaveOk;
    }

    int OpenOnLine(int device, const WaveFormat& format, MixerLine line, DoneCallback done,
                   std::unique_ptr<WaveOutDevice>& out) override
    {
        int result = QueryFormat(device, format);
        if (result != kWaveOk)
            return result;
        std::unique_ptr<AudioSink> sink;
        QueuedWaveOut::ClosedHook closed;
        switch (m_backend) {
        case Backend::Null:
            sink = std::make_unique<ClockSink>(false, nullptr);
            break;
        case Backend::File:
        case Backend::FileFast: {
            std::lock_guard lock(m_slotMutex);
            int slot = 0;
            while (m_busySlots.count(slot))
                ++slot;
            auto writer = std::make_unique<WavFileWriter>();
            if (!writer->Open(SlotPath(m_argument, slot), format, m_usedSlots.count(slot) > 0))
                return kWaveNoDriver;
            m_busySlots.insert(slot);
            m_usedSlots.insert(slot);
            sink = std::make_unique<ClockSink>(m_backend == Backend::FileFast, std::move(writer));
            closed = [this, slot] {
                std::lock_guard lock(m_slotMutex);
                m_busySlots.erase(slot);
            };
            break;
        }
        case Backend::Pulse:
#ifdef LUMETRA_HAVE_PULSE
            sink = MakePulseSink("Lumetra Media Player");
#endif
            break;
        case Backend::Alsa:
#ifdef LUMETRA_HAVE_ALSA
            sink = MakeAlsaSink(m_argument);
#endif
            break;
        }
        if (!sink)
            return kWaveNoDriver;
        auto device_ = std::make_unique<QueuedWaveOut>(std::move(sink), format, m_mixer, line, std::move(done), closed);
        result = device_->Start();
        if (result != kWaveOk) {
            if (closed)
                closed();
            return result;
        }
        out = std::move(device_);
        return kWaveOk;
    }

    std::string BackendName() const override
    {
        switch (m_backend) {
        case Backend::Null:
            return "null";
        case Backend::File:
            return "file:" + m_argument;
        case Backend::FileFast:
            return "file-fast:" + m_argument;
        case Backend::Pulse:
            return "pulse";
        case Backend::Alsa:
            return "alsa:" + m_argument;
        }
        return "null";
    }

    Mixer& LineMixer() override
    {
        return m_mixer;
    }

private:
    std::string ProductName(int device) const
    {
        switch (m_backend) {
        case Backend::Pulse:
            return "PulseAudio default output";
        case Backend::Alsa:
            return "ALSA " + m_argument;
        case Backend::File:
        case Backend::FileFast:
            return "WAV file " + m_argument;
        case Backend::Null:
            break;
        }
        return "Null output " + std::to_string(device);
    }

    Backend m_backend;
    std::string m_argument;
    std::vector<uint32_t> m_formats;
    Mixer& m_mixer;
    std::mutex m_slotMutex;
    std::set<int> m_busySlots;
    std::set<int> m_usedSlots;
};

// "0x0,0xfff" -> {0, 0xfff}; empty or malformed lists give nothing.
std::vector<uint32_t> ParseFormatList(const std::string& text)
{
    std::vector<uint32_t> formats;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        char* end = nullptr;
        unsigned long value = std::strtoul(item.c_str(), &end, 0);
        if (item.empty() || !end || *end != '\0' || value > 0xFFFFFFFFul)
            return {};
        formats.push_back(static_cast<uint32_t>(value));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return formats;
}

std::unique_ptr<AudioSystem> CreateAutomatic(Mixer& mixer)
{
#ifdef LUMETRA_HAVE_PULSE
    if (PulseServerAnswers())
        return std::make_unique<BackendAudioSystem>(Backend::Pulse, "", std::vector<uint32_t>{kFormatsAll}, mixer);
#endif
#ifdef LUMETRA_HAVE_ALSA
    if (AlsaDeviceOpens("default"))
        return std::make_unique<BackendAudioSystem>(Backend::Alsa, "default", std::vector<uint32_t>{kFormatsAll},
                                                    mixer);
#endif
    std::fprintf(stderr, "lumetra: no sound server or sound device answers; sound output is discarded\n");
    return std::make_unique<BackendAudioSystem>(Backend::Null, "", std::vector<uint32_t>{kFormatsAll}, mixer);
}

} // namespace

std::unique_ptr<AudioSystem> CreateAudioSystem(const std::string& choice, Mixer* mixerOrNull)
{
    Mixer& mixer = mixerOrNull ? *mixerOrNull : TheMixer();
    if (choice.empty())
        return CreateAutomatic(mixer);
    size_t colon = choice.find(':');
    std::string name = choice.substr(0, colon);
    std::string argument = colon == std::string::npos ? "" : choice.substr(colon + 1);
    if (name == "null") {
        std::vector<uint32_t> formats{kFormatsAll};
        if (colon != std::string::npos) {
            formats = ParseFormatList(argument);
            if (formats.empty())
                return nullptr;
        }
        return std::make_unique<BackendAudioSystem>(Backend::Null, "", formats, mixer);
    }
    if (name == "file" || name == "file-fast") {
        if (argument.empty())
            return nullptr;
        return std::make_unique<BackendAudioSystem>(name == "file" ? Backend::File : Backend::FileFast, argument,
                                                    std::vector<uint32_t>{kFormatsAll}, mixer);
    }
#ifdef LUMETRA_HAVE_PULSE
    if (name == "pulse" && colon == std::string::npos) {
        if (!PulseServerAnswers())
            return nullptr;
        return std::make_unique<BackendAudioSystem>(Backend::Pulse, "", std::vector<uint32_t>{kFormatsAll}, mixer);
    }
#endif
#ifdef LUMETRA_HAVE_ALSA
    if (name == "alsa") {
        std::string pcm = argument.empty() ? "default" : argument;
        if (!AlsaDeviceOpens(pcm))
            return nullptr;
        return std::make_unique<BackendAudioSystem>(Backend::Alsa, pcm, std::vector<uint32_t>{kFormatsAll}, mixer);
    }
#endif
    return nullptr;
}

AudioSystem& TheAudioSystem()
{
    static std::unique_ptr<AudioSystem> system = [] {
        const char* env = std::getenv("LUMETRA_AUDIO");
        std::string choice = env ? env : "";
        std::unique_ptr<AudioSystem> made = CreateAudioSystem(choice);
        if (!made) {
            std::fprintf(stderr, "lumetra: sound output \"%s\" is not usable; choosing one automatically\n",
                         choice.c_str());
            made = CreateAudioSystem("");
        }
        return made;
    }();
    return *system;
}

} // namespace lumetra::platform::audio
