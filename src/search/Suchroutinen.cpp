#include "Suchroutinen.h"

#include "app/Form1.h"
#include "common/Cp1252.h"
#include "common/Listing.h"
#include "common/PathText.h"
#include "common/Standard.h"

#include <sys/stat.h>

namespace trawlex {
namespace {

constexpr std::size_t kListedUnreadable = 20;

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.empty() ? "." : path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void ReportUnreadable(const SearchTotals& totals, Ui& ui) {
    if (totals.unreadable.empty()) {
        return;
    }
    QString text = QStringLiteral("Diese Dateien konnten nicht gelesen werden und wurden "
                                  "\u00FCbersprungen:");
    for (std::size_t index = 0; index < totals.unreadable.size() && index < kListedUnreadable;
         ++index) {
        text += QLatin1Char('\n') + PathText(totals.unreadable[index]);
    }
    if (totals.unreadable.size() > kListedUnreadable) {
        text += QStringLiteral("\n\u2026 und %1 weitere").arg(totals.unreadable.size() - kListedUnreadable);
    }
    ui.ShowMessage(text, MessageIcon::Warning);
}

}  // namespace

Result<Flow> SearchFilesOf(const std::string& directory, RowStyle style, SearchRun& run) {
    auto names = ListDirectory(directory, run.mask, ListKind::NormalFiles);
    if (!names) {
        return names.error();
    }
    for (const std::string& name : names.value()) {
        const std::string path = directory + name;
        auto file = LoadFile(path);
        const Flow flow = run.ui.YieldToEventLoop();
        if (!file) {
            run.totals.unreadable.push_back(path);
        } else {
            const FileMatch match = MatchContents(file->bytes, run.term);
            if (match.IsHit()) {
                const ResultRow row{run.totals.nextRow, path, match, file->modified, file->length};
                if (auto written = run.report.Append(ResultRowText(row, style)); !written) {
                    return written.error();
                }
                ++run.totals.nextRow;
            }
            run.totals.byteTotal += file->length;
            ++run.totals.filesExamined;
        }
        if (flow == Flow::Stop) {
            return Flow::Stop;
        }
    }
    return Flow::Continue;
}

CommandOutcome SearchDirFlat(const Form1& form, Ui& ui, const QString& path, const QString& term,
                             const QString& target, const QString& mask, CompareMode mode) {
    const std::string directory = WithTrailingSeparator(NativePath(path));
    if (!IsDirectory(directory)) {
        ui.ShowMessage(
            QStringLiteral("Der Suchort \u201E%1\u201C existiert nicht oder ist kein Verzeichnis.")
                .arg(path),
            MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    auto termBytes = EncodeCp1252(term);
    if (!termBytes) {
        ui.ShowMessage(QStringLiteral("Der Suchbegriff kann nicht gesucht werden. ") +
                           termBytes.message(),
                       MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    auto report = WriteReportHeader(form, mode, target);
    if (!report) {
        ui.ShowMessage(report.message(), MessageIcon::Warning);
        return CommandOutcome::Failed;
    }
    const Finder finder(termBytes.value(), mode);
    const FileMask fileMask(mask);
    SearchTotals totals;
    SearchRun run{finder, fileMask, report.value(), ui, totals};
    const auto searched = SearchFilesOf(directory, RowStyle::Flat, run);
    // A stopped or failed search still closes its report, so it stays valid HTML.
    const auto footer = report->Append(
        ReportFooterText(totals.nextRow - 1, totals.filesExamined, totals.byteTotal));
    ReportUnreadable(totals, ui);
    if (!searched) {
        ui.ShowMessage(searched.message(), MessageIcon::Warning);
        return CommandOutcome::Failed;
    }
    if (!footer) {
        ui.ShowMessage(footer.message(), MessageIcon::Warning);
        return CommandOutcome::Failed;
    }
    return searched.value() == Flow::Stop ? CommandOutcome::Stopped : CommandOutcome::Completed;
}

}  // namespace trawlex
