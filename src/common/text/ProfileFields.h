#pragma once

#include "common/Result.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trawlex {

// A line of a profile or of the settings holds terms or values a person typed. One longer than
// this comes from a file chosen by mistake or a broken one, and its fields and texts would take
// memory many times its length.
inline constexpr std::size_t kLongestProfileLine = std::size_t{1} << 20;

// A profile or settings file bigger than this is refused before a byte of it is read: far more
// than any list of terms a person keeps, while its fields and texts still fit in memory.
inline constexpr std::uint64_t kLargestProfileFile = std::uint64_t{16} << 20;

// Reads a profile or settings file whole, piece by piece, so that a line longer than
// kLongestProfileLine is refused once it is seen, naming the file (as `shown`) and the line.
// Lines end at CR LF, LF or a lone CR, as the readers of both split them. What is accepted is
// every byte of the file, as ReadWholeFile gives it.
Result<std::string> ReadProfileFile(const std::string& path, const QString& shown);

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
