#include "Undo.h"

#include "Ersatzroutinen.h"
#include "Journal.h"
#include "app/Form1.h"
#include "app/StatusLine.h"
#include "common/ChunkReader.h"
#include "common/ContentHash.h"
#include "common/PathText.h"
#include "common/Regional.h"
#include "common/RunLock.h"
#include "common/Standard.h"
#include "search/Problems.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace trawlex {
namespace {

QString Damaged(const JournalRun& run, const JournalEntry& entry) {
    return QStringLiteral(
               "Das R\u00FCckg\u00E4ngig-Protokoll \u201E%1\u201C ist "
               "besch\u00E4digt (die Sicherung von \u201E%2\u201C fehlt "
               "oder stimmt nicht) und wird nicht angewandt.")
        .arg(PathText(run.directory), PathText(entry.path));
}

// Every saved original is read and checked before the first file is touched, so a damaged
// journal is refused whole instead of being half applied. Only fingerprints are kept: a run may
// have changed more than fits in memory.
Status CheckCopies(const JournalRun& run) {
    for (const JournalEntry& entry : run.entries) {
        auto copy = FingerprintFile(run.directory + "/" + CopyName(entry.id));
        if (!copy || copy->length != entry.size || copy->hash != entry.originalHash) {
            return Error{Damaged(run, entry)};
        }
    }
    return Success();
}

// Gives one file its old bytes, mode and dates back; the reason when it is left as it is.
std::optional<QString> Restore(const JournalRun& run, const JournalEntry& entry,
                               const LocationBounds& bounds) {
    const QString shown = PathText(entry.path);
    const std::string resolved = RealPath(entry.path);
    if (!resolved.empty() && !bounds.Contains(resolved)) {
        return QStringLiteral(
                   "\u201E%1\u201C f\u00FChrt jetzt au\u00DFerhalb des Suchorts und "
                   "bleibt, wie sie ist.")
            .arg(shown);
    }
    auto current = FingerprintFile(entry.path);
    if (!current) {
        return QStringLiteral(
                   "\u201E%1\u201C wurde seit der Ersetzung gel\u00F6scht oder ist "
                   "nicht lesbar und wird nicht wiederhergestellt.")
            .arg(shown);
    }
    const bool asWritten = current->hash == entry.writtenHash;
    // A run killed before the rename, or an undo killed after it, left the old bytes in place.
    const bool asBefore = current->hash == entry.originalHash && current->length == entry.size;
    if (!asWritten && !asBefore) {
        return QStringLiteral(
                   "\u201E%1\u201C wurde seit der Ersetzung ge\u00E4ndert und bleibt, "
                   "wie sie ist.")
            .arg(shown);
    }
    const RestoredAttributes attributes{entry.mode, entry.accessed, entry.modified};
    if (asBefore) {
        // Nothing to rewrite: a killed run or undo left the old bytes; only its dates and mode
        // may still be those of the rewrite.
        const timespec dates[2] = {entry.accessed, entry.modified};
        chmod(entry.path.c_str(), entry.mode & 07777);
        utimensat(AT_FDCWD, entry.path.c_str(), dates, 0);
        return std::nullopt;
    }
    auto out = ReplacingFile::Begin(entry.path, attributes);
    if (!out) {
        return out.message();
    }
    // The saved original is copied piece by piece and checked once more on the way, so that
    // only the bytes the journal vouches for are renamed into place.
    ContentHasher copied;
    auto length = ForEachPiece(run.directory + "/" + CopyName(entry.id),
                               [&out, &copied](std::string_view piece) {
                                   copied.Update(piece);
                                   return out->Append(piece);
                               });
    if (!length) {
        return length.message();
    }
    if (length.value() != entry.size || copied.Finish() != entry.originalHash) {
        return Damaged(run, entry);
    }
    if (auto committed = out->Commit(); !committed) {
        return committed.message();
    }
    return std::nullopt;
}

QString RunMoment(std::time_t started) {
    return FormatShortDate(started) + QLatin1Char(' ') + FormatLongTime(started);
}

}  // namespace

std::vector<UndoRunInfo> ListUndoRuns() {
    std::vector<UndoRunInfo> list;
    for (const Result<JournalRun>& run : ReadJournalRuns(JournalRoot())) {
        if (!run || run->entries.empty()) {
            continue;
        }
        const std::string& directory = run->directory;
        list.push_back({PathText(directory.substr(directory.rfind('/') + 1)), run->info.started,
                        run->info.kind, run->info.location, run->info.term,
                        static_cast<std::int64_t>(run->entries.size()), run->undone});
    }
    return list;
}

CommandOutcome butRückgängig_Click(Form1& form, Ui& ui) {
    std::optional<JournalRun> chosen;
    for (Result<JournalRun>& run : ReadJournalRuns(JournalRoot())) {
        if (!run) {
            ui.ShowMessage(run.message(), MessageIcon::Warning);
            return CommandOutcome::Refused;
        }
        if (!run->undone && !run->entries.empty()) {
            chosen = std::move(run.value());
            break;
        }
    }
    if (!chosen) {
        ui.ShowMessage(QStringLiteral("Es gibt keine Ersetzung, die r\u00FCckg\u00E4ngig gemacht "
                                      "werden kann."),
                       MessageIcon::None);
        return CommandOutcome::NothingToDo;
    }
    // An undo writes anywhere below the location its journal names, and nobody else may
    // rewrite there meanwhile.
    const std::string undoing = NativePath(chosen->info.location);
    auto running = RunLock::Take(
        {RunKind::Undo, true, RealPath(undoing).empty() ? undoing : RealPath(undoing)});
    if (!running) {
        ui.ShowMessage(running.message(), MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    if (auto checked = CheckCopies(*chosen); !checked) {
        ui.ShowMessage(checked.message(), MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    BusyStart(form, ui, QStringLiteral("R\u00FCckg\u00E4ngig ..."));
    const LocationBounds bounds(NativePath(chosen->info.location));
    std::vector<QString> problems;
    std::int64_t restored = 0;
    for (std::size_t index = 0; index < chosen->entries.size(); ++index) {
        if (auto problem = Restore(*chosen, chosen->entries[index], bounds)) {
            problems.push_back(std::move(*problem));
        } else {
            ++restored;
        }
        if (ui.YieldToEventLoop() == Flow::Stop) {
            // Not marked: the next undo takes the same run and finishes it.
            BusyEnd(form, ui);
            ui.ShowMessage(QStringLiteral("R\u00FCckg\u00E4ngig wurde angehalten: %1 von %2 "
                                          "Dateien sind wiederhergestellt, die \u00FCbrigen "
                                          "noch nicht. Das n\u00E4chste R\u00FCckg\u00E4ngig "
                                          "macht diesen Lauf zu Ende.")
                               .arg(restored)
                               .arg(chosen->entries.size()),
                           MessageIcon::None);
            ShowProblems(QStringLiteral("Diese Dateien wurden nicht wiederhergestellt:"), problems,
                         ui);
            return CommandOutcome::Stopped;
        }
    }
    BusyEnd(form, ui);
    if (auto marked = MarkUndone(chosen->directory); !marked) {
        ui.ShowMessage(marked.message(), MessageIcon::Warning);
    }
    const QString what =
        chosen->info.kind == u"Ersatzprofil"
            ? QStringLiteral("Das Ersatzprofil \u201E%1\u201C").arg(chosen->info.term)
            : QStringLiteral("Die Ersetzung von \u201E%1\u201C").arg(chosen->info.term);
    ui.ShowMessage(QStringLiteral("%1 in \u201E%2\u201C vom %3 ist r\u00FCckg\u00E4ngig gemacht: "
                                  "%4 von %5 Dateien wiederhergestellt.")
                       .arg(what, chosen->info.location, RunMoment(chosen->info.started))
                       .arg(restored)
                       .arg(chosen->entries.size()),
                   MessageIcon::None);
    ShowProblems(QStringLiteral("Diese Dateien wurden nicht wiederhergestellt:"), problems, ui);
    return problems.empty() ? CommandOutcome::Completed : CommandOutcome::Incomplete;
}

}  // namespace trawlex
