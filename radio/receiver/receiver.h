#pragma once
// The receiver: the hidden window's role on the main thread. It owns the socket
// and its read notices, the 200 ms timer, the sound device's returned buffers and
// the connect, stop and exit commands, and is the lifetime of one reception.
// There is at most one per process (OpenReceiver); tests may make their own.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/audio/sound_player.h"
#include "radio/receiver/radio_host.h"
#include "radio/receiver/radio_session.h"
#include "radio/receiver/station_address.h"
#include "radio/receiver/udp_socket.h"
#include "radio/receiver/wavelet_frame_decoder.h"

namespace lumetra::radio {

// What the receiver reaches outside the radio: the player's volume and level,
// settings, and the main window that hears its notices.
struct ReceiverEnvironment {
    platform::audio::AudioSystem* audio = nullptr; // nullptr: the process's
    std::function<void()> applyVolume;
    std::function<void(int)> setLevel;
    std::function<uint32_t()> waveVolume;
    std::function<void(uint32_t)> setWaveVolume;
    std::function<bool()> radioFilter;
    std::function<std::string()> userId;
    // "UpdateInfo" / "UpdateVOL" to the main window; the display block holds the text.
    std::function<void(std::string_view)> notice;
    std::function<void(const std::string&)> titleChanged;
    std::string profileDirectory;               // where "zeph.ini" goes; empty: the default
    std::recursive_mutex* playerLock = nullptr; // the engine's lock; nullptr: the receiver's own
};

enum class ReceiverKey { Left, Right, Up, Other };

class Receiver : public QObject, public RadioHost {
public:
    Receiver(RadioDisplay& display, ReceiverEnvironment environment, QObject* parent = nullptr);
    ~Receiver() override;

    // The window's creation: device check and timer. False when reception cannot work.
    bool Create();
    void SetStationAddress(std::string address) { m_address = std::move(address); }
    const std::string& StationAddress() const { return m_address; }

    void Command(int id);     // 2000 connect, 2002 stop, 2003 exit
    void PostCommand(int id); // the same, from the event loop
    // Records the position, logs off and ends the reception; the object stays for deletion.
    void Close();
    void KeyReleased(ReceiverKey key);

    const std::string& Title() const { return m_title; }
    bool Receiving() const; // logged on or logging on
    bool Closed() const { return m_closed; }
    RadioSession& Session() { return *m_session; }
    std::function<void()> onClosed; // after Close (exit command included)

    // RadioHost
    std::recursive_mutex& PlayerLock() override { return m_env.playerLock ? *m_env.playerLock : m_ownLock; }
    uint32_t TickMs() override;
    int64_t NowSeconds() override;
    int OpenSocket(bool multicast) override;
    void CloseSocket() override;
    bool SocketOpen() const override { return m_socket.IsOpen(); }
    int SendDatagram(const radio::StationAddress& to, std::span<const uint8_t> bytes) override;
    int JoinGroup(std::string_view group) override;
    int LeaveGroup(std::string_view group) override;
    void ShowMessage(const std::string& caption, const std::string& text) override;
    void Notify(std::string_view notice) override;
    void SetTitle(const std::string& title) override;
    void PostStop() override { PostCommand(kCommandStop); }
    void PostFromDevice(std::function<void()> task) override;
    void ApplyVolume() override;
    uint32_t WaveVolume() override;
    void SetWaveVolume(uint32_t volume) override;
    void StartIdleSound() override;
    void StopIdleSound() override;
    void SetLevel(int level) override;
    bool RadioFilter() override;
    std::string UserId() override;

private:
    void OnReadable();
    void WritePosition();

    RadioDisplay& m_display;
    ReceiverEnvironment m_env;
    std::recursive_mutex m_ownLock;
    platform::audio::AudioSystem& m_audio;
    std::string m_address;
    std::string m_title = kRadioCaption;
    UdpSocket m_socket;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_timer;
    WaveletFrameDecoder m_decoder;
    // The process's player of resource sounds, or one of our own on an injected system.
    std::unique_ptr<platform::audio::SoundPlayer> m_ownPlayer;
    platform::audio::SoundPlayer& m_sounds;
    std::unique_ptr<RadioSession> m_session;
    uint32_t m_fallbackVolume = 0xFFFFFFFF;
    bool m_closed = false;
};

// The process's receiver: opens one (posting the connect command) unless one
// exists, which is returned unchanged. Nothing when its creation failed.
Receiver* OpenReceiver(RadioDisplay& display, const std::string& address, ReceiverEnvironment environment);
Receiver* CurrentReceiver();
// Closes the process's receiver (as its close message does) and deletes it later.
void CloseReceiver();

} // namespace lumetra::radio
