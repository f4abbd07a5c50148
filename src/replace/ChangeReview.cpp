#include "ChangeReview.h"

#include "ChangeList.h"
#include "common/files/ChunkReader.h"
#include "common/files/WholeFile.h"
#include "common/text/PathText.h"
#include "common/text/TextEncoding.h"
#include "common/text/Utf16.h"
#include "search/Report.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

namespace trawlex {
namespace {

constexpr std::size_t kBlock = std::size_t{64} << 10;
// Unchanged bytes shown on each side of a change; a minified page is one long line.
constexpr std::size_t kContext = 80;
// What is read of a big file to tell its encoding.
constexpr std::size_t kEncodingSample = std::size_t{1} << 20;

Error ListError(const QString& list, int code) {
    return Error{QStringLiteral("Die \u00C4nderungsliste \u201E%1\u201C kann nicht gelesen "
                                "werden.")
                     .arg(list),
                 code};
}

std::size_t ReadSome(int descriptor, std::uint64_t offset, std::size_t length, std::string& out) {
    // What cannot be read is shown as missing rather than refused: the list says what it holds.
    static_cast<void>(ReadAt(descriptor, offset, length, out));
    return out.size();
}

// Hands `count` lines of the list from `at` on to `take`, without their line ends.
Status ReadLines(const QString& list, std::int64_t at, std::int64_t count,
                 const std::function<Status(std::string_view)>& take) {
    auto opened = OpenRegularFile(NativePath(list));
    if (!opened) {
        return ListError(list, opened.error().code);
    }
    std::string block;
    std::string carried;
    auto offset = static_cast<std::uint64_t>(at);
    while (count > 0) {
        if (ReadSome(opened->file.get(), offset, kBlock, block) == 0) {
            return ListError(list, EIO);  // the list ended before its rows did
        }
        offset += block.size();
        carried += block;
        std::size_t start = 0;
        for (std::size_t end = carried.find('\n'); end != std::string::npos && count > 0;
             end = carried.find('\n', start)) {
            if (auto taken = take(std::string_view(carried).substr(start, end - start)); !taken) {
                return taken;
            }
            start = end + 1;
            --count;
        }
        carried.erase(0, start);
    }
    return Success();
}

// Where bytes end that hold whole characters only: a UTF-8 sequence cut off at their end is left
// out, so that a line cut short is still text.
std::size_t WholeCharactersEnd(std::string_view bytes, TextEncoding encoding) {
    if (encoding != TextEncoding::Utf8) {
        return bytes.size();
    }
    std::size_t start = bytes.size();
    while (start > 0 && bytes.size() - start < 4 &&
           (static_cast<unsigned char>(bytes[start - 1]) & 0xC0) == 0x80) {
        --start;
    }
    if (start == 0) {
        return bytes.size();
    }
    const auto lead = static_cast<unsigned char>(bytes[start - 1]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return bytes.size() - (start - 1) < length ? start - 1 : bytes.size();
}

TextEncoding EncodingOf(int descriptor, const struct stat& status) {
    std::string sample;
    const std::size_t length =
        ReadsWhole(status) ? static_cast<std::size_t>(status.st_size) : kEncodingSample;
    ReadSome(descriptor, 0, length, sample);
    if (!ReadsWhole(status)) {
        // A sequence the sample cuts off at its end says nothing against UTF-8.
        sample.resize(WholeCharactersEnd(sample, TextEncoding::Utf8));
    }
    return DetectEncoding(sample).encoding;
}

// The line around a change of a UTF-16 file, read in whole code units: the offsets of the list
// are the file's, 2 bytes for each unit behind the 2 of the mark.
void ShowUtf16Context(int descriptor, ByteOrder order, const ListedChange& change,
                      ShownChange& made) {
    constexpr std::uint64_t kMark = 2;
    const std::uint64_t from = change.offset > kMark + kContext ? change.offset - kContext
                                                                : std::min(change.offset, kMark);
    const auto leading = static_cast<std::size_t>(change.offset - from);
    std::string window;
    ReadSome(descriptor, from, leading + change.length + kContext, window);
    const std::string_view bytes(window);
    const std::size_t changeEnd =
        std::min(bytes.size(), leading + static_cast<std::size_t>(change.length));
    QString lead = DecodeUtf16(bytes.substr(0, std::min(leading, bytes.size())), order);
    lead.remove(0, lead.lastIndexOf(u'\n') + 1);
    if (!lead.isEmpty() && lead.front().isLowSurrogate()) {
        lead.remove(0, 1);  // the other half of a pair cut off in front
    }
    QString tail = DecodeUtf16(bytes.substr(changeEnd), order);
    qsizetype lineEnd = 0;
    while (lineEnd < tail.size() && tail[lineEnd] != u'\r' && tail[lineEnd] != u'\n') {
        ++lineEnd;
    }
    if (lineEnd < tail.size()) {
        tail.truncate(lineEnd);
    } else if (!tail.isEmpty() && tail.back().isHighSurrogate()) {
        tail.chop(1);
    }
    made.lead = ControlsVisible(lead);
    made.tail = ControlsVisible(tail);
}

}  // namespace

Result<std::vector<ShownChange>> ReadShownChanges(const QString& list, std::int64_t at,
                                                  std::int64_t count, const std::string& path) {
    std::vector<ListedChange> listed;
    auto read = ReadLines(list, at, count, [&](std::string_view line) -> Status {
        auto change = ParseChangeLine(line);
        if (!change) {
            return change.error();
        }
        listed.push_back(std::move(change.value()));
        return Success();
    });
    if (!read) {
        return read.error();
    }
    auto opened = OpenRegularFile(path);
    if (!opened) {
        return opened.error();
    }
    const TextEncoding encoding = EncodingOf(opened->file.get(), opened->status);
    std::string head;
    ReadSome(opened->file.get(), 0, 2, head);
    const std::optional<ByteOrder> utf16 = Utf16Order(head);
    std::vector<ShownChange> shown;
    shown.reserve(listed.size());
    std::string window;
    for (ListedChange& change : listed) {
        ShownChange& made = shown.emplace_back();
        made.number = change.number;
        made.line = change.line;
        made.before = ControlsVisible(std::move(change.before));
        made.after = ControlsVisible(std::move(change.after));
        if (utf16) {
            ShowUtf16Context(opened->file.get(), *utf16, change, made);
            continue;
        }
        // The line around the change as the file holds it now, within a few dozen bytes.
        const std::uint64_t from = change.offset > kContext ? change.offset - kContext : 0;
        const std::size_t leading = static_cast<std::size_t>(change.offset - from);
        ReadSome(opened->file.get(), from, leading + change.length + kContext, window);
        const std::string_view bytes(window);
        const std::size_t changeStart = std::min(leading, bytes.size());
        const std::size_t changeEnd =
            std::min(bytes.size(), leading + static_cast<std::size_t>(change.length));
        const std::size_t newline = bytes.substr(0, changeStart).rfind('\n');
        std::size_t leadStart = newline == std::string_view::npos ? 0 : newline + 1;
        while (newline == std::string_view::npos && from > 0 && leadStart < changeStart &&
               encoding == TextEncoding::Utf8 &&
               (static_cast<unsigned char>(bytes[leadStart]) & 0xC0) == 0x80) {
            ++leadStart;
        }
        std::size_t tailEnd = bytes.find_first_of("\r\n", changeEnd);
        if (tailEnd == std::string_view::npos) {
            tailEnd = std::max(changeEnd, WholeCharactersEnd(bytes, encoding));
        }
        made.lead =
            ControlsVisible(DecodeAs(bytes.substr(leadStart, changeStart - leadStart), encoding));
        made.tail =
            ControlsVisible(DecodeAs(bytes.substr(changeEnd, tailEnd - changeEnd), encoding));
    }
    return shown;
}

Status WriteChosenChanges(const QString& list, const std::vector<ChosenChanges>& chosen,
                          const QString& out) {
    auto written = ReportFile::Create(out);
    if (!written) {
        return written.error();
    }
    std::string line;
    for (const ChosenChanges& file : chosen) {
        std::size_t index = 0;
        auto read = ReadLines(list, file.at, file.count, [&](std::string_view text) -> Status {
            const bool ticked = file.ticks.empty() || file.ticks[index];
            ++index;
            if (!ticked) {
                return Success();
            }
            line.assign(text);
            line += '\n';
            return written->Append(line);
        });
        if (!read) {
            return read;
        }
    }
    return written->Finish();
}

}  // namespace trawlex
