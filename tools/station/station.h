#pragma once
// One radio station on a UDP port: answers logons, sends a link-probe burst and
// then one wavelet-coded audio datagram every 2048 coded samples in real time to
// each listener, resends on request, sends the song title now and then, and
// forgets listeners that log off or fall silent.

#include "radio/codec/wavelet_encoder.h"
#include "tools/station/audio_source.h"
#include "tools/station/datagram_log.h"
#include "tools/station/station_config.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

#include <array>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace lumetra::station {

class Station : public QObject {
public:
    Station(StationConfig config, DatagramLog* log, uint32_t seed);

    // Loads the audio and binds the socket; false with a message on error.
    bool Start(std::string& error);

    const StationConfig& Config() const { return m_config; }
    uint16_t BoundPort() const { return m_socket.localPort(); }
    void SetPaused(bool paused) { m_pausedBySignal = paused; }

private:
    struct Listener {
        QHostAddress address;
        quint16 port = 0;
        qint64 lastHeardMs = 0;
        std::optional<std::vector<uint8_t>> held; // a datagram held back to swap order
    };
    struct SentFrame {
        uint32_t sequence = 0;
        std::vector<uint8_t> datagram;
    };

    void OnReadyRead();
    void Handle(const QHostAddress& from, quint16 port, std::span<const uint8_t> datagram);
    void OnLogon(const QHostAddress& from, quint16 port, bool multicast);
    void OnResend(Listener& listener, uint32_t sequence);
    void OnClock();
    void ProduceFrame(bool send);
    void SendAudio(Listener& listener, uint32_t sequence, const std::vector<uint8_t>& datagram);
    void SendProbes(const QHostAddress& to, quint16 port);
    void SendSongText();
    void Send(const QHostAddress& to, quint16 port, const std::vector<uint8_t>& datagram);
    Listener* Find(const QHostAddress& from, quint16 port);
    bool Chance(double percent);
    std::string Peer(const QHostAddress& address, quint16 port) const;
    bool PausedNow() const;
    uint16_t StartKind() const;

    StationConfig m_config;
    DatagramLog* m_log;
    std::mt19937 m_random;
    QUdpSocket m_socket;
    QTimer m_clock;
    QTimer m_songTimer;
    QElapsedTimer m_elapsed;
    AudioSource m_audio;
    radio::WaveletEncoder m_encoder;
    std::string m_title;
    uint32_t m_streamId = 0;
    uint32_t m_lastSequence = 0;
    int64_t m_framesDone = 0;
    double m_frameMs = 0;
    bool m_pausedBySignal = false;
    std::vector<Listener> m_listeners;
    std::array<SentFrame, 64> m_history{};
    std::array<int16_t, radio::kFrameSamples> m_pcm{};
    // Eight frames of source sound; datagram d of a block carries its 256-sample
    // pieces d, d + 8, ..., d + 56, so a lost datagram leaves short holes that the
    // receiver fills from their neighbours.
    std::array<int16_t, 8 * radio::kFrameSamples> m_block{};
    bool m_blockFilled = false;
    std::vector<uint8_t> m_payload;
};

} // namespace lumetra::station
