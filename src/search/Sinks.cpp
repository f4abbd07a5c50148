#include "search/Sinks.h"

namespace trawlex {

Flow ViewSink::Take(const FoundRow& row) {
    if (!showsFound_) {
        return Flow::Continue;
    }
    const FileMatch& match = row.Match();
    view_.ShowFound(
        {.number = row.number,
         .path = row.file.path,
         .firstPosition = match.firstPosition,
         .count = match.count,
         .title = row.file.title ? ShownTitle(*row.file.title, match.encoding) : QString(),
         .modified = row.file.stamp.modified,
         .length = row.file.stamp.length,
         .term = static_cast<int>(row.term),
         .encoding = match.encoding,
         .utf16 = row.file.utf16,
         .lines = row.term < row.file.lines.size()
                      ? std::optional<FileHitLines>(row.file.lines[row.term])
                      : std::nullopt});
    return Flow::Continue;
}

Flow ViewSink::Take(const RunProgress& progress) {
    view_.ShowProgress(progress);
    return view_.CheckStop();
}

Flow ReportRows::Take(const FoundRow& row) {
    FileMatch match = row.Match();
    if (row.file.title) {
        match.title = *row.file.title;
    }
    const RowStyle style = scope_ == Scope::Flat ? RowStyle::Flat
                           : row.file.own        ? RowStyle::TreeTop
                                                 : RowStyle::TreeBelow;
    const ResultRow shown{row.number, row.file.path, match, row.file.stamp.modified,
                          row.file.stamp.length};
    if (auto written = report_.Append(ResultRowText(shown, style, moments_)); !written) {
        failure_ = written.error();
        return Flow::Stop;
    }
    return Flow::Continue;
}

}  // namespace trawlex
