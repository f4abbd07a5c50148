#include "Problems.h"

#include "common/text/PathText.h"

namespace trawlex {
namespace {

constexpr std::size_t kListedProblems = 20;

// The message that lists them, cut after the first ones.
void ShowProblemList(const QString& heading, const std::vector<QString>& lines, RunView& view) {
    if (lines.empty()) {
        return;
    }
    QString text = heading;
    for (std::size_t index = 0; index < lines.size() && index < kListedProblems; ++index) {
        text += QLatin1Char('\n') + lines[index];
    }
    if (lines.size() > kListedProblems) {
        text += QStringLiteral("\n\u2026 und %1 weitere").arg(lines.size() - kListedProblems);
    }
    view.ShowMessage(text, MessageIcon::Warning);
}

}  // namespace

void ShowProblems(const QString& heading, const std::vector<QString>& lines, RunView& view) {
    for (const QString& line : lines) {
        view.NoteProblem({{}, line});
    }
    ShowProblemList(heading, lines, view);
}

void ShowProblems(const QString& heading, const std::vector<std::string>& paths, RunView& view,
                  const QString& reason) {
    std::vector<QString> lines;
    lines.reserve(paths.size());
    for (const std::string& path : paths) {
        view.NoteProblem({path, reason});
        lines.push_back(PathText(path));
    }
    ShowProblemList(heading, lines, view);
}

}  // namespace trawlex
