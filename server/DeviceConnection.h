#pragma once
// One handheld's connection as the request intake sees it: it reads request
// lines, writes reply lines, and knows the device's address and the session
// key. The listener implements it over a TCP socket; tests over a script.
// Used only by the connection's own thread.

#include "db/Cancellation.h"
#include "protocol/ReplyChannel.h"

#include <stdexcept>
#include <string>

namespace quelvor::server {

// A read that failed: the device closed the connection, the connection was
// shut down, or the line grew beyond the limit.
class ReadError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

inline constexpr size_t kMaxLineBytes = 16384;

class DeviceConnection : public protocol::ReplyChannel
{
public:
    // One line without its LF (and without a CR just before it), decoded from
    // Windows-1252. Waits until a line is complete. Throws ReadError.
    virtual std::string readLine() = 0;
    virtual bool connected() const = 0;
    // Shuts the connection down; a blocked readLine then fails.
    virtual void disconnect() = 0;
    virtual std::string peerAddress() const = 0;
    // The decimal text of the socket handle number.
    virtual std::string sessionKey() const = 0;

    // This connection's session row was reset (empty flags) by its connect
    // event. Until it is, the row may still be an earlier connection's that
    // had the same handle, released or not, so no request is answered before
    // the reset has been made. The connection's own thread only.
    bool sessaoReiniciada = false;

    // The statements of the request under way, which a stop cancels from
    // another thread (with disconnect()) so that it never waits out a lock.
    db::Cancellation cancelamento;
};

} // namespace quelvor::server
