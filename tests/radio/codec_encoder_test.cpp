// The encoder side of the wavelet codec: the forward lifting steps undo the
// decoder's inverse exactly, the entropy coder writes what the decoder reads, and
// whole signals made by sox come back through encode and decode with a bounded
// SNR at each coded rate.

#include "radio/codec/coefficient_coder.h"
#include "radio/codec/wavelet_decoder.h"
#include "radio/codec/wavelet_encoder.h"
#include "radio/codec/wavelet_transform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace lumetra::radio {
namespace {

TEST(CodecTransform, ForwardThenInverseGivesBackEverySignalUnderEveryMask)
{
    std::mt19937 rng(3);
    for (int round = 0; round < 400; ++round) {
        TransformArray x{};
        const int kind = round % 4;
        // Noise in 0..1020, sines, values all below zero, steps.
        for (int k = 0; k < kFrameSamples; ++k)
            x[k] = static_cast<int16_t>(kind == 0   ? static_cast<int>(rng() % 1021)
                                        : kind == 1 ? static_cast<int>(512 + 500 * std::sin(k * 0.01 * (1 + round % 7)))
                                        : kind == 2 ? -static_cast<int>(rng() % 3000)
                                                    : ((k / 100) % 2 ? 1020 : 0));
        const auto mask = static_cast<uint16_t>(round < 8 ? (round % 2 ? 0x7FF : 0) : rng() & 0x7FF);
        TransformArray y = x;
        ForwardTransform(y, mask);
        InverseTransform(y, mask);
        ASSERT_TRUE(std::equal(x.begin(), x.begin() + kFrameSamples, y.begin()))
            << "round " << round << " mask " << mask;
    }
}

TEST(CodecCoefficientCoder, WritesWhatTheDecoderReadsInBothForms)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        Coefficients c{};
        // From all zero to dense, with escapes now and then and long silent tails.
        const double density = (round % 10) / 9.0;
        const int tail = round % 3 == 0 ? static_cast<int>(rng() % 2048) : 2048;
        for (int k = 0; k < tail; ++k) {
            if (std::uniform_real_distribution<double>(0, 1)(rng) >= density)
                continue;
            const int r = static_cast<int>(rng() % 100);
            c[k] = static_cast<int16_t>(r < 90 ? static_cast<int>(rng() % 23) - 11
                                               : static_cast<int>(rng() % 4096) - 2048);
        }
        for (bool runLength : {false, true}) {
            std::vector<uint8_t> payload(kFrameHeaderBytes + 7000, 0);
            payload[0] = runLength ? 0x81 : 0x01;
            FrameBitWriter w(std::span<uint8_t>(payload).subspan(kFrameHeaderBytes));
            if (runLength)
                WriteRunLengthCode(c, w);
            else
                WritePlainCode(c, w);
            EXPECT_EQ(w.BitCount(), runLength ? RunLengthCodeBits(c) : PlainCodeBits(c));
            payload.resize(kFrameHeaderBytes + w.ByteCount());
            Coefficients back{};
            ReadCoefficients(payload, back);
            ASSERT_EQ(back, c) << "round " << round << (runLength ? " run-length" : " plain");
        }
    }
}

// ---- whole signals ----------------------------------------------------------------

// Plucked chords over a bass tone and pink noise, at the given rate, peak-normalised.
std::vector<int16_t> SoxMusic(int rate, double seconds)
{
    char cmd[512];
    std::snprintf(cmd, sizeof cmd,
                  "sox -R -n -t raw -r %d -b 16 -e signed -c 1 - synth %.2f pluck C3 pluck E4 pluck G4 "
                  "pluck C5 sine 98 pinknoise remix - : synth %.2f pluck A2 pluck C4 pluck E4 pluck A4 "
                  "sine 110 pinknoise remix - 2>/dev/null",
                  rate, seconds / 2, seconds / 2);
    std::FILE* p = popen(cmd, "r");
    std::vector<int16_t> s;
    if (!p)
        return s;
    int16_t buf[4096];
    for (std::size_t n; (n = std::fread(buf, 2, 4096, p)) > 0;)
        s.insert(s.end(), buf, buf + n);
    pclose(p);
    int peak = 1;
    for (int16_t v : s)
        peak = std::max(peak, std::abs(static_cast<int>(v)));
    for (int16_t& v : s)
        v = static_cast<int16_t>(v * 29000 / peak);
    return s;
}

struct RoundTrip {
    double snr = 0;          // decoded 8-bit against the 16-bit source
    double ceiling = 0;      // 8-bit rounding of the source against the source
    std::size_t largest = 0; // largest payload
};

RoundTrip EncodeDecode(const std::vector<int16_t>& src, std::size_t budget)
{
    EncoderSettings settings;
    settings.maxPayloadBytes = budget;
    WaveletEncoder encoder(settings);
    RoundTrip r;
    double signal = 0, noise = 0, rounding = 0;
    std::vector<uint8_t> payload(5120);
    std::array<uint8_t, kFrameSamples> out{};
    for (std::size_t f = 0; f + kFrameSamples <= src.size(); f += kFrameSamples) {
        std::span<const int16_t, kFrameSamples> frame(&src[f], kFrameSamples);
        const EncodedFrameInfo info = encoder.Encode(frame, payload);
        r.largest = std::max(r.largest, info.bytes);
        DecodeFrame(std::span<const uint8_t>(payload.data(), info.bytes), false, 2, out);
        for (int k = 0; k < kFrameSamples; ++k) {
            const double s = frame[k] / 256.0;
            signal += s * s;
            noise += (s - (out[k] - 128)) * (s - (out[k] - 128));
            rounding += (s - std::round(s)) * (s - std::round(s));
        }
    }
    r.snr = 10 * std::log10(signal / noise);
    r.ceiling = 10 * std::log10(signal / rounding);
    return r;
}

TEST(CodecRoundTrip, MusicComesBackAboveTheSnrBoundWithinTheBudget)
{
    // Per rate: the least SNR (dB) at 1 and 2 bits a sample; at 20 bits it stays within 1.5 dB of the
    // 8-bit ceiling. Measured: 12.5 / 17.5 / 39.1 dB at 8000 Hz, 13.1 / 18.3 / 37.9 at 16000 Hz,
    // 14.4 / 19.8 / 36.4 at 32000 Hz, against ceilings of 37 to 40 dB.
    for (auto [rate, at1, at2] : {std::tuple{8000, 11.0, 16.0}, {16000, 11.5, 16.5}, {32000, 12.5, 18.0}}) {
        const std::vector<int16_t> src = SoxMusic(rate, 2.0 * 16384 / rate);
        ASSERT_GE(src.size(), 8u * kFrameSamples) << "sox did not make the test signal";
        for (auto [bitsPerSample, minSnr] : {std::pair{1.0, at1}, {2.0, at2}, {20.0, 30.0}}) {
            const auto budget = static_cast<std::size_t>(bitsPerSample * kFrameSamples / 8);
            const RoundTrip r = EncodeDecode(src, budget);
            EXPECT_LE(r.largest, budget);
            EXPECT_GE(r.snr, minSnr) << "at " << rate << " Hz, " << bitsPerSample << " bits a sample";
            EXPECT_GE(r.snr, r.ceiling - (bitsPerSample > 2 ? 1.5 : 99));
            EXPECT_LE(r.snr, r.ceiling + 0.5);
        }
    }
}

TEST(CodecEncoder, AnyBudgetIsKeptAndSilenceStaysSilent)
{
    std::vector<int16_t> loud(kFrameSamples);
    for (int k = 0; k < kFrameSamples; ++k)
        loud[k] = (k / 3) % 2 ? 32767 : -32768; // full-scale square
    std::vector<int16_t> quiet(kFrameSamples, 0);
    WaveletEncoder encoder;
    std::vector<uint8_t> payload(5120);
    std::array<uint8_t, kFrameSamples> out{};
    for (std::size_t budget : {16u, 40u, 100u, 600u, 5120u}) {
        EncoderSettings s;
        s.maxPayloadBytes = budget;
        encoder.SetSettings(s);
        const auto info = encoder.Encode(std::span<const int16_t, kFrameSamples>(loud.data(), kFrameSamples), payload);
        EXPECT_LE(info.bytes, budget);
        EXPECT_GE(info.bytes, kFrameHeaderBytes);
        const auto silent =
            encoder.Encode(std::span<const int16_t, kFrameSamples>(quiet.data(), kFrameSamples), payload);
        DecodeFrame(std::span<const uint8_t>(payload.data(), silent.bytes), false, 2, out);
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t v) { return v == 128; })) << budget;
        EXPECT_LE(silent.bytes, 16u);
    }
}

} // namespace
} // namespace lumetra::radio
