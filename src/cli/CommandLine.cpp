#include "CommandLine.h"

#include "app/Settings.h"
#include "app/Startup.h"
#include "common/PathText.h"

#include <map>

namespace trawlex {
namespace {

enum class OptionKind { Value, Flag };

struct OptionSpec {
    OptionKind kind;
    bool required;
};

const std::map<QString, OptionSpec>& SearchOptions() {
    static const std::map<QString, OptionSpec> options = {
        {QStringLiteral("--location"), {OptionKind::Value, true}},
        {QStringLiteral("--term"), {OptionKind::Value, true}},
        {QStringLiteral("--mask"), {OptionKind::Value, true}},
        {QStringLiteral("--report"), {OptionKind::Value, true}},
        {QStringLiteral("--ignore-case"), {OptionKind::Flag, false}},
        {QStringLiteral("--recursive"), {OptionKind::Flag, false}},
        {QStringLiteral("--settings"), {OptionKind::Value, false}},
    };
    return options;
}

CliParse UsageError(const QString& text) {
    CliParse parse;
    parse.usageError = true;
    parse.output = text + QStringLiteral("\nHilfe: trawlex-cli --help\n");
    return parse;
}

void ApplySearchOption(Form1& form, const QString& name, const QString& value) {
    if (name == u"--location") {
        form.TexSuchort.text = value;
    } else if (name == u"--term") {
        form.TexSuchbegriff.text = value;
    } else if (name == u"--mask") {
        form.ComDateifilter.text = value;
    } else if (name == u"--report") {
        form.TexZieldatei = value;
    } else if (name == u"--ignore-case") {
        SelectCaseObserved(form, false);
    } else if (name == u"--recursive") {
        form.CheckRekursiv = 1;
    }
}

}  // namespace

QString HelpText() {
    return QStringLiteral(
        "Aufruf: trawlex-cli BEFEHL [OPTIONEN]\n"
        "\n"
        "Durchsucht Dateien eines Verzeichnisses wie das Fenster von Trawlex und schreibt\n"
        "denselben HTML-Bericht.\n"
        "\n"
        "Befehle:\n"
        "  search              Sucht einen Begriff in den Dateien des Suchorts und schreibt\n"
        "                      den Bericht.\n"
        "\n"
        "Optionen von search:\n"
        "  --location VERZ     Suchort: das Verzeichnis, dessen Dateien durchsucht werden\n"
        "                      (Pflicht).\n"
        "  --term TEXT         Suchbegriff (Pflicht).\n"
        "  --mask MASKE        Dateityp, z. B. \"*.HTM\"; mehrere durch \";\" getrennt, z. B.\n"
        "                      \"*.htm; *.html\" (Pflicht).\n"
        "  --report DATEI      Ergebnisdatei: Pfad des HTML-Berichts (Pflicht).\n"
        "  --ignore-case       Gro\u00DF- und Kleinschreibung ignorieren (sonst beachten).\n"
        "  --recursive         Unterverzeichnisse durchsuchen (sonst nur den Suchort selbst).\n"
        "  --settings DATEI    Beginnt mit den Feldern einer Einstellungsdatei (Trawlex.INI);\n"
        "                      die \u00FCbrigen Optionen gelten danach. Mit ihr sind\n"
        "                      --location, --term, --mask und --report nicht Pflicht.\n"
        "\n"
        "Allgemein:\n"
        "  --help, -h          Zeigt diese Hilfe.\n"
        "\n"
        "Optionen nehmen ihren Wert als n\u00E4chstes Argument oder nach \"=\" (--term=Fund).\n"
        "\n"
        "Exit-Status: 0 der Befehl lief, 1 abgelehnt oder fehlgeschlagen (Meldung auf\n"
        "stderr), 2 falscher Aufruf.\n");
}

CliParse ParseCommandLine(const QStringList& arguments) {
    if (arguments.isEmpty()) {
        return UsageError(QStringLiteral("Es fehlt der Befehl."));
    }
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        CliParse parse;
        parse.output = HelpText();
        return parse;
    }
    if (arguments.front() != u"search") {
        return UsageError(
            QStringLiteral("Unbekannter Befehl \u201E%1\u201C.").arg(arguments.front()));
    }
    CliRequest request;
    request.command = CliCommand::Search;

    const auto& options = SearchOptions();
    QStringList given;
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        QString name = arguments[index];
        std::optional<QString> value;
        if (const qsizetype equals = name.indexOf(QLatin1Char('='));
            name.startsWith(u"--") && equals > 0) {
            value = name.mid(equals + 1);
            name.truncate(equals);
        }
        const auto rule = options.find(name);
        if (rule == options.end()) {
            return UsageError(QStringLiteral("Unbekannte Option \u201E%1\u201C.").arg(name));
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
        if (given.contains(name)) {
            return UsageError(QStringLiteral("Die Option %1 ist doppelt angegeben.").arg(name));
        }
        given.append(name);
        if (name == u"--settings") {
            request.settingsPath = value;
        } else {
            request.options.emplace_back(name, value.value_or(QString()));
        }
    }
    for (const auto& [name, rule] : options) {
        // A settings file may supply what the options leave out.
        if (rule.required && !given.contains(name) && !request.settingsPath) {
            return UsageError(QStringLiteral("Es fehlt die Option %1.").arg(name));
        }
    }
    CliParse parse;
    parse.request = std::move(request);
    return parse;
}

std::optional<Form1> PrepareForm(const CliRequest& request, Ui& ui) {
    Form1 form;
    FillFixedLists(form);
    if (request.settingsPath && !LoadSettings(form, ui, NativePath(*request.settingsPath))) {
        return std::nullopt;
    }
    for (const auto& [name, value] : request.options) {
        ApplySearchOption(form, name, value);
    }
    return form;
}

}  // namespace trawlex
