#pragma once

#include <QStringView>

#include <string>
#include <string_view>

namespace trawlex {

// JSON for what Trawlex writes for scripts (the change list, the command line's JSON lines):
// UTF-8, with the control characters escaped, so that one object stays on one line.

// Appends the text as a JSON string, quotes included.
void AppendJsonString(std::string& out, QStringView text);

// Appends `"path": …` for a file name's bytes. A name that is not valid UTF-8 shows U+FFFD for
// each byte that is none, and `"path_bytes"` beside it gives the bytes in hexadecimal, so that a
// script can still open the file.
void AppendJsonPath(std::string& out, std::string_view bytes);

}  // namespace trawlex
