#pragma once
// What the service control needs of the handhelds' TCP listener. The listener
// lives in server/; the core drives it through this interface on the main
// thread only.

namespace quelvor::server {

class ListenerControl
{
public:
    virtual ~ListenerControl() = default;
    // Empties the bindings and listens on the port on every local IPv4 address
    // and, where the host has IPv6, every IPv6 address. Throws when it cannot.
    virtual void activate(int port) = 0;
    // Stops accepting, closes every remaining connection and joins its thread.
    virtual void deactivate() = 0;
    // Disconnects every connected device (under the list's lock); errors on one
    // connection are ignored. Does not wait for the threads.
    virtual void disconnectAll() = 0;
    virtual bool active() const = 0;
    // The port the listener holds (16 bits).
    virtual int port() const = 0;
};

} // namespace quelvor::server
