#include "platform/audio/wave_out.h"

namespace lumetra::platform::audio {

WaveFormat MakePcmFormat(int channels, int samplesPerSec, int bitsPerSample)
{
    WaveFormat format;
    format.formatTag = 1;
    format.channels = static_cast<uint16_t>(channels);
    format.samplesPerSec = static_cast<uint32_t>(samplesPerSec);
    format.bitsPerSample = static_cast<uint16_t>(bitsPerSample);
    format.blockAlign = static_cast<uint16_t>(channels * bitsPerSample / 8);
    format.avgBytesPerSec = format.samplesPerSec * format.blockAlign;
    return format;
}

bool IsSupportedFormat(const WaveFormat& format)
{
    if (format.formatTag != 1)
        return false;
    if (format.channels != 1 && format.channels != 2)
        return false;
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16)
        return false;
    if (format.samplesPerSec < 8000 || format.samplesPerSec > 48000)
        return false;
    if (format.blockAlign != format.channels * format.bitsPerSample / 8)
        return false;
    return format.avgBytesPerSec == format.samplesPerSec * format.blockAlign;
}

std::string WaveErrorText(int result)
{
    switch (result) {
    case kWaveOk:
        return "The command was completed successfully.";
    case kWaveBadDeviceId:
        return "The specified device is out of range.";
    case kWaveAllocated:
        return "The specified device is already in use.  Wait until it is free, and then try again.";
    case kWaveInvalidHandle:
        return "The specified device handle is invalid.";
    case kWaveNoDriver:
        return "There is no driver installed on your system.";
    case kWaveInvalidParam:
        return "An invalid parameter was passed to a system function.";
    case kWaveBadFormat:
        return "The specified format is not supported or cannot be translated.";
    case kWaveStillPlaying:
        return "This function cannot be performed now because the device is still playing.";
    case kWaveUnprepared:
        return "The wave header was not prepared.";
    default:
        return "An undefined external error has occurred.";
    }
}

} // namespace lumetra::platform::audio
