#include "ProfileFields.h"

#include "Cp1252.h"
#include "TextEncoding.h"

#include <algorithm>

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

}  // namespace

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
