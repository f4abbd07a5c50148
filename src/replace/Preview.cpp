#include "Preview.h"

#include "common/Regional.h"
#include "common/Standard.h"
#include "common/text/Cp1252.h"
#include "common/text/PathText.h"

#include <algorithm>
#include <optional>

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

// Moves a cut forward to the start of a character, so that no UTF-8 sequence is split.
std::size_t CharacterStart(std::string_view text, std::size_t position, TextEncoding encoding) {
    if (encoding != TextEncoding::Utf8) {
        return position;
    }
    while (position < text.size() && (static_cast<unsigned char>(text[position]) & 0xC0) == 0x80) {
        ++position;
    }
    return position;
}

// Unchanged text between changes: kept whole when short, otherwise its ends that touch a change.
std::string Context(std::string_view text, bool atStart, bool atEnd, TextEncoding encoding) {
    const std::size_t keepBefore = atStart ? 0 : kContext;
    const std::size_t keepAfter = atEnd ? 0 : kContext;
    if (text.size() <= keepBefore + keepAfter + 3) {
        return Shown(text, encoding);
    }
    const std::size_t headEnd = CharacterStart(text, keepBefore, encoding);
    const std::size_t tailStart = CharacterStart(text, text.size() - keepAfter, encoding);
    std::string shown = Shown(text.substr(0, headEnd), encoding);
    shown += EscapeValue(u"\u2026");
    shown += Shown(text.substr(tailStart), encoding);
    return shown;
}

std::size_t LineStart(std::string_view text, std::size_t position) {
    const std::size_t newline =
        position == 0 ? std::string_view::npos : text.rfind('\n', position - 1);
    return newline == std::string_view::npos ? 0 : newline + 1;
}

// Behind the line end of the line that holds `position`.
std::size_t LineEnd(std::string_view text, std::size_t position) {
    const std::size_t newline = text.find('\n', position);
    return newline == std::string_view::npos ? text.size() : newline + 1;
}

// One line of the preview from the original bytes `begin`..`end` and the edits inside them.
PreviewLine RenderLine(std::string_view original, std::size_t begin, std::size_t end,
                       const Edit* first, const Edit* last, TextEncoding encoding) {
    PreviewLine line;
    // The line's own line end is not shown unless a change takes it.
    std::size_t shownEnd = end;
    if (last->end < end) {
        if (shownEnd > last->end && original[shownEnd - 1] == '\n') {
            --shownEnd;
        }
        if (shownEnd > last->end && original[shownEnd - 1] == '\r') {
            --shownEnd;
        }
    }
    std::size_t position = begin;
    for (const Edit* edit = first; edit <= last; ++edit) {
        const std::string context = Context(original.substr(position, edit->start - position),
                                            position == begin, false, encoding);
        line.before += context;
        line.after += context;
        if (edit->end > edit->start) {
            line.before += "<del>" +
                           Shown(original.substr(edit->start, edit->end - edit->start), encoding) +
                           "</del>";
        }
        if (!edit->inserted.empty()) {
            line.after += "<ins>" + Shown(edit->inserted, encoding) + "</ins>";
        }
        position = edit->end;
    }
    const std::string tail = Context(
        original.substr(position, std::max(position, shownEnd) - position), false, true, encoding);
    line.before += tail;
    line.after += tail;
    return line;
}

}  // namespace

void ComposeEdits(std::vector<Edit>& edits, std::string_view current,
                  const std::vector<Span>& occurrences, std::string_view inserted,
                  const std::vector<std::string>* insertedEach) {
    // Every piece of the current text that differs from the original (an earlier edit's
    // insertion) or is replaced now (an occurrence), in the current text's positions. Pieces
    // that overlap or touch become one edit of the original.
    struct Piece {
        std::size_t start;
        std::size_t end;
        std::int64_t delta;  // how far an earlier edit moved the text behind it
        bool occurrence;
        std::size_t number = 0;  // of the occurrence
    };
    std::vector<Piece> pieces;
    pieces.reserve(edits.size() + occurrences.size());
    std::int64_t shift = 0;
    std::size_t next = 0;
    const auto addEdit = [&](const Edit& edit) {
        const auto start = static_cast<std::size_t>(static_cast<std::int64_t>(edit.start) + shift);
        const std::int64_t delta = static_cast<std::int64_t>(edit.inserted.size()) -
                                   static_cast<std::int64_t>(edit.end - edit.start);
        pieces.push_back({start, start + edit.inserted.size(), delta, false, 0});
        shift += delta;
    };
    for (std::size_t number = 0; number < occurrences.size(); ++number) {
        const Span& occurrence = occurrences[number];
        while (next < edits.size() && static_cast<std::int64_t>(edits[next].start) + shift <=
                                          static_cast<std::int64_t>(occurrence.start)) {
            addEdit(edits[next++]);
        }
        pieces.push_back({occurrence.start, occurrence.end, 0, true, number});
    }
    for (; next < edits.size(); ++next) {
        addEdit(edits[next]);
    }

    std::vector<Edit> composed;
    std::int64_t before = 0;  // the moves of the earlier edits in front of the group
    std::size_t index = 0;
    while (index < pieces.size()) {
        const std::size_t groupStart = pieces[index].start;
        std::size_t groupEnd = pieces[index].end;
        std::int64_t inside = 0;
        std::size_t last = index;
        while (last < pieces.size() && pieces[last].start <= groupEnd) {
            groupEnd = std::max(groupEnd, pieces[last].end);
            inside += pieces[last].delta;
            ++last;
        }
        Edit edit;
        edit.start = static_cast<std::size_t>(static_cast<std::int64_t>(groupStart) - before);
        edit.end = static_cast<std::size_t>(static_cast<std::int64_t>(groupEnd) - before - inside);
        std::size_t position = groupStart;
        for (std::size_t piece = index; piece < last; ++piece) {
            if (!pieces[piece].occurrence) {
                continue;
            }
            edit.inserted.append(current.substr(position, pieces[piece].start - position));
            edit.inserted.append(insertedEach != nullptr
                                     ? std::string_view((*insertedEach)[pieces[piece].number])
                                     : inserted);
            position = pieces[piece].end;
        }
        edit.inserted.append(current.substr(position, groupEnd - position));
        composed.push_back(std::move(edit));
        before += inside;
        index = last;
    }
    edits = std::move(composed);
}

void DescribeChanges(std::string_view original, const std::vector<Edit>& edits,
                     TextEncoding encoding, FilePreview& preview) {
    std::int64_t lineNumber = 1;
    std::size_t counted = 0;  // newlines are counted up to here
    std::size_t index = 0;
    while (index < edits.size()) {
        const std::size_t begin = LineStart(original, edits[index].start);
        std::size_t end =
            LineEnd(original, std::max(edits[index].start, edits[index].end == edits[index].start
                                                               ? edits[index].start
                                                               : edits[index].end - 1));
        std::size_t lastIndex = index;
        while (lastIndex + 1 < edits.size() && edits[lastIndex + 1].start < end) {
            ++lastIndex;
            const Edit& edit = edits[lastIndex];
            end = std::max(end,
                           LineEnd(original, edit.end == edit.start ? edit.start : edit.end - 1));
        }
        if (preview.lines.size() < kPreviewLinesPerFile) {
            lineNumber += std::count(original.begin() + static_cast<std::ptrdiff_t>(counted),
                                     original.begin() + static_cast<std::ptrdiff_t>(begin), '\n');
            counted = begin;
            PreviewLine line =
                RenderLine(original, begin, end, &edits[index], &edits[lastIndex], encoding);
            line.number = lineNumber;
            preview.lines.push_back(std::move(line));
        } else {
            ++preview.moreLines;
        }
        index = lastIndex + 1;
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
