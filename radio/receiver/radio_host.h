#pragma once
// The one seam between reception and its surroundings. The receiver supplies the
// radio's own half (clock, socket, message boxes, posting to its thread, the idle
// sound); the player's front end supplies the other half by deriving from the
// receiver (its lock, volumes, level, settings, and where notices and the title
// go). Tests and the fuzzer provide both halves with one fake.

#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "radio/receiver/socket_result.h"

namespace lumetra::radio {

struct StationAddress;

class RadioHost {
public:
    virtual ~RadioHost() = default;

    // The player's half.
    // The player's lock, shared with the playback engine: the output device and the
    // reception state change only under it. The one lock the radio takes.
    virtual std::recursive_mutex& PlayerLock() = 0;
    virtual uint32_t WaveVolume() = 0; // low half left, high half right
    virtual void SetWaveVolume(uint32_t volume) = 0;
    virtual void ApplyVolume() {}            // the player's volume and mute
    virtual void SetLevel(int) {}            // the shared level meter value
    virtual void Notify(std::string_view) {} // "UpdateInfo", "UpdateVOL" to the main window
    virtual void SetTitle(const std::string&) {}
    virtual bool RadioFilter() { return false; } // "Reduce Radio Static"
    virtual std::string UserId() { return {}; }

    // The radio's own half.
    virtual uint32_t TickMs() = 0;    // millisecond tick count, wraps
    virtual int64_t NowSeconds() = 0; // wall clock
    virtual SocketResult OpenSocket(bool multicast) = 0;
    virtual void CloseSocket() = 0;
    virtual bool SocketOpen() const = 0;
    virtual SocketResult SendDatagram(const StationAddress& to, std::span<const uint8_t> bytes) = 0;
    virtual SocketResult JoinGroup(std::string_view group) = 0;
    virtual SocketResult LeaveGroup(std::string_view group) = 0;
    virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
    virtual void PostStop() = 0; // queue command 2002
    // Runs task later on the receiver's thread; callable from any thread.
    virtual void PostFromDevice(std::function<void()> task) = 0;
    virtual void StartIdleSound() = 0; // "IDLE", looping
    virtual void StopIdleSound() = 0;
    virtual void Repaint() {}
    virtual bool DiscardKeyHeld() { return false; } // Shift: hear the concealment
};

} // namespace lumetra::radio
