// The matching rule (first position and non-overlapping count, exact and ignoring case) against
// a plain reference that tries every position.
#include "FuzzInput.h"

#include "common/text/CaseFold.h"
#include "search/Matching.h"

#include <cstdlib>

namespace {

std::size_t ReferenceFind(std::string_view text, std::string_view term, bool fold,
                          std::size_t from) {
    for (std::size_t start = from; !term.empty() && start + term.size() <= text.size(); ++start) {
        std::size_t index = 0;
        while (index < term.size()) {
            const auto a = static_cast<unsigned char>(text[start + index]);
            const auto b = static_cast<unsigned char>(term[index]);
            if (fold ? trawlex::FoldCp1252(a) != trawlex::FoldCp1252(b) : a != b) {
                break;
            }
            ++index;
        }
        if (index == term.size()) {
            return start;
        }
    }
    return std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    trawlex::fuzz::Input input(data, size);
    const bool fold = input.Flag();
    const std::string term = input.Piece();
    const std::string_view text = input.Rest();
    const trawlex::Finder finder(
        term, fold ? trawlex::CompareMode::IgnoreCase : trawlex::CompareMode::Exact);
    std::size_t from = 0;
    std::int64_t count = 0;
    std::size_t first = std::string_view::npos;
    for (std::size_t found = finder.Find(text, 0); found != trawlex::Finder::npos;
         found = finder.Find(text, from)) {
        const std::size_t expected = ReferenceFind(text, term, fold, from);
        if (found != expected) {
            std::abort();
        }
        first = count == 0 ? found : first;
        ++count;
        from = found + term.size();
    }
    if (ReferenceFind(text, term, fold, from) != std::string_view::npos) {
        std::abort();  // an occurrence the finder missed
    }
    // The whole rule on a Windows-1252 file gives the same first position and count.
    const trawlex::DetectedEncoding detected = trawlex::DetectEncoding(text);
    if (detected.encoding == trawlex::TextEncoding::Cp1252) {
        const trawlex::TermMatcher matcher(
            trawlex::DecodeCp1252(term),
            fold ? trawlex::CompareMode::IgnoreCase : trawlex::CompareMode::Exact);
        const trawlex::FileMatch match = trawlex::MatchContents(text, matcher);
        const auto expectedFirst =
            first == std::string_view::npos ? 0 : static_cast<std::int64_t>(first) + 1;
        if (match.firstPosition != expectedFirst ||
            match.count != (expectedFirst == 0 ? 0 : count)) {
            std::abort();
        }
    }
    return 0;
}
