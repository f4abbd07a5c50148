#include "Suchroutinen.h"

#include "app/Form1.h"
#include "common/Cp1252.h"
#include "common/Listing.h"
#include "common/PathText.h"
#include "common/Standard.h"
#include "search/Problems.h"

namespace trawlex {
namespace {

Result<Flow> SearchTopAndBelow(const DirectoryHandle& top, SearchRun& run) {
    WalkGuard guard;
    guard.Enter(top);
    auto searched = SearchFilesOf(top.path + SeparatorFor(top), RowStyle::TreeTop, run);
    if (!searched || searched.value() == Flow::Stop) {
        return searched;
    }
    return SearchDirRecursive(top, run, guard);
}

}  // namespace

Result<Flow> SearchFilesOf(const std::string& directory, RowStyle style, SearchRun& run) {
    auto names = ListDirectory(directory, run.mask, ListKind::NormalFiles);
    if (!names) {
        run.totals.unreadable.push_back(directory);
        return Flow::Continue;
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

Result<Flow> SearchDirRecursive(const DirectoryHandle& parent, SearchRun& run, WalkGuard& guard) {
    auto subFolders = SubFolders(parent);
    if (!subFolders) {
        run.totals.unreadable.push_back(parent.path);
        return Flow::Continue;
    }
    for (const DirectoryHandle& folder : subFolders.value()) {
        if (!guard.Enter(folder)) {
            continue;
        }
        auto searched = SearchFilesOf(folder.path + SeparatorFor(folder), RowStyle::TreeBelow, run);
        if (!searched || searched.value() == Flow::Stop) {
            return searched;
        }
        searched = SearchDirRecursive(folder, run, guard);
        if (!searched || searched.value() == Flow::Stop) {
            return searched;
        }
    }
    return Flow::Continue;
}

CommandOutcome SearchLocation(const Form1& form, Ui& ui, const SearchJob& job) {
    const std::string native = NativePath(job.location);
    auto top = GetFolder(native);
    if (!top) {
        ui.ShowMessage(top.message(), MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    auto report = WriteReportHeader(form, job.mode, job.target);
    if (!report) {
        ui.ShowMessage(report.message(), MessageIcon::Warning);
        return CommandOutcome::Failed;
    }
    const TermMatcher matcher(job.term, job.mode);
    const FileMask fileMask(job.mask);
    SearchTotals totals;
    SearchRun run{matcher, fileMask, report.value(), ui, totals};
    const auto searched = job.scope == Scope::Flat
                              ? SearchFilesOf(WithTrailingSeparator(native), RowStyle::Flat, run)
                              : SearchTopAndBelow(top.value(), run);
    // A stopped or failed search still ends its report, so that it stays valid HTML.
    const auto footer = report->Append(
        ReportFooterText(totals.nextRow - 1, totals.filesExamined, totals.byteTotal));
    ShowProblems(QStringLiteral("Diese Dateien oder Verzeichnisse konnten nicht gelesen werden "
                                "und wurden \u00FCbersprungen:"),
                 totals.unreadable, ui);
    if (!searched || !footer) {
        ui.ShowMessage(!searched ? searched.message() : footer.message(), MessageIcon::Warning);
        return CommandOutcome::Failed;
    }
    if (searched.value() == Flow::Stop) {
        return CommandOutcome::Stopped;
    }
    return totals.unreadable.empty() ? CommandOutcome::Completed : CommandOutcome::Incomplete;
}

CommandOutcome SearchDirFlat(const Form1& form, Ui& ui, const QString& path, const QString& term,
                             const QString& target, const QString& mask, CompareMode mode) {
    return SearchLocation(form, ui, {path, term, target, mask, mode, Scope::Flat});
}

CommandOutcome SearchTree(const Form1& form, Ui& ui, CompareMode mode) {
    return SearchLocation(form, ui,
                          {form.TexSuchort.text, form.TexSuchbegriff.text, form.TexZieldatei,
                           form.ComDateifilter.text, mode, Scope::Tree});
}

}  // namespace trawlex
