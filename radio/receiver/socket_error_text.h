#pragma once
// Texts of the receiver's socket-level failures.

#include <string>

namespace lumetra::radio {

enum SocketFailure : int {
    kTextSocketLibrary = 1012,
    kTextSocketVersion = 1013,
    kTextNotification = 1014,
    kTextTimer = 1015,
    kTextSocketFailed = 1023,
};

// The failure's text, with the system's description of errorCode when non-zero.
std::string StringTableText(SocketFailure failure, int errorCode);
// The system's description of a socket error code (errno).
std::string SocketErrorText(int errorCode);

} // namespace lumetra::radio
