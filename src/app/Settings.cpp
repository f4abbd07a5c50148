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
    if (access(beside.c_str(), F_OK) == 0 || access(ProgramDirectory().c_str(), W_OK) == 0) {
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
