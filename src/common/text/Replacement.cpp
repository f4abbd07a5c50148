#include "common/text/Replacement.h"

#include <algorithm>

namespace trawlex {

bool ReplaceAllInto(std::string_view text, const Finder& term, std::string_view replacement,
                    std::string& out) {
    std::size_t found = term.Find(text);
    if (found == Finder::npos) {
        return false;
    }
    out.reserve(out.size() + text.size());
    std::size_t copied = 0;
    while (found != Finder::npos) {
        out.append(text.substr(copied, found - copied));
        out.append(replacement);
        copied = found + term.TermLength();
        found = term.Find(text, copied);
    }
    out.append(text.substr(copied));
    return true;
}

namespace {

std::size_t OutputLimitOf(const ReplaceDetails* details) {
    return details != nullptr ? details->outputLimit : std::numeric_limits<std::size_t>::max();
}

// Gives `out` back as it was before a result that passed the output limit, and the memory that
// result took: the file is written piece by piece next, which needs none of it.
void DropTooLong(std::string& out, std::size_t kept) {
    out.resize(kept);
    out.shrink_to_fit();
}

}  // namespace

ReplaceOutcome ReplaceAllInto(std::string_view text, const TermMatcher& term,
                              const EncodedReplacement& replacement, std::string& out,
                              ReplaceDetails* details) {
    if (!term.MayOccur(text)) {
        return ReplaceOutcome::Unchanged;
    }
    const DetectedEncoding detected = DetectEncoding(text);
    const std::optional<std::string_view> uniform = replacement.Uniform(detected.encoding);
    const std::size_t kept = out.size();
    const std::size_t limit = OutputLimitOf(details);
    // Checked while a template is put together, so that one that repeats a long group many
    // times stops at the limit rather than when memory runs out.
    bool tooLong = false;
    const OutputDrain drain{limit > out.max_size() - kept ? out.max_size() : kept + limit,
                            [&tooLong](std::string&) {
                                tooLong = true;
                                return false;
                            }};
    std::size_t copied = 0;
    std::int64_t count = 0;
    bool encodable = true;
    const PatternScan scan =
        term.ForEachOccurrence(text, detected, [&](const Occurrence& occurrence) {
            const Span& whole = occurrence.span;
            if (count == 0 && !replacement.Encodable(detected.encoding)) {
                encodable = false;
                return false;
            }
            if (out.size() - kept + (whole.start - copied) > limit) {
                tooLong = true;
                return false;
            }
            if (count == 0) {
                out.reserve(out.size() + std::min(text.size(), limit));
            }
            out.append(text.substr(copied, whole.start - copied));
            const std::size_t before = out.size();
            if (!replacement.AppendTo(out, text, 0, occurrence, detected.encoding, &drain)) {
                encodable = tooLong;
                return false;
            }
            if (out.size() - kept > limit) {
                tooLong = true;
                return false;
            }
            if (details != nullptr && details->occurrences != nullptr) {
                details->occurrences->push_back(whole);
            }
            if (!uniform && details != nullptr && details->insertions != nullptr) {
                details->insertions->push_back(out.substr(before));
            }
            ++count;
            copied = whole.end;
            return true;
        });
    if (!tooLong && scan != PatternScan::Limit && encodable && count > 0 &&
        out.size() - kept + (text.size() - copied) > limit) {
        tooLong = true;
    }
    if (tooLong || scan == PatternScan::Limit || !encodable || count == 0) {
        if (tooLong) {
            DropTooLong(out, kept);
        } else {
            out.resize(kept);
        }
        if (details != nullptr && details->occurrences != nullptr) {
            details->occurrences->clear();
        }
        if (details != nullptr && details->insertions != nullptr) {
            details->insertions->clear();
        }
        return tooLong                      ? ReplaceOutcome::TooLong
               : scan == PatternScan::Limit ? ReplaceOutcome::LimitReached
               : !encodable                 ? ReplaceOutcome::Unencodable
                                            : ReplaceOutcome::Unchanged;
    }
    out.append(text.substr(copied));
    if (details != nullptr) {
        details->count = count;
        details->inserted = uniform.value_or(std::string_view());
        details->eachOwn = !uniform.has_value();
        details->encoding = detected.encoding;
    }
    return ReplaceOutcome::Replaced;
}

}  // namespace trawlex
