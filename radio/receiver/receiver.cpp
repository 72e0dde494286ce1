#include "radio/receiver/receiver.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/audio/sound_player.h"
#include "platform/dialogs/message_box.h"
#include "platform/profile/profile_file.h"

namespace lumetra::radio {
namespace {

constexpr int kTimerMs = 200;
constexpr int kDatagramsPerNotice = 64; // read at most this many per read notice
// The hidden window never moves from where it is created.
constexpr const char* kWindowX = "100";
constexpr const char* kWindowY = "50";

Receiver* s_receiver = nullptr;

} // namespace

Receiver::Receiver(RadioDisplay& display, std::recursive_mutex& playerLock)
    : m_display(display), m_playerLock(playerLock), m_timer([this] { m_session->TimerTick(); })
{
    m_session = std::make_unique<RadioSession>(*this, m_decoder, platform::audio::TheAudioSystem(), m_display);
    m_timer.SetInterval(kTimerMs);
}

Receiver::~Receiver()
{
    if (!m_closed) {
        m_timer.Stop();
        m_session->Destroy();
    }
}

bool Receiver::Create()
{
    const ProtocolState& rates = m_session->Protocol().State();
    if (!m_session->Output().CheckDevice(rates.codedRate, rates.outputRate))
        return false;
    m_timer.Start();
    return true;
}

void Receiver::Command(int id)
{
    if (m_closed)
        return;
    switch (id) {
    case kCommandConnect:
        m_session->Connect(m_address);
        break;
    case kCommandStop:
        m_session->Stop();
        break;
    case kCommandExit:
        m_scope.Post([this] { Close(); });
        break;
    default:
        break;
    }
}

void Receiver::PostCommand(int id)
{
    m_scope.Post([this, id] { Command(id); });
}

void Receiver::Close()
{
    if (m_closed)
        return;
    WritePosition();
    m_timer.Stop();
    const RadioOutput& output = m_session->Output();
    std::fprintf(stderr, "radio: concealed %d of %d sub-blocks\n", output.LostTotal(),
                 output.BlocksFlushed() * kSubBlocksPerBlock);
    m_session->Close();
    m_closed = true;
    if (onClosed)
        onClosed();
}

void Receiver::KeyReleased(ReceiverKey key)
{
    switch (key) {
    case ReceiverKey::Left:
        m_decoder.Threshold().Adjust(ThresholdKey::Left);
        break;
    case ReceiverKey::Right:
        m_decoder.Threshold().Adjust(ThresholdKey::Right);
        break;
    case ReceiverKey::Up:
        m_decoder.Threshold().Adjust(ThresholdKey::Up);
        break;
    case ReceiverKey::Other:
        break;
    }
    m_session->Status().SetTitle(m_decoder.Threshold().Title());
}

bool Receiver::Receiving() const
{
    return !m_closed && m_session->Protocol().State().phase != LogonPhase::Idle;
}

void Receiver::WritePosition()
{
    std::string file = platform::ProfilePath("zeph.ini");
    platform::WriteProfileString(file, "Stations", "RadioX", kWindowX);
    platform::WriteProfileString(file, "Stations", "RadioY", kWindowY);
}

uint32_t Receiver::TickMs()
{
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

int64_t Receiver::NowSeconds()
{
    return int64_t(std::time(nullptr));
}

SocketResult Receiver::OpenSocket(bool multicast)
{
    m_notifier.reset();
    if (SocketResult opened = m_socket.Open(multicast); !opened)
        return opened;
    m_notifier = std::make_unique<platform::FdWatch>(m_socket.Fd(), [this] { OnReadable(); });
    return SocketResult::Done();
}

void Receiver::CloseSocket()
{
    m_notifier.reset();
    m_socket.Close();
}

void Receiver::OnReadable()
{
    uint8_t buffer[kMaxDatagramBytes];
    for (int i = 0; i < kDatagramsPerNotice && m_socket.IsOpen(); ++i) {
        Received r = m_socket.Receive(buffer);
        if (r.kind == Received::Kind::Failed) {
            m_session->Protocol().OnSocketError();
            return;
        }
        if (r.kind == Received::Kind::NoneWaiting)
            return;
        m_session->OnDatagram(std::span<const uint8_t>(buffer, r.bytes), r.ipv4, r.port);
    }
}

SocketResult Receiver::SendDatagram(const radio::StationAddress& to, std::span<const uint8_t> bytes)
{
    // An address that is not dotted IPv4 is never looked up: nothing goes out.
    if (!to.valid)
        return SocketResult::Failed(EDESTADDRREQ);
    return m_socket.SendTo(to.ipv4, to.port, bytes);
}

SocketResult Receiver::JoinGroup(std::string_view group)
{
    return m_socket.Join(group, m_session->Protocol().State().station.ipv4);
}

SocketResult Receiver::LeaveGroup(std::string_view group)
{
    return m_socket.Leave(group, m_session->Protocol().State().station.ipv4);
}

// Reception reports from under the engine lock: the box waits for the main
// thread's event loop, where no lock is held.
void Receiver::ShowMessage(const std::string& caption, const std::string& text)
{
    if (!platform::HasMainLoop()) {
        platform::ShowMessageBox(caption, text);
        return;
    }
    platform::PostToMainLoop([caption, text] { platform::ShowMessageBox(caption, text); });
}

void Receiver::PostFromDevice(std::function<void()> task)
{
    m_scope.Post(std::move(task));
}

void Receiver::StartIdleSound()
{
    platform::audio::TheSoundPlayer().PlayResource("IDLE", true);
}

void Receiver::StopIdleSound()
{
    platform::audio::TheSoundPlayer().Stop();
}

Receiver* OpenReceiver(RadioDisplay& display, const std::string& address, const ReceiverFactory& make)
{
    if (s_receiver)
        return s_receiver;
    display.active = 1;
    Receiver* receiver = make(display).release();
    if (!receiver->Create()) {
        delete receiver;
        return nullptr;
    }
    receiver->onClosed = [receiver] {
        if (s_receiver == receiver)
            s_receiver = nullptr;
        platform::PostToMainLoop([receiver] { delete receiver; });
    };
    s_receiver = receiver;
    receiver->SetStationAddress(address);
    receiver->PostCommand(kCommandConnect);
    return receiver;
}

Receiver* CurrentReceiver()
{
    return s_receiver;
}

void CloseReceiver()
{
    if (s_receiver)
        s_receiver->Close();
}

} // namespace lumetra::radio
