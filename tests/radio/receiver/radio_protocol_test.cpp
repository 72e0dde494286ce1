#include <gtest/gtest.h>

#include <cstring>

#include "fake_radio_host.h"

namespace lumetra::radio::testing {
namespace {

std::string PayloadText(const SentDatagram& d)
{
    return std::string(reinterpret_cast<const char*>(d.bytes.data()) + kHeaderBytes);
}

TEST(RadioProtocol, LogonRequestIsUseridTextWithItsNul)
{
    SessionRig rig;
    ASSERT_EQ(rig.host.sent.size(), 1u);
    const SentDatagram& logon = rig.host.sent[0];
    EXPECT_EQ(logon.to.ipv4, kStationIp);
    EXPECT_EQ(logon.to.port, kStationPort);
    EXPECT_EQ(logon.bytes.size(), 12u + 15 + 1);
    EXPECT_EQ(logon.Header().kind, kKindLogonUnicast);
    EXPECT_EQ(logon.Header().length, 15);
    EXPECT_EQ(PayloadText(logon), "USERID=listener");
    EXPECT_EQ(logon.bytes.back(), 0);
    EXPECT_EQ(rig.host.Status(), "Attempting Connection|by");
}

TEST(RadioProtocol, StationAddressTakesPortAfterColonAndStopsAtBlank)
{
    EXPECT_EQ(ParseStationAddress("127.0.0.1:4000 Some Station").port, 4000);
    EXPECT_EQ(ParseStationAddress("127.0.0.1").port, kDefaultStationPort);
    EXPECT_EQ(ParseStationAddress("127.0.0.1:12ab").port, 12);
    EXPECT_EQ(ParseStationAddress("10.0.0.1:99").ipv4, 0x0A000001u);
    EXPECT_FALSE(ParseStationAddress("radio.example:3456").valid);
    EXPECT_FALSE(ParseStationAddress("").valid);
}

TEST(RadioProtocol, SilentStationGetsExactlyTenLogonsThenTooManyListeners)
{
    SessionRig rig;
    for (int i = 0; i < 80; ++i)
        rig.Tick(200);
    EXPECT_EQ(rig.host.SentOfKind(kKindLogonUnicast).size(), 10u);
    EXPECT_EQ(rig.host.Status(), "Station has too many listeners|sr");
    EXPECT_EQ(rig.session.Protocol().State().phase, LogonPhase::Idle);
}

struct Refusal {
    std::vector<std::string> words;
    std::string message; // empty: none
    std::string status;
};

class RadioRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(RadioRefusal, LogsOffShowsTextAndStopsRetrying)
{
    const Refusal& r = GetParam();
    SessionRig rig;
    std::vector<uint8_t> payload;
    for (auto& w : r.words) {
        payload.insert(payload.end(), w.begin(), w.end());
        payload.push_back(0);
    }
    // A refusal is obeyed whatever stream it names.
    rig.Receive(MakeDatagram(0, 0x5555, kKindText, payload));
    auto logoffs = rig.host.SentOfKind(kKindLogoff);
    ASSERT_EQ(logoffs.size(), 1u);
    EXPECT_EQ(logoffs[0].bytes.size(), 12u);
    if (r.message.empty()) {
        EXPECT_TRUE(rig.host.messages.empty());
    } else {
        ASSERT_EQ(rig.host.messages.size(), 1u);
        EXPECT_EQ(rig.host.messages[0].first, "Radio Lumetra");
        EXPECT_EQ(rig.host.messages[0].second, r.message);
    }
    EXPECT_EQ(rig.host.Status(), r.status + "|sr");
    for (int i = 0; i < 60; ++i)
        rig.Tick(200);
    EXPECT_EQ(rig.host.SentOfKind(kKindLogonUnicast).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Words, RadioRefusal,
    ::testing::Values(Refusal{{"BUSY"}, "", "Station has too many listeners."},
                      Refusal{{"busy"}, "", "Station has too many listeners."},
                      Refusal{{"BUSY", "closedsite"},
                              "It is a closed site, please contact the site administrator to let you in.",
                              "Station has too many listeners."},
                      Refusal{{"IntranetOnly"},
                              "This site is only broadcasting to domain network only.",
                              "Connection Failed - No internet connection"},
                      Refusal{{"NO14400"},
                              "The site is not supporting 14400 connection.",
                              "Connection Failed - No 14,400 connection"}));

TEST(RadioProtocol, StartWordIsCaseSensitiveAndAShortOneNamesNoStation)
{
    SessionRig rig;
    rig.Receive(MakeText(7, kStream, kKind8000, {"startseq", "X"}));
    EXPECT_EQ(rig.session.Protocol().State().phase, LogonPhase::UnicastPending);
    EXPECT_EQ(rig.audio.opens, 0);
    rig.Receive(MakeText(0, kStream, kKind8000, {"STARTSEQ", ""})); // 10 bytes
    EXPECT_EQ(rig.host.titles.back(), "Radio Lumetra (Unknown Radio Station)");
}

TEST(RadioProtocol, StartMessageNamesStationAndOpensPausedOutput)
{
    SessionRig rig;
    rig.Start(100, kKind8000, "Test FM");
    const ProtocolState& s = rig.session.Protocol().State();
    EXPECT_EQ(s.phase, LogonPhase::Receiving);
    EXPECT_EQ(s.stream, kStream);
    EXPECT_EQ(s.codedRate, 8000);
    EXPECT_EQ(rig.host.titles.back(), "Radio Lumetra (Test FM)");
    EXPECT_STREQ(rig.display.stationName, "Test FM");
    EXPECT_EQ(rig.host.Status(), "Connected: waiting for signal|by");
    ASSERT_NE(rig.audio.device, nullptr);
    EXPECT_EQ(rig.audio.device->Format().samplesPerSec, 8000u);
    EXPECT_EQ(rig.audio.device->Format().bitsPerSample, 8);
    EXPECT_EQ(rig.audio.device->Format().channels, 1);
    EXPECT_TRUE(rig.audio.device->paused);
    EXPECT_EQ(rig.host.volumeApplied, 1);
    // No more logon retries once the stream runs.
    for (int i = 0; i < 60; ++i)
        rig.Tick(200);
    EXPECT_EQ(rig.host.SentOfKind(kKindLogonUnicast).size(), 1u);
}

struct RateCase {
    uint16_t bits;
    int output;
    int coded;
};
class RadioRates : public ::testing::TestWithParam<RateCase> {};

TEST_P(RadioRates, KindBitsChooseRates)
{
    SessionRig rig;
    rig.Start(0, uint16_t(kKindText | GetParam().bits));
    EXPECT_EQ(rig.session.Protocol().State().outputRate, GetParam().output);
    EXPECT_EQ(rig.session.Protocol().State().codedRate, GetParam().coded);
}

INSTANTIATE_TEST_SUITE_P(Codes, RadioRates,
                         ::testing::Values(RateCase{0x0000, 11025, 8000}, RateCase{0x0100, 22050, 16000},
                                           RateCase{0x0200, 44100, 32000}, RateCase{0x0300, 22050, 16000},
                                           RateCase{0x0500, 22050, 22050}, RateCase{0x0400, 11025, 11025}));

TEST(RadioProtocol, DeviceRefusingCodedRateFallsBackToOutputRateThenGivesUp)
{
    for (bool both : {false, true}) {
        SessionRig rig;
        rig.audio.refusedRates = both ? std::vector<uint32_t>{8000, 11025} : std::vector<uint32_t>{8000};
        rig.Start(0);
        if (!both) {
            ASSERT_NE(rig.audio.device, nullptr);
            EXPECT_EQ(rig.audio.device->Format().samplesPerSec, 11025u);
            continue;
        }
        EXPECT_EQ(rig.audio.device, nullptr);
        EXPECT_EQ(rig.session.Protocol().State().phase, LogonPhase::UnicastPending);
        ASSERT_EQ(rig.host.messages.size(), 1u);
        EXPECT_EQ(rig.host.messages[0].first, "Radio Lumetra");
    }
}

struct ProbeCase {
    uint32_t spacingMs;
    uint32_t stream;
    size_t answers;
};
class RadioProbes : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(RadioProbes, NineQuickProbesAreAnsweredTwice)
{
    SessionRig rig;
    rig.Start(0);
    rig.host.sent.clear();
    for (int i = 0; i < 12; ++i) {
        rig.Receive(MakeDatagram(0, GetParam().stream, kKindProbe, {}));
        rig.host.tick += GetParam().spacingMs;
    }
    auto answers = rig.host.SentOfKind(kKindLinkAnswer);
    ASSERT_EQ(answers.size(), GetParam().answers);
    for (auto& a : answers) {
        EXPECT_EQ(a.bytes.size(), 22u);
        EXPECT_EQ(a.Header().sequence, 0u);
        EXPECT_EQ(a.Header().stream, kStream);
        EXPECT_EQ(a.Header().length, 0);
        EXPECT_EQ(a.bytes[12], 0);
    }
}

// 9 probes 50 ms apart span 400 ms; 75 ms apart span 600 ms. Another stream's go unanswered.
INSTANTIATE_TEST_SUITE_P(Spacing, RadioProbes,
                         ::testing::Values(ProbeCase{50, kStream, 2}, ProbeCase{75, kStream, 0},
                                           ProbeCase{50, kStream + 1, 0}));

TEST(RadioProtocol, TwentyAheadRequestsTheFifteenJustBelow)
{
    SessionRig rig;
    rig.Start(100);
    rig.Audio(101);
    rig.host.sent.clear();
    rig.Audio(121);
    auto requests = rig.host.SentOfKind(kKindFeedback, 0);
    ASSERT_EQ(requests.size(), 15u);
    for (size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].Header().sequence, 106 + i);
        EXPECT_EQ(requests[i].Header().stream, kStream);
        EXPECT_EQ(requests[i].bytes.size(), 22u);
        EXPECT_EQ(requests[i].bytes[12], 0x01);
        EXPECT_EQ(requests[i].bytes[13], 0x00);
    }
    // Older and repeated numbers ask for nothing.
    rig.host.sent.clear();
    rig.Audio(110);
    rig.Audio(121);
    EXPECT_TRUE(rig.host.SentOfKind(kKindFeedback, 0).empty());
    rig.Audio(123);
    ASSERT_EQ(rig.host.SentOfKind(kKindFeedback, 0).size(), 1u);
    EXPECT_EQ(rig.host.SentOfKind(kKindFeedback, 0)[0].Header().sequence, 122u);
}

TEST(RadioProtocol, EveryNinthAudioDatagramSendsA44ByteReport)
{
    SessionRig rig;
    rig.Start(7); // first block 8..15
    for (uint32_t q = 8; q < 16; ++q)
        rig.Audio(q);
    EXPECT_TRUE(rig.host.SentOfKind(kKindFeedback, 32).empty());
    rig.Audio(17); // ninth; datagram 16 missing
    auto reports = rig.host.SentOfKind(kKindFeedback, 32);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].bytes.size(), 44u);
    // The completed block 8..15 arrived whole: eight little-endian 1s.
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(reports[0].bytes[12 + 4 * i], 1);
        EXPECT_EQ(reports[0].bytes[13 + 4 * i], 0);
    }
    for (uint32_t q = 18; q < 26; ++q)
        rig.Audio(q);
    EXPECT_EQ(rig.host.SentOfKind(kKindFeedback, 32).size(), 1u);
    rig.Audio(26);
    reports = rig.host.SentOfKind(kKindFeedback, 32);
    ASSERT_EQ(reports.size(), 2u);
    // Block 16..23 lacked datagram 16.
    EXPECT_EQ(reports[1].bytes[12], 0);
    EXPECT_EQ(reports[1].bytes[16], 1);
}

TEST(RadioProtocol, FirstReportCarriesOnesInEveryByte)
{
    SessionRig rig;
    rig.Start(0);
    for (uint32_t q = 8; q < 13; ++q)
        rig.Audio(q);
    for (uint32_t q = 0; q < 4; ++q)
        rig.Audio(q); // dropped by the blocks but still counted
    auto reports = rig.host.SentOfKind(kKindFeedback, 32);
    ASSERT_EQ(reports.size(), 1u);
    for (int i = 12; i < 44; ++i)
        EXPECT_EQ(reports[0].bytes[size_t(i)], 0x01) << i;
}

TEST(RadioProtocol, WordsOfOtherStreamsAndStrangersAreDropped)
{
    SessionRig rig;
    rig.Start(0);
    size_t before = rig.host.sent.size();
    rig.Receive(MakeText(0, kStream + 1, kKindText, {"SONGTEXT", "x"}));
    rig.Receive(MakeText(0, kStream + 1, kKindText, {"LOGON/A"}));
    // Same station address, another port: not the station.
    rig.Receive(MakeText(0, kStream, kKindText, {"BUSY"}), kStationPort + 1);
    rig.session.OnDatagram(MakeText(0, kStream, kKindText, {"BUSY"}), kStationIp + 1, kStationPort);
    uint8_t shortDatagram[11] = {};
    rig.Receive({shortDatagram, shortDatagram + 11});
    EXPECT_EQ(rig.host.sent.size(), before);
    EXPECT_EQ(rig.session.Protocol().State().phase, LogonPhase::Receiving);
}

TEST(RadioProtocol, LengthFieldBeyondTheDataIsCutToWhatArrived)
{
    auto bytes = MakeText(1, 2, kKindText, {"STARTSEQ", "Name"});
    bytes[10] = 0xFF;
    bytes[11] = 0xFF;
    auto d = ParseDatagram(bytes);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->header.length, 0xFFFF);
    EXPECT_EQ(d->payload.size(), bytes.size() - kHeaderBytes);
}

TEST(RadioProtocol, StopLogsOffClosesDeviceAndResetsTitle)
{
    SessionRig rig;
    rig.Start(0);
    rig.session.Stop();
    EXPECT_EQ(rig.audio.device, nullptr);
    EXPECT_FALSE(rig.session.Output().IsOpen());
    EXPECT_FALSE(rig.host.socketOpen);
    EXPECT_EQ(rig.host.SentOfKind(kKindLogoff).size(), 1u);
    EXPECT_EQ(rig.host.titles.back(), "Radio Lumetra");
}

TEST(RadioProtocol, ConnectWhilePlayingStopsFirstThenLogsOnAgain)
{
    SessionRig rig;
    rig.Start(0);
    rig.host.sent.clear();
    rig.session.Connect("127.0.0.1:4000");
    ASSERT_EQ(rig.host.sent.size(), 2u);
    EXPECT_EQ(rig.host.sent[0].Header().kind, kKindLogoff);
    EXPECT_EQ(rig.host.sent[1].Header().kind, kKindLogonUnicast);
    EXPECT_FALSE(rig.session.Output().IsOpen());
    EXPECT_EQ(rig.session.Blocks().Vars().state, ReceptionState::Connecting);
}

TEST(RadioProtocol, GroupAnswerWaitsForMulticastAudioThenGivesUp)
{
    SessionRig rig;
    rig.Receive(MakeText(16, kStream, kKindGroup, {"224.1.2.3", "Group FM", "song"}));
    EXPECT_EQ(rig.session.Protocol().State().phase, LogonPhase::WaitingMulticast);
    EXPECT_EQ(rig.session.Protocol().State().group, "224.1.2.3");
    EXPECT_EQ(rig.host.titles.back(), "Radio Lumetra (Group FM)");
    for (int i = 0; i < 99; ++i)
        rig.Tick(200);
    EXPECT_EQ(rig.host.stopsPosted, 0);
    rig.Tick(400); // 20 s without audio
    EXPECT_EQ(rig.host.stopsPosted, 1);
    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].second, "No MBONE packets coming through, stopping.");
    EXPECT_EQ(rig.session.Protocol().State().phase, LogonPhase::Idle);
}

TEST(RadioProtocol, GroupAnswerWithoutGroupStops)
{
    SessionRig rig;
    rig.Receive(MakeText(16, kStream, kKindGroup, {"0.0.0.0", "Group FM"}));
    EXPECT_EQ(rig.host.stopsPosted, 1);
    EXPECT_EQ(rig.host.messages.at(0).second, "The site does not support MBONE.");
}

TEST(RadioProtocol, SocketFailureShowsMessageAndSendsNothing)
{
    SessionRig rig(24);
    EXPECT_TRUE(rig.host.sent.empty());
    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].first, "Radio Lumetra");
}

} // namespace
} // namespace lumetra::radio::testing
