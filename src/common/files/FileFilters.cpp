#include "common/files/FileFilters.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <algorithm>
#include <limits>
#include <utility>

namespace trawlex {
namespace {

std::optional<FileMask> MaskOrNone(const QString& text) {
    if (text.trimmed().isEmpty()) {
        return std::nullopt;
    }
    return FileMask(text);
}

// A mask that names no pattern would leave nothing out, silently; a "[" would be taken for a
// character class the masks do not know.
std::optional<QString> ExcludeMaskProblem(const QString& text, const QString& name) {
    if (text.trimmed().isEmpty()) {
        return std::nullopt;
    }
    if (FileMask(text).IsEmpty() || text.contains(QLatin1Char('['))) {
        return QStringLiteral(
                   "Der Wert \u201E%1\u201C f\u00FCr %2 nennt kein brauchbares Muster: Muster "
                   "wie \u201E*.bak\u201C stehen durch \u201E;\u201C getrennt und "
                   "kennen nur * und ?.")
            .arg(text, name);
    }
    return std::nullopt;
}

Error Unusable(const QString& text, const QString& name, const QString& why) {
    return Error{QStringLiteral("Der Wert \u201E%1\u201C f\u00FCr %2 %3").arg(text, name, why)};
}

}  // namespace

bool FileFilters::InForce() const {
    return !excludeFiles.trimmed().isEmpty() || !excludeDirectories.trimmed().isEmpty() ||
           minSize || maxSize || newer || older || skipBinary || wholeWord;
}

WalkFilter::WalkFilter(const FileFilters& filters)
    : files_(MaskOrNone(filters.excludeFiles)),
      directories_(MaskOrNone(filters.excludeDirectories)),
      limits_(filters),
      checksStatus_(filters.minSize || filters.maxSize || filters.newer || filters.older) {}

bool WalkFilter::LeavesOutFile(std::string_view name) const {
    return files_ && files_->MatchesBytes(name);
}

bool WalkFilter::LeavesOutDirectory(std::string_view name) const {
    return directories_ && directories_->MatchesBytes(name);
}

bool WalkFilter::LeavesOut(const struct stat& status) const {
    const std::int64_t size = status.st_size;
    const std::time_t modified = status.st_mtime;
    return (limits_.minSize && size < *limits_.minSize) ||
           (limits_.maxSize && size > *limits_.maxSize) ||
           (limits_.newer && modified < *limits_.newer) ||
           (limits_.older && modified >= *limits_.older);
}

std::optional<std::int64_t> ParseSize(QStringView text) {
    QString digits = text.trimmed().toString();
    int shift = 0;
    if (!digits.isEmpty()) {
        switch (digits.back().toUpper().unicode()) {
            case u'K':
                shift = 10;
                break;
            case u'M':
                shift = 20;
                break;
            case u'G':
                shift = 30;
                break;
            default:
                break;
        }
    }
    if (shift != 0) {
        digits.chop(1);
    }
    digits = digits.trimmed();
    bool number = false;
    const qulonglong value = digits.toULongLong(&number);
    // Digits only: no sign, no blanks inside, nothing a person may read as a decimal.
    if (!number || digits.isEmpty() ||
        !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }) ||
        value > (static_cast<qulonglong>(std::numeric_limits<std::int64_t>::max()) >> shift)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(value << shift);
}

QString SizeText(std::int64_t bytes) {
    constexpr struct {
        int shift;
        char suffix;
    } kSteps[] = {{30, 'G'}, {20, 'M'}, {10, 'K'}};
    for (const auto& step : kSteps) {
        const std::int64_t unit = std::int64_t{1} << step.shift;
        if (bytes != 0 && bytes % unit == 0) {
            return QString::number(bytes / unit) + QLatin1Char(step.suffix);
        }
    }
    return QString::number(bytes);
}

std::optional<std::time_t> ParseMoment(QStringView text) {
    const QString trimmed = text.trimmed().toString();
    const QString datePart = trimmed.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
    const QString timePart = trimmed.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
    QDate date = QDate::fromString(datePart, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid()) {
        date = QDate::fromString(datePart, QStringLiteral("dd.MM.yyyy"));
    }
    if (!date.isValid()) {
        date = QDate::fromString(datePart, QStringLiteral("d.M.yyyy"));
    }
    QTime time(0, 0);
    if (!timePart.isEmpty()) {
        time = QTime::fromString(timePart, QStringLiteral("HH:mm"));
        if (!time.isValid()) {
            time = QTime::fromString(timePart, QStringLiteral("HH:mm:ss"));
        }
    }
    if (!date.isValid() || !time.isValid()) {
        return std::nullopt;
    }
    const QDateTime moment(date, time);
    if (!moment.isValid()) {
        return std::nullopt;  // a local time the clock skips
    }
    return static_cast<std::time_t>(moment.toSecsSinceEpoch());
}

Result<FileFilters> ReadFilters(const FilterTexts& texts, const FilterNames& names) {
    for (const auto& [text, name] :
         {std::pair{&texts.excludeFiles, &names.excludeFiles},
          std::pair{&texts.excludeDirectories, &names.excludeDirectories}}) {
        if (const std::optional<QString> problem = ExcludeMaskProblem(*text, *name)) {
            return Error{*problem};
        }
    }
    FileFilters filters;
    filters.excludeFiles = texts.excludeFiles.trimmed();
    filters.excludeDirectories = texts.excludeDirectories.trimmed();
    filters.skipBinary = texts.skipBinary;
    filters.wholeWord = texts.wholeWord;
    // A bound left empty is no bound; one that is given must read as its kind.
    const auto readBound = [](const QString& text, const QString& name, auto parse, auto& bound,
                              const QString& why) -> std::optional<Error> {
        if (text.trimmed().isEmpty()) {
            return std::nullopt;
        }
        bound = parse(text);
        if (!bound) {
            return Unusable(text, name, why);
        }
        return std::nullopt;
    };
    const QString sizeWhy = QStringLiteral(
        "ist keine Gr\u00F6\u00DFe: ganze Bytes, wahlweise mit K, M oder G dahinter (Schritte "
        "von 1024), z. B. 10K oder 2M.");
    const QString momentWhy = QStringLiteral(
        "ist kein Zeitpunkt: ein Datum wie 2026-06-30 oder 30.06.2026, wahlweise mit Uhrzeit "
        "wie 18:00 dahinter.");
    for (std::optional<Error> problem :
         {readBound(texts.minSize, names.minSize, ParseSize, filters.minSize, sizeWhy),
          readBound(texts.maxSize, names.maxSize, ParseSize, filters.maxSize, sizeWhy),
          readBound(texts.newer, names.newer, ParseMoment, filters.newer, momentWhy),
          readBound(texts.older, names.older, ParseMoment, filters.older, momentWhy)}) {
        if (problem) {
            return *problem;
        }
    }
    if (filters.minSize && filters.maxSize && *filters.minSize > *filters.maxSize) {
        return Error{QStringLiteral("%1 %2 liegt \u00FCber %3 %4: so bleibt keine Datei "
                                    "\u00FCbrig.")
                         .arg(names.minSize, texts.minSize.trimmed(), names.maxSize,
                              texts.maxSize.trimmed())};
    }
    if (filters.newer && filters.older && *filters.newer >= *filters.older) {
        return Error{
            QStringLiteral("%1 %2 liegt nicht vor %3 %4: so bleibt keine Datei "
                           "\u00FCbrig.")
                .arg(names.newer, texts.newer.trimmed(), names.older, texts.older.trimmed())};
    }
    return filters;
}

}  // namespace trawlex
