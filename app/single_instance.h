#pragma once
// The start-up's single-instance step, before any window: the first player
// takes the instance lock and listens for hand-overs; a later plain start gives
// its command-line file to the running player and ends.

#include "platform/instance/instance_lock.h"

#include <memory>
#include <optional>
#include <string>

namespace lumetra::app {

struct InstanceClaim {
    enum class Outcome {
        First,      // this player holds the lock; listenFd takes hand-overs (-1 when it cannot)
        HandedOver, // the running player accepted the file: end with status 0
        Alone,      // runs without taking part (no usable runtime folder, or not asked to)
    };
    Outcome outcome = Outcome::Alone;
    std::unique_ptr<platform::InstanceLock> lock; // held while the program runs
    int listenFd = -1;
    std::string socketPath;
};

// mayHandOver: a plain start offers file to a running player; --headless and
// --control starts run their own session whatever runs, and listen only when
// they are the first. Diagnostics go to standard error.
InstanceClaim ClaimInstance(const std::string& file, bool mayHandOver);

// The claim crosses an exec (into the program with the window): its lock and
// socket stay open and the environment names them. The receiving side takes
// them back, and the variable out of the environment; nothing when no claim
// was passed on.
void PassClaimAcrossExec(const InstanceClaim& claim);
std::optional<InstanceClaim> InheritedClaim();

} // namespace lumetra::app
