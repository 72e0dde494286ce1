#pragma once
// Wave output with the semantics of a waveOut device: buffers are prepared,
// written and come back, one by one and in order, through the done callback;
// Reset returns every queued buffer at once. Backends: pulse, alsa, null,
// file:PATH and file-fast:PATH, chosen by LUMETRA_AUDIO (else pulse when a server
// answers, else alsa, else null with a warning on standard error).
//
// Backend choices:
//   "pulse"            the default sink of the PulseAudio (or PipeWire) server
//   "alsa[:PCM]"       an ALSA PCM, "default" unless named
//   "null[:F,F,...]"   consumes in real time; optionally one device per listed
//                      formats mask (e.g. "null:0x0,0xfff": two devices, only the
//                      second accepts 22.05 kHz 8-bit mono); default one, 0xfff
//   "file:PATH"        consumes in real time and writes what was played to PATH
//   "file-fast:PATH"   the same without the clock: buffers return as fast as written
// File backends write a WAV whose header sizes are kept current after every buffer;
// each Open truncates the file and starts a new one.
//
// Threads: each open device has one backend thread. The done callback runs there,
// once per buffer, when the buffer's sound has been played (not merely copied),
// with kWhdrDone set and kWhdrInQueue clear. Device calls are safe from any thread,
// including from inside the done callback; Reset and Close called from inside it
// do not wait for themselves.

#include "platform/audio/mixer.h"

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
    kWaveAllocated = 4, // device busy
    kWaveInvalidHandle = 5,
    kWaveNoDriver = 6,
    kWaveInvalidParam = 11,
    kWaveBadFormat = 32,
    kWaveStillPlaying = 33, // close refused while buffers are queued
    kWaveUnprepared = 34,
};

// The device's own error text for a result code ("The specified format is not
// supported ...").
std::string WaveErrorText(int result);

struct WaveFormat {
    uint16_t formatTag = 1; // PCM
    uint16_t channels = 2;
    uint32_t samplesPerSec = 44100;
    uint32_t avgBytesPerSec = 176400;
    uint16_t blockAlign = 4;
    uint16_t bitsPerSample = 16;
};
WaveFormat MakePcmFormat(int channels, int samplesPerSec, int bitsPerSample);
// PCM, 1 or 2 channels, 8 (unsigned) or 16 (signed) bits, 8000..48000 Hz, with
// block align and byte rate that agree.
bool IsSupportedFormat(const WaveFormat& format);

enum WaveHeaderFlags : uint32_t {
    kWhdrDone = 1,
    kWhdrPrepared = 2,
    kWhdrInQueue = 16,
};

struct WaveHeader {
    uint8_t* data = nullptr;
    uint32_t bufferLength = 0;
    intptr_t user = 0; // caller's value, untouched by the device
    uint32_t flags = 0;
    uint32_t loops = 0;
};

class WaveOutDevice;
// Runs on the backend's thread: it must only hand the header on (to a queue).
using DoneCallback = std::function<void(WaveOutDevice*, WaveHeader*)>;

// Format bit of "22.05 kHz, mono, 8-bit" in DeviceCaps::formats.
inline constexpr uint32_t kFormat2M08 = 0x10;
// Every format bit of 11.025, 22.05 and 44.1 kHz, 8 and 16 bits, mono and stereo.
inline constexpr uint32_t kFormatsAll = 0xFFF;

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
    virtual ~WaveOutDevice() = default; // resets and closes if still open
    virtual int Prepare(WaveHeader* header) = 0;
    virtual int Unprepare(WaveHeader* header) = 0; // kWaveStillPlaying while queued
    // Queues a prepared buffer (kWaveUnprepared otherwise); a freshly opened or
    // restarted device plays at once, a paused one keeps it queued.
    virtual int Write(WaveHeader* header) = 0;
    virtual int Pause() = 0; // on return the position no longer moves
    virtual int Restart() = 0;
    // Every queued buffer returns through the callback, in order, before Reset
    // returns; the position restarts at 0. A paused device stays paused.
    virtual int Reset() = 0;
    virtual int Close() = 0;                // kWaveStillPlaying while buffers are queued
    virtual uint64_t PositionSamples() = 0; // sample frames played since open or reset
    virtual const WaveFormat& Format() const = 0;
    // Asked from inside the done callback: whether more buffers come back right
    // after this one, in the same pass. The receiver may leave the work that a
    // returned buffer starts until the last of them.
    virtual bool MoreDoneFollow() const { return false; }
};

// The process's sound system: devices of the chosen backend and the mixer lines.
class AudioSystem {
public:
    virtual ~AudioSystem() = default;
    virtual int DeviceCount() = 0;
    virtual int GetCaps(int device, DeviceCaps& caps) = 0;
    virtual int QueryFormat(int device, const WaveFormat& format) = 0;
    // A device on the wave line.
    int Open(int device, const WaveFormat& format, DoneCallback done, std::unique_ptr<WaveOutDevice>& out)
    {
        return OpenOnLine(device, format, MixerLine::Wave, std::move(done), out);
    }
    // A device whose samples are scaled by the given line's gain (and master's)
    // and feed that line's meter; media sources use the CD and MIDI lines.
    virtual int OpenOnLine(int device, const WaveFormat& format, MixerLine line, DoneCallback done,
                           std::unique_ptr<WaveOutDevice>& out) = 0;
    virtual std::string BackendName() const = 0;
    virtual Mixer& LineMixer() = 0;
};

// Makes the backend named by choice ("pulse", "alsa", "null", "file:PATH",
// "file-fast:PATH", see above); an empty choice chooses as described above. Returns
// nullptr for an unknown choice or a backend that cannot start. The devices use the
// given mixer, or TheMixer().
std::unique_ptr<AudioSystem> CreateAudioSystem(const std::string& choice, Mixer* mixer = nullptr);

// The one instance of the process, created on first use from LUMETRA_AUDIO (an
// unusable value falls back to the automatic choice with a warning).
AudioSystem& TheAudioSystem();

} // namespace lumetra::platform::audio
