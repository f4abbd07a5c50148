#include "Ersatzroutinen.h"

#include "Journal.h"
#include "Rewrite.h"
#include "StreamedPreview.h"
#include "common/files/ContentHash.h"
#include "common/files/Listing.h"
#include "common/files/PathAccess.h"
#include "common/files/ReplacingFile.h"
#include "common/files/RunLock.h"
#include "common/files/TreeWalk.h"
#include "common/files/WholeFile.h"
#include "common/text/Cp1252.h"
#include "common/text/PathText.h"
#include "common/text/Pattern.h"
#include "common/text/Replacement.h"
#include "common/text/StreamReplace.h"
#include "search/Problems.h"
#include "search/Sinks.h"
#include "search/StreamMatching.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <new>

namespace trawlex {
namespace {

// Writes a file's changes to the change list, in walk order, and notes where they start.
void ListChanged(FileOutcome& outcome, ReplaceRun& run) {
    if (!outcome.changed || outcome.stopped || !outcome.changes || run.changeList == nullptr ||
        run.listFailed) {
        return;
    }
    auto written = run.changeList->Write(*outcome.changes);
    if (!written) {
        run.listFailed = written.message();
        return;
    }
    outcome.changesAt = written.value();
}

// Counts a file's outcome and hands its preview to the page; Stop once the page or the change
// list cannot be written.
Flow TakeOutcome(FileOutcome outcome, ReplaceRun& run) {
    if (outcome.stopped) {
        return Flow::Stop;  // the file stays as it was, like those not reached
    }
    ++run.filesExamined;
    run.bytesExamined += outcome.bytes;
    for (QString& problem : outcome.problems) {
        run.problems.push_back(std::move(problem));
    }
    if (outcome.changed) {
        ++run.filesChanged;
        run.replacements += outcome.replacements;
        if (outcome.preview && run.previewPage != nullptr && !run.failed &&
            run.previewPage->Take(*outcome.preview) == Flow::Stop) {
            run.failed = true;
        }
    }
    return run.failed || run.listFailed ? Flow::Stop : Flow::Continue;
}

// The watcher's table lists each file that changed, or would, as it is taken.
void ShowChanged(const FileOutcome& outcome, const ReplaceRun& run) {
    if (outcome.changed && !outcome.stopped) {
        FoundFile found;
        found.number = run.filesChanged + 1;
        found.path = outcome.path;
        found.count = outcome.replacements;
        found.length = outcome.bytes;
        found.changesAt = outcome.changesAt;
        run.view.ShowFound(std::move(found));
    }
}

// The preview's sections of the files that would change, written as they come.
class PreviewPage final : public Sink<FilePreview> {
public:
    PreviewPage(ReportFile& page, const std::int64_t& number) : page_(page), number_(number) {}

    Flow Take(const FilePreview& file) override {
        return page_.Append(PreviewFileText(number_, file)) ? Flow::Continue : Flow::Stop;
    }

private:
    ReportFile& page_;
    const std::int64_t& number_;  // the file's number among those that would change
};

// Works on the walk's files on the run's workers and takes their outcomes in walk order. Few
// files are ahead, so that a stop leaves little done beyond the file the person saw last.
Flow ReplaceAlong(TreeWalk& walk, ReplaceRun& run) {
    const ReplaceRun& shared = run;
    PathResolver resolver(run.bounds);
    ViewSink watcher(run.view);
    const Flow flow = DriveWalk<ReplaceTask, FileOutcome, ReplaceBuffers>(
        walk, {.prepare = [&resolver, &run](
                              WalkedFile& file,
                              ReplaceTask& task) { return resolver.Prepare(file.path, task, run); },
               .work =
                   [&shared](const ReplaceTask& task, ReplaceBuffers& buffers) {
                       FileOutcome outcome = ReplaceInFile(task, shared, buffers);
                       if (outcome.changed) {
                           outcome.path = task.path;
                       }
                       return outcome;
                   },
               .take =
                   [&run, &watcher](FileOutcome outcome) {
                       ListChanged(outcome, run);
                       ShowChanged(outcome, run);
                       const Flow page = TakeOutcome(std::move(outcome), run);
                       const Flow watched = TellAll<RunProgress>(
                           {&watcher}, {run.filesExamined, run.bytesExamined, run.filesChanged});
                       return page == Flow::Stop ? Flow::Stop : watched;
                   },
               // Files rewritten while the stop was asked for are counted and named like the
               // others.
               .settle =
                   [&run](FileOutcome outcome) {
                       ListChanged(outcome, run);
                       ShowChanged(outcome, run);
                       TakeOutcome(std::move(outcome), run);
                   },
               .ahead = 2 * (run.workers + 1),
               .workers = run.workers});
    for (const std::string& directory : walk.Unreadable()) {
        run.problems.push_back(
            QStringLiteral("Das Verzeichnis \u201E%1\u201C kann nicht gelesen werden.")
                .arg(PathText(directory)));
    }
    return flow;
}

// The window shows, in a changed file, the lines that hold what was put in; in a file a preview
// names, the lines that hold what would be taken out. A pattern's template or a profile's many
// pairs name no one text to look for.
ResultsHeading HeadingOf(const ReplaceJob& job, std::size_t steps) {
    const bool preview = job.action == ReplaceAction::Preview;
    ResultsHeading heading;
    heading.location = job.location;
    // What was put in stands as it was typed.
    heading.mode = preview ? job.mode : CompareMode::Exact;
    heading.regex = preview && job.regex;
    heading.kind = preview ? ResultsKind::Preview : ResultsKind::Replacement;
    heading.journal = !preview && job.journal;
    heading.wholeWord = job.filters.wholeWord;
    if (steps == 1 && job.pairs.empty()) {
        if (preview) {
            heading.terms = QStringList{job.term};
        } else if (!job.regex && !job.replacement.isEmpty()) {
            heading.terms = QStringList{job.replacement};
        }
    }
    return heading;
}

CommandOutcome OutcomeOf(Flow flow, const ReplaceRun& run) {
    if (run.failed || run.listFailed) {
        return CommandOutcome::Failed;
    }
    if (flow == Flow::Stop) {
        return CommandOutcome::Stopped;
    }
    if (run.action == ReplaceAction::Preview) {
        return run.filesChanged == 0 ? CommandOutcome::NothingToDo : CommandOutcome::Completed;
    }
    return run.problems.empty() ? CommandOutcome::Completed : CommandOutcome::Incomplete;
}

// What a stopped run did and did not do; every file it took was finished whole.
QString StoppedText(const ReplaceRun& run) {
    if (run.action == ReplaceAction::Preview) {
        return QStringLiteral(
                   "Die Vorschau wurde angehalten: sie zeigt die %1 bis dahin "
                   "durchgesehenen Dateien, die \u00FCbrigen nicht.")
            .arg(run.filesExamined);
    }
    return QStringLiteral(
               "Die Ersetzung wurde angehalten: von %1 durchgesehenen Dateien wurden "
               "%2 ge\u00E4ndert (%3 Ersetzungen); die \u00FCbrigen Dateien wurden "
               "nicht bearbeitet.%4")
        .arg(run.filesExamined)
        .arg(run.filesChanged)
        .arg(run.replacements)
        .arg(run.journal != nullptr && run.filesChanged > 0
                 ? QStringLiteral(" R\u00FCckg\u00E4ngig nimmt die \u00C4nderungen zur\u00FCck.")
                 : QString());
}

PreviewSummary SummaryOf(const ReplaceJob& job) {
    PreviewSummary summary;
    summary.profile = !job.profileName.isEmpty();
    summary.term = summary.profile ? job.profileName : job.term;
    summary.replacement = job.replacement;
    summary.location = job.location;
    summary.mask = job.mask;
    summary.mode = job.mode;
    summary.subdirectories = job.scope == Scope::Tree;
    summary.pattern = job.regex;
    summary.filters = job.filters;
    return summary;
}

}  // namespace

LocationBounds::LocationBounds(const std::string& location) : resolved_(RealPath(location)) {}

bool LocationBounds::Contains(std::string_view resolvedPath) const {
    if (resolved_ == "/") {
        return true;
    }
    return resolvedPath.size() > resolved_.size() &&
           resolvedPath.substr(0, resolved_.size()) == resolved_ &&
           resolvedPath[resolved_.size()] == kSeparator;
}

QString UnchangedFilesHeading() {
    return QStringLiteral(
        "Diese Dateien konnten nicht bearbeitet werden und blieben "
        "unver\u00E4ndert:");
}

CommandOutcome ReplaceLocation(RunView& view, const ReplaceJob& job) {
    const std::string native = NativePath(job.location);
    auto top = GetFolder(native);
    if (!top) {
        view.ShowMessage(top.message(), MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    std::vector<ReplaceStep> steps;
    std::vector<ReplacePair> pairs = job.pairs;
    if (pairs.empty() && !job.term.isEmpty()) {
        pairs.push_back({job.term, job.replacement});
    }
    for (const ReplacePair& pair : pairs) {
        if (pair.term.isEmpty()) {
            continue;
        }
        auto step =
            ReplaceStep::Make(pair.term, pair.replacement, job.mode, job.regex,
                              job.filters.wholeWord ? WordRule::WholeWord : WordRule::Anywhere);
        if (!step) {
            // Every pattern of a profile is checked before the first file is touched.
            view.ShowMessage(step.message(), MessageIcon::Warning);
            return CommandOutcome::Invalid;
        }
        steps.push_back(std::move(step.value()));
    }
    const bool preview = job.action == ReplaceAction::Preview;
    if (steps.empty() && !preview) {
        return CommandOutcome::Completed;
    }
    const LocationBounds bounds(native);
    // Registered before the journal is begun, so that a refused run leaves no trace at all.
    std::optional<RunLock> running;
    if (!preview) {
        auto taken = RunLock::Take({RunKind::Replacement, job.scope == Scope::Tree,
                                    bounds.Resolved().empty() ? native : bounds.Resolved()});
        if (!taken) {
            view.ShowMessage(taken.message(), MessageIcon::Warning);
            return CommandOutcome::Refused;
        }
        running.emplace(std::move(taken.value()));
    }
    const FileMask fileMask(job.mask);
    ReplaceRun run{steps, fileMask, view, bounds, job.action};
    run.workers = job.workers;
    run.stop = view.WorkerStopCheck();
    // Every file is reached from here down, by descriptors: what the location's path leads to
    // is settled once, now.
    const FileDescriptor topDirectory(
        bounds.Resolved().empty()
            ? -1
            : open(bounds.Resolved().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    run.top = topDirectory.get();
    const Result<std::string> journalRoot = JournalRoot();
    if (!preview && journalRoot) {
        const std::string temporaries = journalRoot.value() + "/.temporaries";
        SetTemporaryRegister(temporaries);
        CleanAbandonedTemporaries(temporaries);
    }
    const JournalNames journalNames(journalRoot ? journalRoot.value() : std::string());
    run.journalNames = &journalNames;
    LeaveOutOwnReport(run.seen, job.target);
    LeaveOutOwnReport(run.seen, job.changes);

    std::optional<ReportFile> page;
    std::optional<PreviewPage> previewPage;
    std::optional<ChangeListWriter> changeList;
    std::unique_ptr<Journal> journal;
    if (preview && !job.changes.isEmpty()) {
        auto created = ChangeListWriter::Create(job.changes);
        if (!created) {
            view.ShowMessage(created.message(), MessageIcon::Warning);
            return CommandOutcome::Failed;
        }
        changeList.emplace(std::move(created.value()));
        run.changeList = &*changeList;
    }
    if (preview && (!job.target.isEmpty() || job.changes.isEmpty())) {
        auto created = ReportFile::Create(job.target);
        if (!created) {
            view.ShowMessage(created.message(), MessageIcon::Warning);
            return CommandOutcome::Failed;
        }
        page.emplace(std::move(created.value()));
        if (!page->Append(PreviewHeaderText(SummaryOf(job), std::time(nullptr)))) {
            run.failed = true;
        }
        previewPage.emplace(*page, run.filesChanged);
        run.previewPage = &*previewPage;
    } else if (job.journal) {
        const JournalRunInfo info{0, job.kind, PathText(bounds.Resolved()),
                                  job.profileName.isEmpty() ? job.term : job.profileName,
                                  job.profileName.isEmpty() ? job.replacement : QString()};
        auto begun = journalRoot ? Journal::Begin(journalRoot.value(), info, job.keptRuns)
                                 : Result<std::unique_ptr<Journal>>(journalRoot.error());
        if (!begun) {
            view.ShowMessage(
                begun.message() + QStringLiteral("\nEs wurde keine Datei ge\u00E4ndert. Ohne "
                                                 "R\u00FCckg\u00E4ngig-Protokoll ersetzt "
                                                 "trawlex-cli mit --no-undo."),
                MessageIcon::Warning);
            return CommandOutcome::Refused;
        }
        journal = std::move(begun.value());
        run.journal = journal.get();
    }
    Flow flow = Flow::Continue;
    if (!run.failed) {
        view.ResultsBegin(HeadingOf(job, steps.size()));
        WalkGuard guard;
        guard.Enter(top.value());
        const WalkFilter filter(job.filters);
        TreeWalk walk =
            TreeWalk::Over(job.scope == Scope::Flat ? WithTrailingSeparator(native)
                                                    : top->path + SeparatorFor(top.value()),
                           top.value(), job.scope, fileMask, guard, &filter);
        flow = ReplaceAlong(walk, run);
    }
    if (page && !run.failed &&
        (!page->Append(PreviewFooterText(run.filesChanged, run.replacements, run.filesExamined)) ||
         !page->Finish())) {
        run.failed = true;
    }
    if (run.failed) {
        view.ShowMessage(
            QStringLiteral("Die Vorschau \u201E%1\u201C kann nicht geschrieben werden.")
                .arg(job.target),
            MessageIcon::Warning);
    }
    if (changeList && !run.listFailed) {
        if (auto finished = changeList->Finish(); !finished) {
            run.listFailed = finished.message();
        }
    }
    if (run.listFailed) {
        view.ShowMessage(QStringLiteral("Die \u00C4nderungsliste \u201E%1\u201C kann nicht "
                                        "geschrieben werden.\n%2")
                             .arg(job.changes, *run.listFailed),
                         MessageIcon::Warning);
    }
    if (flow == Flow::Stop && !run.failed) {
        view.ShowMessage(StoppedText(run), MessageIcon::None);
    }
    ShowProblems(UnchangedFilesHeading(), run.problems, view);
    return OutcomeOf(flow, run);
}

}  // namespace trawlex
