#include "Ersatzroutinen.h"

#include "app/Form1.h"
#include "common/Cp1252.h"
#include "common/Listing.h"
#include "common/PathText.h"
#include "common/Standard.h"
#include "common/TreeWalk.h"
#include "search/Problems.h"

namespace trawlex {
namespace {

// Rewrites the walk's files on the run's workers and takes their outcomes in walk order, letting
// the window breathe after each file. Few files are ahead, so that a stop leaves little done
// beyond the file the person saw last.
Flow ReplaceAlong(TreeWalk& walk, ReplaceRun& run) {
    const TermMatcher& term = run.term;
    const EncodedReplacement& replacement = run.replacement;
    OrderedPool<std::string, std::optional<QString>, ReplaceBuffers> pool(
        run.workers, [&term, &replacement](const std::string& path, ReplaceBuffers& buffers) {
            return ReplaceInFile(path, term, replacement, buffers);
        });
    const bool finished = RunInOrder(
        pool, 2 * (run.workers + 1), [&walk](std::string& path) { return walk.Next(path); },
        [&run](std::optional<QString> problem) {
            if (problem) {
                run.problems.push_back(std::move(*problem));
            }
            return run.ui.YieldToEventLoop() == Flow::Continue;
        });
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

}  // namespace

std::optional<QString> ReplaceInFile(const std::string& path, const TermMatcher& term,
                                     const EncodedReplacement& replacement,
                                     ReplaceBuffers& buffers) {
    if (auto read = LoadFileInto(path, buffers.contents); !read) {
        return read.message();
    }
    buffers.replaced.clear();
    switch (ReplaceAllInto(buffers.contents.View(), term, replacement, buffers.replaced)) {
        case ReplaceOutcome::Unchanged:
            return std::nullopt;
        case ReplaceOutcome::Unencodable:
            return QStringLiteral(
                       "Die Datei \u201E%1\u201C ist in Windows-1252 geschrieben, das "
                       "den Ersatzbegriff nicht darstellen kann.")
                .arg(PathText(path));
        case ReplaceOutcome::Replaced:
            break;
    }
    if (auto written = WriteFileReplacing(path, buffers.replaced); !written) {
        return written.message();
    }
    return std::nullopt;
}

Flow ReplaceFilesOf(const std::string& directory, ReplaceRun& run) {
    TreeWalk walk = TreeWalk::FilesOf(directory, run.mask, StaleTemporaries::Remove);
    return ReplaceAlong(walk, run);
}

Flow ReplaceDirRecursive(const DirectoryHandle& parent, ReplaceRun& run, WalkGuard& guard) {
    TreeWalk walk = TreeWalk::Below(parent, run.mask, guard, StaleTemporaries::Remove);
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
    if (job.term.isEmpty()) {
        return CommandOutcome::Completed;
    }
    const TermMatcher matcher(job.term, job.mode);
    const EncodedReplacement replacement(job.replacement);
    const FileMask fileMask(job.mask);
    ReplaceRun run{matcher, replacement, fileMask, ui, {}, job.workers};
    const Flow flow = ReplaceWalk(WithTrailingSeparator(native), top.value(), job.scope, run);
    ShowProblems(UnchangedFilesHeading(), run.problems, ui);
    if (flow == Flow::Stop) {
        return CommandOutcome::Stopped;
    }
    return run.problems.empty() ? CommandOutcome::Completed : CommandOutcome::Incomplete;
}

CommandOutcome ReplaceDirFlat(Ui& ui, const QString& path, const QString& term,
                              const QString& replacement, const QString& mask, CompareMode mode) {
    return ReplaceLocation(ui, {path, term, replacement, mask, mode, Scope::Flat});
}

CommandOutcome ReplaceTree(const Form1& form, Ui& ui, CompareMode mode) {
    return ReplaceLocation(ui,
                           {form.TexSuchort.text, form.TexSuchbegriff.text, form.TexErsatzbegriff,
                            form.ComDateifilter.text, mode, Scope::Tree});
}

}  // namespace trawlex
