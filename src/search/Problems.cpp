#include "Problems.h"

#include "common/PathText.h"

namespace trawlex {
namespace {

constexpr std::size_t kListedProblems = 20;

}  // namespace

void ShowProblems(const QString& heading, const std::vector<QString>& lines, Ui& ui) {
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
    ui.ShowMessage(text, MessageIcon::Warning);
}

void ShowProblems(const QString& heading, const std::vector<std::string>& paths, Ui& ui) {
    std::vector<QString> lines;
    lines.reserve(paths.size());
    for (const std::string& path : paths) {
        lines.push_back(PathText(path));
    }
    ShowProblems(heading, lines, ui);
}

}  // namespace trawlex
