#include "Suchroutinen.h"

#include "app/Form1.h"
#include "common/Cp1252.h"
#include "common/Listing.h"
#include "common/PathText.h"
#include "common/Standard.h"

namespace trawlex {
namespace {

constexpr std::size_t kListedUnreadable = 20;

enum class SearchScope { Flat, Tree };

void ReportUnreadable(const SearchTotals& totals, Ui& ui) {
    if (totals.unreadable.empty()) {
        return;
    }
    QString text = QStringLiteral(
        "Diese Dateien oder Verzeichnisse konnten nicht gelesen werden "
        "und wurden \u00FCbersprungen:");
    for (std::size_t index = 0; index < totals.unreadable.size() && index < kListedUnreadable;
         ++index) {
        text += QLatin1Char('\n') + PathText(totals.unreadable[index]);
    }
    if (totals.unreadable.size() > kListedUnreadable) {
        text += QStringLiteral("\n\u2026 und %1 weitere")
                    .arg(totals.unreadable.size() - kListedUnreadable);
    }
    ui.ShowMessage(text, MessageIcon::Warning);
}

Result<Flow> SearchTopAndBelow(const DirectoryHandle& top, SearchRun& run) {
    WalkGuard guard;
    guard.Enter(top);
    auto searched = SearchFilesOf(top.path + SeparatorFor(top), RowStyle::TreeTop, run);
    if (!searched || searched.value() == Flow::Stop) {
        return searched;
    }
    return SearchDirRecursive(top, run, guard);
}

// Checks the inputs, writes the header, walks, and always closes the report with the footer of
// what was examined, so that even a stopped or failed search leaves valid HTML.
CommandOutcome RunSearch(const Form1& form, Ui& ui, const QString& location, const QString& term,
                         const QString& target, const QString& mask, CompareMode mode,
                         SearchScope scope) {
    const std::string native = NativePath(location);
    auto top = GetFolder(native);
    if (!top) {
        ui.ShowMessage(top.message(), MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    auto termBytes = EncodeCp1252(term);
    if (!termBytes) {
        ui.ShowMessage(
            QStringLiteral("Der Suchbegriff kann nicht gesucht werden. ") + termBytes.message(),
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
    const auto searched = scope == SearchScope::Flat
                              ? SearchFilesOf(WithTrailingSeparator(native), RowStyle::Flat, run)
                              : SearchTopAndBelow(top.value(), run);
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

CommandOutcome SearchDirFlat(const Form1& form, Ui& ui, const QString& path, const QString& term,
                             const QString& target, const QString& mask, CompareMode mode) {
    return RunSearch(form, ui, path, term, target, mask, mode, SearchScope::Flat);
}

CommandOutcome SearchTree(const Form1& form, Ui& ui, CompareMode mode) {
    return RunSearch(form, ui, form.TexSuchort.text, form.TexSuchbegriff.text, form.TexZieldatei,
                     form.ComDateifilter.text, mode, SearchScope::Tree);
}

}  // namespace trawlex
