// A pattern's matches and replacement in a file read piece by piece are those of the file read
// whole, above all for patterns that match empty text, which must neither be taken twice where
// one piece ends and the next begins nor fall between the CR and the LF of a line end; and the
// shortcuts a pattern's literal allows find what trying every place finds.
#include "FuzzInput.h"

#include "common/text/Pattern.h"
#include "common/text/Replacement.h"
#include "common/text/StreamReplace.h"
#include "common/text/Utf16.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Found {
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    std::string out;
    trawlex::ReplaceOutcome outcome = trawlex::ReplaceOutcome::Unchanged;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    trawlex::fuzz::Input input(data, size);
    const bool fold = input.Flag();
    const std::string piece = input.Piece();
    const std::string replacement = input.Piece();
    const std::size_t pieceSize = 1 + input.Piece().size() * 4;
    const std::string_view file = input.Rest();
    // A UTF-16 file is read in pieces as its UTF-8, which the whole rule is given here.
    const std::optional<trawlex::ByteOrder> utf16 = trawlex::Utf16Order(file);
    const std::string decoded = utf16 ? trawlex::DecodeUtf16ToUtf8(file, *utf16) : std::string();
    const std::string_view bytes = utf16 ? std::string_view(decoded) : file;
    auto compiled = trawlex::Pattern::Compile(
        QString::fromUtf8(piece.data(), static_cast<qsizetype>(piece.size())),
        fold ? trawlex::CompareMode::IgnoreCase : trawlex::CompareMode::Exact);
    if (!compiled.ok()) {
        return 0;
    }
    const QString replacementText =
        QString::fromUtf8(replacement.data(), static_cast<qsizetype>(replacement.size()));
    auto parsed = trawlex::ReplacementTemplate::Parse(replacementText, *compiled.value());
    if (!parsed.ok()) {
        return 0;
    }
    const trawlex::TermMatcher term(compiled.value());
    const trawlex::EncodedReplacement encoded(
        replacementText, std::make_shared<const trawlex::ReplacementTemplate>(parsed.value()));
    const trawlex::DetectedEncoding detected = trawlex::DetectEncoding(bytes);
    if (detected.encoding == trawlex::TextEncoding::Utf8 &&
        !trawlex::IsValidUtf8(bytes.substr(detected.bodyStart))) {
        // A byte-order mark before broken sequences: PCRE2's tolerant mode finds empty matches
        // there by where its subject begins, so pieces may differ from the whole.
        return 0;
    }

    Found whole;
    if (term.ForEachOccurrence(bytes, detected, [&whole](const trawlex::Occurrence& occurrence) {
            whole.spans.emplace_back(occurrence.span.start, occurrence.span.end);
            return true;
        }) == trawlex::PatternScan::Limit) {
        return 0;  // a pattern stopped by its limit may stop at another place in pieces
    }
    whole.outcome = trawlex::ReplaceAllInto(bytes, term, encoded, whole.out);

    // In a group the pattern has no literal the search could skip ahead to: PCRE2 tries every
    // place, and must find what the shortcuts found.
    auto plain = trawlex::Pattern::Compile(
        u"(?:"_qs + QString::fromUtf8(piece.data(), static_cast<qsizetype>(piece.size())) + u")"_qs,
        fold ? trawlex::CompareMode::IgnoreCase : trawlex::CompareMode::Exact);
    if (plain.ok()) {
        Found everywhere;
        if (trawlex::TermMatcher(plain.value())
                    .ForEachOccurrence(bytes, detected,
                                       [&everywhere](const trawlex::Occurrence& occurrence) {
                                           everywhere.spans.emplace_back(occurrence.span.start,
                                                                         occurrence.span.end);
                                           return true;
                                       }) == trawlex::PatternScan::Done &&
            everywhere.spans != whole.spans) {
            std::abort();
        }
    }

    const int descriptor = memfd_create("fuzz", MFD_CLOEXEC);
    if (descriptor < 0 ||
        write(descriptor, file.data(), file.size()) != static_cast<ssize_t>(file.size())) {
        std::abort();
    }
    Found pieces;
    auto streamed = trawlex::ReplaceStreamedTo(
        descriptor, "fuzz", file.size(), term, encoded, detected,
        {.append =
             [&pieces](std::string_view written) {
                 pieces.out.append(written);
                 return trawlex::Success();
             },
         .occurred = [&pieces](const trawlex::Span& span,
                               std::uint64_t) { pieces.spans.emplace_back(span.start, span.end); }},
        pieceSize);
    close(descriptor);
    if (!streamed.ok() || streamed.value().outcome == trawlex::ReplaceOutcome::LimitReached) {
        return 0;
    }
    pieces.outcome = streamed.value().outcome;
    if (utf16) {
        whole.out = trawlex::EncodeUtf8AsUtf16(whole.out, *utf16);
    }
    if (pieces.outcome != whole.outcome) {
        std::abort();
    }
    // A file the replacement cannot be written into is left after the first such occurrence.
    if (whole.outcome != trawlex::ReplaceOutcome::Unencodable &&
        (pieces.spans != whole.spans ||
         (whole.outcome == trawlex::ReplaceOutcome::Replaced && pieces.out != whole.out))) {
        std::abort();
    }
    return 0;
}
