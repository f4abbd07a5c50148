#pragma once

#include "common/Run.h"
#include "common/files/WalkDriver.h"
#include "search/Report.h"
#include "search/RunView.h"
#include "search/Scan.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace trawlex {

// A file with hits for one of the run's terms, numbered as the report numbers its rows.
struct FoundRow {
    std::int64_t number = 0;
    const ScannedFile& file;
    std::size_t term = 0;  // among the run's terms

    const FileMatch& Match() const { return file.matches[term]; }
};

// Whoever watches the run (the window's table and status, the command line's progress line, a
// test): it sees each row and the progress after each file, and is asked then whether to go on.
class ViewSink final : public Sink<FoundRow>, public Sink<RunProgress> {
public:
    explicit ViewSink(RunView& view) : view_(view), showsFound_(view.ShowsFound()) {}

    Flow Take(const FoundRow& row) override;
    Flow Take(const RunProgress& progress) override;

private:
    RunView& view_;
    bool showsFound_;
};

// The rows of a search's report, written as they come.
class ReportRows final : public Sink<FoundRow> {
public:
    ReportRows(ReportFile& report, Scope scope) : report_(report), scope_(scope) {}

    Flow Take(const FoundRow& row) override;

    // Why the report could not be written; the run stopped there.
    const std::optional<Error>& Failure() const { return failure_; }

private:
    ReportFile& report_;
    Scope scope_;
    MomentCell moments_;
    std::optional<Error> failure_;
};

}  // namespace trawlex
