#include "SearchCommand.h"

#include "app/Form1.h"
#include "app/FormFilters.h"
#include "app/StatusLine.h"
#include "common/files/Listing.h"
#include "search/Suchroutinen.h"

namespace trawlex {

bool RequireSearchFields(const Form1& form, Ui& ui) {
    return RequireFields(ui, {{form.TexSuchort.text, u"Suchort"},
                              {form.TexSuchbegriff.text, u"Suchbegriff"},
                              {form.ComDateifilter.text, u"Dateityp", true},
                              ReportField(form)}) &&
           FiltersOf(form, ui).has_value();
}

NeededField ReportField(const Form1& form) {
    return {form.TexZieldatei, u"Ergebnisdatei", false, form.ReportWritten};
}

QString ReportTarget(const Form1& form) {
    return form.ReportWritten ? form.TexZieldatei : QString();
}

bool RequireFields(Ui& ui, std::initializer_list<NeededField> fields) {
    QStringList empty;
    for (const NeededField& field : fields) {
        if (field.needed && field.value.isEmpty()) {
            empty.append(QString::fromUtf16(field.name));
        }
    }
    if (!empty.isEmpty()) {
        ui.ShowMessage(QStringLiteral("Es fehlen leider Werte, damit die Suche gestartet werden "
                                      "kann!\nLeer: %1.")
                           .arg(empty.join(QStringLiteral(", "))),
                       MessageIcon::None);
        return false;
    }
    for (const NeededField& field : fields) {
        if (!field.mask) {
            continue;
        }
        if (const std::optional<QString> problem = MaskProblem(field.value)) {
            ui.ShowMessage(*problem, MessageIcon::Warning);
            return false;
        }
    }
    return true;
}

ReportSummary ReportSummaryOf(const Form1& form, CompareMode mode) {
    return {.term = form.TexSuchbegriff.text,
            .location = form.TexSuchort.text,
            .mask = form.ComDateifilter.text,
            .mode = mode,
            .subdirectories = form.CheckRekursiv != 0,
            .pattern = form.CheckRegex != 0,
            .filters = CheckedFilters(form)};
}

CommandOutcome SearchDirFlat(const Form1& form, Ui& ui, const QString& path, const QString& term,
                             const QString& target, const QString& mask, CompareMode mode) {
    const bool regex = form.CheckRegex != 0;
    return SearchLocation(ui.Run(), {.location = path,
                                     .term = term,
                                     .target = target,
                                     .mask = mask,
                                     .mode = mode,
                                     .scope = Scope::Flat,
                                     .regex = regex,
                                     .filters = CheckedFilters(form),
                                     .summary = ReportSummaryOf(form, mode)});
}

CommandOutcome SearchTree(const Form1& form, Ui& ui, CompareMode mode) {
    const bool regex = form.CheckRegex != 0;
    return SearchLocation(ui.Run(), {.location = form.TexSuchort.text,
                                     .term = form.TexSuchbegriff.text,
                                     .target = ReportTarget(form),
                                     .mask = form.ComDateifilter.text,
                                     .mode = mode,
                                     .scope = Scope::Tree,
                                     .regex = regex,
                                     .filters = CheckedFilters(form),
                                     .summary = ReportSummaryOf(form, mode)});
}

CommandOutcome butSuchen_Click(Form1& form, Ui& ui) {
    if (!RequireSearchFields(form, ui)) {
        return CommandOutcome::Refused;
    }
    form.TexSuchbegriff.list.append(form.TexSuchbegriff.text);
    BusyStart(form, ui, QStringLiteral("Suche ..."));
    const CompareMode mode = GetCompareMode(form);
    const CommandOutcome outcome =
        form.CheckRekursiv == 0
            ? SearchDirFlat(form, ui, form.TexSuchort.text, form.TexSuchbegriff.text,
                            ReportTarget(form), form.ComDateifilter.text, mode)
            : SearchTree(form, ui, mode);
    BusyEnd(form, ui);
    if (Produced(outcome) && form.ReportWritten) {
        ShowResultInBrowser(form, ui);
    }
    return outcome;
}

}  // namespace trawlex
