#include "common/Standard.h"

#include "common/files/WholeFile.h"
#include "common/text/Replacement.h"

#include <utility>

namespace trawlex {

std::string Quote(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
}

std::string TdCell(std::string_view text) {
    std::string cell;
    cell.reserve(text.size() + 9);
    cell += "<td>";
    cell += text;
    cell += "</td>";
    return cell;
}

Result<std::string> ReadWholeFile(const std::string& path) {
    auto loaded = LoadFile(path);
    if (!loaded) {
        return loaded.error();
    }
    return std::move(loaded->bytes);
}

std::string ReplaceAll(std::string_view text, const Finder& term, std::string_view replacement,
                       bool& changed) {
    std::string out;
    if (!ReplaceAllInto(text, term, replacement, out)) {
        return std::string(text);
    }
    changed = true;
    return out;
}

}  // namespace trawlex
