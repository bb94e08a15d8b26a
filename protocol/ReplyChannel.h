#pragma once
// Where a handler's reply lines go: the device's connection, or a recorder in
// tests. writeLine() gets the line without its terminator, in UTF-8; the
// channel adds CR LF, encodes it in Windows-1252 and writes it in one write.
// It throws when the line cannot be written (the device has gone).

#include <string>

namespace quelvor::protocol {

class ReplyChannel
{
public:
    virtual ~ReplyChannel() = default;
    virtual void writeLine(const std::string& line) = 0;
    // Sends what writeLine() may have held back; throws as writeLine does.
    virtual void flush() {}
};

} // namespace quelvor::protocol
