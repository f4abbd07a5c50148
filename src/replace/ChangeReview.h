#pragma once

#include "common/Result.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace trawlex {

// What the window shows of one change of a preview's list: its line, and that line before and
// after the change around it, cut short far from the change.
struct ShownChange {
    std::int64_t number = 0;  // in the whole list
    std::int64_t line = 0;
    QString lead;    // the line before the change
    QString before;  // what the change takes out
    QString after;   // what it puts in
    QString tail;    // the line behind it
};

// The changes of one file, read from the list where they start (`at`, `count` lines), with their
// lines read from the file as it is now. Called for the file a person chooses, not for all.
Result<std::vector<ShownChange>> ReadShownChanges(const QString& list, std::int64_t at,
                                                  std::int64_t count, const std::string& path);

// The changes a person chose of one file: `count` lines of the list from `at`, those whose tick
// is set (all when `ticks` is empty).
struct ChosenChanges {
    std::int64_t at = 0;
    std::int64_t count = 0;
    std::vector<bool> ticks;
};

// Writes the chosen lines of `list` to `out`, in the list's order, as a list of their own.
Status WriteChosenChanges(const QString& list, const std::vector<ChosenChanges>& chosen,
                          const QString& out);

}  // namespace trawlex
