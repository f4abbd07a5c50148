// A change list made: each listed file checked against what its preview saw, then rewritten
// with exactly the changes left in the list, through the same journaled rename as a
// replacement.
#include "ApplyChanges.h"

#include "ChangeList.h"
#include "Journal.h"
#include "Rewrite.h"
#include "common/SystemError.h"
#include "common/files/ContentHash.h"
#include "common/files/Listing.h"
#include "common/files/OrderedPool.h"
#include "common/files/PathAccess.h"
#include "common/files/ReplacingFile.h"
#include "common/files/RunLock.h"
#include "common/files/WholeFile.h"
#include "common/text/Cp1252.h"
#include "common/text/PathText.h"
#include "common/text/TextEncoding.h"
#include "common/text/Utf16.h"
#include "search/Problems.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

namespace trawlex {
namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;

struct ListedFile {
    std::string path;
    std::uint64_t fingerprint = 0;
    bool twoFingerprints = false;
    std::vector<ListedChange> changes;
};

struct ChangeListRead {
    std::vector<ListedFile> files;
    std::int64_t changes = 0;
};

// The list in the order of its files' first lines; a line that is no change refuses the list.
Result<ChangeListRead> ReadChangeList(const QString& shown) {
    auto opened = OpenRegularFile(NativePath(shown));
    if (!opened) {
        return Error{QStringLiteral("Die \u00C4nderungsliste kann nicht gelesen werden.\n") +
                     opened.message()};
    }
    ChangeListRead read;
    std::map<std::string, std::size_t> index;
    std::int64_t lineNumber = 0;
    const auto take = [&](std::string_view line) -> Status {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.find_first_not_of(" \t") == std::string_view::npos) {
            return Success();  // a line emptied by hand
        }
        auto change = ParseChangeLine(line);
        if (!change) {
            return Error{QStringLiteral("Die \u00C4nderungsliste \u201E%1\u201C ist in Zeile "
                                        "%2 fehlerhaft: %3")
                             .arg(shown)
                             .arg(lineNumber)
                             .arg(change.message())};
        }
        const auto [at, added] = index.emplace(change->file, read.files.size());
        if (added) {
            read.files.push_back({change->file, change->fingerprint, false, {}});
        }
        ListedFile& file = read.files[at->second];
        file.twoFingerprints = file.twoFingerprints || file.fingerprint != change->fingerprint;
        file.changes.push_back(std::move(change.value()));
        ++read.changes;
        return Success();
    };
    std::string carried;
    std::string block(kBlock, '\0');
    for (;;) {
        const ssize_t got = ::read(opened->file.get(), block.data(), block.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return ReadError(NativePath(shown), errno);
        }
        if (got == 0) {
            break;
        }
        carried.append(block.data(), static_cast<std::size_t>(got));
        std::size_t at = 0;
        for (std::size_t end = carried.find('\n'); end != std::string::npos;
             end = carried.find('\n', at)) {
            if (auto taken = take(std::string_view(carried).substr(at, end - at)); !taken) {
                return taken.error();
            }
            at = end + 1;
        }
        carried.erase(0, at);
    }
    if (!carried.empty()) {
        if (auto taken = take(carried); !taken) {
            return taken.error();
        }
    }
    return read;
}

// The directory a path names a file in; "." for a bare name.
std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind(kSeparator);
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string(1, kSeparator) : path.substr(0, slash);
}

bool Holds(const std::string& outer, const std::string& inner) {
    if (outer == inner) {
        return true;
    }
    if (outer == ".") {
        return inner.front() != kSeparator;
    }
    if (outer.size() == 1 && outer.front() == kSeparator) {
        return inner.front() == kSeparator;
    }
    return inner.size() > outer.size() && inner.starts_with(outer) &&
           inner[outer.size()] == kSeparator;
}

// The deepest directory that holds every file, spelt as DirectoryOf spells it. Absolute and
// relative paths share none; the files outside "." are then named and left, as outside the
// location.
std::string CommonDirectory(const std::vector<ListedFile>& files) {
    std::string common = DirectoryOf(files.front().path);
    for (const ListedFile& file : files) {
        const std::string directory = DirectoryOf(file.path);
        while (!Holds(common, directory)) {
            if (common == "." || common.size() == 1) {
                return ".";
            }
            common = DirectoryOf(common);
        }
    }
    return common;
}

QString Left(const std::string& path, const QString& why) {
    return QStringLiteral("Die Datei \u201E%1\u201C bleibt unver\u00E4ndert: %2")
        .arg(PathText(path), why);
}

QString Quoted(const QString& text) {
    return QStringLiteral("\u201E") + ControlsVisible(text) + QStringLiteral("\u201C");
}

// A change's texts as the file's encoding writes them.
struct EncodedChange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::string before;
    std::string after;
    bool beforeHeld = true;  // false when the file's encoding cannot write "before"
    const ListedChange* listed = nullptr;
};

// The fingerprint and encoding of the file as it is now, read once from its start.
struct Fingerprinted {
    std::uint64_t hash = 0;
    TextEncoding encoding = TextEncoding::Cp1252;
    std::optional<ByteOrder> utf16;  // its texts are then written in UTF-16
};

Result<std::vector<EncodedChange>> Encode(const ListedFile& file, const Fingerprinted& found) {
    const TextEncoding encoding = found.encoding;
    std::vector<EncodedChange> encoded;
    encoded.reserve(file.changes.size());
    for (const ListedChange& change : file.changes) {
        EncodedChange& made = encoded.emplace_back();
        made.offset = change.offset;
        made.length = change.length;
        made.listed = &change;
        if (found.utf16) {
            made.before = EncodeUtf16(change.before, *found.utf16);
            made.after = EncodeUtf16(change.after, *found.utf16);
            continue;
        }
        if (encoding == TextEncoding::Utf8) {
            made.before = change.before.toStdString();
            made.after = change.after.toStdString();
            continue;
        }
        auto before = EncodeCp1252(change.before);
        auto after = EncodeCp1252(change.after);
        if (!after) {
            return Error{Left(file.path, QStringLiteral("sie ist in Windows-1252 geschrieben, "
                                                        "das %1 (\u00C4nderung %2) nicht "
                                                        "darstellen kann.")
                                             .arg(Quoted(change.after))
                                             .arg(change.number))};
        }
        // A text the file's encoding cannot hold is not what stands in it.
        made.beforeHeld = static_cast<bool>(before);
        if (before) {
            made.before = std::move(before.value());
        }
        made.after = std::move(after.value());
    }
    return encoded;
}

// Reads `length` bytes at `offset`; fewer only at the end of the file.
Status ReadFrom(int descriptor, std::uint64_t offset, std::size_t length, std::string& out,
                const std::string& path) {
    if (auto read = ReadAt(descriptor, offset, length, out); !read) {
        return ReadError(path, read.error().code);
    }
    return Success();
}

struct Applied {
    std::int64_t changes = 0;
    std::int64_t bytes = 0;
    std::optional<QString> left;  // why the file stayed as it was
};

Result<Fingerprinted> Fingerprint(int descriptor, std::uint64_t size, const std::string& path) {
    ContentHasher hasher;
    EncodingDetector detector;
    std::optional<ByteOrder> utf16;
    std::string block;
    for (std::uint64_t at = 0; at < size;) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, size - at));
        if (auto read = ReadFrom(descriptor, at, length, block, path); !read) {
            return read.error();
        }
        if (block.empty()) {
            break;
        }
        if (at == 0) {
            utf16 = Utf16Order(block);
        }
        hasher.Update(block);
        detector.Feed(block);
        at += block.size();
    }
    return Fingerprinted{hasher.Finish(), detector.Finish().encoding, utf16};
}

// Orders a file's changes and refuses those that overlap, or reach past its end.
std::optional<QString> CheckPlaces(const ListedFile& file, std::vector<EncodedChange>& changes,
                                   std::uint64_t size) {
    std::stable_sort(changes.begin(), changes.end(),
                     [](const EncodedChange& first, const EncodedChange& second) {
                         return first.offset < second.offset;
                     });
    for (std::size_t index = 0; index < changes.size(); ++index) {
        const EncodedChange& change = changes[index];
        if (change.offset > size || change.length > size - change.offset) {
            return Left(file.path,
                        QStringLiteral("die \u00C4nderung %1 reicht \u00FCber ihr Ende hinaus.")
                            .arg(change.listed->number));
        }
        if (index > 0) {
            const EncodedChange& before = changes[index - 1];
            if (before.offset + before.length > change.offset || before.offset == change.offset) {
                return Left(file.path, QStringLiteral("die \u00C4nderungen %1 und %2 "
                                                      "\u00FCberschneiden sich.")
                                           .arg(before.listed->number)
                                           .arg(change.listed->number));
            }
        }
    }
    return std::nullopt;
}

// Writes the file anew with the changes made, each checked to find its "before" where the list
// says; a change that does not finds the file left whole.
Applied Rewrite(const ListedFile& file, const ReplaceTask& task, const ReplaceRun& run,
                const OpenedFile& opened, const FilePlace& place) {
    Applied applied;
    const auto size = static_cast<std::uint64_t>(opened.status.st_size);
    applied.bytes = static_cast<std::int64_t>(size);
    const int source = opened.file.get();
    auto fingerprint = Fingerprint(source, size, task.path);
    if (!fingerprint) {
        applied.left = fingerprint.message();
        return applied;
    }
    if (fingerprint->hash != file.fingerprint) {
        applied.left = Left(file.path, QStringLiteral("sie wurde seit der Vorschau ge\u00E4ndert "
                                                      "(ihr Fingerabdruck ist ein anderer)."));
        return applied;
    }
    auto encoded = Encode(file, fingerprint.value());
    if (!encoded) {
        applied.left = encoded.message();
        return applied;
    }
    std::vector<EncodedChange>& changes = encoded.value();
    if (auto refused = CheckPlaces(file, changes, size)) {
        applied.left = *refused;
        return applied;
    }
    auto out = ReplacingFile::BeginAt(place.directory, place.directoryPath, place.name, task.path,
                                      &opened.status);
    if (!out) {
        applied.left = out.message();
        return applied;
    }
    ContentHasher written;
    std::string block;
    const auto copy = [&](std::uint64_t from, std::uint64_t to) -> Status {
        while (from < to) {
            const auto length =
                static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, to - from));
            if (auto read = ReadFrom(source, from, length, block, task.path); !read) {
                return read;
            }
            if (block.size() != length) {
                return ChangedBeside(task.path);
            }
            written.Update(block);
            if (auto appended = out->Append(block); !appended) {
                return appended;
            }
            from += length;
        }
        return Success();
    };
    std::uint64_t at = 0;
    for (const EncodedChange& change : changes) {
        if (auto copied = copy(at, change.offset); !copied) {
            applied.left = copied.message();
            return applied;
        }
        if (auto read = ReadFrom(source, change.offset, static_cast<std::size_t>(change.length),
                                 block, task.path);
            !read) {
            applied.left = read.message();
            return applied;
        }
        if (!change.beforeHeld || block != change.before) {
            applied.left = Left(file.path, QStringLiteral("an Byte %1 steht nicht %2 "
                                                          "(\u00C4nderung %3).")
                                               .arg(change.offset)
                                               .arg(Quoted(change.listed->before))
                                               .arg(change.listed->number));
            return applied;
        }
        written.Update(change.after);
        if (auto appended = out->Append(change.after); !appended) {
            applied.left = appended.message();
            return applied;
        }
        at = change.offset + change.length;
    }
    if (auto copied = copy(at, size); !copied) {
        applied.left = copied.message();
        return applied;
    }
    const OriginalContents original{static_cast<std::int64_t>(size), fingerprint->hash,
                                    std::nullopt};
    if (auto committed =
            CommitChecked(task, run, opened, place, original, written.Finish(), out.value());
        !committed) {
        applied.left = committed.message();
        return applied;
    }
    applied.changes = static_cast<std::int64_t>(changes.size());
    return applied;
}

// A listed file as the taking thread resolved it, or why it is left.
struct ApplyTask {
    const ListedFile* file = nullptr;
    ReplaceTask task;
    std::optional<QString> left;
};

// On the taking thread, in the list's order: links are resolved and each file is taken once.
ApplyTask PrepareFile(const ListedFile& file, PathResolver& resolver, ReplaceRun& run) {
    ApplyTask prepared;
    prepared.file = &file;
    if (file.twoFingerprints) {
        prepared.left = Left(file.path, QStringLiteral("ihre Zeilen in der Liste nennen "
                                                       "verschiedene Fingerabdr\u00FCcke."));
    } else if (!resolver.Prepare(file.path, prepared.task, run)) {
        prepared.left = Left(file.path, QStringLiteral("sie steht unter einem zweiten Namen "
                                                       "schon in der Liste."));
    } else if (prepared.task.refused) {
        prepared.left = *prepared.task.refused;
    } else if (!HasPlace(prepared.task, run)) {
        prepared.left = ChangedBeside(prepared.task.path).message;
    }
    return prepared;
}

// On any thread: the file checked and rewritten.
Applied ApplyToFile(const ApplyTask& prepared, const ReplaceRun& run, ReplaceBuffers& buffers) {
    Applied applied;
    if (prepared.left) {
        applied.left = prepared.left;
        return applied;
    }
    const ListedFile& file = *prepared.file;
    const ReplaceTask& task = prepared.task;
    auto place = PlaceOf(task, run, buffers);
    if (!place) {
        applied.left = place.message();
        return applied;
    }
    auto opened = OpenRegularFileAt(place->directory, place->name, task.path);
    if (!opened) {
        applied.left = opened.message();
        return applied;
    }
    if (auto refused = RefusedByHead(opened->file.get(), task.path)) {
        applied.left = *refused;
        return applied;
    }
    if (auto refused = CannotRewrite(task.path, opened->status, run.journalNames)) {
        applied.left = *refused;
        return applied;
    }
    return Rewrite(file, task, run, opened.value(), place.value());
}

}  // namespace

CommandOutcome ApplyChangeList(RunView& view, const ApplyJob& job) {
    auto list = ReadChangeList(job.changes);
    if (!list) {
        view.ShowMessage(list.message() + QStringLiteral("\nEs wurde keine Datei ge\u00E4ndert."),
                         MessageIcon::Warning);
        return CommandOutcome::Invalid;
    }
    if (list->files.empty()) {
        view.ShowMessage(QStringLiteral("Die \u00C4nderungsliste \u201E%1\u201C enth\u00E4lt "
                                        "keine \u00C4nderung; es wurde keine Datei ge\u00E4ndert.")
                             .arg(job.changes),
                         MessageIcon::None);
        return CommandOutcome::NothingToDo;
    }
    const std::string location = CommonDirectory(list->files);
    const LocationBounds bounds(location);
    const bool tree = std::any_of(
        list->files.begin(), list->files.end(),
        [&location](const ListedFile& file) { return DirectoryOf(file.path) != location; });
    auto taken = RunLock::Take(
        {RunKind::Replacement, tree, bounds.Resolved().empty() ? location : bounds.Resolved()});
    if (!taken) {
        view.ShowMessage(taken.message(), MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    const std::vector<ReplaceStep> steps;
    const FileMask everything(QStringLiteral("*"));
    ReplaceRun run{steps, everything, view, bounds, ReplaceAction::Write};
    const FileDescriptor top(
        bounds.Resolved().empty()
            ? -1
            : open(bounds.Resolved().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    run.top = top.get();
    const Result<std::string> journalRoot = JournalRoot();
    if (journalRoot) {
        const std::string temporaries = journalRoot.value() + "/.temporaries";
        SetTemporaryRegister(temporaries);
        CleanAbandonedTemporaries(temporaries);
    }
    const JournalNames journalNames(journalRoot ? journalRoot.value() : std::string());
    run.journalNames = &journalNames;
    std::unique_ptr<Journal> journal;
    if (job.journal) {
        const JournalRunInfo info{0, job.kind, PathText(bounds.Resolved()), job.changes, QString()};
        auto begun = journalRoot ? Journal::Begin(journalRoot.value(), info, job.keptRuns)
                                 : Result<std::unique_ptr<Journal>>(journalRoot.error());
        if (!begun) {
            view.ShowMessage(
                begun.message() + QStringLiteral("\nEs wurde keine Datei ge\u00E4ndert."),
                MessageIcon::Warning);
            return CommandOutcome::Refused;
        }
        journal = std::move(begun.value());
        run.journal = journal.get();
    }
    ResultsHeading heading;
    heading.location = PathText(location);
    heading.kind = ResultsKind::Replacement;
    heading.journal = run.journal != nullptr;
    view.ResultsBegin(heading);
    PathResolver resolver(bounds);
    const ReplaceRun& shared = run;
    OrderedPool<ApplyTask, Applied, ReplaceBuffers> pool(
        DefaultWorkerCount(), [&shared](const ApplyTask& prepared, ReplaceBuffers& buffers) {
            return ApplyToFile(prepared, shared, buffers);
        });
    const auto take = [&](const Applied& applied, const ListedFile& file) {
        ++run.filesExamined;
        run.bytesExamined += applied.bytes;
        if (applied.left) {
            run.problems.push_back(*applied.left);
            return;
        }
        ++run.filesChanged;
        run.replacements += applied.changes;
        FoundFile found;
        found.number = run.filesChanged;
        found.path = file.path;
        found.count = applied.changes;
        found.length = applied.bytes;
        view.ShowFound(std::move(found));
    };
    // Few files are ahead, so that a stop leaves little done beyond what the person saw last.
    const std::size_t ahead = 2 * (DefaultWorkerCount() + 1);
    std::size_t submitted = 0;
    std::size_t done = 0;
    bool stopped = false;
    while (done < list->files.size()) {
        while (submitted < list->files.size() && pool.InFlight() < ahead) {
            pool.Submit(PrepareFile(list->files[submitted++], resolver, run));
        }
        take(pool.TakeNext(), list->files[done++]);
        view.ShowProgress({run.filesExamined, run.bytesExamined, run.filesChanged});
        if (done < list->files.size() && view.CheckStop() == Flow::Stop) {
            stopped = true;
            // Files being rewritten as the stop came are finished and counted like the others.
            for (const Applied& applied : pool.FinishStarted()) {
                take(applied, list->files[done++]);
            }
            break;
        }
    }
    if (stopped) {
        view.ShowMessage(
            QStringLiteral("Die \u00C4nderungen wurden angehalten: %1 von %2 Dateien wurden "
                           "ge\u00E4ndert (%3 \u00C4nderungen); die \u00FCbrigen wurden nicht "
                           "bearbeitet.%4")
                .arg(run.filesChanged)
                .arg(list->files.size())
                .arg(run.replacements)
                .arg(run.journal != nullptr && run.filesChanged > 0
                         ? QStringLiteral(" R\u00FCckg\u00E4ngig nimmt sie zur\u00FCck.")
                         : QString()),
            MessageIcon::None);
    }
    ShowProblems(UnchangedFilesHeading(), run.problems, view);
    if (stopped) {
        return CommandOutcome::Stopped;
    }
    return run.problems.empty() ? CommandOutcome::Completed : CommandOutcome::Incomplete;
}

}  // namespace trawlex
