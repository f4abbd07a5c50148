#include "CommandLine.h"

#include "CliOptions.h"
#include "app/Settings.h"
#include "app/Startup.h"
#include "common/Regional.h"
#include "common/text/PathText.h"
#include "common/text/ProfileFields.h"
#include "profiles/ProfileCommand.h"
#include "profiles/SearchProfile.h"
#include "replace/ReplaceCommand.h"
#include "replace/ReplaceProfile.h"
#include "replace/Undo.h"
#include "replace/UndoCommand.h"
#include "search/SearchCommand.h"
#include "special/SpecialCommands.h"

#include <QStringDecoder>

#include <sys/stat.h>

#include <cstdio>

namespace trawlex {
namespace {

CliParse UsageError(const QString& text) {
    CliParse parse;
    parse.usageError = true;
    parse.output = text + QStringLiteral("\nHilfe: trawlex-cli --help\n");
    return parse;
}

bool IsProfileCommand(CliCommand command) {
    return command == CliCommand::SearchProfile || command == CliCommand::ReplaceProfile ||
           command == CliCommand::ReplaceProfilePreview;
}

// The window runs nothing, silently, when no profile is chosen; a command line that names one
// wants it run, so a profile that is none is named.
bool CheckProfile(CliCommand command, const Form1& form, Ui& ui) {
    if (!IsProfileCommand(command)) {
        return true;
    }
    const bool search = command == CliCommand::SearchProfile;
    const QString& directory = search ? form.SearchProfilePath : form.ReplaceProfilePath;
    const QString& name = search ? form.ComSuchprofile.text : form.ComErsatzlisten.text;
    const QString kind = search ? QStringLiteral("Suchprofil") : QStringLiteral("Ersatzprofil");
    if (name.isEmpty() && directory.isEmpty()) {
        ui.ShowMessage(
            QStringLiteral("Es ist kein %1 eingestellt; --profile DATEI nennt es.").arg(kind),
            MessageIcon::Warning);
        return false;
    }
    struct stat info {};
    const QString path = directory + name;
    if (name.isEmpty() || (stat(NativePath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
        ui.ShowMessage(QStringLiteral("\u201E%1\u201C ist ein Verzeichnis; --profile nennt die "
                                      "Datei des %2s darin, z. B. \u201E%3\u201C.")
                           .arg(path, kind,
                                (path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/')) +
                                    QStringLiteral("profil.txt")),
                       MessageIcon::Warning);
        return false;
    }
    return true;
}

// One line per run, the newest first, numbered as `undo` would take them back.
CommandOutcome PrintUndoRuns(Ui& ui) {
    const auto listed = ListUndoRuns();
    if (!listed) {
        ui.ShowMessage(listed.message(), MessageIcon::Warning);
        return CommandOutcome::Failed;
    }
    const std::vector<UndoRunInfo>& runs = listed.value();
    if (runs.empty()) {
        ui.ShowMessage(QStringLiteral("Das R\u00FCckg\u00E4ngig-Protokoll ist leer."),
                       MessageIcon::None);
        return CommandOutcome::NothingToDo;
    }
    QString text;
    int number = 0;
    for (const UndoRunInfo& run : runs) {
        text += QStringLiteral("%1  %2 %3  %4  %5 %6  \u201E%7\u201C  \u201E%8\u201C%9\n")
                    .arg(++number, 2)
                    .arg(FormatShortDate(run.started), FormatLongTime(run.started))
                    .arg(run.kind, -13)
                    // A damaged journal cannot say how many files its run rewrote.
                    .arg(run.damaged ? QStringLiteral("?") : QString::number(run.files), 5)
                    .arg(run.files == 1 && !run.damaged ? QStringLiteral("Datei  ")
                                                        : QStringLiteral("Dateien"))
                    .arg(run.location, run.term)
                    .arg(run.damaged   ? QStringLiteral("  (besch\u00E4digt)")
                         : run.running ? QStringLiteral("  (l\u00E4uft noch)")
                         : run.undone  ? QStringLiteral("  (r\u00FCckg\u00E4ngig gemacht)")
                                       : QString());
    }
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return CommandOutcome::Completed;
}

}  // namespace

std::vector<bool> UndecodableArguments(int argc, char* argv[]) {
    std::vector<bool> undecodable;
    for (int index = 1; index < argc; ++index) {
        QStringDecoder decoder(QStringDecoder::System, QStringDecoder::Flag::Stateless);
        // The decoder reports its errors only once the text is made.
        [[maybe_unused]] const QString text = decoder.decode(QByteArrayView(argv[index]));
        undecodable.push_back(decoder.hasError());
    }
    return undecodable;
}

CliParse ParseCommandLine(const QStringList& arguments, const std::vector<bool>& undecodable) {
    if (arguments.isEmpty()) {
        return UsageError(QStringLiteral("Es fehlt der Befehl."));
    }
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        CliParse parse;
        parse.output = HelpText();
        return parse;
    }
    if (arguments.contains(QStringLiteral("--version"))) {
        CliParse parse;
        parse.output = QStringLiteral("trawlex-cli %1\n").arg(QStringLiteral(TRAWLEX_VERSION));
        return parse;
    }
    const auto command = Commands().find(arguments.front());
    if (command == Commands().end()) {
        return UsageError(
            QStringLiteral("Unbekannter Befehl \u201E%1\u201C.").arg(arguments.front()));
    }
    const OptionRules& options = command->second.options;
    CliRequest request;
    request.command = command->second.command;
    QStringList given;
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        QString name = LongName(arguments[index]);
        std::optional<QString> value;
        if (const qsizetype equals = name.indexOf(QLatin1Char('='));
            name.startsWith(u"--") && equals > 0) {
            value = name.mid(equals + 1);
            name.truncate(equals);
        }
        const auto rule = options.find(name);
        if (rule == options.end()) {
            return UsageError(QStringLiteral("Unbekannte Option \u201E%1\u201C f\u00FCr %2.")
                                  .arg(name, command->first));
        }
        if (rule->second.kind == OptionKind::Flag) {
            if (value) {
                return UsageError(QStringLiteral("Die Option %1 nimmt keinen Wert.").arg(name));
            }
        } else if (!value) {
            if (index + 1 >= arguments.size()) {
                return UsageError(QStringLiteral("Der Option %1 fehlt ihr Wert.").arg(name));
            }
            value = arguments[++index];
        }
        // Such bytes would become U+FFFD and be searched and written as that; a path keeps
        // its bytes and is not affected.
        if (static_cast<std::size_t>(index) < undecodable.size() &&
            undecodable[static_cast<std::size_t>(index)] && IsText(name)) {
            return UsageError(QStringLiteral("Der Wert von %1 ist in der Zeichenkodierung der "
                                             "Sprachumgebung kein g\u00FCltiger Text und wird "
                                             "weder gesucht noch geschrieben.")
                                  .arg(name));
        }
        if (value && value->isEmpty() && !MayBeEmpty(name)) {
            return UsageError(QStringLiteral("Der Wert von %1 ist leer.").arg(name));
        }
        if (given.contains(name)) {
            return UsageError(QStringLiteral("Die Option %1 ist doppelt angegeben.").arg(name));
        }
        if (const auto wrongItem = CheckItem(name, value.value_or(QString()))) {
            return UsageError(*wrongItem);
        }
        given.append(name);
        if (name == u"--settings") {
            request.settingsPath = value;
        } else {
            request.options.emplace_back(name, value.value_or(QString()));
        }
    }
    if (const std::optional<QString> problem = FilterProblem(request.options)) {
        return UsageError(*problem);
    }
    for (const auto& [name, rule] : options) {
        // A settings file may supply what the options leave out.
        if (rule.required && !given.contains(name) && !request.settingsPath) {
            return UsageError(QStringLiteral("Es fehlt die Option %1.").arg(name));
        }
    }
    if (const std::optional<QString> problem = OutputProblem(request.command, given)) {
        return UsageError(*problem);
    }
    if (request.command != CliCommand::Apply && given.contains(QStringLiteral("--changes")) &&
        !given.contains(QStringLiteral("--preview"))) {
        return UsageError(
            QStringLiteral("--changes DATEI geh\u00F6rt zu --preview: die Vorschau schreibt die "
                           "\u00C4nderungen in die Liste, apply --changes DATEI macht sie."));
    }
    if (given.contains(QStringLiteral("--preview"))) {
        if (!given.contains(QStringLiteral("--report")) &&
            !given.contains(QStringLiteral("--changes")) &&
            !given.contains(QStringLiteral("--json")) && !request.settingsPath) {
            return UsageError(QStringLiteral(
                "Die Vorschau braucht mit --report DATEI die Datei, in die sie geschrieben wird, "
                "mit --changes DATEI die \u00C4nderungsliste oder mit --json die Ausgabe auf "
                "stdout."));
        }
        if (given.contains(QStringLiteral("--no-undo"))) {
            return UsageError(QStringLiteral(
                "--preview und --no-undo schlie\u00DFen sich aus: die Vorschau \u00E4ndert "
                "keine Datei."));
        }
        request.command = *PreviewOf(request.command);
    }
    if (request.command == CliCommand::Undo && given.contains(QStringLiteral("--list"))) {
        if (given.contains(QStringLiteral("--skip-damaged"))) {
            return UsageError(QStringLiteral(
                "--list und --skip-damaged schlie\u00DFen sich aus: die Liste macht nichts "
                "r\u00FCckg\u00E4ngig."));
        }
        request.command = CliCommand::UndoList;
    } else if (request.command == CliCommand::Undo &&
               given.contains(QStringLiteral("--skip-damaged"))) {
        request.command = CliCommand::UndoSkipDamaged;
    }
    CliParse parse;
    parse.request = std::move(request);
    return parse;
}

OutputChoice OutputChoiceOf(const CliRequest& request) {
    OutputChoice choice;
    for (const auto& option : request.options) {
        const QString& name = option.first;
        if (name == u"--json") {
            choice.format = OutputFormat::Json;
        } else if (name == u"--lines") {
            choice.format = OutputFormat::Lines;
        } else if (name == u"--files-with-matches") {
            choice.format = OutputFormat::Paths;
        } else if (name == u"--null") {
            choice.nulAfterPath = true;
        }
    }
    return choice;
}

std::optional<Form1> PrepareForm(const CliRequest& request, Ui& ui) {
    Form1 form;
    FillFixedLists(form);
    if (!request.settingsPath) {
        ApplyFirstStartDefaults(form);
    } else {
        const QString& settings = *request.settingsPath;
        auto bytes = ReadProfileFile(NativePath(settings), settings);
        if (!bytes) {
            ui.ShowMessage(QStringLiteral("Die Einstellungsdatei kann nicht geladen werden.\n") +
                               bytes.message(),
                           MessageIcon::Warning);
            return std::nullopt;
        }
        if (!ApplySettings(form, ui, bytes.value())) {
            ui.ShowMessage(QStringLiteral("\u201E%1\u201C ist keine Einstellungsdatei von "
                                          "Trawlex: ihre erste Zeile ist nicht \u201E[Trawlex]"
                                          "\u201C.")
                               .arg(settings),
                           MessageIcon::Warning);
            return std::nullopt;
        }
    }
    // Results printed for a script replace the report or preview page, unless one is named.
    if (OutputChoiceOf(request).format != OutputFormat::None &&
        (IsSearchCommand(request.command) || IsPreviewCommand(request.command))) {
        form.ReportWritten = false;
    }
    bool reportGiven = false;
    bool changesGiven = false;
    for (const auto& [name, value] : request.options) {
        ApplyOption(form, name, value);
        reportGiven = reportGiven || name == u"--report";
        changesGiven = changesGiven || name == u"--changes";
    }
    // A page named on the command line is written where it says; beside a change list, only a
    // page named so is written at all.
    if (reportGiven || changesGiven) {
        form.PreviewBesideResult = false;
    }
    if (reportGiven) {
        form.ReportWritten = true;
    }
    if (changesGiven && !reportGiven) {
        form.TexZieldatei.clear();
    }
    if (!CheckProfile(request.command, form, ui)) {
        return std::nullopt;
    }
    return form;
}

CommandOutcome RunCommand(CliCommand command, Form1& form, Ui& ui) {
    switch (command) {
        case CliCommand::Search:
            return butSuchen_Click(form, ui);
        case CliCommand::Replace:
            return butErsetzen_Click(form, ui);
        case CliCommand::SearchCode:
            return butSuchenSonderzeichen_Click(form, ui);
        case CliCommand::SearchCombination:
            return butKombinationenSuchen_Click(form, ui);
        case CliCommand::ReplaceCode:
            return butErsetzenSonderzeichen_Click(form, ui);
        case CliCommand::ReplaceCombination:
            return butKombinationenErsetzen_Click(form, ui);
        case CliCommand::SearchProfile:
            return butSuchprofilausführen_Click(form, ui);
        case CliCommand::ReplaceProfile:
            return butErsatzprofileAusführen_Click(form, ui);
        case CliCommand::ReplacePreview:
            return butVorschau_Click(form, ui);
        case CliCommand::ReplaceCodePreview:
            return butVorschauSonderzeichen_Click(form, ui);
        case CliCommand::ReplaceCombinationPreview:
            return butVorschauKombinationen_Click(form, ui);
        case CliCommand::ReplaceProfilePreview:
            return butErsatzprofilVorschau_Click(form, ui);
        case CliCommand::Undo:
            return butRückgängig_Click(form, ui);
        case CliCommand::UndoList:
            return PrintUndoRuns(ui);
        case CliCommand::UndoSkipDamaged:
            return UndoNewestRun(form, ui, DamagedRuns::Skip);
        case CliCommand::Apply:
            return butAusgewaehlteErsetzen_Click(form, ui);
    }
    return CommandOutcome::Refused;
}

int ExitStatus(CliCommand command, CommandOutcome outcome) {
    // Undo says with one number what became of the files: all back (0), nothing to take back
    // (1), some left as they are (2), a journal refused (3), stopped by a signal (4).
    if (command == CliCommand::Undo || command == CliCommand::UndoSkipDamaged) {
        switch (outcome) {
            case CommandOutcome::Completed:
                return 0;
            case CommandOutcome::Incomplete:
                return 2;
            case CommandOutcome::Refused:
                return 3;
            case CommandOutcome::Stopped:
                return 4;
            default:
                return 1;
        }
    }
    if (outcome == CommandOutcome::Invalid) {
        return 2;
    }
    return outcome == CommandOutcome::Completed ? 0 : 1;
}

}  // namespace trawlex
