#pragma once

#include <cstdint>

namespace trawlex {

enum class MessageIcon {
    None,
    Warning,
};

// What a run is told after each file: go on, or stop because the person asked.
enum class Flow {
    Continue,
    Stop,
};

// How a command ended, for callers that report it (the command line's exit status).
enum class CommandOutcome {
    Completed,    // ran to its end
    Incomplete,   // ran to its end, but some files could not be processed (the person was told)
    Refused,      // the inputs were missing or wrong; nothing was done
    Failed,       // began but could not finish (the report could not be written)
    Stopped,      // the person stopped it
    NothingToDo,  // ran to its end, but nothing would change (a preview) or was left to undo
    Invalid,      // an input could not be understood (a pattern that does not compile); nothing
                  // was done
};

// Whether a command got as far as producing what it makes (a report, a page, changed files).
inline bool Produced(CommandOutcome outcome) {
    return outcome != CommandOutcome::Refused && outcome != CommandOutcome::Invalid &&
           outcome != CommandOutcome::Failed;
}

// How far a running command is: the files looked at, their bytes, and those with hits (or,
// for a replacement, changed).
struct RunProgress {
    std::int64_t files = 0;
    std::int64_t bytes = 0;
    std::int64_t hits = 0;
};

}  // namespace trawlex
