#include "profiles/SearchProfile.h"

#include "common/Regional.h"
#include "common/Standard.h"
#include "common/files/DirectoryHandle.h"
#include "common/files/Listing.h"
#include "common/files/PathAccess.h"
#include "common/files/ReplacingFile.h"
#include "common/files/TreeWalk.h"
#include "common/files/WalkDriver.h"
#include "common/files/WholeFile.h"
#include "common/text/Cp1252.h"
#include "common/text/PathText.h"
#include "common/text/ProfileFields.h"
#include "search/Problems.h"
#include "search/Report.h"
#include "search/Scan.h"
#include "search/Sinks.h"
#include "search/Suchroutinen.h"

namespace trawlex {
namespace {

std::string Line(std::string text) {
    text += "\r\n";
    return text;
}

// The report's rows, kept until the walk ends: the profile report is written whole.
class ProfileRows final : public Sink<FoundRow> {
public:
    explicit ProfileRows(const std::vector<QString>& terms) : terms_(terms) {}

    Flow Take(const FoundRow& row) override {
        const FileMatch& match = row.Match();
        hits.push_back({row.file.path, terms_[row.term], match.firstPosition, match.count});
        return Flow::Continue;
    }

    std::vector<ProfileHit> hits;

private:
    const std::vector<QString>& terms_;
};

struct ProfileTotals {
    RunProgress progress;
    std::vector<std::string> unreadable;
    std::vector<std::string> stopped;  // files a pattern backtracked in without end
    IdentitySet seen;                  // a file reached again through a link is searched once
    bool skipBinary = false;           // binary files count as not there
};

// Every hit of one file becomes a row, in the order of the terms.
Flow TakeScanned(const ScannedFile& scanned, ProfileTotals& totals, ProfileRows& rows,
                 ViewSink& view) {
    if (scanned.stopped) {
        return Flow::Stop;  // the file counts among those not searched
    }
    if (!scanned.readable) {
        totals.unreadable.push_back(scanned.path);
    } else if (!(totals.skipBinary && scanned.binary) && totals.seen.Insert(scanned.stamp.status)) {
        ++totals.progress.files;
        totals.progress.bytes += scanned.stamp.length;
        for (std::size_t term = 0; term < scanned.matches.size(); ++term) {
            const FileMatch& match = scanned.matches[term];
            if (match.limitReached) {
                totals.stopped.push_back(scanned.path);
            }
            if (match.IsHit()) {
                const FoundRow row{static_cast<std::int64_t>(rows.hits.size()) + 1, scanned, term};
                TellAll<FoundRow>({&rows, &view}, row);
            }
        }
        totals.progress.hits += scanned.AnyHit() ? 1 : 0;
    }
    return TellAll<RunProgress>({&view}, totals.progress);
}

}  // namespace

std::vector<QString> ReadSearchTerms(std::string_view profileBytes) {
    std::vector<QString> terms;
    for (QString& text : ReadProfileTexts(profileBytes)) {
        if (!text.isEmpty()) {
            terms.push_back(std::move(text));
        }
    }
    return terms;
}

std::string SearchProfileReportText(const ProfileSummary& summary,
                                    const std::vector<ProfileHit>& hits, std::time_t now) {
    const std::string row = "<TR BGCOLOR=" + Quote("#d0d0d0") + ">";
    const std::string colspan = "<TD colspan=" + Quote("2");
    std::string out;
    WriteHtmlHead(out);
    out += Line("<h1>Suchergebnis</h1>");
    out += Line("<table>");
    out += Line(row + "<td><b>Suchprofil:</b></td><td colspan=" + Quote("2") +
                "><a href=" + Quote(LinkTarget(NativePath(summary.profilePath))) + ">" +
                EscapeValue(summary.profileName) + "</a></td></tr>");
    if (summary.pattern) {
        out += PatternRowText();
    }
    out += Line(row + "<TD><B>Suchpfad:</B></TD>" + colspan + ">" + EscapeValue(summary.location) +
                "</TD></TR>");
    out += Line(row + "<TD><B>Stand:</B></TD><TD>" + EscapeValue(FormatShortDate(now)) +
                "</TD><TD>" + EscapeValue(FormatLongTime(now)) + "</TD></TR>");
    out += Line(row + "<TD><B>Gross- und Kleinschreibung:</B></td>" + colspan +
                (summary.matchCase ? ">Beachten</td></tr>" : ">Ignorieren</td></tr>"));
    out += Line(row + "<TD><B>Dateifilter:</B></td>" + colspan + ">" + EscapeValue(summary.mask) +
                "</td></tr>");
    out += Line(row + "<TD><B>Unterverzeichnisse:</B></TD>" + colspan + ">" +
                (summary.subdirectories ? "Ja" : "Nein") + "</TD></TR>");
    out += FilterRowsText(summary.filters);
    out += Line("</table><p>");
    out += Line("<table>");
    out += Line("<tr BGCOLOR=" + Quote("#a0a0a0") +
                "><td>Dateiname</td><td>Suchbegriff</td><td>1. Fundstelle</td><td>" +
                Cp1252FromUtf8("Häufigkeit") + "</td></tr>");
    for (const ProfileHit& hit : hits) {
        out += Line(row + "<td><a href=" + Quote(LinkTarget(hit.path)) + ">" +
                    EscapeValue(PathText(hit.path)) + "</a></td><td>" + EscapeValue(hit.term) +
                    "</td><td align=right>" + std::to_string(hit.firstPosition) +
                    "</td><td align=right>" + std::to_string(hit.count) + "</td></tr>");
    }
    out += Line("</table>");
    out += Line("</body></html>");
    return out;
}

CommandOutcome SearchWithProfile(RunView& view, const ProfileJob& job) {
    const std::string directory = NativePath(job.location);
    auto folder = GetFolder(directory);
    if (!folder) {
        view.ShowMessage(folder.message(), MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    std::vector<TermMatcher> matchers;
    matchers.reserve(job.terms.size());
    for (const QString& term : job.terms) {
        auto matcher = MatcherFor(term, job.mode, job.regex, job.filters.wholeWord);
        if (!matcher) {
            view.ShowMessage(matcher.message(), MessageIcon::Warning);
            return CommandOutcome::Invalid;
        }
        matchers.push_back(std::move(matcher.value()));
    }
    std::vector<const TermMatcher*> terms;
    for (const TermMatcher& matcher : matchers) {
        terms.push_back(&matcher);
    }
    ProfileTotals totals;
    totals.skipBinary = job.filters.skipBinary;
    LeaveOutOwnReport(totals.seen, job.target);
    view.ResultsBegin({.location = job.location,
                       .terms = QStringList(job.terms.begin(), job.terms.end()),
                       .mode = job.mode,
                       .regex = job.regex,
                       .kind = ResultsKind::Profile,
                       .wholeWord = job.filters.wholeWord});
    ProfileRows rows(job.terms);
    ViewSink watcher(view);
    // The files of the mask in the file-type field, the same mask the report names; with the
    // subdirectories, each directory is entered once, as in the recursive search.
    const FileMask mask(job.mask);
    WalkGuard guard;
    guard.Enter(folder.value());
    const WalkFilter filter(job.filters);
    TreeWalk walk = TreeWalk::Over(directory, folder.value(), job.scope, mask, guard, &filter);
    const Flow flow = ScanAlong(walk, terms, job.workers, view.WorkerStopCheck(),
                                [&totals, &rows, &watcher](ScannedFile scanned) {
                                    return TakeScanned(scanned, totals, rows, watcher);
                                },
                                {.lines = view.WantsLines(), .binary = job.filters.skipBinary});
    totals.unreadable.insert(totals.unreadable.end(), walk.Unreadable().begin(),
                             walk.Unreadable().end());
    const std::string report = SearchProfileReportText(job.summary, rows.hits, std::time(nullptr));
    if (auto written = job.target.isEmpty() ? Status(Success())
                                            : WriteFileReplacing(NativePath(job.target), report);
        !written) {
        view.ShowMessage(written.message(), MessageIcon::Warning);
        return CommandOutcome::Failed;
    }
    ShowProblems(QStringLiteral("Diese Dateien konnten nicht gelesen werden und wurden "
                                "\u00FCbersprungen:"),
                 totals.unreadable, view, UnreadableReason());
    ShowProblems(QStringLiteral("In diesen Dateien brach ein regul\u00E4rer Ausdruck des Profils "
                                "ab, weil er zu viele Wege ausprobieren m\u00FCsste; ihre "
                                "Fundstellen sind nicht vollst\u00E4ndig gez\u00E4hlt:"),
                 totals.stopped, view, PatternStoppedReason());
    if (flow == Flow::Stop) {
        return CommandOutcome::Stopped;
    }
    return totals.unreadable.empty() && totals.stopped.empty() ? CommandOutcome::Completed
                                                               : CommandOutcome::Incomplete;
}

}  // namespace trawlex
