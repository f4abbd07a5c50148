#include "ReplaceCommand.h"

#include "ApplyChanges.h"
#include "Ersatzroutinen.h"
#include "app/Form1.h"
#include "app/FormFilters.h"
#include "app/StatusLine.h"
#include "search/SearchCommand.h"

namespace trawlex {

namespace {

CommandOutcome RunReplace(Form1& form, Ui& ui, ReplaceAction action) {
    const bool preview = action == ReplaceAction::Preview;
    // Only the preview writes a page; a replacement needs no result file and runs without one.
    const bool filled = preview && PreviewWritesPage(form)
                            ? RequireSearchFields(form, ui)
                            : RequireFields(ui, {{form.TexSuchort.text, u"Suchort"},
                                                 {form.TexSuchbegriff.text, u"Suchbegriff"},
                                                 {form.ComDateifilter.text, u"Dateityp", true}});
    if (!filled || !FiltersOf(form, ui)) {
        return CommandOutcome::Refused;
    }
    BusyStart(form, ui, preview ? QStringLiteral("Vorschau ...") : QStringLiteral("Ersetze ..."));
    ReplaceJob job = JobFromForm(form, GetCompareMode(form),
                                 form.CheckRekursiv == 0 ? Scope::Flat : Scope::Tree);
    job.action = action;
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

}  // namespace

bool PreviewWritesPage(const Form1& form) {
    return form.ReportWritten && (form.ChangesFile.isEmpty() || !form.TexZieldatei.isEmpty());
}

QString PreviewPagePath(const Form1& form) {
    if (!form.PreviewBesideResult || form.TexZieldatei.isEmpty()) {
        return form.TexZieldatei;
    }
    const QString& result = form.TexZieldatei;
    const qsizetype nameStart = result.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = result.lastIndexOf(QLatin1Char('.'));
    // A dot that starts the name, or lies in a directory, begins no extension.
    const qsizetype at = dot > nameStart ? dot : result.size();
    return result.left(at) + QStringLiteral("-Vorschau") + result.mid(at);
}

void MakePreview(ReplaceJob& job, const Form1& form) {
    job.action = ReplaceAction::Preview;
    job.target = PreviewWritesPage(form) ? PreviewPagePath(form) : QString();
    job.changes = form.ChangesFile;
}

void ShowPreviewInBrowser(const Form1& form, Ui& ui) {
    if (PreviewWritesPage(form)) {
        ShowInBrowser(form, ui, PreviewPagePath(form));
    }
}

CommandOutcome butAusgewaehlteErsetzen_Click(Form1& form, Ui& ui) {
    if (form.ChangesFile.isEmpty()) {
        ui.ShowMessage(QStringLiteral("Es ist keine \u00C4nderungsliste angegeben."),
                       MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    BusyStart(form, ui, QStringLiteral("Ersetze ..."));
    const CommandOutcome outcome = ApplyChangeList(
        ui.Run(),
        {.changes = form.ChangesFile, .journal = form.UndoJournal, .keptRuns = form.UndoRuns});
    BusyEnd(form, ui);
    return outcome;
}

ReplaceJob JobFromForm(const Form1& form, CompareMode mode, Scope scope) {
    ReplaceJob job;
    job.location = form.TexSuchort.text;
    job.term = form.TexSuchbegriff.text;
    job.replacement = form.TexErsatzbegriff;
    job.mask = form.ComDateifilter.text;
    job.mode = mode;
    job.scope = scope;
    job.target = form.TexZieldatei;
    job.journal = form.UndoJournal;
    job.regex = form.CheckRegex != 0;
    job.keptRuns = form.UndoRuns;
    job.filters = CheckedFilters(form);
    return job;
}

CommandOutcome ReplaceDirFlat(Ui& ui, const QString& path, const QString& term,
                              const QString& replacement, const QString& mask, CompareMode mode) {
    return ReplaceLocation(ui.Run(), {path, term, replacement, mask, mode, Scope::Flat});
}

CommandOutcome ReplaceTree(const Form1& form, Ui& ui, CompareMode mode) {
    return ReplaceLocation(ui.Run(), JobFromForm(form, mode, Scope::Tree));
}

CommandOutcome butErsetzen_Click(Form1& form, Ui& ui) {
    return RunReplace(form, ui, ReplaceAction::Write);
}

CommandOutcome butVorschau_Click(Form1& form, Ui& ui) {
    return RunReplace(form, ui, ReplaceAction::Preview);
}

}  // namespace trawlex
