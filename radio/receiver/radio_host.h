#pragma once
// What the reception logic needs from its surroundings: clock, socket, message
// boxes, notices to the main window, title, idle sound and volumes. The receiver
// object provides the real ones; tests and the fuzzer provide fakes.

#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

namespace lumetra::radio {

struct StationAddress;

class RadioHost {
public:
    virtual ~RadioHost() = default;

    // The player's lock, shared with the playback engine: the output device and the
    // reception state change only under it. The one lock the radio takes.
    virtual std::recursive_mutex& PlayerLock() = 0;

    virtual uint32_t TickMs() = 0;    // millisecond tick count, wraps
    virtual int64_t NowSeconds() = 0; // wall clock

    // Socket: 0 on success, else an error code for the message text.
    virtual int OpenSocket(bool multicast) = 0;
    virtual void CloseSocket() = 0;
    virtual bool SocketOpen() const = 0;
    virtual int SendDatagram(const StationAddress& to, std::span<const uint8_t> bytes) = 0;
    virtual int JoinGroup(std::string_view group) = 0;
    virtual int LeaveGroup(std::string_view group) = 0;

    virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
    virtual void Notify(std::string_view notice) = 0; // "UpdateInfo", "UpdateVOL"
    virtual void SetTitle(const std::string& title) = 0;
    virtual void PostStop() = 0; // queue command 2002
    // Runs task later on the receiver's thread; callable from any thread.
    virtual void PostFromDevice(std::function<void()> task) = 0;
    virtual void Repaint() {}

    virtual void ApplyVolume() = 0;    // the player's volume and mute
    virtual uint32_t WaveVolume() = 0; // low half left, high half right
    virtual void SetWaveVolume(uint32_t volume) = 0;
    virtual void StartIdleSound() = 0; // "IDLE", looping
    virtual void StopIdleSound() = 0;
    virtual void SetLevel(int level) = 0; // the shared level meter value

    virtual bool RadioFilter() = 0;                 // "Reduce Radio Static"
    virtual bool DiscardKeyHeld() { return false; } // Shift: hear the concealment
    virtual std::string UserId() = 0;
};

} // namespace lumetra::radio
