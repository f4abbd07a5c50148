#pragma once

#include "common/Run.h"
#include "common/files/FileFilters.h"
#include "common/files/OrderedPool.h"
#include "common/files/TreeWalk.h"
#include "common/text/CaseFold.h"
#include "search/RunView.h"

#include <QString>

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace trawlex {

// One row of the profile report: a file in which one of the profile's terms occurs.
struct ProfileHit {
    std::string path;
    QString term;
    std::int64_t firstPosition = 0;
    std::int64_t count = 0;
};

// The terms of a search profile, in file order, decoded as the profile is written; empty items
// are skipped.
std::vector<QString> ReadSearchTerms(std::string_view profileBytes);

// What the profile report's settings table shows: the window's fields as they stood.
struct ProfileSummary {
    QString profileName;
    QString profilePath;
    QString location;
    QString mask;
    bool matchCase = true;
    bool subdirectories = false;
    bool pattern = false;
    FileFilters filters{};
};

// The profile report: its own head and settings table, then one row per hit.
std::string SearchProfileReportText(const ProfileSummary& summary,
                                    const std::vector<ProfileHit>& hits, std::time_t now);

// One run of a search profile: every term is looked for in each file, read once.
struct ProfileJob {
    QString location;  // ending in the separator
    std::vector<QString> terms;
    QString target;
    QString mask;
    CompareMode mode = CompareMode::Exact;
    Scope scope = Scope::Flat;
    bool regex = false;
    FileFilters filters{};
    ProfileSummary summary;
    unsigned workers = DefaultWorkerCount();
};

// Searches the location's files (or its whole tree) for the job's terms and writes the profile
// report; names at the end what could not be read. Stopped when the person stopped it: the
// report then holds the files searched until then.
CommandOutcome SearchWithProfile(RunView& view, const ProfileJob& job);

}  // namespace trawlex
