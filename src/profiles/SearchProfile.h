#pragma once

#include "app/Ui.h"
#include "common/text/CaseFold.h"

#include <QString>

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace trawlex {

struct Form1;

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

// The profile report: its own head and settings table, then one row per hit.
std::string SearchProfileReportText(const Form1& form, const QString& profilePath,
                                    const std::vector<ProfileHit>& hits, std::time_t now);

// "Ausführen" in the "Suchprofil:" row: searches the location's files for every term of the
// chosen profile and writes the profile report.
CommandOutcome butSuchprofilausführen_Click(Form1& form, Ui& ui);

}  // namespace trawlex
