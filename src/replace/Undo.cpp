#include "Undo.h"

#include "Ersatzroutinen.h"
#include "Journal.h"
#include "common/Regional.h"
#include "common/files/ChunkReader.h"
#include "common/files/ContentHash.h"
#include "common/files/ReplacingFile.h"
#include "common/files/RunLock.h"
#include "common/text/PathText.h"
#include "search/Problems.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

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

// A file an undo left as it is, and why.
struct Unrestored {
    // Most reasons say the file could not be reached or written.
    Unrestored(QString text, bool changed = false)  // NOLINT(google-explicit-constructor)
        : reason(std::move(text)), changedSince(changed) {}

    QString reason;
    bool changedSince;  // it holds neither what the run wrote nor what it found
};

// Gives one file its old bytes, mode and dates back; the reason when it is left as it is. The
// file is reached from the location's directory down, never through a link, so a journal or a
// tree changed since cannot lead the restore elsewhere.
std::optional<Unrestored> Restore(const JournalRun& run, const JournalEntry& entry,
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
        return Unrestored{QStringLiteral("\u201E%1\u201C wurde seit der Ersetzung "
                                         "ge\u00E4ndert und bleibt, wie sie ist.")
                              .arg(shown),
                          true};
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

// Which run a journal belongs to, as far as its info can be read.
QString RunNamed(const JournalRun& run) {
    if (!run.infoRead) {
        return QStringLiteral("Es ist der Lauf vom %1; sein Suchort ist nicht lesbar.")
            .arg(RunMoment(run.info.started));
    }
    return QStringLiteral("Es ist der Lauf vom %1 in \u201E%2\u201C.")
        .arg(RunMoment(run.info.started), run.info.location);
}

QString WhatRun(const JournalRun& run) {
    return run.info.kind == u"Ersatzprofil"
               ? QStringLiteral("Das Ersatzprofil \u201E%1\u201C").arg(ShownTerm(run.info.term))
               : QStringLiteral("Die Ersetzung von \u201E%1\u201C").arg(ShownTerm(run.info.term));
}

// The location a run's journal names, with its links resolved as the run registry has it.
std::string ResolvedLocation(const JournalRun& run) {
    const std::string location = NativePath(run.info.location);
    const std::string resolved = RealPath(location);
    return resolved.empty() ? location : resolved;
}

// Why a run that still runs, or is being taken back, cannot be taken back now. The other run is
// named by its location and process, as a replacement beside it would be, when it is registered;
// otherwise (a journal held by a run that registered nowhere) by what its journal says.
QString StillRunningText(const JournalRun& run) {
    if (auto other = RunLock::Take({RunKind::Undo, true, ResolvedLocation(run)}); !other) {
        return other.message();
    }
    return QStringLiteral(
               "%1 in \u201E%2\u201C vom %3 l\u00E4uft noch oder wird gerade "
               "r\u00FCckg\u00E4ngig gemacht; es wurde nichts r\u00FCckg\u00E4ngig "
               "gemacht.")
        .arg(WhatRun(run), run.info.location, RunMoment(run.info.started));
}

}  // namespace

QString ShownTerm(const QString& term) {
    // The ASCII names of the control characters; CR and LF as the combination fields name them.
    static const char* const kNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                           "BS",  "TAB", "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                           "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                           "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    QString shown;
    for (const QChar character : term) {
        const char16_t code = character.unicode();
        if (code < 32) {
            shown += QLatin1Char('<') + QLatin1String(kNames[code]) + QLatin1Char('>');
        } else if (code == 0x7F) {
            shown += QStringLiteral("<DEL>");
        } else {
            shown += character;
        }
    }
    return shown;
}

Result<std::vector<UndoRunInfo>> ListUndoRuns() {
    auto root = JournalRoot();
    if (!root) {
        return root.error();
    }
    std::vector<UndoRunInfo> list;
    for (const JournalRun& run : ReadJournalRuns(root.value())) {
        // A damaged run is listed for what can be read of it; a run that never rewrote a file
        // holds nothing.
        if (!run.refusal && run.entries.empty()) {
            continue;
        }
        const std::string& directory = run.directory;
        list.push_back({PathText(directory.substr(directory.rfind('/') + 1)), run.info.started,
                        run.info.kind, run.info.location, ShownTerm(run.info.term),
                        static_cast<std::int64_t>(run.entries.size()), run.undone,
                        run.refusal.has_value(), run.running});
    }
    return list;
}

CommandOutcome TakeBackNewestRun(RunView& view, const UndoOptions& options) {
    const bool skipDamaged = options.damaged == DamagedRuns::Skip;
    auto root = JournalRoot();
    if (!root) {
        view.ShowMessage(root.message() + QStringLiteral("\nEs wurde nichts r\u00FCckg\u00E4ngig "
                                                         "gemacht."),
                         MessageIcon::Warning);
        return CommandOutcome::Failed;
    }
    // A damaged run is named; undo goes past it to the run before only when asked to.
    const auto refuse = [&view, skipDamaged](const JournalRun& run, const QString& why) {
        const QString named = why + QLatin1Char('\n') + RunNamed(run);
        if (!skipDamaged) {
            view.ShowMessage(named + QStringLiteral("\nDie L\u00E4ufe davor macht "
                                                    "\u201Etrawlex-cli undo --skip-damaged\u201C "
                                                    "r\u00FCckg\u00E4ngig; dieser bleibt dabei, "
                                                    "wie er ist."),
                             MessageIcon::Warning);
            return false;
        }
        view.ShowMessage(named + QStringLiteral("\nEr wird \u00FCbersprungen."),
                         MessageIcon::Warning);
        return true;
    };
    std::optional<JournalRun> chosen;
    // Held while its files are restored, so that a second undo or a pruning replacement started
    // meanwhile leaves the run alone.
    std::optional<RunHold> hold;
    for (JournalRun& run : ReadJournalRuns(root.value())) {
        if (run.refusal) {
            if (!refuse(run, run.refusal->message)) {
                return CommandOutcome::Refused;
            }
            continue;
        }
        if (run.undone || run.entries.empty()) {
            continue;
        }
        if (run.running || !(hold = RunHold::Take(run.directory))) {
            view.ShowMessage(StillRunningText(run), MessageIcon::Warning);
            return CommandOutcome::Failed;
        }
        if (auto checked = CheckCopies(run); !checked) {
            hold.reset();
            if (!refuse(run, checked.message())) {
                return CommandOutcome::Refused;
            }
            continue;
        }
        chosen = std::move(run);
        break;
    }
    if (!chosen) {
        view.ShowMessage(QStringLiteral("Es gibt keine Ersetzung, die r\u00FCckg\u00E4ngig gemacht "
                                        "werden kann."),
                         MessageIcon::None);
        return CommandOutcome::NothingToDo;
    }
    // An undo writes anywhere below the location its journal names, and nobody else may
    // rewrite there meanwhile.
    auto running = RunLock::Take({RunKind::Undo, true, ResolvedLocation(*chosen)});
    if (!running) {
        // Not the journal's fault: the same answer as for a run that is still running.
        view.ShowMessage(running.message(), MessageIcon::Warning);
        return CommandOutcome::Failed;
    }
    if (options.restoring) {
        options.restoring();
    }
    const LocationBounds bounds(NativePath(chosen->info.location));
    // The location as the journal names it must still be that directory itself, not a link.
    const FileDescriptor top(
        bounds.Resolved() == NativePath(chosen->info.location)
            ? open(bounds.Resolved().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
            : -1);
    const std::string temporaries = root.value() + "/.temporaries";
    SetTemporaryRegister(temporaries);
    CleanAbandonedTemporaries(temporaries);
    std::vector<QString> problems;
    std::int64_t restored = 0;
    std::size_t changedSince = 0;
    for (std::size_t index = 0; index < chosen->entries.size(); ++index) {
        if (auto problem = Restore(*chosen, chosen->entries[index], bounds, top.get())) {
            changedSince += problem->changedSince ? 1 : 0;
            problems.push_back(std::move(problem->reason));
        } else {
            ++restored;
        }
        if (view.CheckStop() == Flow::Stop) {
            // Not marked: the next undo takes the same run and finishes it.
            view.ShowMessage(QStringLiteral("R\u00FCckg\u00E4ngig wurde angehalten: %1 von %2 "
                                            "Dateien sind wiederhergestellt, die \u00FCbrigen "
                                            "noch nicht. Das n\u00E4chste R\u00FCckg\u00E4ngig "
                                            "macht diesen Lauf zu Ende.")
                                 .arg(restored)
                                 .arg(chosen->entries.size()),
                             MessageIcon::None);
            ShowProblems(QStringLiteral("Diese Dateien wurden nicht wiederhergestellt:"), problems,
                         view);
            return CommandOutcome::Stopped;
        }
    }
    const QString what = WhatRun(*chosen);
    // Files the person changed since will never be as the run left them: waiting for them would
    // keep the run, and every run before it, from ever being taken back.
    const bool onlyChangedSince = !problems.empty() && changedSince == problems.size();
    const QString named = QStringLiteral("%1 in \u201E%2\u201C vom %3")
                              .arg(what, chosen->info.location, RunMoment(chosen->info.started));
    const QString counted = QStringLiteral("%1 von %2 Dateien wiederhergestellt")
                                .arg(restored)
                                .arg(chosen->entries.size());
    const bool one = problems.size() == 1;
    // What the undo left is named file by file after its message.
    const auto leftAsTheyAre = [&view, &problems](const QString& message) {
        view.ShowMessage(message, MessageIcon::Warning);
        ShowProblems(QStringLiteral("Diese Dateien wurden nicht wiederhergestellt:"), problems,
                     view);
        return CommandOutcome::Incomplete;
    };
    if (!problems.empty() && !onlyChangedSince) {
        // Not marked: once the files are back where and as the run left them (a tree moved
        // away and back), the next undo takes the same run again.
        return leftAsTheyAre(
            named +
            QStringLiteral(" ist nur zum Teil r\u00FCckg\u00E4ngig gemacht: %1, %2, wie sie sind. "
                           "R\u00FCckg\u00E4ngig kann wiederholt werden und nimmt dann diesen "
                           "Lauf noch einmal vor.")
                .arg(counted, one ? QStringLiteral("eine blieb")
                                  : QStringLiteral("%1 blieben").arg(problems.size())));
    }
    if (auto marked = MarkUndone(chosen->directory); !marked) {
        view.ShowMessage(QStringLiteral("%1 in \u201E%2\u201C vom %3: alle %4 Dateien sind "
                                        "wiederhergestellt, aber der Lauf kann nicht als "
                                        "r\u00FCckg\u00E4ngig gemacht vermerkt werden. Das "
                                        "n\u00E4chste R\u00FCckg\u00E4ngig nimmt ihn noch einmal "
                                        "vor statt des Laufs davor.\n")
                                 .arg(what, chosen->info.location, RunMoment(chosen->info.started))
                                 .arg(chosen->entries.size()) +
                             marked.message(),
                         MessageIcon::Warning);
        return CommandOutcome::Incomplete;
    }
    if (onlyChangedSince) {
        return leftAsTheyAre(
            named +
            QStringLiteral(" ist r\u00FCckg\u00E4ngig gemacht, soweit es geht: %1, %2 seit der "
                           "Ersetzung ge\u00E4ndert und %3. Der Lauf gilt damit als "
                           "zur\u00FCckgenommen; das n\u00E4chste R\u00FCckg\u00E4ngig nimmt den "
                           "Lauf davor zur\u00FCck.")
                .arg(counted,
                     one ? QStringLiteral("eine wurde")
                         : QStringLiteral("%1 wurden").arg(problems.size()),
                     one ? QStringLiteral("bleibt, wie sie ist")
                         : QStringLiteral("bleiben, wie sie sind")));
    }
    view.ShowMessage(
        named + QStringLiteral(" ist r\u00FCckg\u00E4ngig gemacht: ") + counted + QLatin1Char('.'),
        MessageIcon::None);
    return CommandOutcome::Completed;
}

}  // namespace trawlex
