#pragma once
// The receiver: the hidden window's role on the main thread. It owns the socket
// and its read notices, the 200 ms timer, the sound device's returned buffers and
// the connect, stop and exit commands, and is the lifetime of one reception. It is
// the radio's half of the host; the player's front end derives from it for the
// other half. There is at most one per process (OpenReceiver).

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/loop/main_loop.h"
#include "radio/receiver/radio_host.h"
#include "radio/receiver/radio_session.h"
#include "radio/receiver/station_address.h"
#include "radio/receiver/udp_socket.h"
#include "radio/receiver/wavelet_frame_decoder.h"

namespace lumetra::radio {

enum class ReceiverKey { Left, Right, Up, Other };

class Receiver : public RadioHost {
public:
    // playerLock: the engine's lock, which the reception shares.
    Receiver(RadioDisplay& display, std::recursive_mutex& playerLock);
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

    const std::string& Title() const { return m_session->Status().Title(); }
    bool Receiving() const; // logged on or logging on
    bool Closed() const { return m_closed; }
    RadioSession& Session() { return *m_session; }
    std::function<void()> onClosed; // after Close (exit command included)

    // The radio's half of the host, and the lock it was given.
    std::recursive_mutex& PlayerLock() final { return m_playerLock; }
    uint32_t TickMs() override;
    int64_t NowSeconds() override;
    SocketResult OpenSocket(bool multicast) override;
    void CloseSocket() override;
    bool SocketOpen() const override { return m_socket.IsOpen(); }
    SocketResult SendDatagram(const radio::StationAddress& to, std::span<const uint8_t> bytes) override;
    SocketResult JoinGroup(std::string_view group) override;
    SocketResult LeaveGroup(std::string_view group) override;
    void ShowMessage(const std::string& caption, const std::string& text) override;
    void PostStop() override { PostCommand(kCommandStop); }
    void PostFromDevice(std::function<void()> task) override;
    void StartIdleSound() override;
    void StopIdleSound() override;

private:
    void OnReadable();
    void WritePosition();

    RadioDisplay& m_display;
    std::recursive_mutex& m_playerLock;
    std::string m_address;
    UdpSocket m_socket;
    std::unique_ptr<platform::FdWatch> m_notifier;
    platform::LoopTimer m_timer;
    WaveletFrameDecoder m_decoder;
    std::unique_ptr<RadioSession> m_session;
    bool m_closed = false;
    platform::LoopScope m_scope; // last: its tasks die first
};

// The process's receiver: unless one exists (which is returned unchanged), makes
// one on display, creates it and posts the connect command. Nothing when its
// creation failed.
using ReceiverFactory = std::function<std::unique_ptr<Receiver>(RadioDisplay& display)>;
Receiver* OpenReceiver(RadioDisplay& display, const std::string& address, const ReceiverFactory& make);
Receiver* CurrentReceiver();
// Closes the process's receiver (as its close message does) and deletes it later.
void CloseReceiver();

} // namespace lumetra::radio
