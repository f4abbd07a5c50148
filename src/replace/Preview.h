#pragma once

#include "common/Result.h"
#include "common/text/CaseFold.h"
#include "common/text/TextEncoding.h"
#include "search/Report.h"

#include <QString>

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trawlex {

// One change to a file, in the positions of the file as it is on disk: the bytes from `start` to
// `end` give way to `inserted`.
struct Edit {
    std::size_t start = 0;
    std::size_t end = 0;
    std::string inserted;
};

// Adds the occurrences that one replacement found in the text as earlier replacements left it
// (`current`, in whose positions they are given) to the edits of the file on disk. An
// occurrence that takes in text an earlier replacement inserted swallows that edit, so the edits
// always say what the whole sequence does to the original bytes.
// A pattern's occurrences each become their own text, given in `insertedEach`.
void ComposeEdits(std::vector<Edit>& edits, std::string_view current,
                  const std::vector<Span>& occurrences, std::string_view inserted,
                  const std::vector<std::string>* insertedEach = nullptr);

// Where an edit lies in the original and how long the text it puts there is: all that composing
// needs, so that a file's edits can be composed without holding their texts.
struct EditBounds {
    std::size_t start = 0;
    std::size_t end = 0;
    std::size_t insertedLength = 0;
};

// One edit of the original as a pair's occurrences and the earlier edits they meet compose it.
struct ComposedEdit {
    EditBounds bounds;
    Span read;  // what it covers in the text the pair read, occurrences and earlier insertions
    std::size_t firstOccurrence = 0;  // the pair's occurrences inside it, by number
    std::size_t occurrences = 0;
};

// ComposeEdits one occurrence at a time: the earlier edits are asked for in order and each
// composed edit is handed on as soon as nothing later can join it, so that a replacement read
// piece by piece can compose as it goes.
class EditComposer {
public:
    using Earlier = std::function<std::optional<EditBounds>()>;
    using Take = std::function<void(const ComposedEdit&)>;

    EditComposer(Earlier earlier, Take take)
        : earlier_(std::move(earlier)), take_(std::move(take)) {}

    // Occurrences come left to right, in the positions of the text the pair read.
    void Occurrence(const Span& occurrence, std::size_t insertedLength);
    void Finish();

private:
    void PlaceEarlier(const std::size_t* upTo);
    void Place(std::size_t start, std::size_t end, std::int64_t delta, bool occurrence,
               std::size_t insertedLength);
    void Close();

    Earlier earlier_;
    Take take_;
    std::optional<EditBounds> next_;
    bool nextAsked_ = false;
    std::int64_t shift_ = 0;   // how far the earlier edits placed so far moved the text
    std::int64_t before_ = 0;  // the same for the edits in front of the open one
    std::size_t occurrenceNumber_ = 0;
    bool open_ = false;
    std::size_t groupStart_ = 0;
    std::size_t groupEnd_ = 0;
    std::int64_t inside_ = 0;  // the moves of the earlier edits inside the open one
    std::size_t removed_ = 0;  // occurrence bytes inside it, and what they become
    std::size_t added_ = 0;
    std::size_t firstOccurrence_ = 0;
    std::size_t occurrences_ = 0;
};

// A changed line of the preview: its number in the file and the line before and after, as HTML
// with the removed text in <del> and the new text in <ins>.
struct PreviewLine {
    std::int64_t number = 0;
    std::string before;
    std::string after;
};

struct FilePreview {
    std::string path;
    std::int64_t replacements = 0;
    std::vector<PreviewLine> lines;  // the first ones only
    std::int64_t moreLines = 0;      // changed lines beyond those shown
};

inline constexpr std::size_t kPreviewLinesPerFile = 50;

// The changed lines of a file: edits that share a line form one line of the preview, and long
// unchanged stretches are shortened around the changes.
void DescribeChanges(std::string_view original, const std::vector<Edit>& edits,
                     TextEncoding encoding, FilePreview& preview);

// The original as the description reads it: in memory, or from disk around the edits. Positions
// asked for lines never go back.
class PreviewText {
public:
    virtual ~PreviewText() = default;
    // Where the line that holds `position` starts, and its number (asked right after).
    virtual std::size_t LineStart(std::size_t position) = 0;
    virtual std::int64_t LineNumber(std::size_t lineStart) = 0;
    // Behind the line end of the line that holds `position`, or the end of the text.
    virtual std::size_t LineEnd(std::size_t position) = 0;
    virtual char At(std::size_t position) = 0;
    virtual std::string Bytes(std::size_t from, std::size_t to) = 0;
};

// The edits in order; only those of the lines shown are asked for their texts.
class PreviewEdits {
public:
    virtual ~PreviewEdits() = default;
    virtual const EditBounds* Peek() = 0;  // null after the last
    // Moves on, filling in `into` when given.
    virtual void Next(Edit* into) = 0;
};

void DescribeChanges(PreviewText& original, PreviewEdits& edits, TextEncoding encoding,
                     FilePreview& preview);

class FileChanges;

// Turns offsets of the text the edits were found in into offsets of the file, asked in rising
// order: they differ for a UTF-16 file, whose UTF-8 is what is replaced (see Utf16.h).
using FileOffsets = std::function<std::uint64_t(std::size_t)>;

// Every edit as a change of the change list: its line, where it lies in the original file, and
// the text it takes out and puts in, read in the file's encoding. Without `fileOffsets` the
// offsets of the text are those of the file.
void ListChanges(std::string_view original, const std::vector<Edit>& edits, TextEncoding encoding,
                 FileChanges& changes, const FileOffsets& fileOffsets = {});
void ListChanges(PreviewText& original, PreviewEdits& edits, TextEncoding encoding,
                 FileChanges& changes, const FileOffsets& fileOffsets = {});

// What a preview page shows about the run in its summary.
struct PreviewSummary {
    QString term;         // or the profile's name
    QString replacement;  // empty for a profile
    bool profile = false;
    QString location;
    QString mask;
    CompareMode mode = CompareMode::Exact;
    bool subdirectories = false;
    bool pattern = false;  // the terms are regular expressions
    FileFilters filters{};
};

std::string PreviewHeaderText(const PreviewSummary& summary, std::time_t now);
std::string PreviewFileText(std::int64_t number, const FilePreview& preview);
std::string PreviewFooterText(std::int64_t files, std::int64_t replacements,
                              std::int64_t filesExamined);

}  // namespace trawlex
