// What every rewrite of a file shares, whatever decided its new contents: where the file lies,
// reached from the location down, whether it may be rewritten at all, and the journaled rename
// that gives it its new contents.
#include "Rewrite.h"

#include "Journal.h"
#include "common/files/ReplacingFile.h"
#include "common/files/WholeFile.h"
#include "common/text/PathText.h"
#include "common/text/TextEncoding.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

namespace trawlex {
namespace {

QString NotJournaled(const std::string& path, const QString& reason) {
    return QStringLiteral("Die Datei \u201E%1\u201C blieb unver\u00E4ndert: %2")
        .arg(PathText(path), reason);
}

void PutBack(const ReplaceTask& task, const OpenedFile& opened, const struct stat& now,
             const FilePlace& place) {
    auto back = ReplacingFile::BeginAt(place.directory, place.directoryPath, place.name, task.path,
                                       &opened.status);
    if (!back) {
        return;
    }
    ChunkReader reader(opened.file.get(), task.path, ChunkReader::kPieceSize,
                       static_cast<std::uint64_t>(now.st_size));
    while (!reader.AtEnd()) {
        if (!reader.Advance(reader.End()) || !back->Append(reader.Window())) {
            return;
        }
    }
    static_cast<void>(back->Commit());
}

}  // namespace

bool PathResolver::Prepare(const std::string& path, ReplaceTask& task, ReplaceRun& run) {
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
        task.refused = QStringLiteral(
                           "Die Datei \u201E%1\u201C verweist auf \u201E%2\u201C au\u00DFerhalb "
                           "des Suchorts und bleibt unver\u00E4ndert.")
                           .arg(PathText(path), PathText(task.resolved));
    }
    return true;
}

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

QString Utf16Malformed(const std::string& path) {
    return QStringLiteral(
               "Die Datei \u201E%1\u201C ist UTF-16-kodiert, enth\u00E4lt aber ein "
               "einzelnes Ersatzzeichen (Surrogat) oder ein halbes Zeichen; damit sie nicht "
               "besch\u00E4digt wird, bleibt sie unver\u00E4ndert.")
        .arg(PathText(path));
}

QString BinaryRefused(const std::string& path) {
    return QStringLiteral(
               "Die Datei \u201E%1\u201C ist eine Bin\u00E4rdatei (sie enth\u00E4lt "
               "Nullbytes); in solchen Dateien wird nicht ersetzt, damit sie nicht "
               "besch\u00E4digt werden. Sie bleibt unver\u00E4ndert.")
        .arg(PathText(path));
}

std::optional<QString> RefusedByHead(int descriptor, const std::string& path) {
    std::string head;
    // A file that cannot be read here is named by the read that follows.
    if (!ReadAt(descriptor, 0, kBinaryHead, head) || !LooksBinary(head)) {
        return std::nullopt;
    }
    return BinaryRefused(path);
}

bool HasPlace(const ReplaceTask& task, const ReplaceRun& run) {
    return run.top >= 0 && !task.refused && run.bounds.Contains(task.resolved);
}

Result<FilePlace> PlaceOf(const ReplaceTask& task, const ReplaceRun& run, ReplaceBuffers& buffers) {
    const std::string& top = run.bounds.Resolved();
    const std::size_t slash = task.resolved.rfind(kSeparator);
    std::string directoryPath = task.resolved.substr(0, slash + 1);
    if (buffers.directory.get() < 0 || buffers.directoryPath != directoryPath) {
        const std::size_t below = top == "/" ? 1 : top.size() + 1;
        auto opened = OpenDirectoryBeneath(
            run.top, std::string_view(directoryPath).substr(std::min(below, directoryPath.size())),
            task.path);
        if (!opened) {
            buffers.directory = FileDescriptor();
            buffers.directoryPath.clear();
            return opened.error();
        }
        buffers.directory = std::move(opened.value());
        buffers.directoryPath = std::move(directoryPath);
    }
    return FilePlace{buffers.directory.get(), buffers.directoryPath,
                     task.resolved.substr(slash + 1)};
}

Status CommitChecked(const ReplaceTask& task, const ReplaceRun& run, const OpenedFile& opened,
                     const FilePlace& place, const OriginalContents& original,
                     std::uint64_t writtenHash, ReplacingFile& out) {
    struct stat expected = opened.status;
    std::optional<std::uint64_t> entry;
    if (run.journal != nullptr) {
        auto kept = run.journal->Keep(task.resolved, opened.file.get(), opened.status, original,
                                      writtenHash);
        if (!kept) {
            return Error{NotJournaled(task.path, kept.message())};
        }
        entry = kept.value();
        // The journal's second name changes the file's change time, but nothing else of it.
        struct stat now {};
        if (fstat(opened.file.get(), &now) != 0 || now.st_size != expected.st_size ||
            now.st_mtim.tv_sec != expected.st_mtim.tv_sec ||
            now.st_mtim.tv_nsec != expected.st_mtim.tv_nsec) {
            static_cast<void>(run.journal->Withdraw(*entry));
            return ChangedBeside(task.path);
        }
        expected = now;
    }
    Status committed = out.Commit(&expected);
    // A write that came between the last comparison and the rename went to the file that was
    // read, which the descriptor still holds: that version goes back in place of the
    // replacement, so that the other program's change is not lost either.
    struct stat after {};
    if (committed && fstat(opened.file.get(), &after) == 0 &&
        (after.st_size != expected.st_size || after.st_mtim.tv_sec != expected.st_mtim.tv_sec ||
         after.st_mtim.tv_nsec != expected.st_mtim.tv_nsec)) {
        PutBack(task, opened, after, place);
        committed = ChangedBeside(task.path);
    }
    if (!committed && entry) {
        static_cast<void>(run.journal->Withdraw(*entry));
    }
    return committed;
}

}  // namespace trawlex
