#pragma once

#include "common/Result.h"
#include "common/files/DirectoryHandle.h"
#include "common/files/FileFilters.h"
#include "common/files/PathAccess.h"
#include "common/files/ReplacingFile.h"
#include "common/text/CaseFold.h"
#include "search/Matching.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace trawlex {

// A report saved inside the location would be searched like any other file and list itself as
// a hit. The file at the report's path, as it is before the run, is added to the files a run has
// seen, so that no search lists it and no replacement rewrites it.
void LeaveOutOwnReport(IdentitySet& seen, const QString& target);

// The three spellings of a result row: the flat search, the top directory of a tree search,
// and the directories below it. A browser shows them alike.
enum class RowStyle {
    Flat,
    TreeTop,
    TreeBelow,
};

struct ResultRow {
    std::int64_t number = 0;
    std::string_view path;  // file name bytes as the search joined them
    FileMatch match;
    std::time_t modified = 0;
    std::int64_t length = 0;
};

// Report values in Windows-1252 with "&", "<", ">" and '"' as entities, and characters the code
// page cannot hold as numeric references, so no value can put markup into the report.
std::string EscapeValue(QStringView text);
// The same for a path's bytes, shown as PathText shows them.
std::string EscapePathBytes(std::string_view pathBytes);

// A title keeps its own entities (it is HTML already); only its angle brackets are neutralized
// so that a hostile file cannot put markup or script into the report.
std::string EscapeTitle(std::string_view titleBytes);

// A title for the report, from a file of either encoding.
std::string TitleText(std::string_view titleBytes, TextEncoding encoding);

// A title as the window shows it: decoded, its common entities resolved and its white space
// run together.
QString ShownTitle(std::string_view titleBytes, TextEncoding encoding);

// "file://" and the absolute path as a link's target.
std::string FileLink(std::string_view pathBytes);

// A path as a link's target: control characters, "%", "#", "?" and the bytes of a name that is
// not UTF-8 percent-encoded, the rest escaped for a quoted attribute.
std::string LinkTarget(std::string_view pathBytes);

// Lines 1 to 5: the document head shared by every report.
void WriteHtmlHead(std::string& out);

// What the head of a report tells about its search: the window's fields as they stood when
// the search began.
struct ReportSummary {
    QString term;
    QString location;  // as typed
    QString mask;
    CompareMode mode = CompareMode::Exact;
    bool subdirectories = false;
    bool pattern = false;   // a search for a regular expression says so in a row below the term
    FileFilters filters{};  // one row for each filter in force, after the subdirectories
};

// The head, the summary and the column heads.
// One summary row for each filter in force; none without filters, so such a report is the one it
// always was. Shared by every page that names its settings.
std::string FilterRowsText(const FileFilters& filters);

std::string ReportHeaderText(const ReportSummary& summary, std::time_t now);

// That row, shared by every page that names a term.
std::string PatternRowText();

// The date cell of the rows, formatted once for the files of one moment: the files of a tree
// often share it (a checkout, an unpacked archive), and formatting it cost more than the rest
// of a row.
class MomentCell {
public:
    const std::string& Of(std::time_t moment);

private:
    std::optional<std::time_t> moment_;
    std::string cell_;
};

std::string ResultRowText(const ResultRow& row, RowStyle style);
std::string ResultRowText(const ResultRow& row, RowStyle style, MomentCell& moments);

std::string ReportFooterText(std::int64_t rows, std::int64_t filesExamined, std::int64_t bytes);

// The report on disk. It is written under a temporary name and put in place by Finish, so that
// a run that cannot write it whole (a full disk) leaves the report that was there before, and
// never a truncated one. A device or pipe the person named is written as it comes. An empty
// path writes nothing: a run whose results go to a script, on the command line, wants no report.
class ReportFile {
public:
    static Result<ReportFile> Create(const QString& path);

    ReportFile(ReportFile&& other) noexcept = default;
    ReportFile& operator=(ReportFile&&) = delete;
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;
    ~ReportFile() = default;

    Status Append(std::string_view bytes);
    Status Finish();

private:
    ReportFile(std::optional<ReplacingFile> replacing, FileDescriptor direct, QString path)
        : replacing_(std::move(replacing)), direct_(std::move(direct)), path_(std::move(path)) {}

    std::optional<ReplacingFile> replacing_;
    FileDescriptor direct_;
    QString path_;
};

// Creates the report file anew and writes its header.
Result<ReportFile> WriteReportHeader(const ReportSummary& summary, const QString& target);

}  // namespace trawlex
