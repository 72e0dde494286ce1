#include "radio/receiver/radio_protocol.h"

#include <algorithm>
#include <strings.h>

#include "radio/receiver/radio_host.h"
#include "radio/receiver/radio_session.h"
#include "radio/receiver/socket_error_text.h"

namespace lumetra::radio {
namespace {

constexpr const char* kUnknownStation = "Unknown Radio Station";

// A NUL-terminated text at the start of bytes (the whole span when unterminated).
std::string_view TextAt(std::span<const uint8_t> bytes)
{
    auto nul = std::find(bytes.begin(), bytes.end(), uint8_t(0));
    return {reinterpret_cast<const char*>(bytes.data()), size_t(nul - bytes.begin())};
}

// The text after the first NUL-terminated one, or nothing.
std::span<const uint8_t> AfterText(std::span<const uint8_t> bytes, std::string_view text)
{
    return text.size() < bytes.size() ? bytes.subspan(text.size() + 1) : std::span<const uint8_t>{};
}

bool EqualsNoCase(std::string_view a, const char* b)
{
    size_t n = std::char_traits<char>::length(b);
    return a.size() == n && strncasecmp(a.data(), b, n) == 0;
}

bool StartsWith(std::span<const uint8_t> bytes, std::string_view prefix)
{
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

bool Past(uint32_t now, uint32_t deadline)
{
    return int32_t(now - deadline) > 0;
}

} // namespace

void RadioProtocol::Connect(std::string_view address)
{
    RadioHost& host = m_session.Host();
    StationAddress station = ParseStationAddress(address);
    if (host.SocketOpen()) {
        m_session.Output().ResetDevice();
        SendLogoff();
        host.CloseSocket();
    }
    bool multicast = m_state.multicast;
    m_state = ProtocolState{};
    m_state.station = station;
    m_state.multicast = multicast;
    if (SocketResult opened = host.OpenSocket(multicast); !opened) {
        host.ShowMessage(kRadioCaption, StringTableText(kTextSocketFailed, opened.Error()));
        return;
    }
    host.Repaint();
    m_state.retryCount = kLogonAttempts;
    SendLogon(multicast ? kKindLogonMulticast : kKindLogonUnicast);
}

void RadioProtocol::SendLogon(uint16_t kind)
{
    m_session.Status().Show("Attempting Connection", "by");
    auto bytes = MakeLogon(kind, m_session.Host().UserId(), m_state.sentSequence, m_state.sentStream);
    m_state.logonKind = kind;
    m_state.phase = kind == kKindLogonUnicast ? LogonPhase::UnicastPending : LogonPhase::MulticastPending;
    m_state.deadline = m_session.Host().TickMs() + kLogonRetryMs;
    Send(bytes);
}

void RadioProtocol::SendLogoff()
{
    RadioHost& host = m_session.Host();
    if (host.SocketOpen()) {
        auto bytes = MakeLogoff(m_state.sentSequence, m_state.sentStream);
        if (SocketResult sent = host.SendDatagram(m_state.station, bytes); !sent)
            host.ShowMessage("Cannot write to socket", sent.Text());
    }
    m_state.phase = LogonPhase::Idle;
    m_state.retryCount = 0;
}

void RadioProtocol::LeaveGroup()
{
    if (m_state.multicast && !m_state.group.empty())
        m_session.Host().LeaveGroup(m_state.group);
}

void RadioProtocol::Send(std::span<const uint8_t> bytes)
{
    if (auto d = ParseDatagram(bytes)) {
        m_state.sentSequence = d->header.sequence;
        m_state.sentStream = d->header.stream;
    }
    // Send errors are covered by retries and resends; only the logoff reports them.
    m_session.Host().SendDatagram(m_state.station, bytes);
}

void RadioProtocol::OnTimer()
{
    RadioHost& host = m_session.Host();
    if (!Past(host.TickMs(), m_state.deadline))
        return;
    switch (m_state.phase) {
    case LogonPhase::MulticastPending:
    case LogonPhase::UnicastPending:
        if (--m_state.retryCount > 0) {
            SendLogon(m_state.logonKind);
        } else {
            m_state.phase = LogonPhase::Idle;
            m_session.Status().Show("Station has too many listeners", "sr");
        }
        break;
    case LogonPhase::WaitingMulticast:
        m_state.phase = LogonPhase::Idle;
        host.PostStop();
        host.ShowMessage(kRadioCaption, "No MBONE packets coming through, stopping.");
        m_state.retryCount = kLogonAttempts;
        break;
    default:
        break;
    }
}

void RadioProtocol::OnSocketError()
{
    m_session.Host().ShowMessage(kRadioCaption, "Unknown command or unknown event or socket error.  Ignore it.");
}

void RadioProtocol::OnDatagram(std::span<const uint8_t> bytes, uint32_t sourceIp, uint16_t sourcePort)
{
    if (!m_session.Host().SocketOpen())
        return;
    // Only the station we logged on to may talk to us.
    if (!m_state.station.valid || sourceIp != m_state.station.ipv4 || sourcePort != m_state.station.port)
        return;
    auto d = ParseDatagram(bytes);
    if (!d)
        return;
    uint16_t kind = d->header.kind;
    if (kind & kKindText)
        OnText(*d);
    else if (kind & kKindGroup)
        OnGroup(*d);
    else if (kind & kKindProbe)
        OnProbe(*d);
    else if (kind & kKindAudio)
        OnAudio(*d);
}

void RadioProtocol::OnText(const Datagram& d)
{
    std::string_view word = TextAt(d.payload);
    if (StartsWith(d.payload, "STARTSEQ")) {
        OnStart(d);
    } else if (EqualsNoCase(word, "IntranetOnly")) {
        Refuse("This site is only broadcasting to domain network only.", "Connection Failed - No internet connection");
    } else if (EqualsNoCase(word, "BUSY")) {
        SendLogoff();
        if (EqualsNoCase(TextAt(AfterText(d.payload, word)), "ClosedSite"))
            m_session.Host().ShowMessage(kRadioCaption,
                                         "It is a closed site, please contact the site administrator to let you in.");
        m_state.phase = LogonPhase::Idle;
        m_session.Status().Show("Station has too many listeners.", "sr");
    } else if (EqualsNoCase(word, "No14400")) {
        Refuse("The site is not supporting 14400 connection.", "Connection Failed - No 14,400 connection");
    }
    // "N/A", "LOGON/A" and "SONGTEXT" of the current stream are acknowledged and
    // change nothing; the song title is not displayed. Other words are dropped.
}

void RadioProtocol::Refuse(const std::string& message, std::string_view status)
{
    SendLogoff();
    m_session.Host().ShowMessage(kRadioCaption, message);
    m_state.phase = LogonPhase::Idle;
    m_session.Status().Show(status, "sr");
}

void RadioProtocol::SetRates(uint16_t kind)
{
    switch ((kind & kKindRateMask) >> 8) {
    case 0:
        m_state.outputRate = 11025;
        break;
    case 1:
        m_state.outputRate = 22050;
        break;
    case 2:
        m_state.outputRate = 44100;
        break;
    default:
        break; // keep the previous output rate
    }
    m_state.codedRate = (kind & kKindNativeRate) ? m_state.outputRate : m_state.outputRate * 8000 / 11025;
}

void RadioProtocol::OnStart(const Datagram& d)
{
    RadioHost& host = m_session.Host();
    m_state.stream = d.header.stream;
    m_state.lastSequence = m_state.windowStartSequence = d.header.sequence;
    m_state.windowStartTime = host.NowSeconds();
    m_state.probeCount = 0;
    SetRates(d.header.kind);
    m_session.Status().Show("Connected: waiting for signal", "by");
    if (!m_session.OpenOutput())
        return;
    host.ApplyVolume();
    m_session.StartBlocks(d.header.sequence);
    m_state.phase = LogonPhase::Receiving;
    m_state.deadline = host.TickMs() + 10000;
    std::string name = kUnknownStation;
    if (d.header.length > 10)
        name = std::string(TextAt(AfterText(d.payload, "STARTSEQ")));
    m_state.stationName = name;
    m_session.Status().SetStationTitle(name);
    m_session.Status().SetStationLine(name);
    host.Repaint();
}

void RadioProtocol::OnGroup(const Datagram& d)
{
    RadioHost& host = m_session.Host();
    std::string_view group = TextAt(d.payload);
    if (EqualsNoCase(group, "0.0.0.0")) {
        host.ShowMessage(kRadioCaption, "The site does not support MBONE.");
        host.PostStop();
        return;
    }
    m_state.group = std::string(group.substr(0, 63));
    if (m_state.multicast && !host.JoinGroup(m_state.group)) {
        host.ShowMessage(kRadioCaption, "Failed to join the MBONE group.");
        host.PostStop();
        return;
    }
    m_state.stream = d.header.stream;
    m_state.lastSequence = m_state.windowStartSequence = d.header.sequence;
    m_state.windowStartTime = host.NowSeconds();
    SetRates(d.header.kind);
    if (!m_session.OpenOutput())
        return;
    m_session.StartBlocks(d.header.sequence);
    m_state.phase = LogonPhase::WaitingMulticast;
    m_state.deadline = host.TickMs() + 20000;
    std::string name = kUnknownStation;
    if (d.header.length > group.size() + 1)
        name = std::string(TextAt(AfterText(d.payload, group)));
    m_state.stationName = name;
    m_session.Status().SetStationTitle(name);
    host.Repaint();
}

void RadioProtocol::OnProbe(const Datagram& d)
{
    if (d.header.stream != m_state.stream)
        return;
    ++m_state.probeCount;
    uint32_t now = m_session.Host().TickMs();
    if (m_state.probeCount == 1) {
        m_state.firstProbeTick = now;
    } else if (m_state.probeCount == kProbesForAnswer && now - m_state.firstProbeTick < kProbeWindowMs) {
        auto answer = MakeLinkAnswer(m_state.stream);
        Send(answer);
        Send(answer);
    }
}

void RadioProtocol::OnAudio(const Datagram& d)
{
    if (d.header.stream != m_state.stream || !m_session.Output().IsOpen())
        return;
    uint32_t q = d.header.sequence;
    if (q > m_state.lastSequence) {
        int64_t from = std::max<int64_t>(int64_t(q) - kMaxResendRequests, int64_t(m_state.lastSequence) + 1);
        for (int64_t n = from; n < int64_t(q); ++n)
            Send(MakeResendRequest(uint32_t(n), m_state.stream));
        m_state.lastSequence = q;
    }
    m_session.ReceiveAudio(q, d.payload);
    if (++m_state.audioCount >= kDatagramsPerReport) {
        Send(MakeReceptionReport(m_state.sentSequence, m_state.sentStream, m_session.Blocks().LastCompletedFlags()));
        m_state.audioCount = 0;
    }
    m_state.deadline = m_session.Host().TickMs() + 10000;
}

} // namespace lumetra::radio
