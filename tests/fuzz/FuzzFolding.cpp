// The UTF-8 search that ignores case against a reference over decoded, case-folded text.
#include "FuzzInput.h"

#include "common/text/TextEncoding.h"

#include <QChar>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    trawlex::fuzz::Input input(data, size);
    const QString term = QString::fromUtf8(input.Piece());
    const std::string_view text = input.Rest();
    // Pure ASCII terms too: they are found by bytes but near the few characters beyond ASCII
    // that fold to their letters, such as the Kelvin sign.
    if (term.isEmpty() || trawlex::DetectEncoding(text).encoding != trawlex::TextEncoding::Utf8 ||
        trawlex::DetectEncoding(text).bodyStart != 0) {
        return 0;
    }
    const trawlex::LiteralTerm matcher(term, trawlex::CompareMode::IgnoreCase);
    // Reference: the text as code points with their byte offsets, folded one by one.
    const QString decoded = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    std::vector<char32_t> folded;
    std::vector<std::size_t> offsets;
    std::size_t offset = 0;
    for (const char32_t codePoint : decoded.toUcs4()) {
        folded.push_back(QChar::toCaseFolded(codePoint));
        offsets.push_back(offset);
        offset += codePoint < 0x80 ? 1 : codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
    }
    offsets.push_back(offset);
    std::vector<char32_t> needle;
    for (const char32_t codePoint : term.toUcs4()) {
        needle.push_back(QChar::toCaseFolded(codePoint));
    }
    std::size_t expected = std::string_view::npos;
    for (std::size_t start = 0; start + needle.size() <= folded.size(); ++start) {
        if (std::equal(needle.begin(), needle.end(),
                       folded.begin() + static_cast<std::ptrdiff_t>(start))) {
            expected = offsets[start];
            break;
        }
    }
    const auto found = matcher.Find(text, 0, trawlex::TextEncoding::Utf8);
    if ((found ? found->start : std::string_view::npos) != expected) {
        std::abort();
    }
    return 0;
}
