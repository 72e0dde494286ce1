// Wavelet codec speed and quality. For each coded rate (8000, 16000, 32000 Hz) it
// makes a music-like test signal with sox (or reads --input FILE.wav, which must
// then be at that rate), encodes it frame by frame at several bit rates, decodes
// it, and prints the decode time per frame, the encoder's speed in times real
// time and the SNR of the decoded 8-bit samples against the 16-bit source (with
// the ceiling that 8-bit output alone allows). Frames are interleaved as stations
// send them unless --interleave 0.
//   codec_bench [--bits-per-sample LIST] [--choices MASK:RATIO,...] [--rate-weight W]
//               [--interleave 0|1] [--input FILE]

#include "radio/codec/wavelet_decoder.h"
#include "radio/codec/wavelet_encoder.h"
#include "tools/radio-codec/wav_file.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace lumetra;
using Clock = std::chrono::steady_clock;

namespace {

bool MakeSignal(int rate, const std::string& path)
{
    // Four plucked chords over a soft bass line and a little noise, normalised.
    const std::string tmp = path + ".raw.wav";
    std::ostringstream cmd;
    cmd << "sox -R -n -r " << rate << " -b 16 -c 1 '" << tmp << "'"
        << " synth 1 pluck C3 pluck E4 pluck G4 pluck C5 sine 65 pinknoise remix - :"
        << " synth 1 pluck F3 pluck A4 pluck C5 pluck F5 sine 87 pinknoise remix - :"
        << " synth 1 pluck G2 pluck B3 pluck D4 pluck G5 sine 98 pinknoise remix - :"
        << " synth 1 pluck A2 pluck C4 pluck E4 pluck A4 sine 110 pinknoise remix - 2>/dev/null"
        << " && sox '" << tmp << "' '" << path << "' gain -n -1 2>/dev/null";
    const bool ok = std::system(cmd.str().c_str()) == 0;
    std::filesystem::remove(tmp);
    return ok;
}

double Snr(const std::vector<int16_t>& src, const std::vector<uint8_t>& dec)
{
    double signal = 0, noise = 0;
    for (std::size_t k = 0; k < dec.size(); ++k) {
        const double s = src[k] / 256.0;
        signal += s * s;
        noise += (s - (dec[k] - 128)) * (s - (dec[k] - 128));
    }
    return 10 * std::log10(signal / std::max(noise, 1e-9));
}

double EightBitCeiling(const std::vector<int16_t>& src, std::size_t n)
{
    double signal = 0, noise = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const double s = src[k] / 256.0;
        const double r = std::clamp(std::round(s), -128.0, 127.0);
        signal += s * s;
        noise += (s - r) * (s - r);
    }
    return 10 * std::log10(signal / std::max(noise, 1e-9));
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<double> bitsPerSample{1.0, 1.5, 2.0, 3.0, 4.0};
    radio::EncoderSettings base;
    std::string input;
    bool interleave = true;
    for (int k = 1; k + 1 < argc; k += 2) {
        const std::string opt = argv[k];
        if (opt == "--bits-per-sample") {
            bitsPerSample.clear();
            std::stringstream list(argv[k + 1]);
            for (std::string item; std::getline(list, item, ',');)
                bitsPerSample.push_back(std::stod(item));
        } else if (opt == "--choices") {
            // MASK:RATIO,... with masks in hexadecimal (FFFF: smallest details).
            base.choices.clear();
            std::stringstream list(argv[k + 1]);
            for (std::string item; std::getline(list, item, ',');)
                base.choices.push_back({static_cast<uint16_t>(std::stoul(item.substr(0, item.find(':')), nullptr, 16)),
                                        std::stoi(item.substr(item.find(':') + 1))});
        } else if (opt == "--rate-weight") {
            base.rateWeight = std::atof(argv[k + 1]);
        } else if (opt == "--interleave") {
            interleave = std::atoi(argv[k + 1]) != 0;
        } else if (opt == "--input") {
            input = argv[k + 1];
        } else {
            std::fprintf(stderr, "unknown option %s\n", opt.c_str());
            return 2;
        }
    }
    const auto dir = std::filesystem::temp_directory_path() / ("codec_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);

    std::printf("%-6s %6s %8s %9s %9s %12s %12s\n", "rate", "bits", "kbit/s", "SNR dB", "8-bit dB", "enc x real",
                "dec us/frm");
    for (int rate : {8000, 16000, 32000}) {
        tools::MonoPcm pcm;
        std::string error;
        const std::string path = input.empty() ? (dir / ("signal" + std::to_string(rate) + ".wav")).string() : input;
        if ((input.empty() && !MakeSignal(rate, path)) || !tools::ReadWavMono(path, pcm, error)) {
            std::fprintf(stderr, "no test signal at %d Hz (is sox installed?) %s\n", rate, error.c_str());
            return 1;
        }
        // Whole blocks of eight frames; each frame carries every eighth 256-sample
        // piece of its block, as a station sends them (SNR is the same either way
        // round, the order being a permutation).
        const std::size_t block = 8 * radio::kFrameSamples;
        const std::size_t frames = pcm.samples.size() / block * 8;
        const std::size_t n = frames * radio::kFrameSamples;
        if (interleave) {
            std::vector<int16_t> sent(n);
            for (std::size_t b = 0; b < n / block; ++b)
                for (std::size_t d = 0; d < 8; ++d)
                    for (std::size_t j = 0; j < 8; ++j)
                        std::copy_n(&pcm.samples[b * block + (8 * j + d) * 256], 256,
                                    &sent[b * block + d * radio::kFrameSamples + j * 256]);
            pcm.samples = std::move(sent);
        }
        for (double bps : bitsPerSample) {
            radio::EncoderSettings settings = base;
            settings.maxPayloadBytes = static_cast<std::size_t>(bps * radio::kFrameSamples / 8);
            radio::WaveletEncoder encoder(settings);
            std::vector<std::vector<uint8_t>> payloads(frames, std::vector<uint8_t>(5120));
            std::size_t totalBytes = 0;
            const auto e0 = Clock::now();
            for (std::size_t f = 0; f < frames; ++f) {
                const auto info = encoder.Encode(std::span<const int16_t, radio::kFrameSamples>(
                                                     &pcm.samples[f * radio::kFrameSamples], radio::kFrameSamples),
                                                 payloads[f]);
                payloads[f].resize(info.bytes);
                totalBytes += info.bytes;
            }
            const double encSeconds = std::chrono::duration<double>(Clock::now() - e0).count();
            std::vector<uint8_t> decoded(n);
            const auto d0 = Clock::now();
            for (std::size_t f = 0; f < frames; ++f)
                radio::DecodeFrame(
                    payloads[f], false, 2,
                    std::span<uint8_t, radio::kFrameSamples>(&decoded[f * radio::kFrameSamples], radio::kFrameSamples));
            const double decSeconds = std::chrono::duration<double>(Clock::now() - d0).count();
            const double audioSeconds = static_cast<double>(n) / rate;
            std::printf("%-6d %6.2f %8.1f %9.2f %9.2f %12.0f %12.1f\n", rate, totalBytes * 8.0 / static_cast<double>(n),
                        totalBytes * 8.0 / audioSeconds / 1000, Snr(pcm.samples, decoded),
                        EightBitCeiling(pcm.samples, n), audioSeconds / encSeconds,
                        decSeconds / static_cast<double>(frames) * 1e6);
        }
    }
    std::filesystem::remove_all(dir);
    return 0;
}
