#pragma once
// A decoder for engine tests: items are described by the test (rate, channels,
// frame size, frame count); each frame's samples carry its number so the played
// output can be checked frame by frame.

#include "engine/decoder_source.h"
#include "fake_audio.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace lumetra::engine::testing {

struct FakeTrack {
    int32_t sampleRate = 44100;
    int32_t channels = 2;
    int32_t samplesPerFrame = 1152;
    int32_t frames = 100;      // frames the decoder can produce
    int32_t totalSamples = -1; // the item's length; frames x samplesPerFrame when -1
    int32_t bytesPerFrame = 400;
    bool undecodable = false; // every frame is read but none decodes
};

// The sample written at index i of frame f.
inline int16_t FakeSample(int32_t frame, int32_t i)
{
    return static_cast<int16_t>(((frame + 1) * 97 + i * 13) % 20000 - 10000);
}

class FakeDecoder final : public DecoderSource {
public:
    explicit FakeDecoder(EventLog& log) : m_log(log) {}

    void Describe(const std::string& path, const FakeTrack& track) { m_tracks[path] = track; }

    int ReadInfo(MediaItem& item) override
    {
        auto it = m_tracks.find(item.path);
        if (it == m_tracks.end()) {
            item.layer = -1;
            item.sampleRate = 0;
            return 0;
        }
        const FakeTrack& t = it->second;
        item.layer = 3;
        item.version = 1;
        item.bitrate = 128;
        item.sampleRate = t.sampleRate;
        item.channels = t.channels;
        item.samplesPerFrame = t.samplesPerFrame;
        item.totalSamples = t.totalSamples >= 0 ? t.totalSamples : t.frames * t.samplesPerFrame;
        item.fileSize = t.frames * t.bytesPerFrame;
        return 1;
    }
    int64_t Open(MediaItem& item, int64_t byteOffset) override
    {
        m_log.Add(std::string("decoder open ") + item.path);
        m_item = &item;
        m_track = m_tracks.at(item.path);
        m_frame = static_cast<int>((byteOffset + m_track.bytesPerFrame - 1) / m_track.bytesPerFrame);
        return m_frame * m_track.samplesPerFrame;
    }
    int DecodeNextFrame(uint8_t* block) override
    {
        if (!m_item || m_frame >= m_track.frames) {
            if (m_item)
                m_item->endOfData = 1;
            return 0;
        }
        if (m_track.undecodable) {
            ++m_frame;
            return 0;
        }
        auto* out = reinterpret_cast<int16_t*>(block);
        int32_t count = m_track.samplesPerFrame * m_track.channels;
        for (int32_t i = 0; i < count; ++i)
            out[i] = FakeSample(m_frame, i);
        ++m_frame;
        ++decoded;
        m_item->streamReadPos = m_frame * m_track.bytesPerFrame;
        return count;
    }
    void Close() override
    {
        m_log.Add("decoder close");
        m_item = nullptr;
    }

    int decoded = 0;

private:
    EventLog& m_log;
    std::map<std::string, FakeTrack> m_tracks;
    FakeTrack m_track;
    MediaItem* m_item = nullptr;
    int32_t m_frame = 0;
};

} // namespace lumetra::engine::testing
