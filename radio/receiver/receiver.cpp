#include "radio/receiver/receiver.h"
#include "platform/xdg_directories.h"

#include <QCoreApplication>

#include <QDir>
#include <QSettings>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/dialogs/message_box.h"

namespace lumetra::radio {
namespace {

constexpr int kTimerMs = 200;
constexpr int kDatagramsPerNotice = 64; // read at most this many per read notice
// The hidden window never moves from where it is created.
constexpr int kWindowX = 100;
constexpr int kWindowY = 50;

Receiver* s_receiver = nullptr;

std::string DefaultProfileDirectory()
{
    std::string dir = platform::ConfigDirectory();
    dir.pop_back(); // without the final "/"
    return dir;
}

} // namespace

Receiver::Receiver(RadioDisplay& display, ReceiverEnvironment environment, QObject* parent)
    : QObject(parent), m_display(display), m_env(std::move(environment)),
      m_audio(m_env.audio ? *m_env.audio : platform::audio::TheAudioSystem()),
      m_ownPlayer(m_env.audio ? std::make_unique<platform::audio::SoundPlayer>(*m_env.audio) : nullptr),
      m_sounds(m_ownPlayer ? *m_ownPlayer : platform::audio::TheSoundPlayer())
{
    m_session = std::make_unique<RadioSession>(*this, m_decoder, m_audio, m_display);
    m_timer.setInterval(kTimerMs);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { m_session->TimerTick(); });
}

Receiver::~Receiver()
{
    if (!m_closed) {
        m_timer.stop();
        m_session->Destroy();
    }
}

bool Receiver::Create()
{
    if (!m_session->Output().CheckDevice())
        return false;
    m_timer.start();
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
        QMetaObject::invokeMethod(
            this, [this] { Close(); }, Qt::QueuedConnection);
        break;
    default:
        break;
    }
}

void Receiver::PostCommand(int id)
{
    QMetaObject::invokeMethod(
        this, [this, id] { Command(id); }, Qt::QueuedConnection);
}

void Receiver::Close()
{
    if (m_closed)
        return;
    WritePosition();
    m_timer.stop();
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
    std::string dir = m_env.profileDirectory.empty() ? DefaultProfileDirectory() : m_env.profileDirectory;
    QDir().mkpath(QString::fromStdString(dir));
    QSettings profile(QString::fromStdString(dir + "/zeph.ini"), QSettings::IniFormat);
    profile.setValue("Stations/RadioX", QString::number(kWindowX));
    profile.setValue("Stations/RadioY", QString::number(kWindowY));
    profile.sync();
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

int Receiver::OpenSocket(bool multicast)
{
    m_notifier.reset();
    if (int error = m_socket.Open(multicast); error != 0)
        return error;
    m_notifier = std::make_unique<QSocketNotifier>(m_socket.Fd(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { OnReadable(); });
    return 0;
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
        uint32_t ip = 0;
        uint16_t port = 0;
        int error = 0;
        ssize_t n = m_socket.Receive(buffer, ip, port, error);
        if (n < 0) {
            m_session->Protocol().OnSocketError();
            return;
        }
        if (n == 0)
            return;
        m_session->OnDatagram(std::span<const uint8_t>(buffer, size_t(n)), ip, port);
    }
}

int Receiver::SendDatagram(const radio::StationAddress& to, std::span<const uint8_t> bytes)
{
    // An address that is not dotted IPv4 is never looked up: nothing goes out.
    if (!to.valid)
        return EDESTADDRREQ;
    return m_socket.SendTo(to.ipv4, to.port, bytes);
}

int Receiver::JoinGroup(std::string_view group)
{
    return m_socket.Join(group, m_session->Protocol().State().station.ipv4);
}

int Receiver::LeaveGroup(std::string_view group)
{
    return m_socket.Leave(group, m_session->Protocol().State().station.ipv4);
}

// Reception reports from under the engine lock: the box waits for the main
// thread's event loop, where no lock is held.
void Receiver::ShowMessage(const std::string& caption, const std::string& text)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        platform::ShowMessageBox(caption, text);
        return;
    }
    QMetaObject::invokeMethod(
        app, [caption, text] { platform::ShowMessageBox(caption, text); }, Qt::QueuedConnection);
}

void Receiver::Notify(std::string_view notice)
{
    if (m_env.notice)
        m_env.notice(notice);
}

void Receiver::SetTitle(const std::string& title)
{
    if (title == m_title)
        return;
    m_title = title;
    if (m_env.titleChanged)
        m_env.titleChanged(title);
}

void Receiver::PostFromDevice(std::function<void()> task)
{
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void Receiver::ApplyVolume()
{
    if (m_env.applyVolume)
        m_env.applyVolume();
}

uint32_t Receiver::WaveVolume()
{
    return m_env.waveVolume ? m_env.waveVolume() : m_fallbackVolume;
}

void Receiver::SetWaveVolume(uint32_t volume)
{
    if (m_env.setWaveVolume)
        m_env.setWaveVolume(volume);
    else
        m_fallbackVolume = volume;
}

void Receiver::StartIdleSound()
{
    m_sounds.PlayResource("IDLE", true);
}

void Receiver::StopIdleSound()
{
    m_sounds.Stop();
}

void Receiver::SetLevel(int level)
{
    if (m_env.setLevel)
        m_env.setLevel(level);
}

bool Receiver::RadioFilter()
{
    return m_env.radioFilter && m_env.radioFilter();
}

std::string Receiver::UserId()
{
    return m_env.userId ? m_env.userId() : std::string();
}

Receiver* OpenReceiver(RadioDisplay& display, const std::string& address, ReceiverEnvironment environment)
{
    if (s_receiver)
        return s_receiver;
    display.active = 1;
    auto* receiver = new Receiver(display, std::move(environment));
    if (!receiver->Create()) {
        delete receiver;
        return nullptr;
    }
    receiver->onClosed = [receiver] {
        if (s_receiver == receiver)
            s_receiver = nullptr;
        receiver->deleteLater();
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
