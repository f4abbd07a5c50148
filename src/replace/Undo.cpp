#include "Undo.h"

#include "Ersatzroutinen.h"
#include "Journal.h"
#include "app/Form1.h"
#include "app/StatusLine.h"
#include "common/ChunkReader.h"
#include "common/ContentHash.h"
#include "common/PathText.h"
#include "common/Regional.h"
#include "common/ReplacingFile.h"
#include "common/Standard.h"
#include "search/Problems.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

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

// Gives one file its old bytes, mode and dates back; the reason when it is left as it is. The
// file is reached from the location's directory down, never through a link, so a journal or a
// tree changed since cannot lead the restore elsewhere.
std::optional<QString> Restore(const JournalRun& run, const JournalEntry& entry,
                               const LocationBounds& bounds, int top) {
    const QString shown = PathText(entry.path);
    if (top < 0 || !bounds.Contains(entry.path)) {
        return QStringLiteral(
                   "\u201E%1\u201C f\u00FChrt jetzt au\u00DFerhalb des Suchorts und "
                   "bleibt, wie sie ist.")
            .arg(shown);
    }
    const std::string& location = bounds.Resolved();
    const std::size_t slash = entry.path.rfind('/');
    const std::string directoryPath = entry.path.substr(0, slash + 1);
    const std::string name = entry.path.substr(slash + 1);
    const std::size_t below = location == "/" ? 1 : location.size() + 1;
    auto directory = OpenDirectoryBeneath(
        top, std::string_view(directoryPath).substr(std::min(below, directoryPath.size())),
        entry.path);
    if (!directory) {
        return directory.message();
    }
    auto opened = OpenRegularFileAt(directory->get(), name, entry.path);
    if (!opened && opened.error().code == ELOOP) {
        return QStringLiteral(
                   "\u201E%1\u201C ist jetzt ein symbolischer Verweis und bleibt, wie sie ist.")
            .arg(shown);
    }
    auto current = opened ? FingerprintFile(opened.value(), entry.path)
                          : Result<FileFingerprint>(opened.error());
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
        // may still be those of the rewrite. Set on the opened file, never through a name.
        const timespec dates[2] = {entry.accessed, entry.modified};
        fchmod(opened->file.get(), entry.mode & 07777);
        futimens(opened->file.get(), dates);
        return std::nullopt;
    }
    auto out = ReplacingFile::BeginAt(directory->get(), directoryPath, name, entry.path,
                                      &opened->status, attributes);
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
    if (auto committed = out->Commit(&opened->status); !committed) {
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
    if (auto checked = CheckCopies(*chosen); !checked) {
        ui.ShowMessage(checked.message(), MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    BusyStart(form, ui, QStringLiteral("R\u00FCckg\u00E4ngig ..."));
    const LocationBounds bounds(NativePath(chosen->info.location));
    // The location as the journal names it must still be that directory itself, not a link.
    const FileDescriptor top(
        bounds.Resolved() == NativePath(chosen->info.location)
            ? open(bounds.Resolved().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
            : -1);
    const std::string temporaries = JournalRoot() + "/.temporaries";
    SetTemporaryRegister(temporaries);
    CleanAbandonedTemporaries(temporaries);
    std::vector<QString> problems;
    std::int64_t restored = 0;
    for (std::size_t index = 0; index < chosen->entries.size(); ++index) {
        if (auto problem = Restore(*chosen, chosen->entries[index], bounds, top.get())) {
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
