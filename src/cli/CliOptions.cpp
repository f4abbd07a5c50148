#include "CliOptions.h"

#include "app/FormFilters.h"
#include "app/Startup.h"
#include "special/Codes.h"

#include <QDir>

namespace trawlex {
namespace {

QString Name(const char* text) {
    return QString::fromLatin1(text);
}

OptionRules WithCommonOptions(OptionRules own) {
    own.emplace(Name("--location"), OptionRule{OptionKind::Value, true});
    own.emplace(Name("--mask"), OptionRule{OptionKind::Value, true});
    own.emplace(Name("--ignore-case"), OptionRule{OptionKind::Flag, false});
    own.emplace(Name("--recursive"), OptionRule{OptionKind::Flag, false});
    own.emplace(Name("--settings"), OptionRule{OptionKind::Value, false});
    own.emplace(Name("--quiet"), OptionRule{OptionKind::Flag, false});
    // What the walk leaves out, and whole words.
    for (const char* value :
         {"--exclude", "--exclude-dir", "--min-size", "--max-size", "--newer", "--older"}) {
        own.emplace(Name(value), OptionRule{OptionKind::Value, false});
    }
    own.emplace(Name("--word"), OptionRule{OptionKind::Flag, false});
    own.emplace(Name("--skip-binary"), OptionRule{OptionKind::Flag, false});
    return own;
}

// A search prints its results for a script or a terminal when asked, and the report is then
// optional.
OptionRules WithOutputOptions(OptionRules own) {
    for (const char* flag : {"--json", "--lines", "--files-with-matches", "--null"}) {
        own.emplace(Name(flag), OptionRule{OptionKind::Flag, false});
    }
    own.emplace(Name("--report"), OptionRule{OptionKind::Value, false});
    return WithCommonOptions(std::move(own));
}

// A replacement can be previewed instead of run, and run without an undo journal.
OptionRules WithReplaceOptions(OptionRules own) {
    own.emplace(Name("--json"), OptionRule{OptionKind::Flag, false});
    own.emplace(Name("--preview"), OptionRule{OptionKind::Flag, false});
    own.emplace(Name("--report"), OptionRule{OptionKind::Value, false});
    own.emplace(Name("--no-undo"), OptionRule{OptionKind::Flag, false});
    own.emplace(Name("--changes"), OptionRule{OptionKind::Value, false});
    return WithCommonOptions(std::move(own));
}

// Terms that are regular expressions: the search, the replacement and both profile runs.
OptionRules WithPattern(OptionRules own) {
    own.emplace(Name("--regex"), OptionRule{OptionKind::Flag, false});
    return own;
}

// The filter field an option fills; false for any other option.
bool ApplyFilterOption(Form1& form, const QString& name, const QString& value) {
    const std::map<QString, QString*> filterFields = {
        {Name("--exclude"), &form.TexAusnahmen},  {Name("--exclude-dir"), &form.TexOrdnerAuslassen},
        {Name("--min-size"), &form.TexGroesseAb}, {Name("--max-size"), &form.TexGroesseBis},
        {Name("--newer"), &form.TexGeaendertAb},  {Name("--older"), &form.TexGeaendertVor},
    };
    if (const auto field = filterFields.find(name); field != filterFields.end()) {
        *field->second = value;
        return true;
    }
    if (name == u"--word") {
        form.CheckGanzesWort = 1;
        return true;
    }
    if (name == u"--skip-binary") {
        form.CheckBinaerAuslassen = 1;
        return true;
    }
    return false;
}

}  // namespace

// The short names grep's users type.
QString LongName(const QString& name) {
    if (name == u"-l") {
        return QStringLiteral("--files-with-matches");
    }
    if (name == u"-0") {
        return QStringLiteral("--null");
    }
    return name;
}

std::optional<CliCommand> PreviewOf(CliCommand command) {
    switch (command) {
        case CliCommand::Replace:
            return CliCommand::ReplacePreview;
        case CliCommand::ReplaceCode:
            return CliCommand::ReplaceCodePreview;
        case CliCommand::ReplaceCombination:
            return CliCommand::ReplaceCombinationPreview;
        case CliCommand::ReplaceProfile:
            return CliCommand::ReplaceProfilePreview;
        default:
            return std::nullopt;
    }
}

const std::map<QString, CommandRule>& Commands() {
    constexpr OptionRule required{OptionKind::Value, true};
    static const std::map<QString, CommandRule> commands = {
        {Name("search"),
         {CliCommand::Search, WithPattern(WithOutputOptions({{Name("--term"), required}}))}},
        {Name("replace"),
         {CliCommand::Replace,
          WithPattern(WithReplaceOptions(
              {{Name("--term"), required}, {Name("--replacement"), required}}))}},
        {Name("search-code"),
         {CliCommand::SearchCode, WithOutputOptions({{Name("--code"), required}})}},
        {Name("search-combination"),
         {CliCommand::SearchCombination, WithOutputOptions({{Name("--combination"), required}})}},
        {Name("replace-code"),
         {CliCommand::ReplaceCode, WithReplaceOptions({{Name("--code"), required},
                                                       {Name("--replacement-code"), required}})}},
        {Name("replace-combination"),
         {CliCommand::ReplaceCombination,
          WithReplaceOptions(
              {{Name("--combination"), required}, {Name("--replacement-combination"), required}})}},
        {Name("search-profile"),
         {CliCommand::SearchProfile,
          WithPattern(WithOutputOptions({{Name("--profile"), required}}))}},
        {Name("replace-profile"),
         {CliCommand::ReplaceProfile,
          WithPattern(WithReplaceOptions({{Name("--profile"), required}}))}},
        {Name("apply"),
         {CliCommand::Apply,
          {{Name("--changes"), required},
           {Name("--no-undo"), OptionRule{OptionKind::Flag, false}},
           {Name("--json"), OptionRule{OptionKind::Flag, false}},
           {Name("--quiet"), OptionRule{OptionKind::Flag, false}}}}},
        {Name("undo"),
         {CliCommand::Undo,
          {{Name("--list"), OptionRule{OptionKind::Flag, false}},
           {Name("--skip-damaged"), OptionRule{OptionKind::Flag, false}}}}},
    };
    return commands;
}

// The field each option fills; flags set their option.
void ApplyOption(Form1& form, const QString& name, const QString& value) {
    if (ApplyFilterOption(form, name, value)) {
        return;
    }
    const std::map<QString, QString*> textFields = {
        {Name("--location"), &form.TexSuchort.text},
        {Name("--term"), &form.TexSuchbegriff.text},
        {Name("--mask"), &form.ComDateifilter.text},
        {Name("--report"), &form.TexZieldatei},
        {Name("--changes"), &form.ChangesFile},
        {Name("--replacement"), &form.TexErsatzbegriff},
        {Name("--code"), &form.ComboSonderzeichenSuchcode.text},
        {Name("--replacement-code"), &form.ComboSonderzeichenErsetzcode.text},
        {Name("--combination"), &form.ComboSonderzeichenkombinationSuchbegriff.text},
        {Name("--replacement-combination"), &form.CombosonderzeichenKombinationErsatzbegriff.text},
    };
    if (const auto field = textFields.find(name); field != textFields.end()) {
        *field->second = value;
    } else if (name == u"--profile") {
        // The profile names both lists' directory and chosen file, as the window keeps them.
        // A bare name means a file of the working directory, as everywhere on a command line.
        const qsizetype slash = value.lastIndexOf(QLatin1Char('/'));
        const QString directory =
            slash < 0 ? QDir::currentPath() + QLatin1Char('/') : value.left(slash + 1);
        const QString file = value.mid(slash + 1);
        form.SearchProfilePath = directory;
        form.ReplaceProfilePath = directory;
        form.ComSuchprofile.text = file;
        form.ComErsatzlisten.text = file;
    } else if (name == u"--ignore-case") {
        SelectCaseObserved(form, false);
    } else if (name == u"--recursive") {
        form.CheckRekursiv = 1;
    } else if (name == u"--regex") {
        form.CheckRegex = 1;
    } else if (name == u"--no-undo") {
        form.UndoJournal = false;
    }
}

// The filters the options give, checked before anything runs: a size, date or mask that cannot
// be used is named with its option.
std::optional<QString> FilterProblem(const std::vector<std::pair<QString, QString>>& options) {
    Form1 form;
    for (const auto& [name, value] : options) {
        ApplyFilterOption(form, name, value);
    }
    auto filters = ReadFilters(FilterTextsOf(form), {.excludeFiles = Name("--exclude"),
                                                     .excludeDirectories = Name("--exclude-dir"),
                                                     .minSize = Name("--min-size"),
                                                     .maxSize = Name("--max-size"),
                                                     .newer = Name("--newer"),
                                                     .older = Name("--older")});
    if (!filters) {
        return filters.message();
    }
    return std::nullopt;
}

bool IsPreviewCommand(CliCommand command) {
    return command == CliCommand::ReplacePreview || command == CliCommand::ReplaceCodePreview ||
           command == CliCommand::ReplaceCombinationPreview ||
           command == CliCommand::ReplaceProfilePreview;
}

bool IsSearchCommand(CliCommand command) {
    return command == CliCommand::Search || command == CliCommand::SearchCode ||
           command == CliCommand::SearchCombination || command == CliCommand::SearchProfile;
}

// A search writes its report, or prints its results in one form; -0 belongs to a form that
// prints paths.
std::optional<QString> OutputProblem(CliCommand command, const QStringList& given) {
    if (!IsSearchCommand(command)) {
        return std::nullopt;
    }
    const QStringList forms = {QStringLiteral("--json"), QStringLiteral("--lines"),
                               QStringLiteral("--files-with-matches")};
    QStringList chosen;
    for (const QString& form : forms) {
        if (given.contains(form)) {
            chosen.append(form);
        }
    }
    if (chosen.size() > 1) {
        return QStringLiteral(
                   "%1 schlie\u00DFen sich aus: die Ergebnisse werden in einer Form "
                   "ausgegeben.")
            .arg(chosen.join(QStringLiteral(" und ")));
    }
    if (given.contains(QStringLiteral("--null")) &&
        !given.contains(QStringLiteral("--files-with-matches")) &&
        !given.contains(QStringLiteral("--lines"))) {
        return QStringLiteral(
            "-0 (--null) geh\u00F6rt zu --files-with-matches (-l) oder --lines: es trennt die "
            "ausgegebenen Pfade mit einem Nullbyte.");
    }
    if (chosen.isEmpty() && !given.contains(QStringLiteral("--report")) &&
        !given.contains(QStringLiteral("--settings"))) {
        return QStringLiteral("Es fehlt die Option --report (oder --json, --lines, -l).");
    }
    return std::nullopt;
}

// A code or combination must be one of the window's items, written exactly as there.
std::optional<QString> CheckItem(const QString& name, const QString& value) {
    const bool isCode = name == u"--code" || name == u"--replacement-code";
    const bool isCombination = name == u"--combination" || name == u"--replacement-combination";
    if (!isCode && !isCombination) {
        return std::nullopt;
    }
    const QStringList items = isCode ? SpecialCodeItems() : CombinationItems();
    if (items.contains(value)) {
        return std::nullopt;
    }
    return QStringLiteral("Der Wert \u201E%1\u201C von %2 ist keiner von: \u201E%3\u201C.")
        .arg(value, name, items.join(QStringLiteral("\u201C, \u201E")));
}

// The options whose values are text rather than paths.
bool IsText(const QString& name) {
    static const QStringList texts = {
        QStringLiteral("--term"),        QStringLiteral("--replacement"),
        QStringLiteral("--code"),        QStringLiteral("--replacement-code"),
        QStringLiteral("--combination"), QStringLiteral("--replacement-combination"),
    };
    return texts.contains(name);
}

// Only a replacement may be empty: it deletes the term.
bool MayBeEmpty(const QString& name) {
    return name == u"--replacement";
}

}  // namespace trawlex
