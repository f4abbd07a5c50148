#pragma once

// The steps every rewrite of a file takes, a replacement's and an applied change list's alike.

#include "Ersatzroutinen.h"
#include "common/files/ReplacingFile.h"

#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>

namespace trawlex {

class JournalNames;
struct OriginalContents;

// Resolves the paths of a walk on the taking thread. Files come directory by directory, so each
// directory is resolved once; only a file that is itself a link costs a lookup of its own.
class PathResolver {
public:
    explicit PathResolver(const LocationBounds& bounds) : bounds_(bounds) {}

    // Fills in the task for `path`; false when the file was handed out before in this run.
    bool Prepare(const std::string& path, ReplaceTask& task, ReplaceRun& run);

private:
    const LocationBounds& bounds_;
    std::string directory_;
    std::string resolvedDirectory_;
};

// A file that a rewrite would harm or cannot reach is named and left, in the preview as well, so
// that the preview shows exactly what the replacement will do.
std::optional<QString> CannotRewrite(const std::string& path, const struct stat& status,
                                     const JournalNames* journalNames);

// A UTF-16 file with a surrogate without its partner, or a byte left over, is searched with
// U+FFFD in their place; written back, that would not give those bytes back.
QString Utf16Malformed(const std::string& path);

// A binary file (LooksBinary) is no text; a replacement in its bytes would corrupt it.
QString BinaryRefused(const std::string& path);

// The same decision for a file not held whole: its first bytes are read again.
std::optional<QString> RefusedByHead(int descriptor, const std::string& path);

// Where a file lies for a rewrite: its directory, opened from the location down one name at a
// time, and its name in it.
struct FilePlace {
    int directory = -1;
    std::string directoryPath;
    std::string name;
};

// Only a file whose resolved path lies inside the location is given a place; the others are
// read by their paths and never written.
bool HasPlace(const ReplaceTask& task, const ReplaceRun& run);
Result<FilePlace> PlaceOf(const ReplaceTask& task, const ReplaceRun& run, ReplaceBuffers& buffers);

// Journals the file as it was read, then renames its new contents into place, unless another
// program changed the file since it was read. An entry whose rewrite did not happen is
// withdrawn, so that undo never takes back a change that was never made.
Status CommitChecked(const ReplaceTask& task, const ReplaceRun& run, const OpenedFile& opened,
                     const FilePlace& place, const OriginalContents& original,
                     std::uint64_t writtenHash, ReplacingFile& out);

}  // namespace trawlex
