#include "radio/receiver/socket_error_text.h"

#include "radio/receiver/socket_result.h"

#include <cstring>

namespace lumetra::radio {

std::string StringTableText(SocketFailure failure, int errorCode)
{
    std::string text;
    switch (failure) {
    case kTextSocketLibrary:
        text = "The network could not be started.";
        break;
    case kTextSocketVersion:
        text = "The network reported no usable version.";
        break;
    case kTextNotification:
        text = "The radio socket cannot report arriving data.";
        break;
    case kTextTimer:
        text = "The radio timer could not be created.";
        break;
    case kTextSocketFailed:
        text = "The radio socket could not be created.";
        break;
    }
    if (errorCode != 0)
        text += " " + SocketErrorText(errorCode);
    return text;
}

std::string SocketErrorText(int errorCode)
{
    return std::string(std::strerror(errorCode)) + " (" + std::to_string(errorCode) + ")";
}

std::string SocketResult::Text() const
{
    return SocketErrorText(m_error);
}

} // namespace lumetra::radio
