#pragma once
// The receiver's own wave output: 8-bit mono at the stream's coded rate (or the
// output rate when the device refuses it), fed a whole concealed block at a time,
// held paused until enough is queued, with the looping idle sound at half volume
// while the transmission is lost.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/audio/wave_out.h"
#include "radio/receiver/concealment.h"

namespace lumetra::radio {

class RadioSession;
struct BlockRecord;

inline constexpr intptr_t kFilterUserBit = 0x1000;

class RadioOutput {
public:
    RadioOutput(RadioSession& session, platform::audio::AudioSystem& audio);
    ~RadioOutput();

    // Negotiates and opens once, then closes: can this device play radio at all?
    bool CheckDevice();
    // Opens for the current stream's rates; succeeds at once when already open.
    bool Open();
    bool IsOpen() const { return m_device != nullptr; }

    void Flush(BlockRecord& block);
    // A buffer the device has played (delivered on the receiver's thread).
    void BufferDone(platform::audio::WaveHeader* header);

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
    bool Negotiate(platform::audio::WaveFormat& format);
    bool OpenDevice(const platform::audio::WaveFormat& format, std::unique_ptr<platform::audio::WaveOutDevice>& out);
    Buffer* TakeBuffer(size_t bytes);
    Buffer* FindBuffer(platform::audio::WaveHeader* header);
    void Underrun();
    void StopIdle();
    void CloseDevice();

    RadioSession& m_session;
    platform::audio::AudioSystem& m_audio;
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
