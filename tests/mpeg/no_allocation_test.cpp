// Decoding a frame allocates nothing: every heap allocation made by our code
// (operator new, malloc, calloc, realloc) is counted while frames decode.
#include "mpeg/decoder_context.h"
#include "mpeg/stream_info.h"
#include "stream_builder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

// The replacement operators pair malloc with free on purpose.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void Count()
{
    if (g_counting.load(std::memory_order_relaxed))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

extern "C" {
void* __real_malloc(std::size_t);
void* __real_calloc(std::size_t, std::size_t);
void* __real_realloc(void*, std::size_t);
void* __wrap_malloc(std::size_t n)
{
    Count();
    return __real_malloc(n);
}
void* __wrap_calloc(std::size_t n, std::size_t size)
{
    Count();
    return __real_calloc(n, size);
}
void* __wrap_realloc(void* p, std::size_t n)
{
    Count();
    return __real_realloc(p, n);
}
}

void* operator new(std::size_t n)
{
    Count();
    if (void* p = __real_malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace lumetra::mpeg {
namespace {

using test::Append;
using test::FrameShape;
using test::SilentFrame;

// Forty frames of the layer: layer I with CRC; layer II with every third frame
// in joint stereo (rejected frames are stepped over too); layer III at 128
// kbit/s and 44.1 kHz with side information all zero, so granules decode to silence.
std::vector<uint8_t> Stream(int layer)
{
    FrameShape a{.layer = 1, .protect = true, .bitrateIndex = 8}, b = a;
    if (layer == 2)
        a = FrameShape{}, b = FrameShape{.mode = kModeJointStereo};
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 40; ++i) {
        std::vector<uint8_t> frame = {0xFF, 0xFB, 0x90};
        frame.resize(417, 0);
        Append(bytes, layer == 3 ? frame : SilentFrame(i % 3 ? a : b));
    }
    return bytes;
}

class NoAllocation : public ::testing::TestWithParam<int> {};

TEST_P(NoAllocation, WhileFramesDecode)
{
    test::TempDir dir;
    const std::string path = dir.Write("s.mp3", Stream(GetParam()));
    const StreamInfo info = AnalyseMpegFile(path.c_str());
    ASSERT_TRUE(info.analysed);
    DecoderContext decoder;
    g_allocations = 0;
    g_counting = true;
    decoder.Open(path.c_str(), {info.version, info.layer, info.mode, info.sampleRate, info.channels}, 0);
    g_counting = false;
    EXPECT_GT(g_allocations.load(), 0) << "the work buffers of an open are counted";
    static int16_t block[kMaxFrameValues];
    decoder.DecodeNextFrame(block); // first use: tables and stream buffers
    g_allocations = 0;
    g_counting = true;
    int frames = 0;
    for (FrameResult r{FrameStatus::Decoded}; r.status != FrameStatus::End && frames < 1000;) {
        r = decoder.DecodeNextFrame(block);
        frames += r.values > 0;
    }
    g_counting = false;
    EXPECT_GT(frames, 10);
    EXPECT_EQ(g_allocations.load(), 0);
    decoder.Close();
}

INSTANTIATE_TEST_SUITE_P(Layers, NoAllocation, ::testing::Values(1, 2, 3));

} // namespace
} // namespace lumetra::mpeg
