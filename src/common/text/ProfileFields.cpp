#include "common/text/ProfileFields.h"

#include "common/files/ChunkReader.h"
#include "common/text/Cp1252.h"
#include "common/text/TextEncoding.h"

#include <algorithm>
#include <new>

namespace trawlex {
namespace {

bool IsLineEnd(char character) {
    return character == '\r' || character == '\n';
}

bool IsBlank(char character) {
    return character == ' ' || character == '\t';
}

// Moves past one line end, treating CR LF as one.
std::size_t SkipLineEnd(std::string_view bytes, std::size_t position) {
    if (bytes[position] == '\r' && position + 1 < bytes.size() && bytes[position + 1] == '\n') {
        return position + 2;
    }
    return position + 1;
}

// Follows the lines of a file read piece by piece.
class LineBound {
public:
    // False when the piece makes the current line longer than kLongestProfileLine.
    bool Take(std::string_view piece) {
        for (const char character : piece) {
            if (IsLineEnd(character)) {
                // The LF of a CR LF ends no second line.
                if (!(character == '\n' && afterCr_)) {
                    ++line_;
                }
                afterCr_ = character == '\r';
                length_ = 0;
                continue;
            }
            afterCr_ = false;
            if (++length_ > kLongestProfileLine) {
                return false;
            }
        }
        return true;
    }

    std::int64_t Line() const { return line_; }

private:
    std::int64_t line_ = 1;
    std::size_t length_ = 0;
    bool afterCr_ = false;
};

Result<std::string> ReadBounded(const std::string& path, const QString& shown) {
    auto opened = OpenRegularFile(path);
    if (!opened) {
        return opened.error();
    }
    const auto size = static_cast<std::uint64_t>(opened->status.st_size);
    if (size > kLargestProfileFile) {
        return Error{QStringLiteral("Die Datei \u201E%1\u201C ist %2 MiB gro\u00DF; ein Profil "
                                    "oder eine Einstellungsdatei hat h\u00F6chstens %3 MiB. Sie "
                                    "wurde nicht gelesen.")
                         .arg(shown)
                         .arg((size + (1u << 20) - 1) >> 20)
                         .arg(kLargestProfileFile >> 20)};
    }
    std::string bytes;
    LineBound lines;
    ChunkReader reader(opened->file.get(), path, ChunkReader::kPieceSize, size);
    while (!reader.AtEnd()) {
        if (auto read = reader.Advance(reader.End()); !read) {
            return read.error();
        }
        if (!lines.Take(reader.Window())) {
            return Error{QStringLiteral("Die Zeile %2 der Datei \u201E%1\u201C ist l\u00E4nger "
                                        "als 1 MiB; so lange Zeilen hat weder ein Profil noch eine "
                                        "Einstellungsdatei. Die Datei wurde nicht gelesen.")
                             .arg(shown)
                             .arg(lines.Line())};
        }
        bytes.append(reader.Window());
    }
    return bytes;
}

}  // namespace

Result<std::string> ReadProfileFile(const std::string& path, const QString& shown) {
    try {
        return ReadBounded(path, shown);
    } catch (const std::bad_alloc&) {
        return Error{QStringLiteral("Die Datei \u201E%1\u201C kann nicht gelesen werden: "
                                    "daf\u00FCr reicht der Arbeitsspeicher nicht.")
                         .arg(shown)};
    }
}

std::vector<ProfileField> ReadProfileFields(std::string_view bytes) {
    std::vector<ProfileField> fields;
    std::size_t position = 0;
    bool lineHasField = false;  // whether the current line produced a field yet
    while (position < bytes.size()) {
        if (IsLineEnd(bytes[position])) {
            position = SkipLineEnd(bytes, position);
            lineHasField = false;
            continue;
        }
        while (position < bytes.size() && IsBlank(bytes[position])) {
            ++position;
        }
        ProfileField field;
        if (position < bytes.size() && bytes[position] == '"') {
            field.quoted = true;
            const std::size_t start = position + 1;
            std::size_t end = start;
            while (end < bytes.size() && bytes[end] != '"' && !IsLineEnd(bytes[end])) {
                ++end;
            }
            field.value.assign(bytes.substr(start, end - start));
            position = end;
            if (position < bytes.size() && bytes[position] == '"') {
                ++position;
            }
            while (position < bytes.size() && bytes[position] != ',' &&
                   !IsLineEnd(bytes[position])) {
                ++position;
            }
        } else {
            const std::size_t start = position;
            while (position < bytes.size() && bytes[position] != ',' &&
                   !IsLineEnd(bytes[position])) {
                ++position;
            }
            std::size_t end = position;
            while (end > start && IsBlank(bytes[end - 1])) {
                --end;
            }
            field.value.assign(bytes.substr(start, end - start));
        }
        const bool atComma = position < bytes.size() && bytes[position] == ',';
        // A blank line holds no field; a field before a comma or with content always counts.
        if (!field.value.empty() || field.quoted || atComma || lineHasField) {
            fields.push_back(std::move(field));
            lineHasField = true;
        }
        if (atComma) {
            ++position;
            // A comma at the end of a line leaves an empty last field, as between two commas.
            if (position >= bytes.size() || IsLineEnd(bytes[position])) {
                fields.push_back({});
            }
        }
    }
    return fields;
}

std::vector<QString> ReadProfileTexts(std::string_view bytes) {
    const DetectedEncoding detected = DetectEncoding(bytes);
    std::vector<QString> texts;
    for (const ProfileField& field : ReadProfileFields(bytes.substr(detected.bodyStart))) {
        texts.push_back(
            detected.encoding == TextEncoding::Utf8
                ? QString::fromUtf8(field.value.data(), static_cast<qsizetype>(field.value.size()))
                : DecodeCp1252(field.value));
    }
    return texts;
}

Result<std::string> RefuseNulBytes(std::string bytes, const QString& path) {
    const std::size_t nul = bytes.find('\0');
    if (nul == std::string::npos) {
        return bytes;
    }
    const auto line =
        std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(nul), '\n') + 1;
    return Error{QStringLiteral("Das Profil \u201E%1\u201C enth\u00E4lt in Zeile %2 ein "
                                "Nullbyte; es ist wohl als UTF-16 gespeichert. Profile werden "
                                "als UTF-8 oder Windows-1252 gelesen.")
                     .arg(path)
                     .arg(line)};
}

}  // namespace trawlex
