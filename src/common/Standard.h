#pragma once

#include "common/Result.h"
#include "common/text/CaseFold.h"

#include <string>
#include <string_view>

namespace trawlex {

// The text enclosed in double-quote characters.
std::string Quote(std::string_view text);

// The text enclosed in "<td>" and "</td>".
std::string TdCell(std::string_view text);

// Reads a file whole, one character per byte, nothing trimmed or converted; only regular files
// are opened.
Result<std::string> ReadWholeFile(const std::string& path);

// Replaces every occurrence left to right in one pass (ReplaceAllInto) and gives the result as a
// value: sets `changed` when the term occurred and never clears it.
std::string ReplaceAll(std::string_view text, const Finder& term, std::string_view replacement,
                       bool& changed);

}  // namespace trawlex
