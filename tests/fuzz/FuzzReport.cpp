// The report writer's escaping: whatever a file's title, the term, the location or a file name
// hold, the report's only tags are its own and a hit is exactly one row.
#include "FuzzInput.h"
#include "ReportTags.h"

#include "search/Report.h"

#include <QString>

#include <cstdlib>

namespace {

// Counts rows and rejects any tag that is not the report's own.
std::size_t Rows(std::string_view html) {
    const trawlex::test::ReportTags tags = trawlex::test::TagsOf(html);
    if (!tags.foreign.empty()) {
        std::abort();
    }
    return tags.rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    trawlex::fuzz::Input input(data, size);
    const bool utf8 = input.Flag();
    const std::string name = input.Piece();
    const std::string term = input.Piece();
    const std::string title(input.Rest());

    trawlex::ReportSummary summary;
    summary.term = QString::fromUtf8(term.data(), static_cast<qsizetype>(term.size()));
    summary.location = trawlex::DecodeCp1252(name);
    summary.mask = summary.term;
    const std::string header = trawlex::ReportHeaderText(summary, 0);

    trawlex::FileMatch match;
    match.firstPosition = 1;
    match.count = 1;
    match.title = title;
    match.encoding = utf8 ? trawlex::TextEncoding::Utf8 : trawlex::TextEncoding::Cp1252;
    const std::string path = "/ort/" + name;
    const trawlex::ResultRow row{1, path, match, 0, 1};
    const std::string rowText = trawlex::ResultRowText(row, trawlex::RowStyle::Flat);
    if (Rows(header) != 7 || Rows(rowText) != 1 || Rows(trawlex::ReportFooterText(1, 1, 1)) != 0) {
        std::abort();
    }
    return 0;
}
