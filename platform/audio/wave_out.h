#pragma once
// Wave output with the semantics of a waveOut device: buffers are prepared,
// written and come back, one by one and in order, through the done callback;
// Reset returns every queued buffer at once. Backends: pulse, alsa, null,
// file:PATH and file-fast:PATH, chosen by LUMETRA_AUDIO (else pulse when a server
// answers, else alsa, else null with a warning on standard error).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace lumetra::platform::audio {

// Result codes in the waveOut numbering the callers compare against.
enum WaveResult : int {
    kWaveOk = 0,
    kWaveError = 1,
    kWaveBadDeviceId = 2,
    kWaveAllocated = 4,      // device busy
    kWaveNoDriver = 6,
    kWaveBadFormat = 32,
    kWaveStillPlaying = 33,  // close refused while buffers are queued
    kWaveUnprepared = 34,
};

struct WaveFormat {
    uint16_t formatTag = 1;  // PCM
    uint16_t channels = 2;
    uint32_t samplesPerSec = 44100;
    uint32_t avgBytesPerSec = 176400;
    uint16_t blockAlign = 4;
    uint16_t bitsPerSample = 16;
};
WaveFormat MakePcmFormat(int channels, int samplesPerSec, int bitsPerSample);

enum WaveHeaderFlags : uint32_t {
    kWhdrDone = 1,
    kWhdrPrepared = 2,
    kWhdrInQueue = 16,
};

struct WaveHeader {
    uint8_t* data = nullptr;
    uint32_t bufferLength = 0;
    intptr_t user = 0;       // caller's value, untouched by the device
    uint32_t flags = 0;
    uint32_t loops = 0;
};

class WaveOutDevice;
// Runs on the backend's thread: it must only hand the header on (to a queue).
using DoneCallback = std::function<void(WaveOutDevice*, WaveHeader*)>;

// Format bit of "22.05 kHz, mono, 8-bit" in DeviceCaps::formats.
inline constexpr uint32_t kFormat2M08 = 0x10;

struct DeviceCaps {
    std::string productName;
    uint16_t manufacturerId = 0;
    uint16_t productId = 0;
    uint32_t driverVersion = 0;
    uint32_t formats = 0;
    uint16_t channels = 2;
};

class WaveOutDevice {
public:
    virtual ~WaveOutDevice() = default;
    virtual int Prepare(WaveHeader* header) = 0;
    virtual int Unprepare(WaveHeader* header) = 0;
    virtual int Write(WaveHeader* header) = 0;
    virtual int Pause() = 0;
    virtual int Restart() = 0;
    virtual int Reset() = 0;          // every queued buffer returns through the callback
    virtual int Close() = 0;          // kWaveStillPlaying while buffers are queued
    virtual uint64_t PositionSamples() = 0;  // sample frames played since open
    virtual const WaveFormat& Format() const = 0;
};

// The process's sound system: devices of the chosen backend and the mixer lines.
class AudioSystem {
public:
    virtual ~AudioSystem() = default;
    virtual int DeviceCount() = 0;
    virtual int GetCaps(int device, DeviceCaps& caps) = 0;
    virtual int QueryFormat(int device, const WaveFormat& format) = 0;
    virtual int Open(int device, const WaveFormat& format, DoneCallback done,
                     std::unique_ptr<WaveOutDevice>& out) = 0;
    virtual std::string BackendName() const = 0;
};

// Makes the backend named by spec ("pulse", "alsa", "null", "file:PATH",
// "file-fast:PATH"); an empty spec chooses as described above.
std::unique_ptr<AudioSystem> CreateAudioSystem(const std::string& spec);

// The one instance of the process, created on first use from LUMETRA_AUDIO.
AudioSystem& TheAudioSystem();

} // namespace lumetra::platform::audio
