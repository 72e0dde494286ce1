#include "platform/media/ffmpeg_video.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace lumetra::platform::media {
namespace {

// A frame this far behind the sound is dropped unshown.
constexpr int64_t kLateMs = 120;
constexpr int kMaxBadPackets = 64;
constexpr int kMaxSide = 8192;

} // namespace

struct FfmpegVideo::Decoder {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* scaler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    bool inputEnded = false;
    int badPackets = 0;

    ~Decoder()
    {
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    bool Open(const std::string& path)
    {
        if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
            format = nullptr;
            return false;
        }
        const AVCodec* decoder = nullptr;
        if (avformat_find_stream_info(format, nullptr) < 0 ||
            (stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0)) < 0 || !decoder)
            return false;
        // Only the picture is read here: every other stream's packets are skipped
        // by the demuxer.
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            if (static_cast<int>(i) != stream)
                format->streams[i]->discard = AVDISCARD_ALL;
        }
        codec = avcodec_alloc_context3(decoder);
        if (!codec || avcodec_parameters_to_context(codec, format->streams[stream]->codecpar) < 0)
            return false;
        codec->thread_count = 1;
        if (avcodec_open2(codec, decoder, nullptr) < 0 || codec->width <= 0 || codec->height <= 0 ||
            codec->width > kMaxSide || codec->height > kMaxSide)
            return false;
        packet = av_packet_alloc();
        frame = av_frame_alloc();
        return packet && frame;
    }

    // The next decoded frame into frame; false at the end or on an error.
    bool Next()
    {
        for (;;) {
            int rc = avcodec_receive_frame(codec, frame);
            if (rc == 0)
                return true;
            if (rc != AVERROR(EAGAIN) || inputEnded)
                return false;
            if (av_read_frame(format, packet) < 0) {
                inputEnded = true;
                avcodec_send_packet(codec, nullptr);
                continue;
            }
            if (packet->stream_index == stream && avcodec_send_packet(codec, packet) < 0 &&
                ++badPackets > kMaxBadPackets)
                inputEnded = true;
            av_packet_unref(packet);
        }
    }

    int64_t FrameMs() const
    {
        int64_t pts = frame->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE)
            return -1;
        int64_t start = format->streams[stream]->start_time;
        if (start != AV_NOPTS_VALUE)
            pts -= start;
        return av_rescale_q(pts, format->streams[stream]->time_base, AVRational{1, 1000});
    }

    void Seek(int64_t ms)
    {
        if (ms <= 0)
            return;
        int64_t target = av_rescale_q(ms, AVRational{1, 1000}, format->streams[stream]->time_base);
        if (av_seek_frame(format, stream, target, AVSEEK_FLAG_BACKWARD) >= 0)
            avcodec_flush_buffers(codec);
    }
};

std::shared_ptr<FfmpegVideo> FfmpegVideo::Open(const std::string& path, int width, int height)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    av_log_set_level(AV_LOG_QUIET);
    auto decoder = std::make_unique<Decoder>();
    if (!decoder->Open(path))
        return nullptr;
    return std::shared_ptr<FfmpegVideo>(new FfmpegVideo(std::move(decoder), width, height));
}

FfmpegVideo::FfmpegVideo(std::unique_ptr<Decoder> decoder, int width, int height)
    : m_decoder(std::move(decoder)), m_width(width), m_height(height),
      m_picture(static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
{
}

FfmpegVideo::~FfmpegVideo()
{
    {
        std::lock_guard lock(m_waitLock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void FfmpegVideo::Start(int64_t fromMs, Clock clock)
{
    if (m_thread.joinable())
        return;
    m_thread = std::thread([this, fromMs, clock = std::move(clock)] { Run(fromMs, clock); });
}

bool FfmpegVideo::TakePicture(std::vector<uint32_t>& pixels, uint64_t& serial) const
{
    std::lock_guard lock(m_lock);
    if (m_serial == serial)
        return false;
    pixels = m_picture;
    serial = m_serial;
    return true;
}

void FfmpegVideo::Run(int64_t fromMs, Clock clock)
{
    pthread_setname_np(pthread_self(), "lumetra-video");
    Decoder& d = *m_decoder;
    d.Seek(fromMs);
    // Scaled into this buffer, then swapped in under the lock; both sized once.
    std::vector<uint32_t> scaled(m_picture.size());
    while (!m_stop && d.Next()) {
        int64_t at = d.FrameMs();
        if (at >= 0) {
            // Wait for the sound to reach the frame (a paused sound holds it).
            std::unique_lock lock(m_waitLock);
            int64_t now = 0;
            while (!m_stop && (now = clock()) < at)
                m_wake.wait_for(lock, std::chrono::milliseconds(std::clamp<int64_t>(at - now, 1, 40)));
            if (m_stop)
                break;
            if (now > at + kLateMs)
                continue;
        }
        d.scaler =
            sws_getCachedContext(d.scaler, d.frame->width, d.frame->height, static_cast<AVPixelFormat>(d.frame->format),
                                 m_width, m_height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!d.scaler)
            break;
        uint8_t* planes[1] = {reinterpret_cast<uint8_t*>(scaled.data())};
        int strides[1] = {m_width * 4};
        sws_scale(d.scaler, d.frame->data, d.frame->linesize, 0, d.frame->height, planes, strides);
        std::lock_guard lock(m_lock);
        m_picture.swap(scaled);
        ++m_serial;
    }
}

} // namespace lumetra::platform::media
