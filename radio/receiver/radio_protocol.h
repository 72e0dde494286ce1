#pragma once
// The receiver's side of the station conversation: logon and its retries, the
// station's words, start of a stream, link probes, gap resend requests, reception
// reports and logoff. Datagram handling is a function of this state and the
// bytes; every effect goes through the session's host.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "radio/receiver/datagram.h"
#include "radio/receiver/station_address.h"

namespace lumetra::radio {

class RadioSession;

enum class LogonPhase : int { Idle = 0, MulticastPending = 1, UnicastPending = 2, WaitingMulticast = 3, Receiving = 4 };

inline constexpr int kLogonAttempts = 10;
inline constexpr uint32_t kLogonRetryMs = 1000;
inline constexpr int kMaxResendRequests = 15;
inline constexpr int kDatagramsPerReport = 9;
inline constexpr int kProbesForAnswer = 9;
inline constexpr uint32_t kProbeWindowMs = 500;

struct ProtocolState {
    StationAddress station;
    bool multicast = false;
    LogonPhase phase = LogonPhase::Idle;
    uint32_t deadline = 0;
    int retryCount = 0;
    uint16_t logonKind = kKindLogonUnicast;
    uint32_t stream = 0;
    uint32_t lastSequence = 0;
    uint32_t windowStartSequence = 0;
    int64_t windowStartTime = 0;
    int probeCount = 0;
    uint32_t firstProbeTick = 0;
    int audioCount = 0;
    std::string group;
    std::string stationName;
    // Header fields of the previous request, reused where a field carries no meaning.
    uint32_t sentSequence = 0;
    uint32_t sentStream = 0;
    int outputRate = 22050;
    int codedRate = 22050;
};

class RadioProtocol {
public:
    explicit RadioProtocol(RadioSession& session) : m_session(session) {}

    // The connect sequence for a station address text.
    void Connect(std::string_view address);
    void SendLogon(uint16_t kind);
    void SendLogoff();
    void LeaveGroup();
    void OnTimer();
    // One received datagram and its source (host order).
    void OnDatagram(std::span<const uint8_t> bytes, uint32_t sourceIp, uint16_t sourcePort);
    void OnSocketError();

    ProtocolState& State() { return m_state; }
    const ProtocolState& State() const { return m_state; }

private:
    void OnText(const Datagram& d);
    void OnStart(const Datagram& d);
    void OnGroup(const Datagram& d);
    void OnProbe(const Datagram& d);
    void OnAudio(const Datagram& d);
    void Refuse(const std::string& message, std::string_view status);
    void SetRates(uint16_t kind);
    void Send(std::span<const uint8_t> bytes);

    RadioSession& m_session;
    ProtocolState m_state;
};

} // namespace lumetra::radio
