#pragma once
// The running player's side of a hand-over: the listening socket and the
// requests that arrive on it, on the main thread's event loop. One request is
// read at a time; a connection that arrives meanwhile is answered busy at once.
// What arrives is bounded: the request's size (hand_over_wire.h), the time a
// peer may take to send it, and the peers (this user's processes only).

#include "platform/loop/main_loop.h"

#include <functional>
#include <memory>
#include <string>

namespace lumetra::platform {

class HandOverRequestReader;

// Binds and listens on socketPath, replacing a socket file left there (only the
// holder of the instance lock calls this). Returns the socket, or -1 with error
// set. Peers may connect from here on; they wait until a server takes the socket.
int ListenForHandOvers(const std::string& socketPath, std::string* error);

class HandOverServer {
public:
    // Answers a complete request: true accepts it, false answers busy.
    using Handler = std::function<bool(const std::string& path)>;

    // Takes listenFd (from ListenForHandOvers); the socket file is removed again
    // when the server ends.
    HandOverServer(int listenFd, std::string socketPath, Handler handler);
    ~HandOverServer();
    HandOverServer(const HandOverServer&) = delete;
    HandOverServer& operator=(const HandOverServer&) = delete;

    // How long a peer may take from connecting to the end of its request.
    static constexpr int kRequestTimeoutMs = 2000;

private:
    void AcceptPending();
    void ReadRequest();
    void Answer(char answer);
    void DropCurrent();

    int m_listenFd;
    std::string m_socketPath;
    Handler m_handler;
    std::unique_ptr<FdWatch> m_listenWatch;
    // The connection being read, if any.
    int m_fd = -1;
    std::unique_ptr<FdWatch> m_readWatch;
    LoopTimer m_timeout;
    std::unique_ptr<HandOverRequestReader> m_reader;
    LoopScope m_scope;
};

} // namespace lumetra::platform
