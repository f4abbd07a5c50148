#pragma once

#include "Journal.h"

#include "common/Result.h"
#include "common/files/WholeFile.h"

#include <QString>

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The journal's files as they lie on disk: their names, how they are written and trusted, and
// what they say. Shared by the journal's writer, its reader and its pruning; nothing else uses it.
namespace trawlex::journal {

inline constexpr std::string_view kInfoName = "info";
inline constexpr std::string_view kEntriesName = "entries";
inline constexpr std::string_view kUndoneName = "undone";
// Written when the run ends: how many entries it kept and their fingerprint. It lives apart from
// the entries, so that cutting the entries short cannot take it along.
inline constexpr std::string_view kFinishedName = "finished";
// A small journal file is written under this suffix first and then renamed.
inline constexpr std::string_view kPartSuffix = ".part";
// The start of a line that takes an entry back; an entry line starts with its number.
inline constexpr std::string_view kWithdrawnWord = "withdrawn";

// Why the journal in `directory` cannot be written, with the system's reason.
Error CannotWrite(const std::string& directory, int code);
// A journal refused as damaged, naming what is wrong with it.
Error Damaged(const std::string& directory, const QString& what);
// Values may hold any byte; blanks, line ends and "%" are written as "%XX" so that every field
// stays one word of one line.
std::string Escaped(std::string_view bytes);
bool Unescaped(std::string_view text, std::string& out);
std::string Utf8(const QString& text);
QString FromUtf8(const std::string& bytes);
// A journal file or directory that is not the person's own, or that others may write.
Error Untrusted(const std::string& directory, const std::string& path);

// Directories the journal makes get 0700 whatever the umask.
Status MakeDirectories(const std::string& path);
// A journal file made by the run: only the person may read it, whatever the umask.
FileDescriptor CreateJournalFile(int directory, const char* name, int flags);
// Writes a small journal file whole under a temporary name and then renames it, so that a kill
// leaves either no file or all of it.
Status WriteJournalFile(int directory, const std::string& name, std::string_view text);
// The person's own, and writable by no one else.
bool Trusted(const struct stat& info);
bool IsCopyName(std::string_view name);
// Only the files a journal itself writes.
bool IsJournalFileName(std::string_view name);

// What one of a run's own files holds, read without following a link and without waiting on
// something that is no file.
enum class FileState { Missing, Read, NoFile, Untrusted };
FileState ReadJournalFile(int directory, std::string_view name, std::string& bytes);

// Run directories are named by their start in UTC, to the nanosecond, so that names sort as the
// runs were made.
std::string RunName(const timespec& now);
// The start a run's name records, for a run whose info cannot be read.
std::time_t StartOfName(std::string_view name);
bool IsRunName(std::string_view name);
// The names in an opened directory, "." and ".." left out; nothing when it cannot be read.
std::optional<std::vector<std::string>> NamesIn(int directory);
// The run directories below the root, oldest first.
std::vector<std::string> RunNames(int root);
FileDescriptor OpenRoot(const std::string& root);
FileDescriptor OpenRun(int root, const std::string& name);
// The names in a run directory, or nothing when one of them is not a file a journal writes.
std::optional<std::vector<std::string>> JournalFiles(int run);
// Empties a run directory that is known to be a journal, through its descriptor.
bool EmptyRun(int run);
// Removes an old run, but only a real directory of the person's that holds a journal and
// nothing else, and never one whose replacement still runs.
void RemoveOldRun(int root, const std::string& name);

// The texts of a run's files: its info, an entry line, the record of its end, and the line that
// takes an entry back.
std::string InfoText(const JournalRunInfo& info);
std::string EntryLine(const JournalEntry& entry);
std::string FinishedText(std::int64_t entries, std::int64_t size, std::uint64_t hash);
std::string WithdrawnLine(std::uint64_t id);
// Reads a run's info; false when it is damaged.
bool ParseInfo(std::string_view text, JournalRunInfo& info);
// Reads one run directory below the root, and how far it can be trusted.
JournalRun ReadRun(int root, const std::string& rootPath, const std::string& name);

}  // namespace trawlex::journal
