#include "search/Suchroutinen.h"

#include "common/files/DirectoryHandle.h"
#include "common/files/Listing.h"
#include "common/files/TreeWalk.h"
#include "common/files/WalkDriver.h"
#include "common/files/WholeFile.h"
#include "common/text/Cp1252.h"
#include "common/text/PathText.h"
#include "common/text/Pattern.h"
#include "search/Problems.h"
#include "search/Scan.h"
#include "search/Sinks.h"

namespace trawlex {
namespace {

// The running totals of one search.
struct SearchTotals {
    std::int64_t nextRow = 1;
    std::int64_t filesExamined = 0;
    std::int64_t byteTotal = 0;
    std::vector<std::string> unreadable;  // skipped files and directories, reported at the end
    IdentitySet seen;  // a file reached again through a link or another name is listed once
    std::vector<std::string> stopped;  // files a pattern backtracked in without end
    bool skipBinary = false;           // binary files count as not there
};

// Counts one file, in walk order, and tells the sinks its row and the progress.
Flow TakeScanned(const ScannedFile& scanned, SearchTotals& totals, Sink<FoundRow>& report,
                 ViewSink& view) {
    if (scanned.stopped) {
        return Flow::Stop;  // stopped while it was read: one of the files not searched
    }
    if (!scanned.readable) {
        totals.unreadable.push_back(scanned.path);
    } else if (!(totals.skipBinary && scanned.binary) && totals.seen.Insert(scanned.stamp.status)) {
        const FileMatch& match = scanned.matches.front();
        if (match.limitReached) {
            totals.stopped.push_back(scanned.path);
        }
        if (match.IsHit()) {
            const FoundRow row{totals.nextRow, scanned, 0};
            if (TellAll<FoundRow>({&report, &view}, row) == Flow::Stop) {
                return Flow::Stop;
            }
            ++totals.nextRow;
        }
        totals.byteTotal += scanned.stamp.length;
        ++totals.filesExamined;
    }
    return TellAll<RunProgress>({&view},
                                {totals.filesExamined, totals.byteTotal, totals.nextRow - 1});
}

ReportSummary OwnSummary(const SearchJob& job) {
    return {job.term,  job.location, job.mask, job.mode, job.scope == Scope::Tree,
            job.regex, job.filters};
}

}  // namespace

Result<TermMatcher> MatcherFor(const QString& term, CompareMode mode, bool regex, bool wholeWord) {
    const WordRule words = wholeWord ? WordRule::WholeWord : WordRule::Anywhere;
    if (!regex) {
        return TermMatcher(term, mode, words);
    }
    auto pattern = Pattern::Compile(term, mode);
    if (!pattern) {
        return pattern.error();
    }
    return TermMatcher(std::move(pattern.value()), words);
}

QString PatternStoppedHeading(const QString& pattern) {
    return QStringLiteral(
               "In diesen Dateien brach der regul\u00E4re Ausdruck \u201E%1\u201C ab, "
               "weil er zu viele Wege ausprobieren m\u00FCsste; ihre Fundstellen "
               "sind nicht vollst\u00E4ndig gez\u00E4hlt:")
        .arg(pattern);
}

QString UnreadableReason() {
    return QStringLiteral("konnte nicht gelesen werden und wurde \u00FCbersprungen");
}

QString PatternStoppedReason() {
    return QStringLiteral(
        "der regul\u00E4re Ausdruck brach ab, weil er zu viele Wege "
        "ausprobieren m\u00FCsste; die Fundstellen sind nicht "
        "vollst\u00E4ndig gez\u00E4hlt");
}

CommandOutcome SearchLocation(RunView& view, const SearchJob& job) {
    // A pattern that does not compile is refused before the report is touched.
    auto compiled = MatcherFor(job.term, job.mode, job.regex, job.filters.wholeWord);
    if (!compiled) {
        view.ShowMessage(compiled.message(), MessageIcon::Warning);
        return CommandOutcome::Invalid;
    }
    const TermMatcher* const terms[] = {&compiled.value()};
    const std::string native = NativePath(job.location);
    auto top = GetFolder(native);
    if (!top) {
        view.ShowMessage(top.message(), MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    auto report = WriteReportHeader(job.summary.value_or(OwnSummary(job)), job.target);
    if (!report) {
        view.ShowMessage(report.message(), MessageIcon::Warning);
        return CommandOutcome::Failed;
    }
    view.ResultsBegin({.location = job.location,
                       .terms = {job.term},
                       .mode = job.mode,
                       .regex = job.regex,
                       .kind = ResultsKind::Search,
                       .wholeWord = job.filters.wholeWord});
    const FileMask mask(job.mask);
    SearchTotals totals;
    totals.skipBinary = job.filters.skipBinary;
    LeaveOutOwnReport(totals.seen, job.target);
    ReportRows rows(report.value(), job.scope);
    ViewSink watcher(view);
    WalkGuard guard;
    guard.Enter(top.value());
    const WalkFilter filter(job.filters);
    TreeWalk walk = TreeWalk::Over(job.scope == Scope::Flat ? WithTrailingSeparator(native)
                                                            : top->path + SeparatorFor(top.value()),
                                   top.value(), job.scope, mask, guard, &filter);
    const Flow flow = ScanAlong(walk, terms, job.workers, view.WorkerStopCheck(),
                                [&totals, &rows, &watcher](ScannedFile scanned) {
                                    return TakeScanned(scanned, totals, rows, watcher);
                                },
                                {.lines = view.WantsLines(), .binary = job.filters.skipBinary});
    totals.unreadable.insert(totals.unreadable.end(), walk.Unreadable().begin(),
                             walk.Unreadable().end());
    // A stopped or failed search still ends its report, so that it stays valid HTML.
    auto footer = report->Append(
        ReportFooterText(totals.nextRow - 1, totals.filesExamined, totals.byteTotal));
    const std::optional<Error>& failure = rows.Failure();
    if (!failure && footer) {
        footer = report->Finish();
    }
    ShowProblems(QStringLiteral("Diese Dateien oder Verzeichnisse konnten nicht gelesen werden "
                                "und wurden \u00FCbersprungen:"),
                 totals.unreadable, view, UnreadableReason());
    ShowProblems(PatternStoppedHeading(job.term), totals.stopped, view, PatternStoppedReason());
    if (failure || !footer) {
        view.ShowMessage(failure ? failure->message : footer.message(), MessageIcon::Warning);
        return CommandOutcome::Failed;
    }
    if (flow == Flow::Stop) {
        // Without a report, the results printed so far are those of the files searched.
        view.ShowMessage((job.target.isEmpty()
                              ? QStringLiteral("Die Suche wurde nach %1 durchsuchten Dateien "
                                               "angehalten, die \u00FCbrigen wurden nicht "
                                               "durchsucht.")
                              : QStringLiteral("Die Suche wurde angehalten: der Bericht nennt die "
                                               "Fundstellen in den %1 bis dahin durchsuchten "
                                               "Dateien, die \u00FCbrigen wurden nicht "
                                               "durchsucht."))
                             .arg(totals.filesExamined),
                         MessageIcon::None);
        return CommandOutcome::Stopped;
    }
    return totals.unreadable.empty() && totals.stopped.empty() ? CommandOutcome::Completed
                                                               : CommandOutcome::Incomplete;
}

}  // namespace trawlex
