#pragma once

#include "common/Run.h"
#include "common/StopRequest.h"
#include "common/text/CaseFold.h"
#include "common/text/TextEncoding.h"
#include "common/text/Utf16.h"
#include "search/HitLines.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace trawlex {

// What the rows of a run are: files with hits, files with hits for one of a profile's terms
// (each row names its term), or files a replacement changed or its preview would change (the
// count is the number of replacements).
enum class ResultsKind {
    Search,
    Profile,
    Replacement,
    Preview,
};

// Whether the rows are files a replacement changed, or its preview would change.
inline bool IsReplacement(ResultsKind kind) {
    return kind == ResultsKind::Replacement || kind == ResultsKind::Preview;
}

// What a run looks for, told before its first row, so that the window can show each hit in its
// line. For a replacement the term is what the changed files hold now: the replacement, when it
// is a plain text; with no term the window shows no lines.
struct ResultsHeading {
    QString location;   // as the person typed it; the files are shown relative to it
    QStringList terms;  // the term, or a profile's terms
    CompareMode mode = CompareMode::Exact;
    bool regex = false;
    ResultsKind kind = ResultsKind::Search;
    bool wholeWord = false;  // the hit lines show whole words only, as the run found them
    bool journal = false;    // the replacement can be taken back
};

// One row of the report as the window's table shows it: a file with hits (in a profile run, a
// file and one of its terms), or a file a replacement changed.
struct FoundFile {
    std::int64_t number = 0;
    std::string path;  // the file name bytes as the search joined them
    std::int64_t firstPosition = 0;
    std::int64_t count = 0;
    QString title;
    std::time_t modified = 0;
    std::int64_t length = 0;
    int term = 0;  // in the heading's terms
    // In a preview that writes a change list: where the file's changes start in it, and how many
    // there are (the count).
    std::int64_t changesAt = -1;
    TextEncoding encoding = TextEncoding::Cp1252;  // of a file with hits
    std::optional<ByteOrder> utf16{};              // when it was read as UTF-16
    // The lines with hits, as the file holds them, when the view asked for them.
    std::optional<FileHitLines> lines{};
};

// A file a run could not process, and why (or only the why, when it names the file itself).
struct RunProblem {
    std::string path;
    QString reason;
};

// What a running search, replacement or profile run tells whoever watches it: its messages, how
// far it is, the files it found; and what it asks: whether to go on after the current file.
// The window, the command line and the tests each watch in their own way.
class RunView {
public:
    virtual ~RunView() = default;

    // A message box with an OK button only.
    virtual void ShowMessage(const QString& text, MessageIcon icon) = 0;

    // Asked after every file: Stop once the person asked for it.
    virtual Flow CheckStop() = 0;

    // The same question for the workers, asked between the pieces of a big file from any
    // thread; it answers yes no later than CheckStop does. A view that cannot answer it from
    // another thread keeps the empty one, and its stops wait for the end of the file.
    virtual StopCheck WorkerStopCheck() { return {}; }

    // Told after every file; shown where the surroundings have room for it.
    virtual void ShowProgress(const RunProgress&) {}

    // A search or replacement begins (the window empties its table) and finds or changes a file,
    // in report order.
    virtual void ResultsBegin(const ResultsHeading&) {}
    virtual void ShowFound(FoundFile) {}
    // Whether the found files are shown at all, asked once before the first: a view that shows
    // none is spared making each row (its title, decoded for the eye).
    virtual bool ShowsFound() const { return true; }

    // A search asks once whether the rows should bring the lines of their hits.
    virtual bool WantsLines() const { return false; }

    // Told for each file a run could not process, before the message that lists them.
    virtual void NoteProblem(const RunProblem&) {}
};

}  // namespace trawlex
