#pragma once

#include "Result.h"

#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace trawlex {

// One field of a profile file.
struct ProfileField {
    std::string value;
    bool quoted = false;
};

// Reads the fields of a profile file. Fields are separated by commas and line ends (CR LF, LF
// or a lone CR). Blanks in front of a field are skipped. A field that begins with a double
// quote runs to the next double quote and may hold commas; what follows the closing quote up to
// the next separator is dropped, and a quote left open ends at the line end. An unquoted field
// runs to the next comma or line end, without its trailing blanks. A line with nothing on it
// holds no field, so blank lines never shift the pairing of a replace profile; an empty field
// between two commas is kept, so positions stay as written.
std::vector<ProfileField> ReadProfileFields(std::string_view bytes);

// The field values as text, decoded as the profile is written: UTF-8 when it starts with the
// byte-order mark or is valid UTF-8 with a multi-byte sequence, otherwise Windows-1252.
std::vector<QString> ReadProfileTexts(std::string_view bytes);

// A profile holding NUL bytes is no text of this kind, most often one saved as UTF-16: its
// fields would pair wrongly, a replacement taken for a term. It is refused, naming the file and
// the line.
Result<std::string> RefuseNulBytes(std::string bytes, const QString& path);

}  // namespace trawlex
