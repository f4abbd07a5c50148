#include "Settings.h"

#include "Form1.h"
#include "Ui.h"
#include "common/files/Listing.h"
#include "common/files/ReplacingFile.h"
#include "common/text/Cp1252.h"
#include "common/text/PathText.h"
#include "common/text/ProfileFields.h"
#include "common/text/TextEncoding.h"

#include <QDir>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

namespace trawlex {
namespace {

constexpr std::string_view kUndoRunsKey = "UndoRuns=";
constexpr std::string_view kRegexKey = "RegularExpression=";
constexpr std::string_view kEditorKey = "Editor=";
constexpr std::string_view kSplitterKey = "SplitterSizes=";
constexpr std::string_view kColumnsKey = "ColumnWidths=";

// The histories, one line per entry like the saved locations, oldest first.
struct HistoryKey {
    std::string_view prefix;
    QStringList& (*field)(Form1&);
    const QStringList& (*saved)(const Form1&);
};
const HistoryKey kHistoryKeys[] = {
    {"SearchKeyHistory", [](Form1& form) -> QStringList& { return form.TexSuchbegriff.list; },
     [](const Form1& form) -> const QStringList& { return form.TexSuchbegriff.list; }},
    {"ReplaceKeyHistory", [](Form1& form) -> QStringList& { return form.ReplacementHistory; },
     [](const Form1& form) -> const QStringList& { return form.ReplacementHistory; }},
    {"SearchPathHistory", [](Form1& form) -> QStringList& { return form.LocationHistory; },
     [](const Form1& form) -> const QStringList& { return form.LocationHistory; }},
};

// The filters beside the inputs, written only when set, so that files without them read as
// before.
struct FilterTextKey {
    std::string_view key;
    QString Form1::*field;
};
const FilterTextKey kFilterTextKeys[] = {
    {"ExcludeFiles=", &Form1::TexAusnahmen},   {"ExcludeFolders=", &Form1::TexOrdnerAuslassen},
    {"MinSize=", &Form1::TexGroesseAb},        {"MaxSize=", &Form1::TexGroesseBis},
    {"ModifiedFrom=", &Form1::TexGeaendertAb}, {"ModifiedBefore=", &Form1::TexGeaendertVor},
};
struct FilterFlagKey {
    std::string_view key;
    int Form1::*field;
};
const FilterFlagKey kFilterFlagKeys[] = {
    {"WholeWord=", &Form1::CheckGanzesWort},
    {"SkipBinary=", &Form1::CheckBinaerAuslassen},
};

constexpr std::string_view kSettingsName = "Trawlex.INI";
constexpr int kPositionalLines = 14;

// Splits at CR LF, LF or a lone CR, so files edited on any platform read alike.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] != '\r' && text[index] != '\n') {
            continue;
        }
        lines.push_back(text.substr(start, index - start));
        if (text[index] == '\r' && index + 1 < text.size() && text[index + 1] == '\n') {
            ++index;
        }
        start = index + 1;
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

std::optional<QString> ValueOf(std::string_view line, TextEncoding encoding) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view value = line.substr(equals + 1);
    if (encoding == TextEncoding::Utf8) {
        return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
    }
    return DecodeCp1252(value);
}

// "HistoryName12=": the prefix, digits and the equals sign.
bool IsHistoryLine(std::string_view line, std::string_view prefix) {
    if (line.substr(0, prefix.size()) != prefix) {
        return false;
    }
    std::size_t index = prefix.size();
    const std::size_t digits = index;
    while (index < line.size() && line[index] >= '0' && line[index] <= '9') {
        ++index;
    }
    return index > digits && index < line.size() && line[index] == '=';
}

// "333,420": whole numbers above zero; anything else leaves the window's own choice.
QList<int> SizesOf(std::string_view value) {
    QList<int> sizes;
    for (const QString& part :
         QString::fromLatin1(value.data(), static_cast<qsizetype>(value.size()))
             .split(QLatin1Char(','))) {
        bool number = false;
        const int size = part.toInt(&number);
        if (!number || size <= 0 || size > 100'000) {
            return {};
        }
        sizes.append(size);
    }
    return sizes;
}

QString SizesText(const QList<int>& sizes) {
    QStringList parts;
    for (const int size : sizes) {
        parts.append(QString::number(size));
    }
    return parts.join(QLatin1Char(','));
}

// Reads one line after the positional ones; false when it is none of the keys that follow them.
bool ApplyKeyLine(Form1& form, std::string_view line, TextEncoding encoding) {
    for (const FilterTextKey& key : kFilterTextKeys) {
        if (line.substr(0, key.key.size()) == key.key) {
            form.*key.field = ValueOf(line, encoding).value_or(QString());
            return true;
        }
    }
    for (const FilterFlagKey& key : kFilterFlagKeys) {
        if (line.substr(0, key.key.size()) == key.key) {
            form.*key.field = line.substr(key.key.size()) == "Yes" ? 1 : 0;
            return true;
        }
    }
    for (const HistoryKey& key : kHistoryKeys) {
        if (IsHistoryLine(line, key.prefix)) {
            key.field(form).append(ValueOf(line, encoding).value_or(QString()));
            return true;
        }
    }
    if (line.substr(0, kSplitterKey.size()) == kSplitterKey) {
        form.SplitterSizes = SizesOf(line.substr(kSplitterKey.size()));
        return true;
    }
    if (line.substr(0, kColumnsKey.size()) == kColumnsKey) {
        form.ColumnWidths = SizesOf(line.substr(kColumnsKey.size()));
        return true;
    }
    return false;
}

// The history lines: the newest entries that a settings line can hold. An entry the file's
// encoding cannot hold is left out rather than keep the settings from being saved.
void AppendHistoryLines(const Form1& form, QStringList& lines) {
    for (const HistoryKey& key : kHistoryKeys) {
        const QStringList& history = key.saved(form);
        QStringList kept;
        for (const QString& entry : history) {
            if (!entry.isEmpty() && !entry.contains(QLatin1Char('\r')) &&
                !entry.contains(QLatin1Char('\n')) && EncodeCp1252(entry)) {
                kept.append(entry);
            }
        }
        kept = kept.mid(std::max<qsizetype>(0, kept.size() - kHistoryLength));
        for (qsizetype index = 0; index < kept.size(); ++index) {
            lines.append(
                QString::fromLatin1(key.prefix.data(), static_cast<qsizetype>(key.prefix.size())) +
                QString::number(index) + QLatin1Char('=') + kept[index]);
        }
    }
}

bool Exists(const QString& path, ListKind kind) {
    DirectoryListing listing;
    return !listing.FirstMatch(NativePath(path), kind).empty();
}

QString HomeDirectory() {
    return QDir::homePath() + QLatin1Char('/');
}

}  // namespace

std::string ProgramDirectory() {
    std::array<char, 4096> buffer{};
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) {
        return "./";
    }
    std::string path(buffer.data(), static_cast<std::size_t>(length));
    return path.substr(0, path.rfind(kSeparator) + 1);
}

std::string SettingsFilePath() {
    const std::string beside = ProgramDirectory() + std::string(kSettingsName);
    // An installed program (its help page in ../share/trawlex/) keeps its settings per person,
    // even where its directory is writable, as /usr/bin is for root: a file there would belong
    // to no package.
    const std::string installed = ProgramDirectory() + "../share/trawlex";
    const bool portable =
        access(ProgramDirectory().c_str(), W_OK) == 0 && access(installed.c_str(), F_OK) != 0;
    if (access(beside.c_str(), F_OK) == 0 || portable) {
        return beside;
    }
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const std::string base = configHome != nullptr && *configHome != '\0'
                                 ? std::string(configHome)
                                 : NativePath(QDir::homePath()) + "/.config";
    return base + "/Trawlex/" + std::string(kSettingsName);
}

bool ApplySettings(Form1& form, Ui& ui, std::string_view bytes) {
    // A file edited on Linux may be UTF-8; the program itself writes Windows-1252.
    const DetectedEncoding detected = DetectEncoding(bytes);
    const std::vector<std::string_view> lines = SplitLines(bytes.substr(detected.bodyStart));
    if (lines.empty() || lines.front() != "[Trawlex]") {
        ui.ShowMessage(QStringLiteral("Trawlex.INI-Datei nicht korrekt formatiert!"),
                       MessageIcon::None);
        return false;
    }
    std::array<QString, kPositionalLines + 1> values;
    for (int line = 2; line <= kPositionalLines; ++line) {
        if (static_cast<std::size_t>(line) <= lines.size()) {
            values[line] = ValueOf(lines[line - 1], detected.encoding).value_or(QString());
        }
    }
    form.TexBrowser = Exists(values[2], ListKind::NormalFiles) ? values[2] : QString();
    form.TexSuchort.text = Exists(values[3], ListKind::FilesAndDirectories) ? values[3] : QString();
    form.TexSuchbegriff.text = values[4];
    form.ComDateifilter.text = values[5];
    form.TexErsatzbegriff = values[6];
    form.TexZieldatei = values[7];
    SelectCaseObserved(form, values[8] != u"Text");
    form.CheckRekursiv = values[9] == u"No" ? 0 : 1;
    SelectBrowserHandOff(form, values[10] != u"No");
    form.SearchProfilePath =
        Exists(values[11], ListKind::FilesAndDirectories) ? values[11] : HomeDirectory();
    form.ReplaceProfilePath =
        Exists(values[12], ListKind::FilesAndDirectories) ? values[12] : HomeDirectory();
    form.ComSuchprofile.text = values[13];
    form.ComErsatzlisten.text = values[14];
    for (std::size_t line = kPositionalLines; line < lines.size(); ++line) {
        // The number of undo runs to keep, the choice of regular expressions and the editor
        // follow the saved locations, so that files written without them read exactly as before.
        if (lines[line].substr(0, kRegexKey.size()) == kRegexKey) {
            form.CheckRegex = lines[line].substr(kRegexKey.size()) == "Yes" ? 1 : 0;
            continue;
        }
        if (lines[line].substr(0, kEditorKey.size()) == kEditorKey) {
            form.EditorCommand = ValueOf(lines[line], detected.encoding).value_or(QString());
            continue;
        }
        if (lines[line].substr(0, kUndoRunsKey.size()) == kUndoRunsKey) {
            bool number = false;
            const int runs =
                ValueOf(lines[line], detected.encoding).value_or(QString()).toInt(&number);
            if (number && runs >= 1) {
                form.UndoRuns = runs;
            }
            continue;
        }
        if (ApplyKeyLine(form, lines[line], detected.encoding)) {
            continue;
        }
        if (auto value = ValueOf(lines[line], detected.encoding)) {
            form.TexSuchort.list.append(*value);
        }
    }
    return true;
}

bool LoadSettings(Form1& form, Ui& ui, const std::string& path) {
    auto bytes = ReadProfileFile(path, PathText(path));
    if (!bytes) {
        ui.ShowMessage(bytes.message(), MessageIcon::Warning);
        return false;
    }
    return ApplySettings(form, ui, bytes.value());
}

Result<std::string> SettingsText(const Form1& form) {
    QStringList lines{
        QStringLiteral("[Trawlex]"),
        QStringLiteral("HTML-Browser=") + form.TexBrowser,
        QStringLiteral("SearchPath=") + form.TexSuchort.text,
        QStringLiteral("SearchKey=") + form.TexSuchbegriff.text,
        QStringLiteral("FileFilterMask=") + form.ComDateifilter.text,
        QStringLiteral("ReplaceKey=") + form.TexErsatzbegriff,
        QStringLiteral("OutputFile=") + form.TexZieldatei,
        form.Optgrossklein ? QStringLiteral("TextOrBinarySearch=Binary")
                           : QStringLiteral("TextOrBinarySearch=Text"),
        form.CheckRekursiv == 1 ? QStringLiteral("Recursive=Yes") : QStringLiteral("Recursive=No"),
        form.OptBrowser ? QStringLiteral("Browser=Yes") : QStringLiteral("Browser=No"),
        QStringLiteral("SearchProfilePath=") + form.SearchProfilePath,
        QStringLiteral("ReplaceProfilePath=") + form.ReplaceProfilePath,
        QStringLiteral("DefaultSearchProfile=") + form.ComSuchprofile.text,
        QStringLiteral("DefaultReplaceProfile=") + form.ComErsatzlisten.text,
    };
    for (qsizetype index = 0; index < form.TexSuchort.list.size(); ++index) {
        lines.append(QStringLiteral("StaticSearchPath%1=").arg(index) +
                     form.TexSuchort.list[index]);
    }
    if (form.UndoRuns != Form1{}.UndoRuns) {
        lines.append(QStringLiteral("UndoRuns=") + QString::number(form.UndoRuns));
    }
    if (form.CheckRegex != 0) {
        lines.append(QStringLiteral("RegularExpression=Yes"));
    }
    if (!form.EditorCommand.isEmpty()) {
        lines.append(QStringLiteral("Editor=") + form.EditorCommand);
    }
    for (const FilterTextKey& key : kFilterTextKeys) {
        if (!(form.*key.field).isEmpty()) {
            lines.append(
                QString::fromLatin1(key.key.data(), static_cast<qsizetype>(key.key.size())) +
                form.*key.field);
        }
    }
    for (const FilterFlagKey& key : kFilterFlagKeys) {
        if (form.*key.field != 0) {
            lines.append(
                QString::fromLatin1(key.key.data(), static_cast<qsizetype>(key.key.size())) +
                QStringLiteral("Yes"));
        }
    }
    AppendHistoryLines(form, lines);
    if (!form.SplitterSizes.isEmpty()) {
        lines.append(QStringLiteral("SplitterSizes=") + SizesText(form.SplitterSizes));
    }
    if (!form.ColumnWidths.isEmpty()) {
        lines.append(QStringLiteral("ColumnWidths=") + SizesText(form.ColumnWidths));
    }
    std::string text;
    for (const QString& line : lines) {
        // A line break inside a value would shift every later line, which is read by position.
        if (line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n'))) {
            return Error{QStringLiteral("Der Wert \u201E%1\u201C enth\u00E4lt einen "
                                        "Zeilenumbruch.")
                             .arg(line.section(QLatin1Char('='), 1))};
        }
        auto encoded = EncodeCp1252(line);
        if (!encoded) {
            return encoded.error();
        }
        text += encoded.value();
        text += "\r\n";
    }
    return text;
}

Status SaveSettings(const Form1& form, const std::string& path) {
    auto text = SettingsText(form);
    if (!text) {
        return text.error();
    }
    const std::size_t slash = path.rfind(kSeparator);
    if (slash != std::string::npos && slash > 0) {
        // The configuration directory does not exist before the first save.
        std::error_code ignored;
        std::filesystem::create_directories(path.substr(0, slash), ignored);
    }
    return WriteFileReplacing(path, text.value());
}

void ComSaveIni_Click(const Form1& form, Ui& ui, const std::string& path) {
    if (auto saved = SaveSettings(form, path); !saved) {
        ui.ShowMessage(QStringLiteral("Die Einstellungen konnten nicht in \u201E%1\u201C "
                                      "gespeichert werden.\n%2")
                           .arg(PathText(path), saved.message()),
                       MessageIcon::Warning);
    }
}

}  // namespace trawlex
