#include "app/single_instance.h"
#include "platform/instance/hand_over_client.h"
#include "platform/instance/hand_over_server.h"
#include "platform/instance/runtime_directory.h"

#include <fcntl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace lumetra::app {
namespace {

using namespace std::chrono_literals;
using platform::InstanceLock;
using platform::OfferResult;

// The sender's side of the conversation: ask, and on busy ask again every
// 500 ms, 200 times at most.
constexpr int kHandOverAttempts = 200;
constexpr auto kRetryInterval = 500ms;
constexpr auto kAnswerTimeout = 500ms;
// A lock holder without a socket is starting up or shutting down; after this
// long it counts as gone.
constexpr auto kListenerWait = 5s;

void Note(const std::string& text)
{
    std::fprintf(stderr, "lumetra: %s\n", text.c_str());
}

enum class Conversation { Accepted, NoListener, GaveUp };

Conversation OfferToRunningPlayer(const std::string& socketPath, const std::string& file)
{
    bool told = false;
    for (int attempt = 0; attempt < kHandOverAttempts; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(kRetryInterval);
        OfferResult result = platform::OfferPath(socketPath, file, kAnswerTimeout);
        if (result == OfferResult::Accepted)
            return Conversation::Accepted;
        if (result == OfferResult::NoListener)
            return Conversation::NoListener;
        if (!told) {
            Note(result == OfferResult::Busy ? "the running player is busy; asking again every 0.5 s"
                                             : "the running player does not answer; asking again every 0.5 s");
            told = true;
        }
    }
    return Conversation::GaveUp;
}

constexpr const char* kInheritedVariable = "LUMETRA_INSTANCE_FDS";

void KeepAcrossExec(int fd)
{
    if (fd >= 0)
        ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) & ~FD_CLOEXEC);
}

void CloseOnExec(int fd)
{
    if (fd >= 0)
        ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

} // namespace

void PassClaimAcrossExec(const InstanceClaim& claim)
{
    int lockFd = claim.lock ? claim.lock->HeldFd() : -1;
    KeepAcrossExec(lockFd);
    KeepAcrossExec(claim.listenFd);
    std::string value = std::to_string(lockFd) + "," + std::to_string(claim.listenFd) + "," + claim.socketPath;
    ::setenv(kInheritedVariable, value.c_str(), 1);
}

std::optional<InstanceClaim> InheritedClaim()
{
    const char* value = std::getenv(kInheritedVariable);
    if (!value)
        return std::nullopt;
    std::string text = value;
    ::unsetenv(kInheritedVariable);
    InstanceClaim claim;
    int lockFd = -1;
    int listenFd = -1;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%d,%d,%n", &lockFd, &listenFd, &consumed) != 2 || lockFd < -1 || listenFd < -1)
        return claim;
    // Children (the desktop's openers) must not inherit them in turn.
    CloseOnExec(lockFd);
    CloseOnExec(listenFd);
    if (lockFd >= 0) {
        claim.outcome = InstanceClaim::Outcome::First;
        claim.lock = std::make_unique<InstanceLock>(std::string(), lockFd);
        claim.listenFd = listenFd;
        claim.socketPath = text.substr(static_cast<std::size_t>(consumed));
    }
    return claim;
}

InstanceClaim ClaimInstance(const std::string& file, bool mayHandOver)
{
    InstanceClaim claim;
    std::string error;
    std::optional<std::string> dir = platform::RuntimeDirectory(&error);
    if (!dir) {
        Note("no runtime folder for the single instance (" + error + "); this player runs on its own");
        return claim;
    }
    claim.lock = std::make_unique<InstanceLock>(*dir + "lumetra.lock");
    claim.socketPath = *dir + "lumetra.socket";
    auto listenerDeadline = std::chrono::steady_clock::now() + kListenerWait;
    for (;;) {
        switch (claim.lock->TryClaim()) {
        case InstanceLock::Claim::Unavailable:
            Note(claim.lock->Error() + "; this player runs on its own");
            claim.lock.reset();
            return claim;
        case InstanceLock::Claim::Owner:
            claim.outcome = InstanceClaim::Outcome::First;
            claim.listenFd = platform::ListenForHandOvers(claim.socketPath, &error);
            if (claim.listenFd < 0)
                Note(error + "; later starts cannot hand their files to this player");
            return claim;
        case InstanceLock::Claim::Taken:
            break;
        }
        claim.lock.reset();
        if (!mayHandOver)
            return claim;
        switch (OfferToRunningPlayer(claim.socketPath, file)) {
        case Conversation::Accepted:
            claim.outcome = InstanceClaim::Outcome::HandedOver;
            return claim;
        case Conversation::GaveUp:
            Note("the running player never took the file; this player runs on its own");
            return claim;
        case Conversation::NoListener:
            break;
        }
        if (std::chrono::steady_clock::now() >= listenerDeadline) {
            Note("a running player holds the instance lock but takes no hand-overs; this player runs on its own");
            return claim;
        }
        std::this_thread::sleep_for(20ms);
        claim.lock = std::make_unique<InstanceLock>(*dir + "lumetra.lock");
    }
}

} // namespace lumetra::app
