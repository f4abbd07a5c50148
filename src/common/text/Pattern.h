#pragma once

#include "common/Result.h"
#include "common/text/CaseFold.h"
#include "common/text/TextEncoding.h"
#include "common/text/WordRule.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trawlex {

// One match in a file's bytes: the whole match first, then each group; a group that took no
// part has no span.
struct PatternMatch {
    std::vector<std::optional<Span>> groups;
    const Span& Whole() const { return *groups.front(); }
};

// How a search through one file ended.
enum class PatternScan {
    Done,
    Limit,  // the match or depth limit stopped a pattern that backtracks without end
};

// Where the search of a file read piece by piece stands between two pieces.
struct PatternCursor {
    std::uint64_t resume = 0;  // the file offset the next search starts at
    bool afterEmpty = false;   // an empty match ended there, so the next must not be empty there
};

// What the search of one piece did: how it ended, and from which file offset the next piece
// must still hold the bytes.
struct PieceScan {
    PatternScan scan = PatternScan::Done;
    std::uint64_t keepFrom = 0;
};

// A regular expression a person typed, in Perl syntax, compiled once per run (and compiled to
// machine code where the platform allows) for files of either encoding. Letters are Unicode
// letters in both: umlauts and ß are letters for \w and \b, and ignoring case folds them as the
// literal search does. A Windows-1252 file is matched as the text it holds, so it gives the same
// matches as a UTF-8 file of the same text; every span is in the file's own bytes.
class Pattern {
public:
    // Fails with a German message naming the character position and the reason. Held to whole
    // words, the pattern's text stays as typed; its matches are those whose neighbours are no
    // word characters, a later match starting inside one that is not.
    static Result<std::shared_ptr<const Pattern>> Compile(QStringView text, CompareMode mode,
                                                          WordRule words = WordRule::Anywhere);

    ~Pattern();
    Pattern(const Pattern&) = delete;
    Pattern& operator=(const Pattern&) = delete;

    // Calls `each` for every non-overlapping match from the text's start (behind a byte-order
    // mark), left to right; an empty match is taken at most once at a place, as Perl does.
    // `each` answers false to stop.
    PatternScan ForEachMatch(std::string_view bytes, const DetectedEncoding& detected,
                             const std::function<bool(const PatternMatch&)>& each) const;

    // The same for a file read piece by piece: searches the window (its first byte at file offset
    // `start`) from the cursor on, with spans in file offsets. A match that the bytes behind the
    // window could still change is left for the next piece, which is searched from the cursor
    // again; `final` says that nothing follows. The matches of all pieces together are those of
    // the file read whole.
    PieceScan ScanPiece(std::string_view window, std::uint64_t start, bool final,
                        const DetectedEncoding& detected, PatternCursor& cursor,
                        const std::function<bool(const PatternMatch&)>& each) const;

    // False when the file cannot hold a match: a literal that every match begins with is
    // missing. Cheap, and decided before the file's encoding where that is possible.
    bool MayMatch(std::string_view bytes) const;

    std::uint32_t GroupCount() const { return groups_; }
    // The number of a named group, or nothing.
    std::optional<std::uint32_t> GroupNamed(QStringView name) const;
    const QString& Text() const { return text_; }
    CompareMode Mode() const { return mode_; }

    // The text every match is, when the pattern holds no special character: such a pattern is a
    // literal term, which the literal search finds alike (it folds as PCRE2 does) and far faster.
    const std::optional<QString>& PlainText() const { return plain_; }

private:
    Pattern() = default;

    QString text_;
    void* code_ = nullptr;      // pcre2_code_8, for valid UTF-8
    void* tolerant_ = nullptr;  // the same for text with broken sequences
    bool crlfIsNewline_ = true;
    std::uint32_t groups_ = 0;
    std::size_t behind_ = 2;       // the same for a piece, which never holds the text's start
    std::size_t prefixReach_ = 0;  // the most bytes the literal start takes in a file
    std::size_t Behind(std::string_view window, std::size_t at, std::size_t lowest,
                       bool utf8) const;
    // Where the first match may start, or nothing when none can.
    std::optional<std::size_t> FirstPossibleStart(std::string_view bytes,
                                                  const DetectedEncoding& detected) const;

    // The literal every match begins with, folded alike.
    std::optional<LiteralTerm> prefix_;
    // A literal every match holds, and whether each match stays inside one line.
    std::optional<LiteralTerm> required_;
    bool oneLine_ = false;
    CompareMode mode_ = CompareMode::Exact;
    std::optional<QString> plain_;
};

// A replacement for a pattern: "$1" or "${1}" a group by number, "${name}" by name, "$$" a
// dollar sign; everything else is taken as it stands.
// Takes the output a template has put together so far once it grows past `above`: a template
// that repeats a long group many times need not hold all its copies at once. `take` leaves in
// the string what is still to be written and answers false to stop.
struct OutputDrain {
    std::size_t above = 0;
    std::function<bool(std::string&)> take;
};

class ReplacementTemplate {
public:
    // Fails with a German message for a "$" that names nothing or a group the pattern lacks.
    static Result<ReplacementTemplate> Parse(QStringView text, const Pattern& pattern);

    // Appends the replacement of one match in the file's encoding; false when Windows-1252
    // cannot hold the template's own text or the drain stops. A group is copied byte for byte
    // from the file.
    // `bytes` start at file offset `start`, in which the match's spans are given.
    bool AppendTo(std::string& out, std::string_view bytes, std::uint64_t start,
                  const PatternMatch& match, TextEncoding encoding,
                  const OutputDrain* drain = nullptr) const;

private:
    struct Piece {
        std::string utf8;
        std::optional<std::string> cp1252;
        std::optional<std::uint32_t> group;
    };
    std::vector<Piece> pieces_;
};

}  // namespace trawlex
