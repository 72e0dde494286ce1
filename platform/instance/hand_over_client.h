#pragma once
// The second player's side of a hand-over: one attempt to give a path to the
// player that listens on the socket.

#include <chrono>
#include <string>
#include <string_view>

namespace lumetra::platform {

enum class OfferResult {
    Accepted,   // the running player took the path
    Busy,       // it answered busy: try again later
    NoAnswer,   // it took the connection but did not answer in time, or hung up
    NoListener, // nobody listens on the socket (no socket file, or refused)
};

// Connects, sends the request and waits for the answer, never longer than
// timeout in all. path must not exceed kMaxHandOverPathBytes.
OfferResult OfferPath(const std::string& socketPath, std::string_view path, std::chrono::milliseconds timeout);

} // namespace lumetra::platform
