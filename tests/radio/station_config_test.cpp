// The station command line: what each station gets, and what is refused.

#include "tools/station/station_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumetra::station {
namespace {

struct Parsed {
    bool ok = false;
    std::string error;
    StationSetConfig config;
};

Parsed Parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "lumetra-station");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    Parsed p;
    bool help = false;
    p.ok = ParseStationArguments(static_cast<int>(argv.size()), argv.data(), p.config, p.error, help);
    return p;
}

TEST(StationConfig, DefaultIsOneDemoMusicStationOnTheProtocolPort)
{
    const Parsed p = Parse({});
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(p.config.stations.size(), 1u);
    const StationConfig& s = p.config.stations[0];
    EXPECT_EQ(s.address, "127.0.0.1");
    EXPECT_EQ(s.port, 3456);
    EXPECT_EQ(s.codedRate, 8000);
    EXPECT_EQ(s.OutputRate(), 11025);
    EXPECT_EQ(s.FrameBudgetBytes(), 512);
    EXPECT_EQ(s.answer, LogonAnswer::Accept);
}

TEST(StationConfig, DemoServesThreeRatesOnConsecutivePorts)
{
    const Parsed p = Parse({"--demo"});
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(p.config.stations.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(p.config.stations[k].port, 3456 + k);
        EXPECT_EQ(p.config.stations[k].codedRate, 8000 << k);
        EXPECT_EQ(p.config.stations[k].OutputRate(), 11025 << k);
        EXPECT_FALSE(p.config.stations[k].speed.empty());
    }
}

TEST(StationConfig, EachStationStartsAfreshOnTheNextPort)
{
    const Parsed p =
        Parse({"--port", "4000", "--rate", "16000", "--station", "One", "--answer", "busy", "--loss", "5", "--station",
               "Two", "--native", "--rate", "44100", "--bitrate", "64000", "--drop-seq", "3,9"});
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.config.stations.size(), 2u);
    const StationConfig& one = p.config.stations[0];
    const StationConfig& two = p.config.stations[1];
    EXPECT_EQ(one.name, "One");
    EXPECT_EQ(one.port, 4000);
    EXPECT_EQ(one.codedRate, 16000);
    EXPECT_EQ(one.answer, LogonAnswer::Busy);
    EXPECT_EQ(one.lossPercent, 5);
    EXPECT_EQ(two.name, "Two");
    EXPECT_EQ(two.port, 4001);
    EXPECT_EQ(two.answer, LogonAnswer::Accept);
    EXPECT_EQ(two.lossPercent, 0);
    EXPECT_EQ(two.OutputRate(), 44100);
    EXPECT_EQ(two.FrameBudgetBytes(), 64000 * 2048 / 44100 / 8);
    EXPECT_EQ(two.dropSequences, (std::set<uint32_t>{3, 9}));
}

TEST(StationConfig, BudgetStaysWithinOneDatagram)
{
    StationConfig s;
    s.bitRate = 10'000'000;
    EXPECT_EQ(s.FrameBudgetBytes(), 5120);
    s.bitRate = 1;
    EXPECT_EQ(s.FrameBudgetBytes(), 16);
}

class StationConfigRefused : public testing::TestWithParam<std::vector<std::string>> {};
TEST_P(StationConfigRefused, WithAMessage)
{
    const Parsed p = Parse(GetParam());
    EXPECT_FALSE(p.ok);
    EXPECT_FALSE(p.error.empty());
}
INSTANTIATE_TEST_SUITE_P(
    Cases, StationConfigRefused,
    testing::Values(std::vector<std::string>{"--bogus"}, std::vector<std::string>{"--port"},
                    std::vector<std::string>{"--port", "70000"}, std::vector<std::string>{"--rate", "11025"},
                    std::vector<std::string>{"--rate", "16000", "--native"},
                    std::vector<std::string>{"--answer", "maybe"}, std::vector<std::string>{"--loss", "120"},
                    std::vector<std::string>{"--drop-seq", "1,x"}, std::vector<std::string>{"--speed-factor", "0"}));

} // namespace
} // namespace lumetra::station
