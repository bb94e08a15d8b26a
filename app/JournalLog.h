#pragma once
// Log lines as the journal wants them. Under systemd, standard output is a
// stream to journald (JOURNAL_STREAM names it); a line that begins with
// "<N>" is stored with syslog priority N, so `journalctl -p err` finds the
// failures the operator must act on. Elsewhere lines go out as they are.
// Any thread.

#include <string>
#include <string_view>

namespace quelvor::app {

inline constexpr int kPriorityError = 3;
inline constexpr int kPriorityWarning = 4;
inline constexpr int kPriorityInfo = 6;

// Standard output is the stream that JOURNAL_STREAM ("device:inode") names.
bool standardOutputIsJournal();

// The priority of an operator log line ("date time-message"): the failures
// of the start, of statements and of connections are errors; refused
// handhelds and ignored configuration values are warnings; the rest is
// information.
int journalPriority(std::string_view line);

// "<N>" followed by the line.
std::string withPriority(std::string_view line);

} // namespace quelvor::app
