#include "SpecialCommands.h"

#include "Codes.h"
#include "app/Form1.h"
#include "app/FormFilters.h"
#include "app/StatusLine.h"
#include "replace/Ersatzroutinen.h"
#include "replace/ReplaceCommand.h"
#include "search/SearchCommand.h"
#include "search/Suchroutinen.h"

namespace trawlex {
namespace {

Scope ScopeOf(const Form1& form) {
    return form.CheckRekursiv == 0 ? Scope::Flat : Scope::Tree;
}

// Without a location the walk would fall back to the current directory, which a person never
// chose; without a mask it would find nothing. Both are asked for, as the other commands do.
// What a special-character command needs filled in: a search or preview writes a report.
enum class Needed {
    LocationAndMask,
    WithReport,
};

bool RequireLocationAndMask(const Form1& form, Ui& ui, Needed needed) {
    const bool filled = needed == Needed::WithReport
                            ? RequireFields(ui, {{form.TexSuchort.text, u"Suchort"},
                                                 {form.ComDateifilter.text, u"Dateityp", true},
                                                 ReportField(form)})
                            : RequireFields(ui, {{form.TexSuchort.text, u"Suchort"},
                                                 {form.ComDateifilter.text, u"Dateityp", true}});
    return filled && FiltersOf(form, ui).has_value();
}

// Control characters are the same bytes in both encodings a file may be written in.
QString CodeCharacter(const QString& itemText) {
    return QString(QChar(static_cast<char16_t>(CodeItemToChar(itemText))));
}

QString Combination(const QString& itemText) {
    return QString::fromLatin1(CombinationToChars(itemText));
}

CommandOutcome SearchFor(Form1& form, Ui& ui, QString term) {
    BusyStart(form, ui, QStringLiteral("Suche ..."));
    const CompareMode mode = GetCompareMode(form);
    // The report's head shows the window's fields, whatever character was looked for; the
    // character is a literal term.
    ReportSummary summary = ReportSummaryOf(form, mode);
    summary.pattern = false;
    const CommandOutcome outcome = SearchLocation(ui.Run(), {.location = form.TexSuchort.text,
                                                             .term = std::move(term),
                                                             .target = ReportTarget(form),
                                                             .mask = form.ComDateifilter.text,
                                                             .mode = mode,
                                                             .scope = ScopeOf(form),
                                                             .filters = summary.filters,
                                                             .summary = summary});
    BusyEnd(form, ui);
    if (Produced(outcome) && form.ReportWritten) {
        ShowResultInBrowser(form, ui);
    }
    return outcome;
}

CommandOutcome ReplaceWith(Form1& form, Ui& ui, QString term, QString replacement,
                           const QString& kind, ReplaceAction action) {
    const bool preview = action == ReplaceAction::Preview;
    BusyStart(form, ui, preview ? QStringLiteral("Vorschau ...") : QStringLiteral("Ersetze ..."));
    ReplaceJob job = JobFromForm(form, GetCompareMode(form), ScopeOf(form));
    job.term = std::move(term);
    job.replacement = std::move(replacement);
    job.action = action;
    job.kind = kind;
    job.regex = false;  // a control character is always itself
    if (preview) {
        MakePreview(job, form);
    }
    const CommandOutcome outcome = ReplaceLocation(ui.Run(), job);
    BusyEnd(form, ui);
    if (preview && Produced(outcome)) {
        ShowPreviewInBrowser(form, ui);
    }
    return outcome;
}

CommandOutcome ReplaceCode(Form1& form, Ui& ui, ReplaceAction action) {
    if (form.ComboSonderzeichenSuchcode.text.isEmpty()) {
        return CommandOutcome::Completed;
    }
    if (!RequireLocationAndMask(form, ui,
                                action == ReplaceAction::Preview && PreviewWritesPage(form)
                                    ? Needed::WithReport
                                    : Needed::LocationAndMask)) {
        return CommandOutcome::Refused;
    }
    return ReplaceWith(form, ui, CodeCharacter(form.ComboSonderzeichenSuchcode.text),
                       CodeCharacter(form.ComboSonderzeichenErsetzcode.text),
                       QStringLiteral("Sonderzeichen"), action);
}

CommandOutcome ReplaceCombination(Form1& form, Ui& ui, ReplaceAction action) {
    QString term = Combination(form.ComboSonderzeichenkombinationSuchbegriff.text);
    if (term.isEmpty()) {
        return CommandOutcome::Completed;
    }
    if (!RequireLocationAndMask(form, ui,
                                action == ReplaceAction::Preview && PreviewWritesPage(form)
                                    ? Needed::WithReport
                                    : Needed::LocationAndMask)) {
        return CommandOutcome::Refused;
    }
    return ReplaceWith(form, ui, std::move(term),
                       Combination(form.CombosonderzeichenKombinationErsatzbegriff.text),
                       QStringLiteral("Kombination"), action);
}

}  // namespace

CommandOutcome butSuchenSonderzeichen_Click(Form1& form, Ui& ui) {
    if (form.ComboSonderzeichenSuchcode.text.isEmpty()) {
        BusyEnd(form, ui);
        ShowResultInBrowser(form, ui);
        return CommandOutcome::Completed;
    }
    if (!RequireLocationAndMask(form, ui, Needed::WithReport)) {
        return CommandOutcome::Refused;
    }
    return SearchFor(form, ui, CodeCharacter(form.ComboSonderzeichenSuchcode.text));
}

CommandOutcome butKombinationenSuchen_Click(Form1& form, Ui& ui) {
    QString term = Combination(form.ComboSonderzeichenkombinationSuchbegriff.text);
    if (term.isEmpty()) {
        return CommandOutcome::Completed;
    }
    if (!RequireLocationAndMask(form, ui, Needed::WithReport)) {
        return CommandOutcome::Refused;
    }
    return SearchFor(form, ui, std::move(term));
}

CommandOutcome butErsetzenSonderzeichen_Click(Form1& form, Ui& ui) {
    return ReplaceCode(form, ui, ReplaceAction::Write);
}

CommandOutcome butKombinationenErsetzen_Click(Form1& form, Ui& ui) {
    return ReplaceCombination(form, ui, ReplaceAction::Write);
}

CommandOutcome butVorschauSonderzeichen_Click(Form1& form, Ui& ui) {
    return ReplaceCode(form, ui, ReplaceAction::Preview);
}

CommandOutcome butVorschauKombinationen_Click(Form1& form, Ui& ui) {
    return ReplaceCombination(form, ui, ReplaceAction::Preview);
}

}  // namespace trawlex
