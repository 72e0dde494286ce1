// lumetra-station as a receiver meets it: a small UDP client on loopback logs on
// and checks every datagram the station answers with.

#include "radio/codec/wavelet_decoder.h"
#include "radio/receiver/datagram.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

struct Datagram {
    uint32_t seq = 0, stream = 0;
    uint16_t kind = 0, length = 0;
    Bytes payload;
    // The NUL-separated words of a text message.
    std::vector<std::string> Words() const
    {
        std::vector<std::string> w(1);
        for (uint8_t b : payload) {
            if (b == 0)
                w.emplace_back();
            else
                w.back() += static_cast<char>(b);
        }
        w.pop_back();
        return w;
    }
};

// The station under test, started with a free port and stopped with SIGTERM.
class StationProcess {
public:
    explicit StationProcess(std::vector<std::string> args)
    {
        int out[2];
        if (pipe(out) != 0)
            return;
        args.insert(args.begin(), {LUMETRA_STATION_BINARY, "--port", "0"});
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        m_out = fdopen(out[0], "r");
        char line[1024];
        while (m_out && std::fgets(line, sizeof line, m_out)) {
            std::string l(line);
            if (auto at = l.find("127.0.0.1:"); at != std::string::npos && m_port == 0)
                m_port = static_cast<uint16_t>(std::stoi(l.substr(at + 10)));
            if (l == "ready\n")
                break;
        }
    }
    ~StationProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_out)
            std::fclose(m_out);
    }
    uint16_t Port() const { return m_port; }
    void Signal(int sig) { kill(m_pid, sig); }

private:
    pid_t m_pid = -1;
    FILE* m_out = nullptr;
    uint16_t m_port = 0;
};

class Client {
public:
    explicit Client(uint16_t stationPort)
    {
        m_fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
        m_station.sin_family = AF_INET;
        m_station.sin_port = htons(stationPort);
        m_station.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~Client() { close(m_fd); }
    // The receiver's own datagrams.
    void Send(std::span<const uint8_t> b)
    {
        sendto(m_fd, b.data(), b.size(), 0, reinterpret_cast<sockaddr*>(&m_station), sizeof m_station);
    }
    void Logon(uint16_t kind = 4) { Send(lumetra::radio::MakeLogon(kind, "tester", 0, 0)); }
    void Logoff() { Send(lumetra::radio::MakeLogoff(0, 0)); }
    void Resend(uint32_t seq, uint32_t stream) { Send(lumetra::radio::MakeResendRequest(seq, stream)); }
    std::optional<Datagram> Receive(int timeoutMs)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0)
            return std::nullopt;
        uint8_t buf[6000];
        const ssize_t n = recv(m_fd, buf, sizeof buf, 0);
        if (n < 12)
            return std::nullopt;
        Datagram d;
        d.seq = uint32_t(buf[0]) << 24 | buf[1] << 16 | buf[2] << 8 | buf[3];
        d.stream = uint32_t(buf[4]) << 24 | buf[5] << 16 | buf[6] << 8 | buf[7];
        d.kind = static_cast<uint16_t>(buf[8] << 8 | buf[9]);
        d.length = static_cast<uint16_t>(buf[10] << 8 | buf[11]);
        d.payload.assign(buf + 12, buf + n);
        return d;
    }
    // Everything that arrives within ms.
    std::vector<Datagram> Collect(int ms)
    {
        std::vector<Datagram> all;
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            const int left =
                static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
            if (auto d = Receive(std::max(left, 1)))
                all.push_back(*d);
        }
        return all;
    }
    // Datagrams until one of the kind arrives (or ms pass).
    std::optional<Datagram> WaitFor(uint16_t kindBit, int ms)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end)
            if (auto d = Receive(50); d && (d->kind & kindBit))
                return d;
        return std::nullopt;
    }

private:
    int m_fd = -1;
    sockaddr_in m_station{};
};

std::vector<Datagram> OfKind(const std::vector<Datagram>& all, uint16_t bit)
{
    std::vector<Datagram> r;
    for (const auto& d : all)
        if (d.kind & bit)
            r.push_back(d);
    return r;
}

bool Audible(const Datagram& d)
{
    std::array<uint8_t, lumetra::radio::kFrameSamples> s{};
    lumetra::radio::DecodeFrame(d.payload, false, 2, s);
    int peak = 0;
    for (uint8_t v : s)
        peak = std::max(peak, std::abs(v - 128));
    return peak > 8;
}

// ---- start of a stream -------------------------------------------------------------

// Sped up to about 30 datagrams a second whatever the rate.
struct StartCase {
    std::vector<std::string> args;
    uint16_t rateBits;
};
class StationStart : public testing::TestWithParam<StartCase> {};

TEST_P(StationStart, LogonGetsStartseqProbesThenNumberedAudio)
{
    std::vector<std::string> args{"--station",   "Test Radio", "--title",     "Test Song",
                                  "--stream-id", "4242",       "--start-seq", "5000"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    StationProcess station(args);
    ASSERT_NE(station.Port(), 0);
    Client client(station.Port());
    client.Logon();
    const auto start = client.WaitFor(0x0004, 2000);
    ASSERT_TRUE(start);
    EXPECT_EQ(start->Words(), (std::vector<std::string>{"STARTSEQ", "Test Radio", "Test Song"}));
    EXPECT_EQ(start->length, start->payload.size());
    EXPECT_EQ(start->kind, 0x0004 | GetParam().rateBits);
    EXPECT_EQ(start->stream, 4242u);
    EXPECT_GE(start->seq, 5000u);

    const auto t0 = Clock::now();
    const auto rest = client.Collect(1500);
    std::vector<Datagram> probes = OfKind(rest, 0x0800), audio = OfKind(rest, 0x8000);
    EXPECT_GE(probes.size(), 9u);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(2000));
    for (const auto& p : probes)
        EXPECT_EQ(p.stream, 4242u);
    ASSERT_GE(audio.size(), 5u);
    for (std::size_t k = 0; k < audio.size(); ++k) {
        EXPECT_EQ(audio[k].seq, start->seq + 1 + k);
        EXPECT_EQ(audio[k].stream, 4242u);
        EXPECT_EQ(audio[k].kind, 0x8000);
        EXPECT_EQ(audio[k].length, audio[k].payload.size());
        EXPECT_LE(audio[k].payload.size(), 5120u);
    }
    EXPECT_TRUE(std::any_of(audio.begin(), audio.end(), Audible));
    client.Logoff();
}

INSTANTIATE_TEST_SUITE_P(Rates, StationStart,
                         testing::Values(StartCase{{"--rate", "8000", "--speed-factor", "8"}, 0x0000},
                                         StartCase{{"--rate", "16000", "--speed-factor", "4"}, 0x0100},
                                         StartCase{{"--rate", "32000", "--speed-factor", "2"}, 0x0200},
                                         StartCase{{"--rate", "22050", "--native", "--speed-factor", "3"}, 0x0500}));

// ---- refusals ----------------------------------------------------------------------

struct RefusalCase {
    std::string answer;
    std::vector<std::string> words;
};
class StationRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(StationRefusal, AnswersTheLogonWithItsWordOnly)
{
    StationProcess station({"--answer", GetParam().answer, "--speed-factor", "8"});
    Client client(station.Port());
    client.Logon();
    const auto all = client.Collect(800);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].kind, 0x0004);
    EXPECT_EQ(all[0].Words(), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(Words, StationRefusal,
                         testing::Values(RefusalCase{"busy", {"BUSY"}}, RefusalCase{"closed", {"BUSY", "ClosedSite"}},
                                         RefusalCase{"intranet", {"IntranetOnly"}},
                                         RefusalCase{"no14400", {"No14400"}}));

TEST(StationRefusal, SilentStationAndFullStationNeverAnswer)
{
    StationProcess silent({"--answer", "silent"});
    Client a(silent.Port());
    a.Logon();
    EXPECT_TRUE(a.Collect(600).empty());

    StationProcess full({"--max-listeners", "1", "--speed-factor", "8"});
    Client first(full.Port()), second(full.Port());
    first.Logon();
    ASSERT_TRUE(first.WaitFor(0x0004, 2000));
    second.Logon();
    second.Logon();
    EXPECT_TRUE(second.Collect(600).empty());
}

TEST(StationRefusal, MulticastLogonLearnsThatThereIsNoGroup)
{
    StationProcess station({"--station", "Uni Only"});
    Client client(station.Port());
    client.Logon(2);
    const auto d = client.Receive(1000);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->kind & 0x0006, 0x0002);
    EXPECT_EQ(d->Words(), (std::vector<std::string>{"0.0.0.0", "Uni Only", "Lumetra Demo Loop"}));
}

// ---- logoff, log, pause -----------------------------------------------------------

TEST(StationLogoff, AudioStopsAfterLogoffAndTheLogHoldsEveryDatagram)
{
    const auto log = std::filesystem::temp_directory_path() / ("station_log_" + std::to_string(getpid()));
    std::filesystem::remove(log);
    {
        StationProcess station({"--log", log.string(), "--speed-factor", "8"});
        Client client(station.Port());
        client.Logon();
        ASSERT_TRUE(client.WaitFor(0x8000, 2000));
        client.Send(lumetra::radio::MakeReceptionReport(0, 0, {1, 1, 1, 1, 1, 1, 1, 1}));
        client.Logoff();
        client.Collect(200); // what was under way
        EXPECT_TRUE(OfKind(client.Collect(500), 0x8000).empty());
    }
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    std::filesystem::remove(log);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("bytes=26 seq=0 stream=0 kind=0x0004 length=13 payload=5553455249443d74657374657200"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("bytes=44 seq=0 stream=0 kind=0x0008 length=32 payload=01000000010000000100"),
              std::string::npos)
        << lines[1];
    EXPECT_NE(lines[2].find("bytes=12 seq=0 stream=0 kind=0x0010 length=0 payload="), std::string::npos) << lines[2];
}

TEST(StationPause, PausedStationSendsNothingThenResumesFurtherOn)
{
    StationProcess station({"--speed-factor", "8", "--songtext-every", "0"});
    Client client(station.Port());
    client.Logon();
    ASSERT_TRUE(client.WaitFor(0x8000, 2000));
    station.Signal(SIGUSR1);
    client.Collect(300);
    EXPECT_TRUE(client.Collect(600).empty());
    const auto before = Clock::now();
    station.Signal(SIGUSR2);
    auto next = client.WaitFor(0x8000, 2000);
    ASSERT_TRUE(next);
    EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(1000));
}

TEST(StationPause, PauseWindowKeepsTheSequenceRunning)
{
    // Paused for the first 1.5 stream seconds (0.75 s at double speed): the first
    // audio after it is numbered as if it had been sent all along.
    StationProcess station({"--speed-factor", "2", "--pause-after", "0", "--pause-for", "1.5", "--start-seq", "0",
                            "--songtext-every", "0"});
    Client client(station.Port());
    client.Logon();
    const auto start = client.WaitFor(0x0004, 2000);
    ASSERT_TRUE(start);
    ASSERT_LE(start->seq, 2u);
    const auto first = client.WaitFor(0x8000, 3000);
    ASSERT_TRUE(first);
    EXPECT_GE(first->seq, 5u); // 1.5 s of 256 ms frames have gone by
    // What the pause swallowed was never on the air, so it cannot be sent again.
    client.Resend(first->seq - 1, first->stream);
    client.Resend(first->seq - 2, first->stream);
    for (const auto& d : OfKind(client.Collect(400), 0x8000))
        EXPECT_GT(d.seq, first->seq);
}

// ---- faults ----------------------------------------------------------------------

std::vector<uint32_t> AudioSequences(const std::vector<std::string>& faults, int ms)
{
    std::vector<std::string> args{"--speed-factor", "8", "--songtext-every", "0"};
    args.insert(args.end(), faults.begin(), faults.end());
    StationProcess station(args);
    Client client(station.Port());
    client.Logon();
    EXPECT_TRUE(client.WaitFor(0x0004, 2000));
    std::vector<uint32_t> seqs;
    for (const auto& d : OfKind(client.Collect(ms), 0x8000))
        seqs.push_back(d.seq);
    client.Logoff();
    return seqs;
}

TEST(StationFaults, EachFaultShapesTheAudioSequence)
{
    // Duplicates come in equal pairs, reordered neighbours in swapped pairs.
    for (auto [fault, step] : {std::pair{"--duplicate", 0u}, std::pair{"--reorder", 1u}}) {
        const auto seqs = AudioSequences({fault, "100"}, 600);
        ASSERT_GE(seqs.size(), 6u) << fault;
        for (std::size_t k = 0; k + 1 < seqs.size(); k += 2)
            EXPECT_EQ(seqs[k], seqs[k + 1] + step) << fault;
    }
    EXPECT_TRUE(AudioSequences({"--loss", "100"}, 600).empty());
    // Partial loss leaves gaps that resends could fill.
    const auto seqs = AudioSequences({"--loss", "50", "--seed", "7"}, 1200);
    ASSERT_GE(seqs.size(), 5u);
    const auto span = seqs.back() - seqs.front() + 1;
    EXPECT_LT(seqs.size(), span * 85 / 100);
    EXPECT_GT(seqs.size(), span * 15 / 100);
    EXPECT_TRUE(std::is_sorted(seqs.begin(), seqs.end()));
}

TEST(StationFaults, DelayHoldsEveryDatagramBack)
{
    StationProcess station({"--speed-factor", "8", "--delay", "1500"});
    Client client(station.Port());
    client.Logon();
    ASSERT_TRUE(client.WaitFor(0x0004, 2000));
    EXPECT_TRUE(OfKind(client.Collect(700), 0x8000).empty());
    EXPECT_TRUE(client.WaitFor(0x8000, 3000));
}

// ---- audio from files -------------------------------------------------------------

// Zero crossings of the decoded frames, as a frequency. A frame is eight 256-sample
// pieces from across its block, so only steps inside a piece count.
double DecodedFrequency(const std::vector<Datagram>& audio, int codedRate)
{
    long crossings = 0, steps = 0;
    for (const auto& d : audio) {
        std::array<uint8_t, lumetra::radio::kFrameSamples> s{};
        lumetra::radio::DecodeFrame(d.payload, false, 2, s);
        for (int k = 1; k < lumetra::radio::kFrameSamples; ++k) {
            if (k % 256 == 0)
                continue;
            if ((s[k - 1] < 128) != (s[k] < 128))
                ++crossings;
            ++steps;
        }
    }
    return steps ? crossings / 2.0 * codedRate / static_cast<double>(steps) : 0;
}

// A WAV at the coded rate is played (and compared sample for sample) by the player
// against the station; here an MP3 at another rate goes through ffmpeg.
TEST(StationFile, PlaysAStereoMp3ResampledToTheCodedRate)
{
    const auto dir = std::filesystem::temp_directory_path() / ("station_file_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string make = "cd '" + dir.string() +
                             "' && sox -n -r 44100 -b 16 -c 2 tone.wav synth 3 sine 440 gain -6 && "
                             "lame --quiet tone.wav tone.mp3 >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    {
        StationProcess station({"--file", (dir / "tone.mp3").string(), "--rate", "16000", "--speed-factor", "4"});
        Client client(station.Port());
        client.Logon();
        const auto start = client.WaitFor(0x0004, 5000);
        ASSERT_TRUE(start);
        EXPECT_EQ(start->Words().at(2), "tone");
        const auto audio = OfKind(client.Collect(800), 0x8000);
        ASSERT_GE(audio.size(), 4u);
        EXPECT_NEAR(DecodedFrequency(audio, 16000), 440.0, 10.0);
    }
    std::filesystem::remove_all(dir);
}

TEST(StationFile, UnreadableFileStopsTheStationWithAMessage)
{
    const std::string cmd =
        std::string(LUMETRA_STATION_BINARY) + " --port 0 --file /nonexistent/none.mp3 >/dev/null 2>&1";
    const int status = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

} // namespace
