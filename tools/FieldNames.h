#pragma once
// The names of the fields of every line that a handheld sends or receives,
// by position, as docs/protocol.md names them: a column's name where the field
// is stored in (or read from) one, a plain word otherwise. The simulator's
// --explain prints them under each line. Pure functions, callable from any
// thread.

#include "tools/HandheldConnection.h"

#include <string>
#include <string_view>
#include <vector>

namespace quelvor::tools {

// The name of field `index` of a line whose field 0 is `code`, going in
// `direction` (a request is Sent, a reply Received). A position that the
// server does not read, or that the line type does not have, is named so.
std::string fieldName(Direction direction, std::string_view code, size_t index);

// One text line per field of `wire`: position, name and value, the value
// shown as visibleLine() shows it. A request's trailing separator is no field
// here; the note after the fields says how many the server counts.
std::vector<std::string> explainLine(Direction direction, std::string_view wire,
                                     std::string_view separatorMark);

} // namespace quelvor::tools
