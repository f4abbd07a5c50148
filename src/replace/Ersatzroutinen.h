#pragma once

#include "app/Ui.h"
#include "common/CaseFold.h"
#include "common/DirectoryHandle.h"
#include "common/OrderedPool.h"
#include "common/Standard.h"
#include "common/TextEncoding.h"
#include "search/Suchroutinen.h"

#include <QString>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trawlex {

struct Form1;
class FileMask;

// Everything the files of one replacement walk are processed with.
struct ReplaceRun {
    const TermMatcher& term;
    const EncodedReplacement& replacement;
    const FileMask& mask;
    Ui& ui;
    std::vector<QString> problems;  // each names a file that stayed as it was, and why
    unsigned workers = DefaultWorkerCount();
};

// The memory one thread reuses from file to file.
struct ReplaceBuffers {
    FileBuffer contents;
    std::string replaced;
};

// One file: read whole, replaced, and rewritten as one step only when the term occurred. A
// file without the term is not touched, its modification time included. Returns why the file
// stayed as it was, when it could not be processed.
std::optional<QString> ReplaceInFile(const std::string& path, const TermMatcher& term,
                                     const EncodedReplacement& replacement,
                                     ReplaceBuffers& buffers);

// Every matching file of one directory (ending in the separator). The listing is taken whole
// before the first file is rewritten, so no file is processed twice.
Flow ReplaceFilesOf(const std::string& directory, ReplaceRun& run);

// Every matching file below the given directory, depth first; never the directory's own files.
Flow ReplaceDirRecursive(const DirectoryHandle& parent, ReplaceRun& run, WalkGuard& guard);

// One replacement; term and replacement are written in each file's own encoding.
struct ReplaceJob {
    QString location;
    QString term;
    QString replacement;
    QString mask;
    CompareMode mode = CompareMode::Exact;
    Scope scope = Scope::Flat;
    unsigned workers = DefaultWorkerCount();
};

// One walk over the location's files (`directory` as the person named it, with its separator) or
// its whole tree; what could not be processed is added to the run's problems.
Flow ReplaceWalk(const std::string& directory, const DirectoryHandle& top, Scope scope,
                 ReplaceRun& run);

// The heading of the message that lists the files a replacement left as they were.
QString UnchangedFilesHeading();

// Runs a replacement over the location's files or its whole tree and reports, at the end, each
// file that could not be processed. An empty term changes nothing.
CommandOutcome ReplaceLocation(Ui& ui, const ReplaceJob& job);

// The location's own files, with the texts a person typed.
CommandOutcome ReplaceDirFlat(Ui& ui, const QString& path, const QString& term,
                              const QString& replacement, const QString& mask, CompareMode mode);

// The location and every directory below it, with the record's location, term, replacement and
// mask.
CommandOutcome ReplaceTree(const Form1& form, Ui& ui, CompareMode mode);

}  // namespace trawlex
