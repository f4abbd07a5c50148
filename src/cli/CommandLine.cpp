#include "CommandLine.h"

#include "app/Startup.h"

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
    Form_Load(request.form);
    request.form.TexSuchort.text.clear();
    request.form.TexZieldatei.clear();
    request.form.ComDateifilter.text.clear();

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
        const auto spec = options.find(name);
        if (spec == options.end()) {
            return UsageError(QStringLiteral("Unbekannte Option \u201E%1\u201C.").arg(name));
        }
        if (spec->second.kind == OptionKind::Flag) {
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
        ApplySearchOption(request.form, name, value.value_or(QString()));
    }
    for (const auto& [name, spec] : options) {
        if (spec.required && !given.contains(name)) {
            return UsageError(QStringLiteral("Es fehlt die Option %1.").arg(name));
        }
    }
    CliParse parse;
    parse.request = std::move(request);
    return parse;
}

}  // namespace trawlex
