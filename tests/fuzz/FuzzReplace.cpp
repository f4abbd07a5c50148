// ReplaceAll against the step-by-step rebuild it stands for: replace at the first occurrence,
// resume behind the inserted text, search again in the rebuilt text.
#include "FuzzInput.h"

#include "common/Standard.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    trawlex::fuzz::Input input(data, size);
    const bool fold = input.Flag();
    const std::string term = input.Piece();
    const std::string replacement = input.Piece();
    const std::string text(input.Rest());
    const trawlex::Finder finder(
        term, fold ? trawlex::CompareMode::IgnoreCase : trawlex::CompareMode::Exact);
    bool changed = false;
    const std::string result = trawlex::ReplaceAll(text, finder, replacement, changed);

    std::string rebuilt = text;
    bool expectedChange = false;
    for (std::size_t found = finder.Find(rebuilt, 0); found != trawlex::Finder::npos;
         found = finder.Find(rebuilt, found + replacement.size())) {
        expectedChange = true;
        rebuilt = rebuilt.substr(0, found) + replacement + rebuilt.substr(found + term.size());
    }
    if (result != rebuilt || changed != expectedChange) {
        std::abort();
    }
    return 0;
}
