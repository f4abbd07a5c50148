#pragma once

#include "search/RunView.h"

#include <QString>

#include <string>
#include <vector>

namespace trawlex {

// Tells the person, in one message at the end of a run, what could not be processed. Long lists
// are cut, so that the message box still fits on the screen.
// Each file is also told to the view with `reason`; each line of the second kind names its file
// and is told as its own reason.
void ShowProblems(const QString& heading, const std::vector<std::string>& paths, RunView& view,
                  const QString& reason);
void ShowProblems(const QString& heading, const std::vector<QString>& lines, RunView& view);

}  // namespace trawlex
