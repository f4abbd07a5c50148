#include "Ersatzroutinen.h"

#include "app/Form1.h"
#include "common/Cp1252.h"
#include "common/Listing.h"
#include "common/PathText.h"
#include "common/Standard.h"
#include "search/Problems.h"

namespace trawlex {
namespace {

Flow ReplaceTopAndBelow(const DirectoryHandle& top, ReplaceRun& run) {
    WalkGuard guard;
    guard.Enter(top);
    if (ReplaceFilesOf(top.path + SeparatorFor(top), run) == Flow::Stop) {
        return Flow::Stop;
    }
    return ReplaceDirRecursive(top, run, guard);
}

}  // namespace

void ReplaceInFile(const std::string& path, ReplaceRun& run) {
    auto contents = ReadWholeFile(path);
    if (!contents) {
        run.problems.push_back(contents.message());
        return;
    }
    std::string replaced;
    switch (ReplaceAllInto(contents.value(), run.term, run.replacement, replaced)) {
        case ReplaceOutcome::Unchanged:
            return;
        case ReplaceOutcome::Unencodable:
            run.problems.push_back(QStringLiteral("Die Datei \u201E%1\u201C ist in Windows-1252 "
                                                  "geschrieben, das den Ersatzbegriff nicht "
                                                  "darstellen kann.")
                                       .arg(PathText(path)));
            return;
        case ReplaceOutcome::Replaced:
            break;
    }
    if (auto written = WriteFileReplacing(path, replaced); !written) {
        run.problems.push_back(written.message());
    }
}

Flow ReplaceFilesOf(const std::string& directory, ReplaceRun& run) {
    auto names = ListDirectory(directory, run.mask, ListKind::NormalFiles);
    if (!names) {
        run.problems.push_back(names.message());
        return Flow::Continue;
    }
    for (const std::string& name : names.value()) {
        ReplaceInFile(directory + name, run);
        if (run.ui.YieldToEventLoop() == Flow::Stop) {
            return Flow::Stop;
        }
    }
    return Flow::Continue;
}

Flow ReplaceDirRecursive(const DirectoryHandle& parent, ReplaceRun& run, WalkGuard& guard) {
    auto subFolders = SubFolders(parent);
    if (!subFolders) {
        run.problems.push_back(subFolders.message());
        return Flow::Continue;
    }
    for (const DirectoryHandle& folder : subFolders.value()) {
        if (!guard.Enter(folder)) {
            continue;
        }
        if (ReplaceFilesOf(folder.path + SeparatorFor(folder), run) == Flow::Stop ||
            ReplaceDirRecursive(folder, run, guard) == Flow::Stop) {
            return Flow::Stop;
        }
    }
    return Flow::Continue;
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
    ReplaceRun run{matcher, replacement, fileMask, ui, {}};
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
