#include "Preview.h"

#include "ChangeList.h"
#include "common/Regional.h"
#include "common/Standard.h"
#include "common/text/Cp1252.h"
#include "common/text/PathText.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace trawlex {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kSummaryRow = "<TR BGCOLOR=\"#d0d0d0\"><TD><B>";
// Unchanged text kept on each side of a change; a minified page is one long line.
constexpr std::size_t kContext = 40;

std::string Line(std::string_view text) {
    std::string line(text);
    line += kLineEnd;
    return line;
}

std::string SummaryRow(std::string_view caption, const std::string& value) {
    return Line(std::string(kSummaryRow) + std::string(caption) + "</B></TD><TD colspan=\"2\">" +
                value + "</TD></TR>");
}

std::string Shown(std::string_view bytes, TextEncoding encoding) {
    return EscapeValue(ControlsVisible(DecodeAs(bytes, encoding)));
}

// Moves a cut forward to the start of a character, so that no UTF-8 sequence is split; never
// beyond `end`.
std::size_t CharacterStart(PreviewText& text, std::size_t position, std::size_t end,
                           TextEncoding encoding) {
    if (encoding != TextEncoding::Utf8) {
        return position;
    }
    while (position < end && (static_cast<unsigned char>(text.At(position)) & 0xC0) == 0x80) {
        ++position;
    }
    return position;
}

// Unchanged text between changes (`from`..`to`): kept whole when short, otherwise its ends that
// touch a change.
std::string Context(PreviewText& original, std::size_t from, std::size_t to, bool atStart,
                    bool atEnd, TextEncoding encoding) {
    const std::size_t keepBefore = atStart ? 0 : kContext;
    const std::size_t keepAfter = atEnd ? 0 : kContext;
    if (to - from <= keepBefore + keepAfter + 3) {
        return Shown(original.Bytes(from, to), encoding);
    }
    const std::size_t headEnd = CharacterStart(original, from + keepBefore, to, encoding);
    const std::size_t tailStart = CharacterStart(original, to - keepAfter, to, encoding);
    std::string shown = Shown(original.Bytes(from, headEnd), encoding);
    shown += EscapeValue(u"\u2026");
    shown += Shown(original.Bytes(tailStart, to), encoding);
    return shown;
}

// One line of the preview from the original bytes `begin`..`end` and the edits inside them.
PreviewLine RenderLine(PreviewText& original, std::size_t begin, std::size_t end,
                       const std::vector<Edit>& edits, TextEncoding encoding) {
    PreviewLine line;
    // The line's own line end is not shown unless a change takes it.
    const std::size_t lastEnd = edits.back().end;
    std::size_t shownEnd = end;
    if (lastEnd < end) {
        if (shownEnd > lastEnd && original.At(shownEnd - 1) == '\n') {
            --shownEnd;
        }
        if (shownEnd > lastEnd && original.At(shownEnd - 1) == '\r') {
            --shownEnd;
        }
    }
    std::size_t position = begin;
    for (const Edit& edit : edits) {
        const std::string context =
            Context(original, position, edit.start, position == begin, false, encoding);
        line.before += context;
        line.after += context;
        if (edit.end > edit.start) {
            line.before +=
                "<del>" + Shown(original.Bytes(edit.start, edit.end), encoding) + "</del>";
        }
        if (!edit.inserted.empty()) {
            line.after += "<ins>" + Shown(edit.inserted, encoding) + "</ins>";
        }
        position = edit.end;
    }
    const std::string tail =
        Context(original, position, std::max(position, shownEnd), false, true, encoding);
    line.before += tail;
    line.after += tail;
    return line;
}

// The byte whose line an edit belongs to: its last one, or where it inserts.
std::size_t LineHeld(const EditBounds& edit) {
    return edit.end == edit.start ? edit.start : edit.end - 1;
}

class TextInMemory final : public PreviewText {
public:
    explicit TextInMemory(std::string_view text) : text_(text) {}

    std::size_t LineStart(std::size_t position) override {
        const std::size_t newline =
            position == 0 ? std::string_view::npos : text_.rfind('\n', position - 1);
        return newline == std::string_view::npos ? 0 : newline + 1;
    }
    std::int64_t LineNumber(std::size_t lineStart) override {
        number_ += std::count(text_.begin() + static_cast<std::ptrdiff_t>(counted_),
                              text_.begin() + static_cast<std::ptrdiff_t>(lineStart), '\n');
        counted_ = lineStart;
        return number_;
    }
    std::size_t LineEnd(std::size_t position) override {
        const std::size_t newline = text_.find('\n', position);
        return newline == std::string_view::npos ? text_.size() : newline + 1;
    }
    char At(std::size_t position) override { return text_[position]; }
    std::string Bytes(std::size_t from, std::size_t to) override {
        return std::string(text_.substr(from, to - from));
    }

private:
    std::string_view text_;
    std::int64_t number_ = 1;
    std::size_t counted_ = 0;  // newlines are counted up to here
};

class EditsInMemory final : public PreviewEdits {
public:
    explicit EditsInMemory(const std::vector<Edit>& edits) : edits_(edits) {}

    const EditBounds* Peek() override {
        if (index_ == edits_.size()) {
            return nullptr;
        }
        const Edit& edit = edits_[index_];
        bounds_ = {edit.start, edit.end, edit.inserted.size()};
        return &bounds_;
    }
    void Next(Edit* into) override {
        if (into != nullptr) {
            *into = edits_[index_];
        }
        ++index_;
    }

private:
    const std::vector<Edit>& edits_;
    std::size_t index_ = 0;
    EditBounds bounds_;
};

}  // namespace

void EditComposer::Occurrence(const Span& occurrence, std::size_t insertedLength) {
    PlaceEarlier(&occurrence.start);
    Place(occurrence.start, occurrence.end, 0, true, insertedLength);
    ++occurrenceNumber_;
}

void EditComposer::Finish() {
    PlaceEarlier(nullptr);
    Close();
}

// Every piece of the current text that differs from the original (an earlier edit's insertion)
// or is replaced now (an occurrence) is placed in the current text's positions, an earlier edit
// before an occurrence at the same place. Pieces that overlap or touch become one edit.
void EditComposer::PlaceEarlier(const std::size_t* upTo) {
    while (true) {
        if (!nextAsked_) {
            next_ = earlier_();
            nextAsked_ = true;
        }
        if (!next_) {
            return;
        }
        const std::int64_t start = static_cast<std::int64_t>(next_->start) + shift_;
        if (upTo != nullptr && start > static_cast<std::int64_t>(*upTo)) {
            return;
        }
        const std::int64_t delta = static_cast<std::int64_t>(next_->insertedLength) -
                                   static_cast<std::int64_t>(next_->end - next_->start);
        const auto placed = static_cast<std::size_t>(start);
        Place(placed, placed + next_->insertedLength, delta, false, 0);
        shift_ += delta;
        nextAsked_ = false;
    }
}

void EditComposer::Place(std::size_t start, std::size_t end, std::int64_t delta, bool occurrence,
                         std::size_t insertedLength) {
    if (!open_ || start > groupEnd_) {
        Close();
        open_ = true;
        groupStart_ = start;
        groupEnd_ = end;
        inside_ = 0;
        removed_ = 0;
        added_ = 0;
        firstOccurrence_ = occurrenceNumber_;
        occurrences_ = 0;
    } else {
        groupEnd_ = std::max(groupEnd_, end);
    }
    inside_ += delta;
    if (occurrence) {
        removed_ += end - start;
        added_ += insertedLength;
        ++occurrences_;
    }
}

void EditComposer::Close() {
    if (!open_) {
        return;
    }
    open_ = false;
    ComposedEdit composed;
    composed.bounds.start =
        static_cast<std::size_t>(static_cast<std::int64_t>(groupStart_) - before_);
    composed.bounds.end =
        static_cast<std::size_t>(static_cast<std::int64_t>(groupEnd_) - before_ - inside_);
    composed.bounds.insertedLength = groupEnd_ - groupStart_ - removed_ + added_;
    composed.read = {groupStart_, groupEnd_};
    composed.firstOccurrence = firstOccurrence_;
    composed.occurrences = occurrences_;
    before_ += inside_;
    take_(composed);
}

void ComposeEdits(std::vector<Edit>& edits, std::string_view current,
                  const std::vector<Span>& occurrences, std::string_view inserted,
                  const std::vector<std::string>* insertedEach) {
    const auto insertedBy = [&](std::size_t number) {
        return insertedEach != nullptr ? std::string_view((*insertedEach)[number]) : inserted;
    };
    std::vector<Edit> composed;
    std::size_t next = 0;
    EditComposer composer(
        [&edits, &next]() -> std::optional<EditBounds> {
            if (next == edits.size()) {
                return std::nullopt;
            }
            const Edit& edit = edits[next++];
            return EditBounds{edit.start, edit.end, edit.inserted.size()};
        },
        [&](const ComposedEdit& group) {
            // What the group becomes is the current text with its occurrences replaced.
            Edit edit{group.bounds.start, group.bounds.end, {}};
            edit.inserted.reserve(group.bounds.insertedLength);
            std::size_t position = group.read.start;
            for (std::size_t number = group.firstOccurrence;
                 number < group.firstOccurrence + group.occurrences; ++number) {
                edit.inserted.append(
                    current.substr(position, occurrences[number].start - position));
                edit.inserted.append(insertedBy(number));
                position = occurrences[number].end;
            }
            edit.inserted.append(current.substr(position, group.read.end - position));
            composed.push_back(std::move(edit));
        });
    for (std::size_t number = 0; number < occurrences.size(); ++number) {
        composer.Occurrence(occurrences[number], insertedBy(number).size());
    }
    composer.Finish();
    edits = std::move(composed);
}

void DescribeChanges(PreviewText& original, PreviewEdits& edits, TextEncoding encoding,
                     FilePreview& preview) {
    std::vector<Edit> line;
    while (const EditBounds* first = edits.Peek()) {
        const bool shown = preview.lines.size() < kPreviewLinesPerFile;
        const std::size_t begin = original.LineStart(first->start);
        const std::int64_t number = shown ? original.LineNumber(begin) : 0;
        std::size_t end = original.LineEnd(LineHeld(*first));
        line.clear();
        edits.Next(shown ? &line.emplace_back() : nullptr);
        for (const EditBounds* edit = edits.Peek(); edit != nullptr && edit->start < end;
             edit = edits.Peek()) {
            end = std::max(end, original.LineEnd(LineHeld(*edit)));
            edits.Next(shown ? &line.emplace_back() : nullptr);
        }
        if (shown) {
            PreviewLine rendered = RenderLine(original, begin, end, line, encoding);
            rendered.number = number;
            preview.lines.push_back(std::move(rendered));
        } else {
            ++preview.moreLines;
        }
    }
}

void DescribeChanges(std::string_view original, const std::vector<Edit>& edits,
                     TextEncoding encoding, FilePreview& preview) {
    TextInMemory text(original);
    EditsInMemory list(edits);
    DescribeChanges(text, list, encoding, preview);
}

namespace {

// Where an edit lies in the file, and how many of its bytes it takes.
std::pair<std::uint64_t, std::uint64_t> InFile(const Edit& edit, const FileOffsets& fileOffsets) {
    if (!fileOffsets) {
        return {edit.start, edit.end - edit.start};
    }
    const std::uint64_t start = fileOffsets(edit.start);
    return {start, fileOffsets(edit.end) - start};
}

}  // namespace

void ListChanges(std::string_view original, const std::vector<Edit>& edits, TextEncoding encoding,
                 FileChanges& changes, const FileOffsets& fileOffsets) {
    std::int64_t line = 1;
    std::size_t counted = 0;
    for (const Edit& edit : edits) {
        line += std::count(original.begin() + static_cast<std::ptrdiff_t>(counted),
                           original.begin() + static_cast<std::ptrdiff_t>(edit.start), '\n');
        counted = edit.start;
        const auto [offset, length] = InFile(edit, fileOffsets);
        changes.Add(line, offset, length,
                    DecodeAs(original.substr(edit.start, edit.end - edit.start), encoding),
                    DecodeAs(edit.inserted, encoding));
    }
}

void ListChanges(PreviewText& original, PreviewEdits& edits, TextEncoding encoding,
                 FileChanges& changes, const FileOffsets& fileOffsets) {
    Edit edit;
    while (const EditBounds* next = edits.Peek()) {
        const std::int64_t line = original.LineNumber(original.LineStart(next->start));
        edits.Next(&edit);
        const auto [offset, length] = InFile(edit, fileOffsets);
        changes.Add(line, offset, length, DecodeAs(original.Bytes(edit.start, edit.end), encoding),
                    DecodeAs(edit.inserted, encoding));
    }
}

std::string PreviewHeaderText(const PreviewSummary& summary, std::time_t now) {
    std::string out;
    WriteHtmlHead(out);
    out += Line("<BODY><H1>Vorschau der Ersetzung: </h1>");
    out += Line("<P>Diese Seite zeigt, was die Ersetzung " + Cp1252FromUtf8("ändern") + " " +
                Cp1252FromUtf8("würde") + "; es wurde noch keine Datei " +
                Cp1252FromUtf8("geändert") + ".</P>");
    out += Line("<TABLE>");
    if (summary.profile) {
        out += SummaryRow("Ersatzprofil:", EscapeValue(summary.term));
    } else {
        out += SummaryRow("Suchbegriff:", EscapeValue(ControlsVisible(summary.term)));
        out += SummaryRow("Ersatzbegriff:", EscapeValue(ControlsVisible(summary.replacement)));
    }
    if (summary.pattern) {
        out += PatternRowText();
    }
    out += SummaryRow("Suchpfad:", EscapeValue(summary.location));
    out += SummaryRow("Dateifilter:", EscapeValue(summary.mask));
    out += SummaryRow("Gross- und Kleinschreibung:",
                      summary.mode == CompareMode::Exact ? "Beachten" : "Ignorieren");
    out += SummaryRow("Unterverzeichnisse:", summary.subdirectories ? "Ja" : "Nein");
    out += FilterRowsText(summary.filters);
    out +=
        Line(std::string(kSummaryRow) + "Stand:</B></TD><TD>" + EscapeValue(FormatShortDate(now)) +
             "</TD><TD>" + EscapeValue(FormatLongTime(now)) + "</TD></TR>");
    out += Line("</TABLE><P>");
    return out;
}

std::string PreviewFileText(std::int64_t number, const FilePreview& preview) {
    const std::string cell = "<TD STYLE=\"white-space:pre-wrap;font-family:monospace\">";
    std::string out = Line("<TABLE>");
    out += Line("<TR BGCOLOR=\"#a0a0a0\"><TD ALIGN=Right><B>" + std::to_string(number) +
                "</B></TD><TD colspan=\"2\"><a href=" + Quote(FileLink(preview.path)) + ">" +
                EscapeValue(PathText(preview.path)) + "</A>: <B>" +
                std::to_string(preview.replacements) + "</B> " +
                (preview.replacements == 1 ? "Ersetzung" : "Ersetzungen") + "</TD></TR>");
    out += Line(
        "<TR BGCOLOR=\"#d0d0d0\"><TD><B>Zeile:</B></TD><TD><B>vorher:</B></TD><TD><B>"
        "nachher:</B></TD></TR>");
    for (const PreviewLine& line : preview.lines) {
        out += Line("<TR><TD ALIGN=Right>" + std::to_string(line.number) + "</TD>" + cell +
                    line.before + "</TD>" + cell + line.after + "</TD></TR>");
    }
    if (preview.moreLines > 0) {
        out += Line(
            "<TR><TD></TD><TD colspan=\"2\">" +
            EscapeValue(QStringLiteral("\u2026 und %1 weitere Zeilen").arg(preview.moreLines)) +
            "</TD></TR>");
    }
    out += Line("</TABLE><P>");
    return out;
}

std::string PreviewFooterText(std::int64_t files, std::int64_t replacements,
                              std::int64_t filesExamined) {
    std::string out = Line(
        "</P>Die Ersetzung " + Cp1252FromUtf8("würde") + " <B>" + std::to_string(files) + "</B> " +
        (files == 1 ? "Datei" : "Dateien") + " mit <B>" + std::to_string(replacements) + "</B> " +
        (replacements == 1 ? "Ersetzung" : "Ersetzungen") + " " + Cp1252FromUtf8("ändern") +
        "; <B>" + std::to_string(filesExamined) + "</B> Dateien wurden durchsucht.<P>");
    out += Line("</BODY></HTML>");
    return out;
}

}  // namespace trawlex
