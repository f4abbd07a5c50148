#pragma once

#include "ChangeList.h"
#include "Preview.h"
#include "common/files/DirectoryHandle.h"
#include "common/files/OrderedPool.h"
#include "common/files/WalkDriver.h"
#include "common/files/WholeFile.h"
#include "common/text/CaseFold.h"
#include "common/text/TextEncoding.h"
#include "search/RunView.h"
#include "search/Suchroutinen.h"

#include <QString>

#include <sys/types.h>

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trawlex {

class FileMask;
class Journal;
class JournalNames;

// What a replacement walk does with a file that would change: rewrite it, or only describe the
// change for the preview page. Both walk and compute alike, so the preview shows exactly what
// the replacement does.
enum class ReplaceAction {
    Write,
    Preview,
};

struct ReplacePair {
    QString term;
    QString replacement;
};

// One pair of a run, ready for files of either encoding.
struct ReplaceStep {
    ReplaceStep(const QString& termText, const QString& replacementText, CompareMode mode)
        : term(termText, mode), replacement(replacementText) {}
    ReplaceStep(TermMatcher matcher, EncodedReplacement encoded)
        : term(std::move(matcher)), replacement(std::move(encoded)) {}

    // A literal pair, or a pattern with its replacement template; refused with a German message
    // when either is wrong.
    static Result<ReplaceStep> Make(const QString& term, const QString& replacement,
                                    CompareMode mode, bool regex,
                                    WordRule words = WordRule::Anywhere);

    TermMatcher term;
    EncodedReplacement replacement;
};

// The location with its links resolved: a replacement writes only files that lie inside it, so
// a link in an unpacked archive cannot make it change a file elsewhere.
class LocationBounds {
public:
    explicit LocationBounds(const std::string& location);

    bool Contains(std::string_view resolvedPath) const;
    const std::string& Resolved() const { return resolved_; }

private:
    std::string resolved_;
};

// A file the walk handed out: its path as the walk spells it and as links resolve it, or why
// it must not be written.
struct ReplaceTask {
    std::string path;
    std::string resolved;
    std::optional<QString> refused;
};

struct FileOutcome {
    std::string path;               // set for a file that changed, or would
    std::vector<QString> problems;  // each names the file and why it stayed as it was
    std::int64_t replacements = 0;
    std::int64_t bytes = 0;  // the file's length
    bool changed = false;    // rewritten, or would be
    bool stopped = false;    // a stop came while it was read: untouched and not counted
    std::optional<FilePreview> preview;
    std::optional<FileChanges> changes;  // for the change list, when the run writes one
    std::int64_t changesAt = -1;         // where its changes start in that list
};

// Everything the files of one replacement walk are processed with.
struct ReplaceRun {
    const std::vector<ReplaceStep>& steps;
    const FileMask& mask;
    RunView& view;
    const LocationBounds& bounds;
    ReplaceAction action = ReplaceAction::Write;
    int top = -1;  // the location's directory, from which every file is reached for a rewrite
    Journal* journal = nullptr;                  // none: the run cannot be taken back
    const JournalNames* journalNames = nullptr;  // the names journals give files, if known
    Sink<FilePreview>* previewPage = nullptr;    // takes each file's preview in walk order
    ChangeListWriter* changeList = nullptr;      // takes each file's changes in walk order
    std::vector<QString> problems{};             // each names a file that stayed as it was, and why
    IdentitySet seen{};                          // each file is replaced at most once per run
    std::int64_t filesExamined = 0;
    std::int64_t filesChanged = 0;
    std::int64_t replacements = 0;
    std::int64_t bytesExamined = 0;
    bool failed = false;                  // the preview page could not be written
    std::optional<QString> listFailed{};  // why the change list could not be written
    StopCheck stop{};                     // asked by the workers inside a big file
    unsigned workers = DefaultWorkerCount();
};

// The memory one thread reuses from file to file.
struct ReplaceBuffers {
    FileBuffer contents;
    std::string replaced[2];  // a sequence of pairs writes into each in turn
    std::vector<Span> occurrences;
    std::vector<std::string> insertions;
    std::vector<Edit> edits;
    // The directory of the last file, opened from the location down; files come directory by
    // directory, so each is opened about once.
    std::string directoryPath;
    FileDescriptor directory;
};

// One file: read whole, every pair applied in turn, and rewritten as one step only when a term
// occurred (or, for a preview, described). A file without the terms is not touched, its
// modification time included.
FileOutcome ReplaceInFile(const ReplaceTask& task, const ReplaceRun& run, ReplaceBuffers& buffers);

// The preview ReplaceInFile gives a file too big to read whole, for a file of any size: it is read
// in pieces of `pieceSize` bytes.
FileOutcome PreviewInPieces(const ReplaceTask& task, const ReplaceRun& run,
                            std::size_t pieceSize = ChunkReader::kPieceSize);

// One replacement; term and replacement are written in each file's own encoding.
struct ReplaceJob {
    QString location;
    QString term;
    QString replacement;
    QString mask;
    CompareMode mode = CompareMode::Exact;
    Scope scope = Scope::Flat;
    unsigned workers = DefaultWorkerCount();
    std::vector<ReplacePair> pairs{};  // a profile's pairs, applied in turn, instead of the term
    ReplaceAction action = ReplaceAction::Write;
    QString target{};       // the preview page; none when empty and a change list is written
    QString changes{};      // the change list a preview writes, if any
    QString profileName{};  // what the preview and the undo list call a profile run
    QString kind = QStringLiteral("Ersetzen");
    bool regex = false;  // the terms are regular expressions, the replacements templates
    bool journal = true;
    int keptRuns = 20;
    FileFilters filters{};  // what the walk leaves out, and whole words
};

// The heading of the message that lists the files a replacement left as they were.
QString UnchangedFilesHeading();

// Runs a replacement (or its preview) over the location's files or its whole tree and reports,
// at the end, each file that could not be processed. An empty term changes nothing. A preview
// answers NothingToDo when no file would change.
CommandOutcome ReplaceLocation(RunView& view, const ReplaceJob& job);

}  // namespace trawlex
