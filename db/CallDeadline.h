#pragma once
// A commit, a ping or a detach that waits for a database that no longer
// answers (a route that drops packets rather than refusing them) waits as long
// as TCP retransmits: a quarter of an hour. While a CallDeadline lives, one watcher
// thread of the process closes the client side of that attachment's
// connection (fb_cancel_abort) once the patience has run out, so that the call
// fails at once with a connection-class error and the attachment is released
// as broken. A database that answers never notices it.

#include <firebird/Interface.h>

#include <chrono>
#include <cstdint>

namespace quelvor::db {

class CallDeadline
{
public:
    CallDeadline(Firebird::IAttachment* attachment, std::chrono::milliseconds patience);
    // Once it returns, the watcher no longer touches the attachment.
    ~CallDeadline();
    CallDeadline(const CallDeadline&) = delete;
    CallDeadline& operator=(const CallDeadline&) = delete;

    // The patience ran out and the connection was closed.
    bool expired() const;

private:
    std::uint64_t m_id;
};

} // namespace quelvor::db
