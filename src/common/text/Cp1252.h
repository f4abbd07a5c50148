#pragma once

#include "common/Result.h"

#include <QString>
#include <QStringView>

#include <string>
#include <string_view>

namespace trawlex {

// Windows-1252 is the code page of every file the program reads and writes: file contents,
// reports, the settings file and profiles. One byte is one character.

// Decodes bytes as Windows-1252; the five unassigned bytes map to the control characters
// of the same number (0x81 becomes U+0081).
QString DecodeCp1252(std::string_view bytes);

QChar DecodeCp1252Byte(unsigned char byte);

// Encodes text as Windows-1252, or says which character cannot be encoded.
Result<std::string> EncodeCp1252(QStringView text);

// Encodes text for an HTML document in Windows-1252: a character the code page cannot hold
// becomes a numeric character reference ("&#322;"), so nothing is lost.
std::string EncodeCp1252WithReferences(QStringView text);

// Converts UTF-8 source text (a literal of this program) to Windows-1252 bytes.
std::string Cp1252FromUtf8(std::string_view utf8);

}  // namespace trawlex
