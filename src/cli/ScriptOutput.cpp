#include "ScriptOutput.h"

#include "common/text/JsonText.h"

#include <ctime>

namespace trawlex {
namespace {

std::string EncodingName(const FoundFile& found) {
    if (found.utf16) {
        return *found.utf16 == ByteOrder::Little ? "utf-16le" : "utf-16be";
    }
    return found.encoding == TextEncoding::Utf8 ? "utf-8" : "windows-1252";
}

// The local time, as the report shows it, in the form scripts read.
std::string IsoMoment(std::time_t moment) {
    std::tm local{};
    localtime_r(&moment, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

void AppendField(std::string& out, const char* name, std::int64_t value) {
    out += ", \"";
    out += name;
    out += "\": ";
    out += std::to_string(value);
}

void AppendField(std::string& out, const char* name, QStringView value) {
    out += ", \"";
    out += name;
    out += "\": ";
    AppendJsonString(out, value);
}

}  // namespace

void ScriptOutput::Write(const std::string& text) {
    if (broken_) {
        return;
    }
    if (std::fwrite(text.data(), 1, text.size(), out_) != text.size()) {
        broken_ = true;
    }
}

void ScriptOutput::Begin(const ResultsHeading& heading) {
    begun_ = true;
    heading_ = heading;
}

void ScriptOutput::Found(const FoundFile& found) {
    switch (choice_.format) {
        case OutputFormat::Json:
            FoundJson(found);
            break;
        case OutputFormat::Lines:
            FoundLines(found);
            break;
        case OutputFormat::Paths:
            // A profile names a file once per term, in rows that follow each other; its path is
            // printed once.
            if (heading_.kind == ResultsKind::Profile) {
                if (found.path == lastPath_) {
                    return;
                }
                lastPath_ = found.path;
            }
            Write(found.path + (choice_.nulAfterPath ? '\0' : '\n'));
            break;
        case OutputFormat::None:
            break;
    }
}

void ScriptOutput::FoundJson(const FoundFile& found) {
    std::string out;
    if (IsReplacement(heading_.kind)) {
        out = heading_.kind == ResultsKind::Preview ? R"({"type": "would_change", )"
                                                    : R"({"type": "changed", )";
        AppendJsonPath(out, found.path);
        AppendField(out, "replacements", found.count);
        Write(out + "}\n");
        return;
    }
    out = R"({"type": "file", )";
    AppendJsonPath(out, found.path);
    if (heading_.kind == ResultsKind::Profile && found.term < heading_.terms.size()) {
        AppendField(out, "term", heading_.terms[found.term]);
    }
    AppendField(out, "first", found.firstPosition);
    AppendField(out, "count", found.count);
    if (found.title.isNull()) {
        out += R"(, "title": null)";
    } else {
        AppendField(out, "title", found.title);
    }
    AppendField(out, "size", found.length);
    out += R"(, "modified": ")" + IsoMoment(found.modified) + R"(", "encoding": ")" +
           EncodingName(found) + R"(", "lines": [)";
    if (found.lines) {
        bool first = true;
        for (const HitLine& line : found.lines->lines) {
            out += first ? "{" : ", {";
            first = false;
            out += R"("line": )" + std::to_string(line.number);
            AppendField(out, "column", line.column);
            AppendField(out, "text", line.text);
            out += "}";
        }
    }
    out += "]";
    if (found.lines && found.lines->moreLines > 0) {
        AppendField(out, "more_lines", found.lines->moreLines);
    }
    Write(out + "}\n");
}

void ScriptOutput::FoundLines(const FoundFile& found) {
    if (!found.lines) {
        return;
    }
    const char afterPath = choice_.nulAfterPath ? '\0' : ':';
    std::string out;
    for (const HitLine& line : found.lines->lines) {
        out += found.path;
        out += afterPath;
        out += std::to_string(line.number) + ':' + std::to_string(line.column) + ':';
        out += line.text.toStdString();
        out += '\n';
    }
    Write(out);
}

void ScriptOutput::Problem(const RunProblem& problem) {
    problems_.push_back(problem);
}

void ScriptOutput::Finish() {
    if (begun_ && choice_.format == OutputFormat::Json) {
        std::string out = R"({"type": "summary")";
        AppendField(out, "files_examined", progress_.files);
        AppendField(out, IsReplacement(heading_.kind) ? "files_changed" : "files_with_hits",
                    progress_.hits);
        AppendField(out, "bytes", progress_.bytes);
        out += R"(, "problems": [)";
        for (std::size_t index = 0; index < problems_.size(); ++index) {
            out += index == 0 ? "{" : ", {";
            if (!problems_[index].path.empty()) {
                AppendJsonPath(out, problems_[index].path);
                out += ", ";
            }
            out += R"("reason": )";
            AppendJsonString(out, problems_[index].reason);
            out += "}";
        }
        Write(out + "]}\n");
    }
    if (std::fflush(out_) != 0) {
        broken_ = true;
    }
}

}  // namespace trawlex
