#pragma once

#include "common/Run.h"
#include "search/RunView.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace trawlex {

// What the command line prints on stdout besides the report, for a script or a terminal.
enum class OutputFormat {
    None,
    Json,   // JSON Lines: one object per row, then a summary
    Lines,  // path:line:column:text for each line that holds a hit, as grep prints them
    Paths,  // the paths of the files with hits, one a line
};

struct OutputChoice {
    OutputFormat format = OutputFormat::None;
    bool nulAfterPath = false;  // -0: a NUL ends each path instead of a line feed or ":"
};

// Turns what a run tells its view into the chosen output, row by row in report order, and the
// summary once the command has ended.
class ScriptOutput {
public:
    ScriptOutput(OutputChoice choice, std::FILE* out) : choice_(choice), out_(out) {}

    bool WantsLines() const { return choice_.format != OutputFormat::Paths; }
    // True once stdout cannot be written (the reader went away): a search stops there.
    bool Broken() const { return broken_; }

    void Begin(const ResultsHeading& heading);
    void Found(const FoundFile& found);
    void Progress(const RunProgress& progress) { progress_ = progress; }
    void Problem(const RunProblem& problem);
    // The JSON summary, after the command ended; nothing when no run began.
    void Finish();

private:
    void Write(const std::string& text);
    void FoundJson(const FoundFile& found);
    void FoundLines(const FoundFile& found);

    OutputChoice choice_;
    std::FILE* out_;
    bool begun_ = false;
    bool broken_ = false;
    ResultsHeading heading_;
    RunProgress progress_;
    std::vector<RunProblem> problems_;
    std::string lastPath_;  // of the last row: a profile's file is one path, whatever its terms
};

}  // namespace trawlex
