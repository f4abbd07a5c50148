#include "ReplaceCommand.h"

#include "Ersatzroutinen.h"
#include "app/Form1.h"
#include "app/StatusLine.h"
#include "search/SearchCommand.h"

namespace trawlex {

namespace {

CommandOutcome RunReplace(Form1& form, Ui& ui, ReplaceAction action) {
    const bool preview = action == ReplaceAction::Preview;
    // Only the preview writes a page; a replacement needs no result file and runs without one.
    const bool filled = preview
                            ? RequireSearchFields(form, ui)
                            : RequireFields(ui, {{form.TexSuchort.text, u"Suchort"},
                                                 {form.TexSuchbegriff.text, u"Suchbegriff"},
                                                 {form.ComDateifilter.text, u"Dateityp", true}});
    if (!filled) {
        return CommandOutcome::Refused;
    }
    BusyStart(form, ui, preview ? QStringLiteral("Vorschau ...") : QStringLiteral("Ersetze ..."));
    ReplaceJob job = JobFromForm(form, GetCompareMode(form),
                                 form.CheckRekursiv == 0 ? Scope::Flat : Scope::Tree);
    job.action = action;
    const CommandOutcome outcome = ReplaceLocation(ui.Run(), job);
    BusyEnd(form, ui);
    if (preview && Produced(outcome)) {
        ShowResultInBrowser(form, ui);
    }
    return outcome;
}

}  // namespace

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
