#pragma once

#include "common/Result.h"
#include "common/files/PathAccess.h"

#include <QString>

#include <sys/types.h>

#include <string>

namespace trawlex {

// What a rewriting run is: a replacement of any kind, or an undo.
enum class RunKind {
    Replacement,
    Undo,
};

// The files a rewriting run may write: those of its location, and with `tree` those of every
// directory below it. The location has its links resolved, so that two spellings of one
// directory meet.
struct RunClaim {
    RunKind kind = RunKind::Replacement;
    bool tree = false;
    std::string location;
};

// Whether two runs could rewrite the same file: the same location, or one location inside the
// other where the outer run takes its subdirectories.
bool Overlaps(const RunClaim& first, const RunClaim& second);

// The directory where every rewriting run of every user on this machine is registered:
// /run/lock, or /tmp where there is none. The tests name a directory of their own in
// TRAWLEX_RUN_REGISTRY, so that they never meet a real run of the person running them.
std::string RunRegistry();

// A rewriting run registered as running. Two runs that overlap would lose each other's changes
// (or an undo would take back half a replacement), so the later one is refused before it touches
// anything. The registration is a record file that holds a lock for as long as the run lives; a
// run that is killed leaves a record whose lock is free, and it counts no more.
class RunLock {
public:
    // Registers the run, or refuses it with a German message naming the run it would meet (or
    // the registry that cannot be trusted).
    static Result<RunLock> Take(const RunClaim& claim);

    RunLock(RunLock&& other) noexcept = default;
    RunLock& operator=(RunLock&& other) noexcept = default;
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;
    ~RunLock();

private:
    RunLock(FileDescriptor directory, FileDescriptor record, std::string name)
        : directory_(std::move(directory)), record_(std::move(record)), name_(std::move(name)) {}

    FileDescriptor directory_;
    FileDescriptor record_;
    std::string name_;
};

}  // namespace trawlex
