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

CommandOutcome ReplaceWithText(Ui& ui, ReplaceJob job, const QString& term,
                               const QString& replacement) {
    auto termBytes = EncodeCp1252(term);
    auto replacementBytes = EncodeCp1252(replacement);
    if (!termBytes || !replacementBytes) {
        ui.ShowMessage(QStringLiteral("Die Ersetzung kann nicht ausgef\u00FChrt werden. ") +
                           (!termBytes ? termBytes.message() : replacementBytes.message()),
                       MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    job.term = std::move(termBytes.value());
    job.replacement = std::move(replacementBytes.value());
    return ReplaceLocation(ui, job);
}

}  // namespace

void ReplaceInFile(const std::string& path, ReplaceRun& run) {
    auto contents = ReadWholeFile(path);
    if (!contents) {
        run.problems.push_back(contents.message());
        return;
    }
    std::string replaced;
    if (!ReplaceAllInto(contents.value(), run.term, run.replacement, replaced)) {
        return;
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

CommandOutcome ReplaceLocation(Ui& ui, const ReplaceJob& job) {
    const std::string native = NativePath(job.location);
    auto top = GetFolder(native);
    if (!top) {
        ui.ShowMessage(top.message(), MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    if (job.term.empty()) {
        return CommandOutcome::Completed;
    }
    const Finder finder(job.term, job.mode);
    const FileMask fileMask(job.mask);
    ReplaceRun run{finder, job.replacement, fileMask, ui, {}};
    const Flow flow = job.scope == Scope::Flat ? ReplaceFilesOf(WithTrailingSeparator(native), run)
                                               : ReplaceTopAndBelow(top.value(), run);
    ShowProblems(QStringLiteral("Diese Dateien konnten nicht bearbeitet werden und blieben "
                                "unver\u00E4ndert:"),
                 run.problems, ui);
    if (flow == Flow::Stop) {
        return CommandOutcome::Stopped;
    }
    return run.problems.empty() ? CommandOutcome::Completed : CommandOutcome::Incomplete;
}

CommandOutcome ReplaceDirFlat(Ui& ui, const QString& path, const QString& term,
                              const QString& replacement, const QString& mask, CompareMode mode) {
    return ReplaceWithText(ui, {path, {}, {}, mask, mode, Scope::Flat}, term, replacement);
}

CommandOutcome ReplaceTree(const Form1& form, Ui& ui, CompareMode mode) {
    return ReplaceWithText(
        ui, {form.TexSuchort.text, {}, {}, form.ComDateifilter.text, mode, Scope::Tree},
        form.TexSuchbegriff.text, form.TexErsatzbegriff);
}

}  // namespace trawlex
