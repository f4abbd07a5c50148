#include "Problems.h"

#include "common/text/PathText.h"

namespace trawlex {
namespace {

constexpr std::size_t kListedProblems = 20;

}  // namespace

void ShowProblems(const QString& heading, const std::vector<QString>& lines, RunView& view) {
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

void ShowProblems(const QString& heading, const std::vector<std::string>& paths, RunView& view) {
    std::vector<QString> lines;
    lines.reserve(paths.size());
    for (const std::string& path : paths) {
        lines.push_back(PathText(path));
    }
    ShowProblems(heading, lines, view);
}

}  // namespace trawlex
