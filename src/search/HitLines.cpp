#include "HitLines.h"

#include "common/files/ChunkReader.h"
#include "common/files/WholeFile.h"
#include "common/text/Cp1252.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace trawlex {
namespace {

// A line of a minified page can be megabytes long; the window shows this much of it around the
// first occurrence.
constexpr std::size_t kShownLineBytes = 2000;
constexpr std::size_t kShownBeforeFirst = 200;

bool IsContinuation(std::string_view contents, std::size_t at, TextEncoding encoding) {
    return encoding == TextEncoding::Utf8 && at < contents.size() &&
           (static_cast<unsigned char>(contents[at]) & 0xC0) == 0x80;
}

QString Decoded(std::string_view bytes, TextEncoding encoding) {
    return ControlsVisible(DecodeAs(bytes, encoding));
}

// Collects the occurrences of one line and turns them into a shown line once the next line or
// the end is reached.
class LineCollector {
public:
    LineCollector(TextEncoding encoding, std::size_t maxLines, LineForm form, FileHitLines& out)
        : encoding_(encoding), maxLines_(maxLines), form_(form), out_(out) {}

    // The bytes the next occurrences lie in; `start` is their first byte's offset in the file
    // and no later than the start of the line the collector stands in.
    void See(std::string_view window, std::uint64_t start) {
        scanned_ -= start - base_;
        lineStart_ -= start - base_;
        lineEnd_ -= std::min<std::size_t>(lineEnd_, start - base_);
        contents_ = window;
        base_ = start;
    }

    // Ends the lines before `offset` (a line start in the window): the next window begins there.
    void CountLinesUpTo(std::uint64_t offset) {
        Flush();
        const std::size_t upTo = offset - base_;
        const char* data = contents_.data();
        while (const void* feed = std::memchr(data + scanned_, '\n', upTo - scanned_)) {
            scanned_ = static_cast<std::size_t>(static_cast<const char*>(feed) - data) + 1;
            ++lineNumber_;
            lineStart_ = scanned_;
        }
        scanned_ = upTo;
        lineStart_ = upTo;
    }

    // An occurrence, in offsets of the window.
    void Add(Span occurrence) {
        if (occurrence.end <= occurrence.start) {
            return;
        }
        if (!spans_.empty() && occurrence.start <= lineEnd_) {
            spans_.push_back(occurrence);
            return;
        }
        Flush();
        // Counts the line feeds between the previous line and this occurrence.
        const char* data = contents_.data();
        while (const void* feed = std::memchr(data + scanned_, '\n', occurrence.start - scanned_)) {
            scanned_ = static_cast<std::size_t>(static_cast<const char*>(feed) - data) + 1;
            ++lineNumber_;
            lineStart_ = scanned_;
        }
        scanned_ = occurrence.start;
        const void* feed =
            std::memchr(data + occurrence.start, '\n', contents_.size() - occurrence.start);
        lineEnd_ = feed == nullptr
                       ? contents_.size()
                       : static_cast<std::size_t>(static_cast<const char*>(feed) - data);
        spans_.push_back(occurrence);
    }

    void Flush() {
        if (spans_.empty()) {
            return;
        }
        if (out_.lines.size() < maxLines_) {
            out_.lines.push_back(form_ == LineForm::Plain ? Plain() : Render());
        } else {
            ++out_.moreLines;
        }
        spans_.clear();
    }

private:
    // Where the line's text begins: a file's byte-order mark is no character of it, as positions
    // leave it out.
    std::size_t TextStart() const {
        const bool marked = base_ == 0 && lineStart_ == 0 && encoding_ == TextEncoding::Utf8 &&
                            contents_.substr(0, 3) == "\xEF\xBB\xBF";
        return marked ? std::min<std::size_t>(3, spans_.front().start) : lineStart_;
    }

    // The characters before the line's first occurrence, plus one.
    std::int64_t Column() const {
        const std::size_t start = TextStart();
        const std::string_view before = contents_.substr(start, spans_.front().start - start);
        std::int64_t characters = 1;
        for (std::size_t at = 0; at < before.size(); ++at) {
            characters += IsContinuation(before, at, encoding_) ? 0 : 1;
        }
        return characters;
    }

    HitLine Plain() const {
        std::size_t end = lineEnd_;
        if (end > lineStart_ && contents_[end - 1] == '\r') {
            --end;
        }
        const std::size_t start = TextStart();
        HitLine line;
        line.number = lineNumber_;
        line.column = Column();
        line.text = DecodeAs(contents_.substr(start, end - start), encoding_);
        return line;
    }

    HitLine Render() const {
        std::size_t end = lineEnd_;
        const bool feedMarked = end < contents_.size() && spans_.back().end > end;
        if (feedMarked) {
            ++end;  // the line feed itself was searched for
        } else if (end > lineStart_ && contents_[end - 1] == '\r' && spans_.back().end < end) {
            --end;
        }
        std::size_t begin = lineStart_;
        bool cut = false;
        if (end - begin > kShownLineBytes) {
            const std::size_t first = spans_.front().start;
            begin = first - begin > kShownBeforeFirst ? first - kShownBeforeFirst : begin;
            while (IsContinuation(contents_, begin, encoding_)) {
                ++begin;
            }
            std::size_t stop = begin + kShownLineBytes;
            while (IsContinuation(contents_, stop, encoding_)) {
                --stop;
            }
            cut = stop < end;
            end = std::min(end, stop);
        }
        HitLine line;
        line.number = lineNumber_;
        line.column = Column();
        if (begin > lineStart_) {
            line.text = QStringLiteral("\u2026");
        }
        std::size_t at = begin;
        for (const Span& span : spans_) {
            const std::size_t start = std::max(span.start, begin);
            const std::size_t stop = std::min(span.end, end);
            if (start >= stop) {
                continue;
            }
            line.text += Decoded(contents_.substr(at, start - at), encoding_);
            const QString marked = Decoded(contents_.substr(start, stop - start), encoding_);
            line.marks.push_back({line.text.size(), marked.size()});
            line.text += marked;
            at = stop;
        }
        if (at < end) {
            line.text += Decoded(contents_.substr(at, end - at), encoding_);
        }
        if (cut) {
            line.text += QStringLiteral("\u2026");
        }
        return line;
    }

    std::string_view contents_;
    std::uint64_t base_ = 0;
    TextEncoding encoding_;
    std::size_t maxLines_;
    LineForm form_;
    FileHitLines& out_;
    std::vector<Span> spans_;
    std::int64_t lineNumber_ = 1;
    std::size_t lineStart_ = 0;
    std::size_t lineEnd_ = 0;
    std::size_t scanned_ = 0;
};

// Every occurrence in the window that starts before `acceptBefore`, in window offsets.
void CollectOccurrences(std::string_view window, const DetectedEncoding& detected,
                        const TermMatcher& term, std::size_t acceptBefore, LineCollector& lines) {
    term.ForEachOccurrence(window, detected, [&](const Occurrence& occurrence) {
        if (occurrence.span.start >= acceptBefore) {
            return false;
        }
        lines.Add(occurrence.span);
        return true;
    });
}

// A big file is read twice in pieces: once until its encoding is decided, then for the lines.
// A UTF-16 file is read as its UTF-8, as the search reads it.
// Each piece is searched up to the start of a line that no occurrence before it can reach into;
// the next piece begins with that line.
}  // namespace

Result<FileHitLines> StreamHitLines(const OpenedFile& opened, const std::string& path,
                                    const TermMatcher& term, std::size_t maxLines, LineForm form) {
    const auto size = static_cast<std::uint64_t>(opened.status.st_size);
    EncodingDetector detector;
    {
        ChunkReader reader(opened.file.get(), path, ChunkReader::kPieceSize, size,
                           ChunkReader::ReadAs::Text);
        do {
            if (auto read = reader.Advance(reader.End()); !read) {
                return read.error();
            }
            detector.Feed(reader.Fresh());
        } while (!detector.Decided() && !reader.AtEnd());
    }
    DetectedEncoding detected = detector.Finish();
    // A pattern may reach further than a literal; its matches across this margin are cut.
    const std::size_t reach =
        term.LongestOccurrence(detected.encoding).value_or(std::size_t{64} << 10);
    FileHitLines result;
    LineCollector lines(detected.encoding, maxLines, form, result);
    ChunkReader reader(opened.file.get(), path, ChunkReader::kPieceSize, size,
                       ChunkReader::ReadAs::Text);
    std::uint64_t keepFrom = 0;
    do {
        if (auto read = reader.Advance(keepFrom); !read) {
            return read.error();
        }
        const std::string_view window = reader.Window();
        lines.See(window, reader.Start());
        std::size_t acceptBefore = window.size();
        if (!reader.AtEnd()) {
            // The start of the line that holds the last byte an occurrence could begin at.
            const std::size_t last = window.size() > reach ? window.size() - reach : 0;
            const std::size_t feed = window.rfind('\n', last == 0 ? 0 : last - 1);
            acceptBefore = feed == std::string_view::npos || last == 0 ? 0 : feed + 1;
        }
        CollectOccurrences(window, detected, term, acceptBefore, lines);
        detected.bodyStart = 0;
        keepFrom = reader.Start() + acceptBefore;
        lines.CountLinesUpTo(keepFrom);
    } while (!reader.AtEnd());
    lines.Flush();
    return result;
}

FileHitLines HitLinesOf(std::string_view contents, const TermMatcher& term, std::size_t maxLines,
                        LineForm form) {
    FileHitLines result;
    if (term.IsEmpty()) {
        return result;
    }
    const DetectedEncoding detected = DetectEncoding(contents);
    LineCollector lines(detected.encoding, maxLines, form, result);
    lines.See(contents, 0);
    CollectOccurrences(contents, detected, term, contents.size(), lines);
    lines.Flush();
    return result;
}

Result<FileHitLines> ReadHitLines(const std::string& path, const TermMatcher& term,
                                  std::size_t maxLines, LineForm form) {
    if (term.IsEmpty()) {
        return FileHitLines{};
    }
    auto opened = OpenRegularFile(path);
    if (!opened) {
        return opened.error();
    }
    if (ReadsWhole(opened->status)) {
        FileBuffer buffer;
        if (auto read = ReadOpenedInto(opened.value(), path, buffer); !read) {
            return read.error();
        }
        return HitLinesOf(buffer.Text(), term, maxLines, form);
    }
    return StreamHitLines(opened.value(), path, term, maxLines, form);
}

}  // namespace trawlex
