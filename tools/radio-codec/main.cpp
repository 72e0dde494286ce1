// lumetra-radio-codec: the radio stream's wavelet codec on files, one frame at a time.
//   encode IN.wav OUT [--bytes N] [--offset SAMPLES] [--ratio PERCENT] [--scale Q]
//   decode PAYLOAD OUT [--filter] [--threshold T] [--rate HZ]
// OUT of decode is 2048 raw unsigned 8-bit samples, or a WAV file when it ends in ".wav".

#include "platform/regular_file.h"
#include "radio/codec/wavelet_decoder.h"
#include "radio/codec/wavelet_encoder.h"
#include "tools/radio-codec/wav_file.h"
#include "tools/tool_options.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace lumetra;

namespace {

constexpr const char* kUsage = "Usage: lumetra-radio-codec encode IN.wav OUT [--bytes N] [--offset SAMPLES]"
                               " [--ratio PERCENT] [--scale Q]\n"
                               "       lumetra-radio-codec decode PAYLOAD OUT [--filter] [--threshold T] [--rate HZ]\n"
                               "Codes one 2048-sample frame of a WAV file with the radio's wavelet codec, or\n"
                               "decodes a frame's payload to 2048 unsigned 8-bit samples (a WAV file when OUT\n"
                               "ends in .wav).\n"
                               "Exit status: 0 done, 1 a file could not be read or written, 2 usage error.\n";

int Usage(const char* reason = "bad arguments")
{
    return tools::UsageError("lumetra-radio-codec", reason, kUsage);
}

bool ParseInt(const char* text, long& value)
{
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0';
}

bool EndsWith(const std::string& s, const char* suffix)
{
    const std::size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

int Encode(const std::string& in, const std::string& out, const std::vector<std::string>& opts)
{
    radio::EncoderSettings settings;
    long offset = 0;
    for (std::size_t k = 0; k < opts.size(); ++k) {
        long v = 0;
        if (k + 1 >= opts.size() || !ParseInt(opts[k + 1].c_str(), v))
            return Usage();
        if (opts[k] == "--bytes" && v > 0)
            settings.maxPayloadBytes = static_cast<std::size_t>(v);
        else if (opts[k] == "--offset" && v >= 0)
            offset = v;
        else if (opts[k] == "--ratio" && v >= 0 && v <= radio::kMaxRatioPercent)
            for (auto& choice : settings.choices)
                choice.ratioPercent = static_cast<int>(v);
        else if (opts[k] == "--scale" && v >= 1 && v <= 4)
            settings.scale = static_cast<int>(v);
        else
            return Usage();
        ++k;
    }
    tools::MonoPcm pcm;
    std::string error;
    if (!tools::ReadWavMono(in, pcm, error)) {
        std::fprintf(stderr, "lumetra-radio-codec: %s\n", error.c_str());
        return 1;
    }
    std::array<int16_t, radio::kFrameSamples> frame{};
    for (int k = 0; k < radio::kFrameSamples; ++k) {
        const std::size_t at = static_cast<std::size_t>(offset) + k;
        frame[k] = at < pcm.samples.size() ? pcm.samples[at] : 0;
    }
    std::vector<uint8_t> payload(std::max<std::size_t>(settings.maxPayloadBytes, radio::kMinFrameBytes));
    radio::WaveletEncoder encoder(settings);
    const radio::EncodedFrameInfo info = encoder.Encode(frame, payload);
    std::ofstream o(out, std::ios::binary);
    o.write(reinterpret_cast<const char*>(payload.data()), static_cast<std::streamsize>(info.bytes));
    if (!o.flush()) {
        std::fprintf(stderr, "lumetra-radio-codec: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("%zu bytes, base step %d, ratio %d%%, lifting mask 0x%03X, %s code\n", info.bytes, info.baseStep,
                info.ratioPercent, info.liftingMask, info.runLength ? "run-length" : "plain");
    return 0;
}

int Decode(const std::string& in, const std::string& out, const std::vector<std::string>& opts)
{
    bool filter = false;
    long threshold = 2, rate = 8000;
    for (std::size_t k = 0; k < opts.size(); ++k) {
        if (opts[k] == "--filter") {
            filter = true;
            continue;
        }
        long v = 0;
        if (k + 1 >= opts.size() || !ParseInt(opts[k + 1].c_str(), v))
            return Usage();
        if (opts[k] == "--threshold")
            threshold = v;
        else if (opts[k] == "--rate" && v > 0)
            rate = v;
        else
            return Usage();
        ++k;
    }
    if (platform::ExistsButNotRegular(in.c_str())) {
        std::fprintf(stderr, "lumetra-radio-codec: %s\n", platform::NotRegularFileText(in).c_str());
        return 1;
    }
    std::ifstream i(in, std::ios::binary);
    if (!i) {
        std::fprintf(stderr, "lumetra-radio-codec: cannot open %s\n", in.c_str());
        return 1;
    }
    std::vector<uint8_t> payload((std::istreambuf_iterator<char>(i)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> samples(radio::kFrameSamples);
    radio::DecodeFrame(payload, filter, static_cast<int32_t>(threshold),
                       std::span<uint8_t, radio::kFrameSamples>(samples.data(), samples.size()));
    bool ok;
    if (EndsWith(out, ".wav")) {
        ok = tools::WriteWav8(out, static_cast<int>(rate), samples);
    } else {
        std::ofstream o(out, std::ios::binary);
        o.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size()));
        ok = static_cast<bool>(o.flush());
    }
    if (!ok) {
        std::fprintf(stderr, "lumetra-radio-codec: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (auto status = tools::StandardOption(argc, argv, "lumetra-radio-codec", kUsage))
        return *status;
    if (argc < 4)
        return Usage("expected encode or decode, an input and an output");
    const std::string mode = argv[1];
    const std::vector<std::string> opts(argv + 4, argv + argc);
    if (mode == "encode")
        return Encode(argv[2], argv[3], opts);
    if (mode == "decode")
        return Decode(argv[2], argv[3], opts);
    return Usage(("unknown mode: " + mode).c_str());
}
