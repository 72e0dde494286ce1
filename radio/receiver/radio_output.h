#pragma once
// The receiver's own wave output: 8-bit mono at the stream's coded rate (or the
// output rate when the device refuses it), fed a whole concealed block at a time,
// held paused until enough is queued, with the looping idle sound at half volume
// while the transmission is lost. It knows only the host: what reception needs
// comes in as arguments, and what the output saw goes back as return values.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/audio/wave_out.h"
#include "radio/receiver/concealment.h"

namespace lumetra::radio {

class RadioHost;
struct BlockRecord;

inline constexpr intptr_t kFilterUserBit = 0x1000;

// A buffer of the live device came back played.
struct PlayedBuffer {
    int lost = 0;          // sub-blocks of its block that were concealed
    bool underrun = false; // it was the last one queued: the device is paused
};

class RadioOutput {
public:
    // played: a returned buffer, delivered on the receiver's thread through the host.
    RadioOutput(RadioHost& host, platform::audio::AudioSystem& audio,
                std::function<void(platform::audio::WaveHeader*)> played);
    ~RadioOutput();

    // Negotiates and opens once, then closes: can this device play radio at all?
    bool CheckDevice(int codedRate, int outputRate);
    // Opens for a stream's rates; succeeds at once when already open.
    bool Open(int codedRate, int outputRate);
    bool IsOpen() const { return m_device != nullptr; }

    // Takes a finished block: conceals its holes and queues it. True when this
    // queued the startThreshold-th buffer and the device started.
    bool Flush(BlockRecord& block, int startThreshold);
    // A buffer the device has played; nothing when it was not the live device's.
    std::optional<PlayedBuffer> BufferDone(platform::audio::WaveHeader* header);

    void ResetDevice(); // every queued buffer comes back
    void ResetAndPause();
    void StopAndClose();        // the stop command
    void CloseForWindowClose(); // closing the receiver: device and idle sound
    void Destroy();             // the receiver goes away
    void StopIdleIfPlaying();   // and give the saved volume back

    void ResetConcealment() { m_memory.Reset(); }
    void ResetLostTotal()
    {
        m_lostTotal = 0;
        m_blocksFlushed = 0;
    }
    int Queued() const { return m_queued; }
    void SetQueued(int queued) { m_queued = queued; }
    int DeviceRate() const { return m_deviceRate; }
    int LostTotal() const { return m_lostTotal; }
    int BlocksFlushed() const { return m_blocksFlushed; }
    bool IdlePlaying() const { return m_idle; }

private:
    struct Buffer {
        platform::audio::WaveHeader header;
        std::vector<uint8_t> data;
        uint64_t generation = 0;
        bool inUse = false;
    };

    // 0 and the accepted format, or a message already shown.
    bool Negotiate(int codedRate, int outputRate, platform::audio::WaveFormat& format);
    bool OpenDevice(const platform::audio::WaveFormat& format, std::unique_ptr<platform::audio::WaveOutDevice>& out);
    Buffer* TakeBuffer(size_t bytes);
    Buffer* FindBuffer(platform::audio::WaveHeader* header);
    void Underrun();
    void StopIdle();
    void CloseDevice();

    RadioHost& m_host;
    platform::audio::AudioSystem& m_audio;
    std::function<void(platform::audio::WaveHeader*)> m_played;
    std::unique_ptr<platform::audio::WaveOutDevice> m_device;
    int m_deviceRate = 0;
    int m_codedRate = 0;
    int m_queued = 0;
    uint64_t m_generation = 1; // buffers of an earlier device or reset are only recycled
    bool m_idle = false;
    uint32_t m_savedVolume = 0;
    ConcealmentMemory m_memory;
    int m_lostTotal = 0;
    int m_blocksFlushed = 0;
    std::vector<std::unique_ptr<Buffer>> m_buffers;
};

} // namespace lumetra::radio
