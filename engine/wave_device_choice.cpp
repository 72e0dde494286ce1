#include "engine/wave_device_choice.h"
#include "platform/dialogs/message_box.h"

#include <cstdio>
#include <string>

namespace lumetra::engine {

using namespace platform;
using platform::audio::DeviceCaps;

int ChooseWaveDevice(audio::AudioSystem& audio)
{
    int count = audio.DeviceCount();
    if (count < 1) {
        ShowMessageBox("Error", "No Wave Device Available.");
        return -1;
    }
    if (count == 1)
        return 0;
    for (int i = 0; i < count; ++i) {
        DeviceCaps caps;
        audio.GetCaps(i, caps);
        char text[1024];
        std::snprintf(text, sizeof text, "Device ID:%d\n%s\nMID:%d\tPID:%d\nVersion:%d\nFormat:%d\nChannels:%d\n", i,
                      caps.productName.c_str(), caps.manufacturerId, caps.productId,
                      static_cast<int>(caps.driverVersion), static_cast<int>(caps.formats), caps.channels);
        std::string body = text;
        if (caps.formats & audio::kFormat2M08) {
            body += (i == count - 1) ? "\nThis is the last device,\nClick YES to select this device.\nClick NO to quit."
                                     : "\nClick YES to select this device,\nClick NO to see the next device.";
            if (ShowMessageBox("Wave Device Information", body, MessageButtons::YesNo) == kAnswerYes)
                return i;
        } else {
            body += "\nThis device doesn't support 22kHz 8-bit mono.\nClick OK for next device.";
            ShowMessageBox("Wave Device Information", body, MessageButtons::Ok);
        }
    }
    ShowMessageBox("Error", "No Wave Device selected!\nPlease run again.");
    return -1;
}

} // namespace lumetra::engine
