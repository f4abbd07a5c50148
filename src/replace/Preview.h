#pragma once

#include "common/Result.h"
#include "common/text/CaseFold.h"
#include "common/text/TextEncoding.h"
#include "search/Report.h"

#include <QString>

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
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
};

std::string PreviewHeaderText(const PreviewSummary& summary, std::time_t now);
std::string PreviewFileText(std::int64_t number, const FilePreview& preview);
std::string PreviewFooterText(std::int64_t files, std::int64_t replacements,
                              std::int64_t filesExamined);

}  // namespace trawlex
