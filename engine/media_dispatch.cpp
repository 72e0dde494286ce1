#include "engine/media_dispatch.h"
#include "engine/mci_sources.h"
#include "engine/media_type_detection.h"
#include "platform/probe_file.h"

#include <atomic>
#include <cstdio>
#include <memory>

namespace lumetra::engine {
namespace {
std::atomic<MciSources*> g_dispatchMci{nullptr};
} // namespace

void SetDispatchMciSources(MciSources* mci)
{
    g_dispatchMci.store(mci);
}

MciSources* DispatchMciSources()
{
    return g_dispatchMci.load();
}

int FillMediaInfo(MediaItem& item, DecoderSource& decoder)
{
    return FillMediaInfo(item, decoder, DispatchMciSources());
}

int FillMediaInfo(MediaItem& item, DecoderSource& decoder, MciSources* mci)
{
    // The type and the MPEG information come from one open of the file, each
    // part of it read once.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(platform::OpenProbeFile(item.path), std::fclose);
    item.mediaType = file ? DetectMediaType(file.get(), item.path) : DetectMediaType(item.path);
    switch (item.mediaType) {
    case MEDIA_MPEG:
        if (file)
            decoder.ReadInfoFrom(item, file.get());
        else
            decoder.ReadInfo(item);
        // A file whose length cannot be told (free format) would sit at 0:00 for ever.
        if (item.streamState == 0 && item.totalSamples <= 0)
            item.layer = -1;
        break;
    case MEDIA_WAVE:
    case MEDIA_ASF:
        if (mci)
            mci->WaveInfo(item);
        else
            item.layer = -1;
        break;
    case MEDIA_MIDI:
        if (mci)
            mci->MidiInfo(item);
        else
            item.layer = -1;
        break;
    case MEDIA_CDTRACK:
        if (mci)
            mci->CdTrackInfo(item);
        else
            item.layer = -1;
        break;
    default:
        item.layer = -1;
        break;
    }
    return 1;
}

int64_t StartMedia(MediaItem& item, int64_t startPosition, DecoderSource& decoder)
{
    return StartMedia(item, startPosition, decoder, DispatchMciSources());
}

int64_t StartMedia(MediaItem& item, int64_t startPosition, DecoderSource& decoder, MciSources* mci)
{
    switch (item.mediaType) {
    case MEDIA_MPEG:
        return decoder.Open(item, startPosition);
    case MEDIA_WAVE:
    case MEDIA_ASF:
        return mci ? mci->WavePlay(item, startPosition) : startPosition;
    case MEDIA_MIDI:
        return mci ? mci->MidiPlay(item, startPosition) : startPosition;
    case MEDIA_CDTRACK:
        return mci ? mci->CdPlay(item, startPosition) : startPosition;
    default:
        return startPosition;
    }
}

} // namespace lumetra::engine
