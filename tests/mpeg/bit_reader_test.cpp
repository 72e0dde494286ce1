#include "mpeg/bit_reader.h"
#include "mpeg/diagnostics.h"
#include "stream_builder.h"

#include <gtest/gtest.h>

#include <random>

namespace lumetra::mpeg {
namespace {

using test::TempDir;

std::vector<uint8_t> RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

// Binary files, and hex text (upper-case digit pairs, line ends and a final
// Ctrl-Z skipped); lower-case digits make the file binary.
TEST(BitReader, SmallReadsOfBinaryAndHexText)
{
    TempDir dir;
    BitReader r;
    ASSERT_TRUE(r.Open(dir.Write("a.bin", {0xA5, 0xFF, 0x00, 0x12, 0x34}).c_str()));
    EXPECT_EQ(r.ReadBits(0), 0u);
    EXPECT_EQ(r.BitPosition(), 0u);
    EXPECT_EQ(r.ReadBit(), 1u);
    EXPECT_EQ(r.ReadBit(), 0u);
    EXPECT_EQ(r.ReadBits(6), 0x25u);
    EXPECT_EQ(r.ReadBits(32), 0xFF001234u);
    for (const std::string text : {"FFF3\r\n8A0C\n\x1A", "fff3"}) {
        BitReader hex;
        ASSERT_TRUE(hex.Open(dir.Write("a.hex", std::vector<uint8_t>(text.begin(), text.end())).c_str()));
        EXPECT_EQ(hex.IsHexText(), text[0] == 'F');
        EXPECT_EQ(hex.ReadBits(32), text[0] == 'F' ? 0xFFF38A0Cu : 0x66666633u);
    }
}

struct SyncCase {
    int skip; // bits read before the search: it starts at the next four-bit boundary
    std::vector<uint8_t> bytes;
    int found;
    uint32_t positionAfter; // bit counter after the search when found
};

class FindSync : public ::testing::TestWithParam<SyncCase> {};

TEST_P(FindSync, FindsTheWordAtFourBitBoundaries)
{
    TempDir dir;
    auto bytes = GetParam().bytes;
    bytes.resize(bytes.size() + 64, 0); // room so the end is not reached
    const auto path = dir.Write("s.bin", bytes);
    BitReader r;
    ASSERT_TRUE(r.Open(path.c_str()));
    r.ReadBits(GetParam().skip);
    EXPECT_EQ(r.FindSync(0xFFF, 12, 16384), GetParam().found);
    if (GetParam().found) {
        EXPECT_EQ(r.BitPosition(), GetParam().positionAfter);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FindSync,
                         ::testing::Values(SyncCase{0, {0xFF, 0xF0}, 1, 12}, SyncCase{0, {0x0F, 0xFF}, 1, 16},
                                           SyncCase{0, {0x00, 0x00, 0xFF, 0xFB}, 1, 28},
                                           SyncCase{1, {0x0F, 0xFF, 0x00}, 1, 16},
                                           // 0x7FF8: eleven ones at an odd offset are not a sync
                                           SyncCase{0, {0x7F, 0xF8}, 0, 0}, SyncCase{0, {0x00}, 0, 0}));

TEST(BitReader, SyncSearchStopsAfterItsStepLimit)
{
    TempDir dir;
    std::vector<uint8_t> bytes(9000, 0);
    bytes[8000] = 0xFF;
    bytes[8001] = 0xF0;
    const auto path = dir.Write("far.bin", bytes);
    BitReader r;
    ASSERT_TRUE(r.Open(path.c_str()));
    // The word starts 16000 nibbles in: the value after step 16000 must be tested.
    EXPECT_EQ(r.FindSync(0xFFF, 12, 16001), 1);
    BitReader r2;
    ASSERT_TRUE(r2.Open(path.c_str()));
    EXPECT_EQ(r2.FindSync(0xFFF, 12, 16000), 0);
    EXPECT_FALSE(r2.AtEnd());
}

TEST(BitReader, ShortFilesEndTheStream)
{
    TempDir dir;
    for (std::size_t size : {0u, 1u, 3u}) {
        const std::vector<uint8_t> bytes = {0x12, 0x34, 0x56};
        const auto path = dir.Write("short.bin", std::vector<uint8_t>(bytes.begin(), bytes.begin() + size));
        BitReader r;
        ASSERT_TRUE(r.Open(path.c_str()));
        EXPECT_EQ(r.FindSync(0xFFF, 12, 16384), 0) << size;
        EXPECT_TRUE(r.AtEnd()) << size;
    }
    BitReader missing;
    EXPECT_FALSE(missing.Open("/nonexistent/file.mp3"));
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_TRUE(missing.AtEnd());
}

TEST(BitReader, EndFlagComesAfterTheLastByte)
{
    TempDir dir;
    const auto bytes = RandomBytes(5000, 11);
    const auto path = dir.Write("a.bin", bytes);
    BitReader r;
    ASSERT_TRUE(r.Open(path.c_str()));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        ASSERT_EQ(r.ReadBits(8), bytes[i]) << i;
        ASSERT_FALSE(r.AtEnd()) << i;
    }
    // Reads past the end go on without harm until the flag is set.
    for (int i = 0; i < 4 && !r.AtEnd(); ++i)
        r.ReadBits(8);
    EXPECT_TRUE(r.AtEnd());
    for (int i = 0; i < 10000; ++i)
        r.ReadBits(32);
    EXPECT_TRUE(r.AtEnd());
}

TEST(BitReader, MoreThan32BitsIsADiagnosticAndGoesOn)
{
    TempDir dir;
    const auto path = dir.Write("a.bin", std::vector<uint8_t>(64, 0xA5));
    BitReader r;
    ASSERT_TRUE(r.Open(path.c_str()));
    SetDiagnostics(true);
    ::testing::internal::CaptureStderr();
    r.ReadBits(40);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Cannot read or write more than 32 bits at a time.\n");
    SetDiagnostics(false);
    EXPECT_EQ(r.BitPosition(), 40u);
    EXPECT_EQ(r.ReadBits(8), 0xA5u);
}

} // namespace
} // namespace lumetra::mpeg
