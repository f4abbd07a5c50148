#include "common/text/TermMatcher.h"

#include "common/files/ChunkReader.h"
#include "common/text/Cp1252.h"

#include <algorithm>

namespace trawlex {

TermMatcher::TermMatcher(std::shared_ptr<const Pattern> pattern) : pattern_(std::move(pattern)) {
    if (const std::optional<QString>& plain = pattern_->PlainText()) {
        literal_ = LiteralTerm(*plain, pattern_->Mode());
    }
}

bool TermMatcher::MayOccur(std::string_view bytes) const {
    if (ByPattern()) {
        return pattern_->MayMatch(bytes);
    }
    return literal_.MayOccur(bytes, false);
}

PieceScan TermMatcher::ScanPiece(std::string_view window, std::uint64_t start, bool final,
                                 const DetectedEncoding& detected, PatternCursor& cursor,
                                 const std::function<bool(const Occurrence&)>& each) const {
    if (!ByPattern()) {
        return ScanLiteralPiece(window, start, final, detected.encoding, cursor, each);
    }
    return pattern_->ScanPiece(window, start, final, detected, cursor,
                               [&each](const PatternMatch& match) {
                                   return each(Occurrence{match.Whole(), &match});
                               });
}

PieceScan TermMatcher::ScanLiteralPiece(std::string_view window, std::uint64_t start, bool final,
                                        TextEncoding encoding, PatternCursor& cursor,
                                        const std::function<bool(const Occurrence&)>& each) const {
    // A term alike in both encodings is searched once for both until a partner of its letters
    // shows up; from the cursor it leaves, a search per encoding may go on, so its margin is
    // the wider one.
    const std::size_t longest = literal_.IsEncodingIndependent()
                                    ? literal_.LongestOccurrence(TextEncoding::Utf8)
                                    : literal_.LongestOccurrence(encoding);
    if (longest == 0) {
        cursor.resume = start + window.size();
        return {PatternScan::Done, cursor.resume};
    }
    // An occurrence that starts before `safe` lies in the window whole, so the first one found
    // there is the first of the file.
    const std::size_t safe = WholeBefore(window.size(), longest, final);
    auto at = static_cast<std::size_t>(cursor.resume - start);
    while (true) {
        const std::optional<Span> found = literal_.Find(window, at, encoding);
        if (!found || (!final && found->start >= safe)) {
            break;
        }
        at = found->end;
        if (!each(Occurrence{{start + found->start, start + found->end}, nullptr})) {
            cursor.resume = start + at;
            return {PatternScan::Done, cursor.resume};
        }
    }
    cursor.resume = start + std::max(at, safe);
    return {PatternScan::Done, cursor.resume};
}

std::optional<std::size_t> TermMatcher::LongestOccurrence(TextEncoding encoding) const {
    if (ByPattern()) {
        return std::nullopt;
    }
    return literal_.LongestOccurrence(encoding);
}

EncodedReplacement::EncodedReplacement(QStringView text) : utf8_(text.toUtf8().toStdString()) {
    if (auto bytes = EncodeCp1252(text)) {
        cp1252_ = std::move(bytes.value());
    }
}

std::optional<std::string_view> EncodedReplacement::Uniform(TextEncoding encoding) const {
    if (template_ != nullptr) {
        return std::nullopt;
    }
    if (encoding == TextEncoding::Utf8) {
        return utf8_;
    }
    if (cp1252_) {
        return std::string_view(*cp1252_);
    }
    return std::nullopt;
}

bool EncodedReplacement::AppendTo(std::string& out, std::string_view bytes, std::uint64_t start,
                                  const Occurrence& occurrence, TextEncoding encoding,
                                  const OutputDrain* drain) const {
    if (template_ == nullptr) {
        const std::optional<std::string_view> text = Uniform(encoding);
        if (!text) {
            return false;
        }
        out.append(*text);
        return true;
    }
    if (occurrence.match != nullptr) {
        return template_->AppendTo(out, bytes, start, *occurrence.match, encoding, drain);
    }
    // A literal term's occurrence is a match without groups.
    const PatternMatch whole{{occurrence.span}};
    return template_->AppendTo(out, bytes, start, whole, encoding, drain);
}

}  // namespace trawlex
