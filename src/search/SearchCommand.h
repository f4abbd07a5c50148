#pragma once

#include "app/Ui.h"
#include "search/Report.h"

#include <QString>

#include <initializer_list>

namespace trawlex {

struct Form1;

// The check the search and replace commands share: the report path, term, mask and location
// must all be filled; otherwise the person is told and nothing changes.
bool RequireSearchFields(const Form1& form, Ui& ui);

// One input a command needs, by the name of its field in the window; a mask is also checked for
// being usable.
struct NeededField {
    const QString& value;
    const char16_t* name;
    bool mask = false;
    bool needed = true;  // false leaves the field out
};

// The result file is needed unless the command line prints the results for a script instead.
NeededField ReportField(const Form1& form);

// Where the report is written: nowhere when none is wanted.
QString ReportTarget(const Form1& form);

// True when every field is filled and the mask usable; otherwise the person is told which field
// is wanting, and nothing changes.
bool RequireFields(Ui& ui, std::initializer_list<NeededField> fields);

// The head of a search's report shows the window's fields as they stand when it begins; a
// pattern search says so.
ReportSummary ReportSummaryOf(const Form1& form, CompareMode mode);

// The search of one directory without its subdirectories, from the report header to the
// footer.
CommandOutcome SearchDirFlat(const Form1& form, Ui& ui, const QString& path, const QString& term,
                             const QString& target, const QString& mask, CompareMode mode);

// The search of the location and every directory below it, with one report and one set of
// totals; the location, term, mask and report path come from the record.
CommandOutcome SearchTree(const Form1& form, Ui& ui, CompareMode mode);

// The search button: checks the four inputs, records the term, runs the search with the busy
// status and hands the report to the browser.
CommandOutcome butSuchen_Click(Form1& form, Ui& ui);

}  // namespace trawlex
