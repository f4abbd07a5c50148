#pragma once

// Shared by a test and a fuzz target, so that both hold the report to the same tags; the fuzz
// build takes no GoogleTest, hence no checks here.

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace trawlex::test {

struct ReportTags {
    std::size_t rows = 0;
    std::vector<std::string> foreign;  // tags the report does not write itself, or left open
};

inline ReportTags TagsOf(std::string_view html) {
    static const std::set<std::string_view> own = {
        "HTML", "/HTML", "HEAD",   "/HEAD", "meta", "BODY", "/BODY", "H1",
        "/h1",  "TABLE", "/TABLE", "P",     "/P",   "TR",   "/TR",   "/tr",
        "TD",   "/TD",   "td",     "/td",   "B",    "/B",   "a",     "/A"};
    ReportTags tags;
    for (std::size_t open = html.find('<'); open != std::string_view::npos;
         open = html.find('<', open + 1)) {
        const std::size_t end = html.find_first_of(" >", open + 1);
        const std::string_view name = html.substr(open + 1, end - open - 1);
        if (end == std::string_view::npos || own.count(name) == 0) {
            tags.foreign.emplace_back(name);
        }
        tags.rows += name == "TR" ? 1 : 0;
    }
    return tags;
}

}  // namespace trawlex::test
