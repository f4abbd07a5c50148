// The report writer's escaping: whatever a file's title, the term, the location or a file name
// hold, the report's only tags are its own and a hit is exactly one row.
#include "FuzzInput.h"

#include "search/Report.h"

#include <QString>

#include <cstdlib>
#include <set>

namespace {

// The tag names the report itself writes.
bool IsOwnTag(std::string_view name) {
    static const std::set<std::string_view> own = {
        "HTML", "/HTML", "HEAD",   "/HEAD", "meta", "BODY", "/BODY", "H1",
        "/h1",  "TABLE", "/TABLE", "P",     "/P",   "TR",   "/TR",   "/tr",
        "TD",   "/TD",   "td",     "/td",   "B",    "/B",   "a",     "/A"};
    return own.count(name) != 0;
}

// Counts rows and rejects any tag that is not the report's own.
std::size_t Rows(std::string_view html) {
    std::size_t rows = 0;
    for (std::size_t open = html.find('<'); open != std::string_view::npos;
         open = html.find('<', open + 1)) {
        const std::size_t end = html.find_first_of(" >", open + 1);
        if (end == std::string_view::npos) {
            std::abort();
        }
        const std::string_view name = html.substr(open + 1, end - open - 1);
        if (!IsOwnTag(name)) {
            std::abort();
        }
        rows += name == "TR" ? 1 : 0;
    }
    return rows;
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
