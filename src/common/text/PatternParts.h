#pragma once

// What the files of Pattern share and nothing else uses: the reading of a pattern's text and
// PCRE2's handle.

#ifndef PCRE2_CODE_UNIT_WIDTH
#define PCRE2_CODE_UNIT_WIDTH 8
#endif
#include <pcre2.h>

#include <QString>
#include <QStringView>

#include <optional>

namespace trawlex::pattern_parts {

inline pcre2_code* Code(void* code) {
    return static_cast<pcre2_code*>(code);
}

// The literal text every match begins with: the leading characters up to the first one that is
// special, conservatively. Nothing when the pattern has alternatives or inline options, which
// could make the start optional or change its case.
QString LiteralPrefix(QStringView pattern);

// What the text of a pattern says about its matches, read conservatively: a literal every match
// holds, and whether a match always stays inside one line. Anything not understood gives up.
struct Shape {
    QString required;      // empty when no such literal is known
    bool oneLine = false;  // no match can take in a CR or LF, nor look behind the line's end
};

Shape ShapeOf(QStringView pattern);

// The text a pattern without special characters matches: itself, escaped punctuation taken as
// it stands. Nothing for any other pattern. Decided conservatively: "#" and white space but the
// blank could mean more under an option, and control characters and characters beyond the
// Basic Multilingual Plane are left to PCRE2.
std::optional<QString> TextOfPlain(QStringView pattern);

}  // namespace trawlex::pattern_parts
