#pragma once

#include "Result.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace trawlex {

// The text enclosed in double-quote characters.
std::string Quote(std::string_view text);

// The text enclosed in "<td>" and "</td>".
std::string TdCell(std::string_view text);

// A file read whole, with the length and modification time of the very file that was read.
struct LoadedFile {
    std::string bytes;
    std::int64_t length = 0;
    std::time_t modified = 0;
};

// Reads a file whole, one character per byte, nothing trimmed or converted. Only regular
// files are opened, so a FIFO that appears where a file was listed cannot block the run.
Result<LoadedFile> LoadFile(const std::string& path);

Result<std::string> ReadWholeFile(const std::string& path);

// Replaces a file's contents as one step: the bytes go to a hidden temporary file beside it,
// which is flushed to disk and renamed into place, so the file holds either its old or its new
// contents, never a part. An existing file keeps its permissions. The temporary file is removed
// on every error path.
Status WriteFileReplacing(const std::string& path, std::string_view bytes);

}  // namespace trawlex
