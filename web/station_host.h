#pragma once
// What the station directory needs from the rest of the program: the radio
// display block's station fields, the receiver, the shell and a way to wait
// while events keep flowing. The application wires these to the receiver and
// the window (or the headless front end); tests use their own.

#include "web/directory_reply.h"

#include <string>

namespace lumetra::web {

class StationHost {
public:
    virtual ~StationHost() = default;
    // Empties the radio display block before a station is opened.
    virtual void ClearDisplay() = 0;
    // The station fields of the display block: name, then the record's fields.
    virtual void SetStationName(const std::string& name) = 0;
    virtual void SetStationRecord(const StationRecord& record) = 0;
    virtual bool ReceiverOpen() = 0;
    // Sends the close message to the open receiver.
    virtual void CloseReceiver() = 0;
    // Opens the receiver for an address text ("a.b.c.d[:port] ...") and a name.
    virtual bool OpenReceiver(const std::string& addressText, const std::string& name) = 0;
    // The shell's open action on an address.
    virtual void OpenAddress(const std::string& address) = 0;
    // Waits while events keep being handled.
    virtual void Wait(int milliseconds) = 0;
    // The player's buttons follow the new receiver.
    virtual void ReceiverChanged() {}
};

} // namespace lumetra::web
