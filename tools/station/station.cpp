#include "tools/station/station.h"

#include "tools/station/demo_music.h"
#include "tools/station/station_wire.h"

#include <QNetworkDatagram>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace lumetra::station {

namespace {

// A listener that has sent nothing (not even a reception report) for this long
// is gone (sped up with the station).
constexpr qint64 kListenerTimeoutMs = 30000;
// After a stall, frames older than this many are skipped rather than sent in a burst.
constexpr int64_t kMaxCatchUpFrames = 16;
constexpr std::size_t kReceiveBytes = 65536;

} // namespace

Station::Station(StationConfig config, DatagramLog* log, uint32_t seed)
    : m_config(std::move(config)), m_log(log), m_random(seed)
{
    radio::EncoderSettings settings;
    settings.maxPayloadBytes = static_cast<std::size_t>(m_config.FrameBudgetBytes());
    m_encoder.SetSettings(settings);
    m_payload.resize(kMaxPayloadBytes);
}

bool Station::Start(std::string& error)
{
    if (!m_audio.Load(m_config.file, m_config.codedRate, error))
        return false;
    m_title = m_config.title;
    if (m_title.empty())
        m_title = m_config.file.empty() ? kDemoTitle : std::filesystem::path(m_config.file).stem().string();
    m_streamId = m_config.streamId != 0 ? m_config.streamId : (m_random() | 1u);
    m_lastSequence = m_config.startSequence;

    QHostAddress address;
    if (!address.setAddress(QString::fromStdString(m_config.address)) ||
        address.protocol() != QAbstractSocket::IPv4Protocol) {
        error = "station \"" + m_config.name + "\": not an IPv4 address: " + m_config.address;
        return false;
    }
    if (!m_socket.bind(address, m_config.port)) {
        error = "station \"" + m_config.name + "\": cannot bind " + Peer(address, m_config.port) + ": " +
                m_socket.errorString().toStdString();
        return false;
    }
    connect(&m_socket, &QUdpSocket::readyRead, this, &Station::OnReadyRead);

    m_frameMs = 1000.0 * radio::kFrameSamples / m_config.codedRate / m_config.speedFactor;
    m_elapsed.start();
    m_clock.setTimerType(Qt::PreciseTimer);
    m_clock.setInterval(std::max(1, static_cast<int>(m_frameMs / 4)));
    connect(&m_clock, &QTimer::timeout, this, &Station::OnClock);
    m_clock.start();
    if (m_config.songTextSeconds > 0) {
        m_songTimer.setInterval(static_cast<int>(m_config.songTextSeconds * 1000 / m_config.speedFactor));
        connect(&m_songTimer, &QTimer::timeout, this, &Station::SendSongText);
        m_songTimer.start();
    }

    std::printf("station \"%s\" on %s: %d Hz coded, %d Hz out, %d bytes a frame, %s \"%s\"\n", m_config.name.c_str(),
                Peer(address, BoundPort()).c_str(), m_config.codedRate, m_config.OutputRate(),
                m_config.FrameBudgetBytes(), m_config.file.empty() ? "demo music" : m_config.file.c_str(),
                m_title.c_str());
    std::fflush(stdout);
    return true;
}

std::string Station::Peer(const QHostAddress& address, quint16 port) const
{
    return address.toString().toStdString() + ":" + std::to_string(port);
}

bool Station::Chance(double percent)
{
    if (percent <= 0)
        return false;
    return std::uniform_real_distribution<double>(0, 100)(m_random) < percent;
}

uint16_t Station::StartKind() const
{
    uint16_t kind = static_cast<uint16_t>(RateCode(m_config.OutputRate()) << kRateCodeShift);
    if (m_config.nativeRate)
        kind |= kKindNativeRate;
    return kind;
}

Station::Listener* Station::Find(const QHostAddress& from, quint16 port)
{
    for (Listener& l : m_listeners)
        if (l.port == port && l.address.isEqual(from))
            return &l;
    return nullptr;
}

void Station::Send(const QHostAddress& to, quint16 port, const std::vector<uint8_t>& datagram)
{
    m_socket.writeDatagram(reinterpret_cast<const char*>(datagram.data()), static_cast<qint64>(datagram.size()), to,
                           port);
    if (m_log && m_log->LogsSent())
        m_log->Write("tx", m_config.name, Peer(to, port), datagram);
}

void Station::OnReadyRead()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram d = m_socket.receiveDatagram(kReceiveBytes);
        const QByteArray data = d.data();
        const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(data.constData()),
                                             static_cast<std::size_t>(data.size()));
        const QHostAddress from(d.senderAddress().toIPv4Address());
        if (m_log)
            m_log->Write("rx", m_config.name, Peer(from, static_cast<quint16>(d.senderPort())), bytes);
        Handle(from, static_cast<quint16>(d.senderPort()), bytes);
    }
}

void Station::Handle(const QHostAddress& from, quint16 port, std::span<const uint8_t> datagram)
{
    DatagramHeader h;
    if (!ParseHeader(datagram, h))
        return;
    if (Listener* l = Find(from, port))
        l->lastHeardMs = m_elapsed.elapsed();
    switch (h.kind) {
    case kKindLogonUnicast:
    case kKindLogonMulticast:
        OnLogon(from, port, h.kind == kKindLogonMulticast);
        break;
    case kKindLogoff:
        if (Find(from, port)) {
            std::erase_if(m_listeners, [&](const Listener& l) { return l.port == port && l.address.isEqual(from); });
            std::printf("logoff from %s\n", Peer(from, port).c_str());
            std::fflush(stdout);
        }
        break;
    case kKindResendOrReport:
        // A reception report carries a 32-byte length; a resend request none.
        if (h.length == 0) {
            if (Listener* l = Find(from, port))
                OnResend(*l, h.sequence);
        }
        break;
    default:
        break; // link answers and anything else are only logged
    }
}

void Station::OnLogon(const QHostAddress& from, quint16 port, bool multicast)
{
    const uint32_t seq = m_lastSequence;
    switch (m_config.answer) {
    case LogonAnswer::Silent:
        return;
    case LogonAnswer::Busy:
        Send(from, port, BuildText(seq, m_streamId, kKindText, {"BUSY"}));
        return;
    case LogonAnswer::ClosedSite:
        Send(from, port, BuildText(seq, m_streamId, kKindText, {"BUSY", "ClosedSite"}));
        return;
    case LogonAnswer::IntranetOnly:
        Send(from, port, BuildText(seq, m_streamId, kKindText, {"IntranetOnly"}));
        return;
    case LogonAnswer::No14400:
        Send(from, port, BuildText(seq, m_streamId, kKindText, {"No14400"}));
        return;
    case LogonAnswer::Accept:
        break;
    }
    if (multicast) {
        // No multicast here: the group answer says so.
        Send(from, port,
             BuildText(seq, m_streamId, static_cast<uint16_t>(kKindGroup | StartKind()),
                       {"0.0.0.0", m_config.name, m_title}));
        return;
    }
    Listener* listener = Find(from, port);
    if (!listener) {
        if (static_cast<int>(m_listeners.size()) >= m_config.maxListeners)
            return; // full: no answer
        m_listeners.push_back({from, port, m_elapsed.elapsed(), std::nullopt});
        std::printf("logon from %s\n", Peer(from, port).c_str());
        std::fflush(stdout);
    }
    Send(from, port,
         BuildText(seq, m_streamId, static_cast<uint16_t>(kKindText | StartKind()),
                   {"STARTSEQ", m_config.name, m_title}));
    SendProbes(from, port);
}

void Station::SendProbes(const QHostAddress& to, quint16 port)
{
    const auto probe = BuildDatagram({0, m_streamId, kKindLinkProbe, 0}, {});
    for (int k = 0; k < m_config.probeCount; ++k) {
        if (m_config.probeIntervalMs == 0) {
            Send(to, port, probe);
        } else {
            QTimer::singleShot(k * m_config.probeIntervalMs, this, [this, to, port, probe] {
                if (Find(to, port))
                    Send(to, port, probe);
            });
        }
    }
}

void Station::SendSongText()
{
    for (const Listener& l : m_listeners)
        Send(l.address, l.port, BuildText(m_lastSequence, m_streamId, kKindText, {"SONGTEXT", m_title}));
}

void Station::OnResend(Listener& listener, uint32_t sequence)
{
    if (m_config.refuseResends)
        return;
    const SentFrame& f = m_history[sequence % m_history.size()];
    if (f.sequence != sequence || f.datagram.empty())
        return;
    Send(listener.address, listener.port, f.datagram);
}

bool Station::PausedNow() const
{
    if (m_pausedBySignal)
        return true;
    if (m_config.pauseAfterSeconds < 0)
        return false;
    const double t = m_elapsed.elapsed() / 1000.0 * m_config.speedFactor;
    return t >= m_config.pauseAfterSeconds && t < m_config.pauseAfterSeconds + m_config.pauseForSeconds;
}

void Station::OnClock()
{
    const qint64 now = m_elapsed.elapsed();
    // Off the air a listener has nothing to report on, so its silence then is
    // no sign that it has gone: it hears the station again when it comes back.
    if (PausedNow())
        for (Listener& l : m_listeners)
            l.lastHeardMs = now;
    const auto timeoutMs = static_cast<qint64>(kListenerTimeoutMs / m_config.speedFactor);
    std::erase_if(m_listeners, [&](const Listener& l) {
        const bool gone = now - l.lastHeardMs > timeoutMs;
        if (gone)
            std::printf("listener %s timed out\n", Peer(l.address, l.port).c_str());
        return gone;
    });
    const auto due = static_cast<int64_t>(static_cast<double>(now) / m_frameMs);
    if (due - m_framesDone > kMaxCatchUpFrames) {
        const int64_t skip = due - m_framesDone - kMaxCatchUpFrames;
        for (int64_t k = 0; k < skip; ++k)
            ProduceFrame(false);
    }
    while (m_framesDone < due)
        ProduceFrame(true);
}

void Station::ProduceFrame(bool send)
{
    ++m_framesDone;
    const uint32_t seq = ++m_lastSequence;
    const uint32_t d = seq % 8;
    if (d == 0 || !m_blockFilled) {
        m_audio.NextFrame(m_block);
        m_blockFilled = true;
    }
    for (uint32_t j = 0; j < 8; ++j)
        std::copy_n(m_block.begin() + (8 * j + d) * 256, 256, m_pcm.begin() + j * 256);
    // While paused the station is off the air: nothing sent, nothing to resend.
    if (!send || m_listeners.empty() || PausedNow())
        return;
    const radio::EncodedFrameInfo info = m_encoder.Encode(m_pcm, m_payload);
    SentFrame& slot = m_history[seq % m_history.size()];
    slot.sequence = seq;
    slot.datagram = BuildDatagram({seq, m_streamId, kKindAudio, static_cast<uint16_t>(info.bytes)},
                                  std::span<const uint8_t>(m_payload.data(), info.bytes));
    for (Listener& l : m_listeners)
        SendAudio(l, seq, slot.datagram);
}

void Station::SendAudio(Listener& l, uint32_t sequence, const std::vector<uint8_t>& datagram)
{
    if (m_config.dropSequences.count(sequence) || Chance(m_config.lossPercent))
        return;
    if (!l.held && Chance(m_config.reorderPercent)) {
        l.held = datagram; // goes out after the next one
        return;
    }
    const int copies = Chance(m_config.duplicatePercent) ? 2 : 1;
    std::vector<std::vector<uint8_t>> out(static_cast<std::size_t>(copies), datagram);
    if (l.held) {
        out.push_back(std::move(*l.held));
        l.held.reset();
    }
    const QHostAddress to = l.address;
    const quint16 port = l.port;
    if (m_config.delayMs > 0) {
        // Precise even for long delays: a coarse timer would bunch the datagrams
        // up instead of keeping their spacing.
        QTimer::singleShot(m_config.delayMs, Qt::PreciseTimer, this, [this, to, port, out] {
            for (const auto& d : out)
                Send(to, port, d);
        });
    } else {
        for (const auto& d : out)
            Send(to, port, d);
    }
}

} // namespace lumetra::station
