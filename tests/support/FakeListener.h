#pragma once
// A listener that only records what the service control asks of it, for tests
// of the core and the window that need no sockets.

#include "server/ListenerControl.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace quelvor::test {

struct FakeListener : server::ListenerControl
{
    bool isActive = false;
    int heldPort = 0;
    bool failActivate = false; // activate() throws as for a port in use
    int activations = 0;
    std::vector<std::string> calls;

    void activate(int port) override
    {
        ++activations;
        calls.push_back("activate " + std::to_string(port));
        if (failActivate)
            throw std::runtime_error("address in use");
        isActive = true;
        heldPort = port;
    }
    void deactivate() override
    {
        calls.push_back("deactivate");
        isActive = false;
    }
    void disconnectAll() override { calls.push_back("disconnectAll"); }
    bool active() const override { return isActive; }
    int port() const override { return heldPort; }
};

} // namespace quelvor::test
