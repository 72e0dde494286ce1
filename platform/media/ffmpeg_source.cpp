#include "platform/media/ffmpeg_source.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <chrono>

namespace lumetra::platform::media {
namespace {

std::string AvErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct Deadline {
    std::chrono::steady_clock::time_point until;
    static int Expired(void* self)
    {
        return std::chrono::steady_clock::now() > static_cast<Deadline*>(self)->until ? 1 : 0;
    }
};

class FfmpegSource final : public PcmSource {
public:
    ~FfmpegSource() override
    {
        swr_free(&m_swr);
        av_frame_free(&m_frame);
        av_packet_free(&m_packet);
        avcodec_free_context(&m_codec);
        avformat_close_input(&m_format);
    }

    bool Open(const std::string& path, const FfmpegOptions& options, std::string& error)
    {
        m_timeout = std::chrono::milliseconds(options.timeoutMs);
        m_format = avformat_alloc_context();
        if (!m_format) {
            error = "out of memory";
            return false;
        }
        ArmDeadline();
        m_format->interrupt_callback = {&Deadline::Expired, &m_deadline};
        AVDictionary* dict = nullptr;
        std::string timeoutUs = std::to_string(static_cast<int64_t>(options.timeoutMs) * 1000);
        av_dict_set(&dict, "rw_timeout", timeoutUs.c_str(), 0);
        if (!options.httpProxy.empty() && path.rfind("http://", 0) == 0)
            av_dict_set(&dict, "http_proxy", options.httpProxy.c_str(), 0);
        int rc = avformat_open_input(&m_format, path.c_str(), nullptr, &dict);
        av_dict_free(&dict);
        if (rc < 0) {
            m_format = nullptr; // freed by the failed open
            error = "cannot open " + path + ": " + AvErrorText(rc);
            return false;
        }
        ArmDeadline();
        if ((rc = avformat_find_stream_info(m_format, nullptr)) < 0) {
            error = "cannot read " + path + ": " + AvErrorText(rc);
            return false;
        }
        const AVCodec* decoder = nullptr;
        m_stream = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (m_stream < 0 || !decoder) {
            error = path + " holds no audio this player can decode";
            return false;
        }
        AVStream* stream = m_format->streams[m_stream];
        m_codec = avcodec_alloc_context3(decoder);
        if (!m_codec || avcodec_parameters_to_context(m_codec, stream->codecpar) < 0 ||
            avcodec_open2(m_codec, decoder, nullptr) < 0) {
            error = "cannot decode the audio of " + path;
            return false;
        }
        // A damaged header can claim any rate; a resampler built for millions of
        // samples a second would take far too long to set up.
        if (m_codec->sample_rate < kMinRate || m_codec->sample_rate > kMaxRate || m_codec->ch_layout.nb_channels <= 0 ||
            m_codec->ch_layout.nb_channels > kMaxChannels) {
            error = path + " has an unsupported audio format (" + std::to_string(m_codec->sample_rate) + " Hz, " +
                    std::to_string(m_codec->ch_layout.nb_channels) + " channels)";
            return false;
        }
        AVChannelLayout inLayout;
        if (av_channel_layout_copy(&inLayout, &m_codec->ch_layout) < 0 || inLayout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&inLayout, m_codec->ch_layout.nb_channels);
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        rc = swr_alloc_set_opts2(&m_swr, &stereo, AV_SAMPLE_FMT_S16, kSourceRate, &inLayout, m_codec->sample_fmt,
                                 m_codec->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&inLayout);
        if (rc < 0 || swr_init(m_swr) < 0) {
            error = "cannot convert the audio of " + path;
            return false;
        }
        m_packet = av_packet_alloc();
        m_frame = av_frame_alloc();
        if (!m_packet || !m_frame) {
            error = "out of memory";
            return false;
        }
        if (m_format->duration != AV_NOPTS_VALUE && m_format->duration > 0)
            m_lengthMs = m_format->duration / (AV_TIME_BASE / 1000);
        else if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
            m_lengthMs = av_rescale_q(stream->duration, stream->time_base, AVRational{1, 1000});
        return true;
    }

    int64_t LengthMs() const override { return m_lengthMs; }

    bool SeekMs(int64_t ms) override
    {
        m_skipTarget = -1;
        if (ms <= 0 && !m_decodedAny)
            return true;
        ArmDeadline();
        AVStream* stream = m_format->streams[m_stream];
        int64_t target = av_rescale_q(ms, AVRational{1, 1000}, stream->time_base);
        if (av_seek_frame(m_format, m_stream, target, AVSEEK_FLAG_BACKWARD) < 0 &&
            av_seek_frame(m_format, -1, ms * (AV_TIME_BASE / 1000), AVSEEK_FLAG_BACKWARD) < 0)
            return ms <= 0 && !m_decodedAny;
        avcodec_flush_buffers(m_codec);
        swr_close(m_swr);
        swr_init(m_swr);
        m_inputEnded = m_flushed = m_finished = false;
        // Samples before the wanted time are dropped as they are decoded.
        m_skipTarget = av_rescale(ms, m_codec->sample_rate, 1000);
        return true;
    }

    int Read(int16_t* out, int frames) override
    {
        int written = 0;
        while (written < frames && !m_finished) {
            uint8_t* dst = reinterpret_cast<uint8_t*>(out + written * kSourceChannels);
            // A non-null input of no samples takes what the resampler holds without
            // flushing it; the null input at the end flushes its tail.
            int n = swr_convert(m_swr, &dst, frames - written, m_flushed ? nullptr : kNoInput, 0);
            if (n > 0) {
                written += n;
                continue;
            }
            if (m_flushed) {
                m_finished = true;
                break;
            }
            if (!NextFrame()) {
                m_flushed = true;
                continue;
            }
            const uint8_t** src = const_cast<const uint8_t**>(m_frame->extended_data);
            int count = m_frame->nb_samples;
            if (!SkipBeforeTarget(src, count))
                continue;
            n = swr_convert(m_swr, &dst, frames - written, src, count);
            if (n > 0)
                written += n;
        }
        return written;
    }

private:
    void ArmDeadline() { m_deadline.until = std::chrono::steady_clock::now() + m_timeout; }

    // The next decoded frame into m_frame; false at the end of the input or on an
    // error, which ends the sound there.
    bool NextFrame()
    {
        for (;;) {
            int rc = avcodec_receive_frame(m_codec, m_frame);
            if (rc == 0) {
                m_decodedAny = true;
                return true;
            }
            if (rc != AVERROR(EAGAIN))
                return false;
            if (m_inputEnded)
                return false;
            ArmDeadline();
            rc = av_read_frame(m_format, m_packet);
            if (rc < 0) {
                m_inputEnded = true;
                avcodec_send_packet(m_codec, nullptr);
                continue;
            }
            if (m_packet->stream_index == m_stream && avcodec_send_packet(m_codec, m_packet) < 0 &&
                ++m_badPackets > kMaxBadPackets)
                m_inputEnded = true;
            av_packet_unref(m_packet);
        }
    }

    // Cuts the part of a frame that lies before a seek target; false when nothing is left.
    bool SkipBeforeTarget(const uint8_t**& src, int& count)
    {
        if (m_skipTarget < 0)
            return true;
        AVStream* stream = m_format->streams[m_stream];
        int64_t pts = m_frame->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE) {
            m_skipTarget = -1;
            return true;
        }
        int64_t first = av_rescale_q(pts, stream->time_base, AVRational{1, m_codec->sample_rate});
        int64_t drop = m_skipTarget - first;
        if (drop <= 0) {
            m_skipTarget = -1;
            return true;
        }
        if (drop >= count)
            return false;
        m_skipTarget = -1;
        // Planar formats keep one pointer per channel; packed ones one in all.
        int planes = av_sample_fmt_is_planar(m_codec->sample_fmt) ? m_codec->ch_layout.nb_channels : 1;
        int bytesPerSample =
            av_get_bytes_per_sample(m_codec->sample_fmt) * (planes == 1 ? m_codec->ch_layout.nb_channels : 1);
        for (int p = 0; p < planes && p < kMaxPlanes; ++p)
            m_planes[p] = src[p] + drop * bytesPerSample;
        src = m_planes;
        count -= static_cast<int>(drop);
        return true;
    }

    static constexpr int kMaxBadPackets = 64;
    static constexpr int kMinRate = 1000;
    static constexpr int kMaxRate = 384000;
    static constexpr int kMaxChannels = 32;
    static constexpr int kMaxPlanes = 64;
    static inline const uint8_t* kNoInput[kMaxPlanes] = {};

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    SwrContext* m_swr = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    int m_stream = -1;
    int64_t m_lengthMs = -1;
    int64_t m_skipTarget = -1;
    int m_badPackets = 0;
    bool m_decodedAny = false;
    bool m_inputEnded = false;
    bool m_flushed = false;
    bool m_finished = false;
    const uint8_t* m_planes[kMaxPlanes] = {};
    Deadline m_deadline;
    std::chrono::milliseconds m_timeout{10000};
};

} // namespace

std::unique_ptr<PcmSource> OpenFfmpegSource(const std::string& path, const FfmpegOptions& options, std::string& error)
{
    av_log_set_level(AV_LOG_QUIET);
    auto source = std::make_unique<FfmpegSource>();
    if (!source->Open(path, options, error))
        return nullptr;
    return source;
}

bool FfmpegHasVideo(const std::string& path)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        return false;
    bool video = avformat_find_stream_info(format, nullptr) >= 0 &&
                 av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) >= 0;
    avformat_close_input(&format);
    return video;
}

} // namespace lumetra::platform::media
