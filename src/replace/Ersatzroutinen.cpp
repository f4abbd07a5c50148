#include "Ersatzroutinen.h"

#include "Journal.h"
#include "app/Form1.h"
#include "common/ContentHash.h"
#include "common/Cp1252.h"
#include "common/Listing.h"
#include "common/PathAccess.h"
#include "common/PathText.h"
#include "common/Pattern.h"
#include "common/RunLock.h"
#include "common/Standard.h"
#include "common/StreamReplace.h"
#include "common/TreeWalk.h"
#include "search/Problems.h"
#include "search/StreamMatching.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>

namespace trawlex {
namespace {

// Resolves the paths of a walk on the taking thread. Files come directory by directory, so each
// directory is resolved once; only a file that is itself a link costs a lookup of its own.
class PathResolver {
public:
    explicit PathResolver(const LocationBounds& bounds) : bounds_(bounds) {}

    // Fills in the task for `path`; false when the file was handed out before in this run.
    bool Prepare(const std::string& path, ReplaceTask& task, ReplaceRun& run) {
        task.path = path;
        task.refused.reset();
        const std::size_t slash = path.rfind(kSeparator);
        const std::string directory = path.substr(0, slash + 1);
        if (directory != directory_ && !IsLongPath(directory)) {
            directory_ = directory;
            resolvedDirectory_ = RealPath(directory);
        }
        struct stat info {};
        if (StatPath(path, info, AT_SYMLINK_NOFOLLOW) != 0) {
            task.resolved = path;  // the worker names why it cannot be read
            return true;
        }
        if (IsLongPath(path)) {
            // Too deep to resolve; such a file is only ever named, never written.
            task.resolved = path;
            return run.seen.Insert(info);
        }
        if (S_ISLNK(info.st_mode)) {
            task.resolved = RealPath(path);
            if (task.resolved.empty() || stat(path.c_str(), &info) != 0) {
                task.resolved = path;
                return true;
            }
        } else {
            task.resolved = WithTrailingSeparator(resolvedDirectory_) + path.substr(slash + 1);
        }
        if (!run.seen.Insert(info)) {
            return false;
        }
        if (!bounds_.Contains(task.resolved)) {
            task.refused =
                QStringLiteral(
                    "Die Datei \u201E%1\u201C verweist auf \u201E%2\u201C au\u00DFerhalb "
                    "des Suchorts und bleibt unver\u00E4ndert.")
                    .arg(PathText(path), PathText(task.resolved));
        }
        return true;
    }

private:
    const LocationBounds& bounds_;
    std::string directory_;
    std::string resolvedDirectory_;
};

void TakeOutcome(FileOutcome outcome, ReplaceRun& run) {
    ++run.filesExamined;
    run.bytesExamined += outcome.bytes;
    for (QString& problem : outcome.problems) {
        run.problems.push_back(std::move(problem));
    }
    if (!outcome.changed) {
        return;
    }
    ++run.filesChanged;
    run.replacements += outcome.replacements;
    if (outcome.preview && run.takePreview && !run.failed && !run.takePreview(*outcome.preview)) {
        run.failed = true;
    }
}

// Works on the walk's files on the run's workers and takes their outcomes in walk order, letting
// the window breathe after each file. Few files are ahead, so that a stop leaves little done
// beyond the file the person saw last.
Flow ReplaceAlong(TreeWalk& walk, ReplaceRun& run) {
    const ReplaceRun& shared = run;
    OrderedPool<ReplaceTask, FileOutcome, ReplaceBuffers> pool(
        run.workers, [&shared](const ReplaceTask& task, ReplaceBuffers& buffers) {
            return ReplaceInFile(task, shared, buffers);
        });
    PathResolver resolver(run.bounds);
    const bool finished = RunInOrder(
        pool, 2 * (run.workers + 1),
        [&walk, &resolver, &run](ReplaceTask& task) {
            std::string path;
            while (walk.Next(path)) {
                if (resolver.Prepare(path, task, run)) {
                    return true;
                }
            }
            return false;
        },
        [&run](FileOutcome outcome) {
            TakeOutcome(std::move(outcome), run);
            run.ui.ShowProgress({run.filesExamined, run.bytesExamined, run.filesChanged});
            return !run.failed && run.ui.YieldToEventLoop() == Flow::Continue;
        },
        // Files rewritten while the stop was asked for are counted and named like the others.
        [&run](FileOutcome outcome) { TakeOutcome(std::move(outcome), run); });
    for (const std::string& directory : walk.Unreadable()) {
        run.problems.push_back(
            QStringLiteral("Das Verzeichnis \u201E%1\u201C kann nicht gelesen werden.")
                .arg(PathText(directory)));
    }
    return finished ? Flow::Continue : Flow::Stop;
}

Flow ReplaceTopAndBelow(const DirectoryHandle& top, ReplaceRun& run) {
    WalkGuard guard;
    guard.Enter(top);
    if (ReplaceFilesOf(top.path + SeparatorFor(top), run) == Flow::Stop) {
        return Flow::Stop;
    }
    return ReplaceDirRecursive(top, run, guard);
}

QString LimitText(const std::string& path, const TermMatcher& term) {
    return QStringLiteral(
               "Die Datei \u201E%1\u201C bleibt unver\u00E4ndert: der regul\u00E4re "
               "Ausdruck \u201E%2\u201C brach in ihr ab, weil er zu viele Wege "
               "ausprobieren m\u00FCsste.")
        .arg(PathText(path), term.GetPattern() != nullptr ? term.GetPattern()->Text() : QString());
}

QString Unencodable(const std::string& path) {
    return QStringLiteral(
               "Die Datei \u201E%1\u201C ist in Windows-1252 geschrieben, das "
               "den Ersatzbegriff nicht darstellen kann.")
        .arg(PathText(path));
}

// A file that a rewrite would harm or cannot reach is named and left, in the preview as well, so
// that the preview shows exactly what the replacement will do.
std::optional<QString> CannotRewrite(const std::string& path, const struct stat& status,
                                     const JournalNames* journalNames) {
    const nlink_t names =
        status.st_nlink > 1 && journalNames != nullptr
            ? status.st_nlink - std::min(status.st_nlink - 1, journalNames->Count(status))
            : status.st_nlink;
    if (names > 1) {
        // The rename would give only this name the new contents; the other names would keep
        // the old ones, and nobody could tell which is which afterwards.
        return QStringLiteral(
                   "Die Datei \u201E%1\u201C hat %2 Namen (harte Links) und bleibt "
                   "unver\u00E4ndert: eine Ersetzung w\u00FCrde nur diesen Namen "
                   "\u00E4ndern.")
            .arg(PathText(path))
            .arg(names);
    }
    if (IsLongPath(path)) {
        return QStringLiteral(
                   "Der Pfad \u201E%1\u201C ist l\u00E4nger als %2 Zeichen; so tief "
                   "im Verzeichnisbaum wird nur gesucht, nicht ersetzt. Die Datei "
                   "bleibt unver\u00E4ndert.")
            .arg(PathText(path))
            .arg(PATH_MAX - 1);
    }
    return std::nullopt;
}

CommandOutcome OutcomeOf(Flow flow, const ReplaceRun& run) {
    if (run.failed) {
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
    return summary;
}

QString NotJournaled(const std::string& path, const Status& kept) {
    return QStringLiteral("Die Datei \u201E%1\u201C blieb unver\u00E4ndert: %2")
        .arg(PathText(path), kept.message());
}

// A file too big to hold whole: each pair is looked for in one pass and, where it occurs,
// written in a second into a temporary file beside it, which the next pair reads from. The
// last of them is renamed into place as one step, after the journal has the old state.
FileOutcome ReplaceStreamed(const ReplaceTask& task, const ReplaceRun& run,
                            const OpenedFile& opened) {
    FileOutcome outcome;
    ContentHasher originalHash;
    int source = opened.file.get();
    auto sourceSize = static_cast<std::uint64_t>(opened.status.st_size);
    std::optional<ReplacingFile> current;
    std::uint64_t writtenHash = 0;
    std::int64_t originalSize = -1;  // as far as the first pass read it
    bool checked = false;
    for (const ReplaceStep& step : run.steps) {
        auto found = MatchStreamed(
            source, task.path, {&step.term},
            {.hasher = originalSize < 0 ? &originalHash : nullptr, .limit = sourceSize});
        if (!found) {
            outcome.problems.push_back(found.message());
            return outcome;
        }
        if (originalSize < 0) {
            originalSize = found->length;
            sourceSize = static_cast<std::uint64_t>(originalSize);
        }
        const FileMatch& match = found->matches.front();
        if (match.limitReached) {
            outcome.problems.push_back(LimitText(task.path, step.term));
            return outcome;
        }
        if (!match.IsHit()) {
            continue;
        }
        if (!checked) {
            checked = true;
            if (auto refused = CannotRewrite(task.path, opened.status, run.journalNames)) {
                outcome.problems.push_back(*refused);
                return outcome;
            }
        }
        auto next = ReplacingFile::Begin(task.path);
        if (!next) {
            outcome.problems.push_back(next.message());
            return outcome;
        }
        auto replaced = ReplaceStreamedInto(source, task.path, sourceSize, step.term,
                                            step.replacement, found->detected, next.value());
        if (!replaced) {
            outcome.problems.push_back(replaced.message());
            return outcome;
        }
        if (replaced->outcome == ReplaceOutcome::Unencodable) {
            outcome.problems.push_back(Unencodable(task.path));
            continue;
        }
        if (replaced->outcome != ReplaceOutcome::Replaced) {
            continue;
        }
        outcome.replacements += replaced->count;
        writtenHash = replaced->writtenHash;
        current.emplace(std::move(next.value()));
        source = current->Descriptor();
        sourceSize = current->Size();
    }
    if (!current) {
        return outcome;
    }
    if (run.journal != nullptr) {
        const OriginalContents original{originalSize, originalHash.Finish(), std::nullopt};
        if (auto kept = run.journal->Keep(task.resolved, opened.status, original, writtenHash);
            !kept) {
            outcome.problems.push_back(NotJournaled(task.path, kept));
            return outcome;
        }
    }
    if (auto committed = current->Commit(); !committed) {
        outcome.problems.push_back(committed.message());
        return outcome;
    }
    outcome.changed = true;
    return outcome;
}

}  // namespace

Result<ReplaceStep> ReplaceStep::Make(const QString& term, const QString& replacement,
                                      CompareMode mode, bool regex) {
    if (!regex) {
        return ReplaceStep(term, replacement, mode);
    }
    auto pattern = Pattern::Compile(term, mode);
    if (!pattern) {
        return pattern.error();
    }
    auto parsed = ReplacementTemplate::Parse(replacement, *pattern.value());
    if (!parsed) {
        return parsed.error();
    }
    return ReplaceStep(TermMatcher(std::move(pattern.value())),
                       EncodedReplacement(replacement, std::make_shared<const ReplacementTemplate>(
                                                           std::move(parsed.value()))));
}

LocationBounds::LocationBounds(const std::string& location) : resolved_(RealPath(location)) {}

bool LocationBounds::Contains(std::string_view resolvedPath) const {
    if (resolved_ == "/") {
        return true;
    }
    return resolvedPath.size() > resolved_.size() &&
           resolvedPath.substr(0, resolved_.size()) == resolved_ &&
           resolvedPath[resolved_.size()] == kSeparator;
}

FileOutcome ReplaceInFile(const ReplaceTask& task, const ReplaceRun& run, ReplaceBuffers& buffers) {
    FileOutcome outcome;
    if (task.refused) {
        outcome.problems.push_back(*task.refused);
        return outcome;
    }
    auto opened = OpenRegularFile(task.path);
    if (!opened) {
        outcome.problems.push_back(opened.message());
        return outcome;
    }
    const bool preview = run.action == ReplaceAction::Preview;
    outcome.bytes = static_cast<std::int64_t>(opened->status.st_size);
    if (!preview && static_cast<std::uint64_t>(opened->status.st_size) > kWholeReadLimit) {
        FileOutcome streamed = ReplaceStreamed(task, run, opened.value());
        streamed.bytes = outcome.bytes;
        return streamed;
    }
    auto read = ReadOpenedInto(opened.value(), task.path, buffers.contents);
    if (!read) {
        outcome.problems.push_back(read.message());
        return outcome;
    }
    const std::string_view original = buffers.contents.View();
    buffers.edits.clear();
    std::string_view current = original;
    std::size_t target = 0;
    for (const ReplaceStep& step : run.steps) {
        std::string& out = buffers.replaced[target];
        out.clear();
        buffers.occurrences.clear();
        buffers.insertions.clear();
        ReplaceDetails details;
        details.occurrences = preview ? &buffers.occurrences : nullptr;
        details.insertions = preview ? &buffers.insertions : nullptr;
        switch (ReplaceAllInto(current, step.term, step.replacement, out, &details)) {
            case ReplaceOutcome::Unchanged:
                continue;
            case ReplaceOutcome::Unencodable:
                outcome.problems.push_back(Unencodable(task.path));
                continue;
            case ReplaceOutcome::LimitReached:
                // Half a sequence of pairs would leave the file as no run meant it.
                outcome.problems.push_back(LimitText(task.path, step.term));
                outcome.replacements = 0;
                return outcome;
            case ReplaceOutcome::Replaced:
                break;
        }
        outcome.replacements += details.count;
        if (preview) {
            ComposeEdits(buffers.edits, current, buffers.occurrences, details.inserted,
                         step.term.GetPattern() != nullptr ? &buffers.insertions : nullptr);
        }
        current = out;
        target = 1 - target;
    }
    if (outcome.replacements == 0) {
        return outcome;
    }
    if (auto refused = CannotRewrite(task.path, read->status, run.journalNames)) {
        outcome.problems.push_back(*refused);
        return outcome;
    }
    if (preview) {
        outcome.changed = true;
        FilePreview& described = outcome.preview.emplace();
        described.path = task.path;
        described.replacements = outcome.replacements;
        DescribeChanges(original, buffers.edits, DetectEncoding(original).encoding, described);
        return outcome;
    }
    // A write-protected file is refused by the rewrite below; journaling it first would make an
    // undo name a file that never changed.
    const bool writable =
        (read->status.st_mode & 0222) != 0 && access(task.path.c_str(), W_OK) == 0;
    if (run.journal != nullptr && writable) {
        if (auto kept =
                run.journal->Keep(task.resolved, read->status, original, ContentHash(current));
            !kept) {
            outcome.problems.push_back(NotJournaled(task.path, kept));
            return outcome;
        }
    }
    if (auto written = WriteFileReplacing(task.path, current); !written) {
        outcome.problems.push_back(written.message());
        return outcome;
    }
    outcome.changed = true;
    return outcome;
}

// A preview changes nothing, and the temporary name its own page is written under may lie in
// the tree; only a run that rewrites clears what killed rewrites left.
StaleTemporaries StaleOf(const ReplaceRun& run) {
    return run.action == ReplaceAction::Preview ? StaleTemporaries::Keep : StaleTemporaries::Remove;
}

Flow ReplaceFilesOf(const std::string& directory, ReplaceRun& run) {
    TreeWalk walk = TreeWalk::FilesOf(directory, run.mask, StaleOf(run));
    return ReplaceAlong(walk, run);
}

Flow ReplaceDirRecursive(const DirectoryHandle& parent, ReplaceRun& run, WalkGuard& guard) {
    TreeWalk walk = TreeWalk::Below(parent, run.mask, guard, StaleOf(run));
    return ReplaceAlong(walk, run);
}

Flow ReplaceWalk(const std::string& directory, const DirectoryHandle& top, Scope scope,
                 ReplaceRun& run) {
    return scope == Scope::Flat ? ReplaceFilesOf(directory, run) : ReplaceTopAndBelow(top, run);
}

QString UnchangedFilesHeading() {
    return QStringLiteral(
        "Diese Dateien konnten nicht bearbeitet werden und blieben "
        "unver\u00E4ndert:");
}

CommandOutcome ReplaceLocation(Ui& ui, const ReplaceJob& job) {
    const std::string native = NativePath(job.location);
    auto top = GetFolder(native);
    if (!top) {
        ui.ShowMessage(top.message(), MessageIcon::Warning);
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
        auto step = ReplaceStep::Make(pair.term, pair.replacement, job.mode, job.regex);
        if (!step) {
            // Every pattern of a profile is checked before the first file is touched.
            ui.ShowMessage(step.message(), MessageIcon::Warning);
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
            ui.ShowMessage(taken.message(), MessageIcon::Warning);
            return CommandOutcome::Refused;
        }
        running.emplace(std::move(taken.value()));
    }
    const FileMask fileMask(job.mask);
    ReplaceRun run{steps, fileMask, ui, bounds, job.action};
    run.workers = job.workers;
    const JournalNames journalNames(JournalRoot());
    run.journalNames = &journalNames;
    LeaveOutOwnReport(run.seen, job.target);

    std::optional<ReportFile> page;
    std::unique_ptr<Journal> journal;
    if (preview) {
        auto created = ReportFile::Create(job.target);
        if (!created) {
            ui.ShowMessage(created.message(), MessageIcon::Warning);
            return CommandOutcome::Failed;
        }
        page.emplace(std::move(created.value()));
        if (!page->Append(PreviewHeaderText(SummaryOf(job), std::time(nullptr)))) {
            run.failed = true;
        }
        run.takePreview = [&page, &run](const FilePreview& file) {
            return static_cast<bool>(page->Append(PreviewFileText(run.filesChanged, file)));
        };
    } else if (job.journal) {
        const JournalRunInfo info{0, job.kind, PathText(bounds.Resolved()),
                                  job.profileName.isEmpty() ? job.term : job.profileName,
                                  job.profileName.isEmpty() ? job.replacement : QString()};
        auto begun = Journal::Begin(JournalRoot(), info, job.keptRuns);
        if (!begun) {
            ui.ShowMessage(
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
        flow = ReplaceWalk(WithTrailingSeparator(native), top.value(), job.scope, run);
    }
    if (page && !run.failed &&
        (!page->Append(PreviewFooterText(run.filesChanged, run.replacements, run.filesExamined)) ||
         !page->Finish())) {
        run.failed = true;
    }
    if (run.failed) {
        ui.ShowMessage(QStringLiteral("Die Vorschau \u201E%1\u201C kann nicht geschrieben werden.")
                           .arg(job.target),
                       MessageIcon::Warning);
    }
    if (flow == Flow::Stop && !run.failed) {
        ui.ShowMessage(StoppedText(run), MessageIcon::None);
    }
    ShowProblems(UnchangedFilesHeading(), run.problems, ui);
    return OutcomeOf(flow, run);
}

ReplaceJob JobFromForm(const Form1& form, CompareMode mode, Scope scope) {
    ReplaceJob job;
    job.location = form.TexSuchort.text;
    job.term = form.TexSuchbegriff.text;
    job.replacement = form.TexErsatzbegriff;
    job.mask = form.ComDateifilter.text;
    job.mode = mode;
    job.scope = scope;
    job.target = form.TexZieldatei;
    job.journal = form.UndoJournal;
    job.regex = form.CheckRegex != 0;
    job.keptRuns = form.UndoRuns;
    return job;
}

CommandOutcome ReplaceDirFlat(Ui& ui, const QString& path, const QString& term,
                              const QString& replacement, const QString& mask, CompareMode mode) {
    return ReplaceLocation(ui, {path, term, replacement, mask, mode, Scope::Flat});
}

CommandOutcome ReplaceTree(const Form1& form, Ui& ui, CompareMode mode) {
    return ReplaceLocation(ui, JobFromForm(form, mode, Scope::Tree));
}

}  // namespace trawlex
