#include "Suchroutinen.h"

#include "app/Form1.h"
#include "common/files/Listing.h"
#include "common/files/TreeWalk.h"
#include "common/files/WholeFile.h"
#include "common/text/Cp1252.h"
#include "common/text/PathText.h"
#include "common/text/Pattern.h"
#include "search/Problems.h"
#include "search/StreamMatching.h"

#include <fcntl.h>

namespace trawlex {
namespace {

// What a worker learns about one file; the title is copied, since the file's bytes are gone
// once the worker reads the next file.
struct SearchedFile {
    std::string path;
    bool readable = false;
    FileMatch match;  // its title is empty here: it would point into the worker's buffer
    std::optional<std::string> title;
    FileStamp stamp;
};

SearchedFile SearchOneFile(const WalkedFile& file, const TermMatcher& term, FileBuffer& buffer) {
    SearchedFile searched;
    const std::string& path = file.path;
    searched.path = path;
    auto opened = TakeRegularFile(OpenWalkedFile(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC), path);
    if (!opened) {
        return searched;
    }
    const struct stat& status = opened->status;
    if (static_cast<std::uint64_t>(status.st_size) > kWholeReadLimit) {
        auto streamed = MatchStreamed(opened->file.get(), path, {&term},
                                      {.limit = static_cast<std::uint64_t>(status.st_size)});
        if (!streamed) {
            return searched;
        }
        searched.readable = true;
        searched.stamp = FileStamp{streamed->length, status.st_mtime, status};
        searched.match = streamed->matches.front();
        searched.title = std::move(streamed->title);
        return searched;
    }
    auto stamp = ReadOpenedInto(opened.value(), path, buffer);
    if (!stamp) {
        return searched;
    }
    searched.readable = true;
    searched.stamp = stamp.value();
    searched.match = MatchContents(buffer.View(), term);
    if (searched.match.title) {
        searched.title = std::string(*searched.match.title);
        searched.match.title.reset();
    }
    return searched;
}

// Reads and matches the walk's files on the run's workers while this thread takes the results
// in walk order: it writes the rows, keeps the totals and lets the window breathe after each
// file. A bounded number of files is ahead of the report at any moment.
Result<Flow> SearchWalk(TreeWalk& walk, RowStyle style, SearchRun& run) {
    const TermMatcher& term = run.term;
    OrderedPool<WalkedFile, SearchedFile, FileBuffer> pool(
        run.workers, [&term](const WalkedFile& file, FileBuffer& buffer) {
            return SearchOneFile(file, term, buffer);
        });
    std::optional<Error> failure;
    const bool finished = RunInOrder(
        pool, 1024 * (run.workers + 1), [&walk](WalkedFile& file) { return walk.Next(file); },
        [&run, style, &failure](SearchedFile searched) {
            const Flow flow = run.view.CheckStop();
            if (!searched.readable) {
                run.totals.unreadable.push_back(searched.path);
                return flow == Flow::Continue;
            }
            if (!run.totals.seen.Insert(searched.stamp.status)) {
                return flow == Flow::Continue;
            }
            if (searched.match.limitReached) {
                run.totals.stopped.push_back(searched.path);
            }
            if (searched.match.IsHit()) {
                if (searched.title) {
                    searched.match.title = *searched.title;
                }
                const ResultRow row{run.totals.nextRow, searched.path, searched.match,
                                    searched.stamp.modified, searched.stamp.length};
                if (auto written = run.report.Append(ResultRowText(row, style)); !written) {
                    failure = written.error();
                    return false;
                }
                run.view.ShowFound(
                    {.number = row.number,
                     .path = std::move(searched.path),
                     .firstPosition = row.match.firstPosition,
                     .count = row.match.count,
                     .title = searched.title ? ShownTitle(*searched.title, searched.match.encoding)
                                             : QString(),
                     .modified = row.modified,
                     .length = row.length});
                ++run.totals.nextRow;
            }
            run.totals.byteTotal += searched.stamp.length;
            ++run.totals.filesExamined;
            run.view.ShowProgress(
                {run.totals.filesExamined, run.totals.byteTotal, run.totals.nextRow - 1});
            return flow == Flow::Continue;
        },
        // A search changes nothing: what was read beyond the stop is left out of the report.
        [](SearchedFile) {});
    run.totals.unreadable.insert(run.totals.unreadable.end(), walk.Unreadable().begin(),
                                 walk.Unreadable().end());
    if (failure) {
        return *failure;
    }
    return finished ? Flow::Continue : Flow::Stop;
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

}  // namespace

Result<TermMatcher> MatcherFor(const QString& term, CompareMode mode, bool regex) {
    if (!regex) {
        return TermMatcher(term, mode);
    }
    auto pattern = Pattern::Compile(term, mode);
    if (!pattern) {
        return pattern.error();
    }
    return TermMatcher(std::move(pattern.value()));
}

QString PatternStoppedHeading(const QString& pattern) {
    return QStringLiteral(
               "In diesen Dateien brach der regul\u00E4re Ausdruck \u201E%1\u201C ab, "
               "weil er zu viele Wege ausprobieren m\u00FCsste; ihre Fundstellen "
               "sind nicht vollst\u00E4ndig gez\u00E4hlt:")
        .arg(pattern);
}

Result<Flow> SearchFilesOf(const std::string& directory, RowStyle style, SearchRun& run) {
    TreeWalk walk = TreeWalk::FilesOf(directory, run.mask);
    return SearchWalk(walk, style, run);
}

Result<Flow> SearchDirRecursive(const DirectoryHandle& parent, SearchRun& run, WalkGuard& guard) {
    TreeWalk walk = TreeWalk::Below(parent, run.mask, guard);
    return SearchWalk(walk, RowStyle::TreeBelow, run);
}

CommandOutcome SearchLocation(const Form1& form, RunView& view, const SearchJob& job) {
    // A pattern that does not compile is refused before the report is touched.
    auto compiled = MatcherFor(job.term, job.mode, job.regex);
    if (!compiled) {
        view.ShowMessage(compiled.message(), MessageIcon::Warning);
        return CommandOutcome::Invalid;
    }
    const TermMatcher& matcher = compiled.value();
    const std::string native = NativePath(job.location);
    auto top = GetFolder(native);
    if (!top) {
        view.ShowMessage(top.message(), MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    auto report = WriteReportHeader(form, job.mode, job.target, job.regex);
    if (!report) {
        view.ShowMessage(report.message(), MessageIcon::Warning);
        return CommandOutcome::Failed;
    }
    view.ResultsBegin({job.location, {job.term}, job.mode, job.regex, false});
    const FileMask fileMask(job.mask);
    SearchTotals totals;
    LeaveOutOwnReport(totals.seen, job.target);
    SearchRun run{matcher, fileMask, report.value(), view, totals, job.workers};
    const auto searched = job.scope == Scope::Flat
                              ? SearchFilesOf(WithTrailingSeparator(native), RowStyle::Flat, run)
                              : SearchTopAndBelow(top.value(), run);
    // A stopped or failed search still ends its report, so that it stays valid HTML.
    auto footer = report->Append(
        ReportFooterText(totals.nextRow - 1, totals.filesExamined, totals.byteTotal));
    if (searched && footer) {
        footer = report->Finish();
    }
    ShowProblems(QStringLiteral("Diese Dateien oder Verzeichnisse konnten nicht gelesen werden "
                                "und wurden \u00FCbersprungen:"),
                 totals.unreadable, view);
    ShowProblems(PatternStoppedHeading(job.term), totals.stopped, view);
    if (!searched || !footer) {
        view.ShowMessage(!searched ? searched.message() : footer.message(), MessageIcon::Warning);
        return CommandOutcome::Failed;
    }
    if (searched.value() == Flow::Stop) {
        view.ShowMessage(QStringLiteral("Die Suche wurde angehalten: der Bericht nennt die "
                                        "Fundstellen in den %1 bis dahin durchsuchten Dateien, die "
                                        "\u00FCbrigen wurden nicht durchsucht.")
                             .arg(totals.filesExamined),
                         MessageIcon::None);
        return CommandOutcome::Stopped;
    }
    return totals.unreadable.empty() && totals.stopped.empty() ? CommandOutcome::Completed
                                                               : CommandOutcome::Incomplete;
}

CommandOutcome SearchDirFlat(const Form1& form, Ui& ui, const QString& path, const QString& term,
                             const QString& target, const QString& mask, CompareMode mode) {
    SearchJob job{path, term, target, mask, mode, Scope::Flat};
    job.regex = form.CheckRegex != 0;
    return SearchLocation(form, ui.Run(), job);
}

CommandOutcome SearchTree(const Form1& form, Ui& ui, CompareMode mode) {
    SearchJob job{form.TexSuchort.text,
                  form.TexSuchbegriff.text,
                  form.TexZieldatei,
                  form.ComDateifilter.text,
                  mode,
                  Scope::Tree};
    job.regex = form.CheckRegex != 0;
    return SearchLocation(form, ui.Run(), job);
}

}  // namespace trawlex
