// The receiver against the real station over loopback: lumetra-station playing a
// known WAV, `lumetra --headless` recording what it plays into a WAV file. The
// recording is compared with the source and with the codec's own round trip.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "platform/audio/wave_file.h"
#include "radio/codec/wavelet_decoder.h"
#include "radio/codec/wavelet_encoder.h"
#include "radio/receiver/concealment.h"

namespace lumetra::radio {
namespace {

constexpr int kFrame = 2048;

std::string BuildDir()
{
    const char* d = std::getenv("LUMETRA_BUILD_DIR");
    return d ? d : ".";
}

// A WAV file's samples: 8-bit ones as they are; 16-bit ones also rounded to 8 bits.
struct Wave {
    std::vector<uint8_t> s8;
    std::vector<int16_t> s16;
};
Wave ReadWave(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto wav = platform::audio::ParseWave(bytes);
    Wave w;
    const auto& data = wav.image.samples;
    if (wav.ok && wav.image.format.bitsPerSample == 8)
        w.s8.assign(data.begin(), data.end());
    for (size_t i = 0; wav.ok && wav.image.format.bitsPerSample == 16 && i + 1 < data.size(); i += 2) {
        w.s16.push_back(int16_t(data[i] | data[i + 1] << 8));
        w.s8.push_back(uint8_t(std::clamp((w.s16.back() + 128) / 256 + 128, 0, 255)));
    }
    return w;
}

double Snr(const std::vector<uint8_t>& x, const std::vector<uint8_t>& ref, size_t count, size_t refOffset)
{
    double signal = 0, noise = 0;
    for (size_t i = 0; i < count && i < x.size(); ++i) {
        double r = double(ref[(refOffset + i) % ref.size()]) - 128;
        double e = double(x[i]) - 128 - r;
        signal += r * r;
        noise += e * e;
    }
    return noise == 0 ? 99.0 : 10 * std::log10(signal / noise);
}

// The source offset (a multiple of 256 samples) that best explains the recording.
size_t Align(const std::vector<uint8_t>& recorded, const std::vector<uint8_t>& ref)
{
    size_t best = 0;
    double bestSnr = -1e9;
    for (size_t o = 0; o < ref.size(); o += kSubBlockSamples) {
        double s = Snr(recorded, ref, kBlockSamples, o);
        if (s > bestSnr) {
            bestSnr = s;
            best = o;
        }
    }
    return best;
}

// What the station's frames turn into at the receiver when nothing is lost: each
// block of eight frames carries its 256-sample pieces interleaved, encoded with
// the station's byte budget and decoded.
std::vector<uint8_t> CodecRoundTrip(const std::vector<int16_t>& source, size_t budgetBytes)
{
    EncoderSettings settings;
    settings.maxPayloadBytes = budgetBytes;
    WaveletEncoder encoder(settings);
    std::vector<uint8_t> out(source.size() - source.size() % kBlockSamples, 128);
    std::array<int16_t, kFrame> frame{};
    std::vector<uint8_t> payload(5120);
    std::array<uint8_t, kFrame> decoded{};
    for (size_t block = 0; block < out.size(); block += kBlockSamples) {
        for (int d = 0; d < 8; ++d) {
            for (int j = 0; j < 8; ++j)
                for (int i = 0; i < kSubBlockSamples; ++i)
                    frame[size_t(j * 256 + i)] = source[block + size_t((8 * j + d) * 256 + i)];
            auto info = encoder.Encode(frame, payload);
            DecodeFrame(std::span<const uint8_t>(payload.data(), info.bytes), false, 2, decoded);
            for (int j = 0; j < 8; ++j)
                for (int i = 0; i < kSubBlockSamples; ++i)
                    out[block + size_t((8 * j + d) * 256 + i)] = decoded[size_t(j * 256 + i)];
        }
    }
    return out;
}

class Child {
public:
    void Start(const std::string& program, const QStringList& args, const QProcessEnvironment& env)
    {
        m_process.setProcessEnvironment(env);
        m_process.setProgram(QString::fromStdString(program));
        m_process.setArguments(args);
        m_process.start();
        ASSERT_TRUE(m_process.waitForStarted(5000)) << program;
    }
    void Send(const std::string& line) { m_process.write((line + "\n").c_str()); }
    void CloseInput() { m_process.closeWriteChannel(); }
    // Reads whatever lines are ready.
    void Pump()
    {
        m_process.waitForReadyRead(20);
        while (m_process.canReadLine())
            lines.push_back(m_process.readLine().trimmed().toStdString());
        m_errors += m_process.readAllStandardError().toStdString();
    }
    bool WaitForLine(const std::string& prefix, int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        size_t seen = 0;
        while (t.elapsed() < timeoutMs) {
            Pump();
            for (; seen < lines.size(); ++seen)
                if (lines[seen].rfind(prefix, 0) == 0)
                    return true;
            if (m_process.state() == QProcess::NotRunning)
                return false;
        }
        return false;
    }
    bool Has(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
    bool Finish(int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        while (m_process.state() != QProcess::NotRunning && t.elapsed() < timeoutMs)
            Pump();
        Pump();
        const bool ended = m_process.state() == QProcess::NotRunning;
        return ended && m_process.exitCode() == 0;
    }
    const std::string& Errors() const { return m_errors; }
    ~Child()
    {
        m_process.kill();
        m_process.waitForFinished(2000);
    }

    std::vector<std::string> lines;

private:
    QProcess m_process;
    std::string m_errors;
};

class RadioStationE2e : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "radio_e2e";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        source = Path("source.wav");
        // A sweep over a steady tone: every block differs, nothing is silent. Eight
        // whole blocks long, so the station's loop keeps its blocks where ours are.
        int rc = std::system(
            ("sox -q -n -r 8000 -b 16 -c 1 " + source + " synth 16.384 sine 200-1200 synth 16.384 sine mix 330 vol 0.6")
                .c_str());
        ASSERT_EQ(rc, 0) << "sox is needed";
        env = QProcessEnvironment::systemEnvironment();
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) {
            std::string d = Path(v);
            std::system(("mkdir -p -m 700 " + d).c_str());
            env.insert(v, QString::fromStdString(d));
        }
        env.insert("LUMETRA_AUDIO", QString::fromStdString("file:" + Path("out.wav")));
        env.insert("LUMETRA_DRIVES", QString::fromStdString(Path("drives")));
    }

    std::string Path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }

    void StartStation(QStringList extra)
    {
        QStringList args{"--port", "0",
                         "--file", QString::fromStdString(source),
                         "--log",  QString::fromStdString(Path("station.log")),
                         "--seed", "7"};
        args += extra;
        station.Start(BuildDir() + "/tools/station/lumetra-station", args, env);
        ASSERT_TRUE(station.WaitForLine("ready", 5000));
        for (auto& l : station.lines) // station "..." on 127.0.0.1:<port>: ...
            if (auto at = l.find(" on 127.0.0.1:"); at != std::string::npos)
                port = uint16_t(std::stoi(l.substr(at + 14)));
    }

    void StartPlayer()
    {
        player.Start(BuildDir() + "/app/lumetra", {"--headless"}, env);
        player.Send("volume 65535");
        player.Send("radio 127.0.0.1:" + std::to_string(port) + " Loopback FM");
    }

    bool StopPlayer()
    {
        player.Send("radio-stop");
        player.CloseInput();
        return player.Finish(5000);
    }

    std::vector<std::string> StationLog()
    {
        std::ifstream in(Path("station.log"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    size_t CountInLog(const std::string& needle)
    {
        auto lines = StationLog();
        return std::count_if(lines.begin(), lines.end(), [&](auto& l) { return l.find(needle) != std::string::npos; });
    }
    // Sequence number of the start message the station sent.
    long StartSequence()
    {
        std::regex start("^tx .* seq=([0-9]+) .*kind=0x0004 .*payload=5354415254534551");
        std::smatch m;
        for (auto& line : StationLog())
            if (std::regex_search(line, m, start))
                return std::stol(m[1]);
        return -1;
    }

    // "radio: concealed N of M sub-blocks" from the player's diagnostics.
    std::pair<int, int> Concealed() const
    {
        std::smatch m;
        std::regex re("radio: concealed ([0-9]+) of ([0-9]+) sub-blocks");
        std::string e = player.Errors();
        if (std::regex_search(e, m, re))
            return {std::stoi(m[1]), std::stoi(m[2])};
        return {-1, -1};
    }

    QTemporaryDir dir;
    std::string source;
    uint16_t port = 0;
    QProcessEnvironment env;
    Child station;
    Child player;
};

// Seven stream seconds play cleanly, then the station pauses for eleven.
TEST_F(RadioStationE2e, CleanReceptionPlaysTheCodecRoundTripThenAPausedStationIsLostWithIdleSound)
{
    StartStation({"--pause-after", "7", "--pause-for", "11"});
    StartPlayer();
    ASSERT_TRUE(player.WaitForLine("radio Receiving Transmission", 12000)) << player.Errors();
    ASSERT_TRUE(player.WaitForLine("radio Transmission Lost br", 12000)) << player.Errors();
    ASSERT_TRUE(player.WaitForLine("radio Transmission Lost (0:05) sr", 8000)) << player.Errors();
    ASSERT_TRUE(player.WaitForLine("radio Recovering Transmission", 12000)) << player.Errors();
    ASSERT_TRUE(StopPlayer()) << player.Errors();

    std::vector<std::string> wanted{"Attempting Connection", "Connected: waiting for signal", "Buffering (",
                                    "Recovering Transmission", "Receiving Transmission"};
    size_t at = 0;
    for (auto& l : player.lines) // "radio <text> <flags>" events
        if (at < wanted.size() && l.rfind("radio " + wanted[at], 0) == 0)
            ++at;
    EXPECT_EQ(at, wanted.size()) << "status events out of order";
    EXPECT_TRUE(player.Has("title Radio Lumetra (Lumetra Demo)"));
    // Every ninth audio datagram is followed by a 44-byte reception report; probes get link answers.
    EXPECT_GE(CountInLog("bytes=44 seq="), 2u);
    EXPECT_GE(CountInLog("kind=0x0800 length=0 "), 1u);

    // The two blocks before the pause, against the source and the codec's round trip.
    auto recorded = ReadWave(Path("out.wav")).s8;
    const size_t span = 2 * kBlockSamples;
    ASSERT_GE(recorded.size(), span) << "too little was played";
    const Wave src = ReadWave(source);
    const auto& src8 = src.s8;
    auto roundTrip = CodecRoundTrip(src.s16, 512);
    size_t offset = Align(recorded, src8);
    double snrSource = Snr(recorded, src8, span, offset);
    double snrRoundTrip = Snr(recorded, roundTrip, span, offset);
    std::printf("clean: SNR against the source %.1f dB, against the codec round trip %.1f dB, the round trip itself "
                "%.1f dB\n",
                snrSource, snrRoundTrip, Snr(roundTrip, src8, roundTrip.size(), 0));
    // What was played is what the codec makes of the source, sample for sample.
    EXPECT_GT(snrRoundTrip, 60.0);
    EXPECT_GT(snrSource, 15.0);

    // The idle sound played on a second device at half the wave volume.
    auto idle = ReadWave(Path("out-1.wav")).s8;
    auto resource = ReadWave(std::string(std::getenv("LUMETRA_SOURCE_DIR") ? std::getenv("LUMETRA_SOURCE_DIR") : ".") +
                             "/resources/wave/IDLE.wav")
                        .s8;
    ASSERT_FALSE(idle.empty());
    ASSERT_FALSE(resource.empty());
    auto peak = [](const std::vector<uint8_t>& v) {
        int p = 0;
        for (uint8_t x : v)
            p = std::max(p, std::abs(int(x) - 128));
        return p;
    };
    std::printf("paused station: idle sound %zu samples, peak %d against the resource's %d\n", idle.size(), peak(idle),
                peak(resource));
    EXPECT_GE(idle.size(), resource.size());
    EXPECT_NEAR(peak(idle), peak(resource) / 2.0, 1.5);
}

TEST_F(RadioStationE2e, ResendsFillMostHolesOfFivePercentLoss)
{
    // Sent four times faster than played, so many blocks pass in a short run.
    StartStation({"--loss", "5", "--speed-factor", "4"});
    StartPlayer();
    ASSERT_TRUE(player.WaitForLine("radio Receiving Transmission", 15000)) << player.Errors();
    // About 200 datagrams: enough that the few holes resends cannot fill (a lost
    // last datagram of a block) stay well under the bound whichever ones are lost.
    player.WaitForLine("radio never", 12000);
    ASSERT_TRUE(StopPlayer()) << player.Errors();
    auto [lost, total] = Concealed();
    size_t requests = CountInLog("kind=0x0008 length=0 ");
    std::printf("5%% loss with resends: %zu resend requests, %d of %d sub-blocks concealed (%.2f%%)\n", requests, lost,
                total, total ? 100.0 * lost / total : 0.0);
    ASSERT_GT(total, 8 * kSubBlocksPerBlock);
    EXPECT_GT(requests, 0u);
    // Without resends about 5% of the sub-blocks would be holes; a last datagram
    // of a block that is lost stays a hole (its block is played when the next
    // one's first datagram shows the gap), so about an eighth remain.
    EXPECT_LT(lost, total * 5 / 100 / 2);
}

TEST_F(RadioStationE2e, RefusedResendsAreConcealedBetterThanSilence)
{
    // A steady chord on a 125 Hz fundamental: sound that repeats every 256 samples,
    // where borrowing from neighbouring pieces is at its most useful.
    source = Path("chord.wav");
    ASSERT_EQ(std::system(("sox -q -n -r 8000 -b 16 -c 1 " + source +
                           " synth 16.384 sine 250 synth 16.384 sine mix 375 synth 16.384 sine mix 500 vol 0.3")
                              .c_str()),
              0);
    // Every twentieth datagram never arrives, and asking again does not help.
    QString drops;
    for (int s = 10; s < 4000; s += 20)
        drops += (drops.isEmpty() ? "" : ",") + QString::number(s);
    StartStation({"--no-resend", "--drop-seq", drops, "--log-sent"});
    StartPlayer();
    ASSERT_TRUE(player.WaitForLine("radio Losing Transmission: Approximating lost sound", 15000)) << player.Errors();
    player.WaitForLine("radio never", 5000);
    ASSERT_TRUE(StopPlayer()) << player.Errors();
    EXPECT_TRUE(player.Has("radio Losing Transmission: Approximating lost sound sr"));

    long start = StartSequence();
    ASSERT_GE(start, 0);
    auto recorded = ReadWave(Path("out.wav")).s8;
    ASSERT_GE(recorded.size(), size_t(2 * kBlockSamples));
    const Wave src = ReadWave(source);
    const auto& src8 = src.s8;
    auto roundTrip = CodecRoundTrip(src.s16, 512);
    size_t offset = Align(recorded, roundTrip);

    // The recording starts with the first block after the start message; the
    // pieces of dropped datagrams are the holes, everything else is the codec's
    // sound with the light noise of a damaged block.
    long firstBase = (start & ~7L) + 8;
    size_t span = recorded.size() - recorded.size() % kBlockSamples;
    std::vector<uint8_t> silenced = recorded;
    int holes = 0;
    int worstKept = 0;
    for (size_t block = 0; block < span; block += kBlockSamples) {
        long base = firstBase + long(block / kBlockSamples) * 8;
        for (int k = 0; k < kSubBlocksPerBlock; ++k) {
            size_t at = block + size_t(k) * kSubBlockSamples;
            if ((base + k % 8) % 20 == 10) {
                ++holes;
                std::fill_n(silenced.begin() + long(at), kSubBlockSamples, uint8_t(128));
                continue;
            }
            for (size_t i = at; i < at + kSubBlockSamples; ++i)
                worstKept =
                    std::max(worstKept, std::abs(int(recorded[i]) - int(roundTrip[(offset + i) % roundTrip.size()])));
        }
    }
    double concealed = Snr(recorded, src8, span, offset);
    double silence = Snr(silenced, src8, span, offset);
    auto [lost, total] = Concealed();
    std::printf("refused resends: %d lost sub-blocks in %zu samples played (receiver: %d of %d concealed); SNR against "
                "the source: concealment %.1f dB, silence in the holes %.1f dB\n",
                holes, span, lost, total, concealed, silence);
    EXPECT_GT(holes, 0);
    EXPECT_GE(lost, holes);
    EXPECT_LE(worstKept, 2) << "arrived pieces carry only the noise of a damaged block";
    EXPECT_GT(concealed, silence + 3.0);
}

// Every refusal word and the silent station's ten logons are checked against a
// fake host in the protocol tests; here the real station's word ends a real logon.
TEST_F(RadioStationE2e, ClosedSiteWordEndsTheLogon)
{
    StartStation({"--answer", "closed"});
    StartPlayer();
    player.CloseInput(); // end of input waits only while a station is received
    ASSERT_TRUE(player.Finish(15000)) << player.Errors();
    EXPECT_TRUE(
        player.Has("message Radio Lumetra: It is a closed site, please contact the site administrator to let you in."));
    EXPECT_TRUE(player.Has("radio Station has too many listeners. sr"));
    // Closing records where the receiver's hidden window stood.
    QSettings zeph(QString::fromStdString(Path("XDG_CONFIG_HOME") + "/lumetra/zeph.ini"), QSettings::IniFormat);
    EXPECT_EQ(zeph.value("Stations/RadioX").toString() + "," + zeph.value("Stations/RadioY").toString(), "100,50");
    // The refusal's logoff, and the close's at shutdown (the socket stays open);
    // the station may log the last one just after the player has gone.
    QElapsedTimer waited;
    waited.start();
    while (CountInLog("kind=0x0010 ") < 2 && waited.elapsed() < 5000)
        QThread::msleep(50);
    EXPECT_EQ(CountInLog("kind=0x0010 "), 2u);
}

} // namespace
} // namespace lumetra::radio
