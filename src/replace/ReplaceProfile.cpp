#include "ReplaceProfile.h"

#include "Ersatzroutinen.h"
#include "app/Form1.h"
#include "app/FormFilters.h"
#include "app/StatusLine.h"
#include "common/files/Listing.h"
#include "common/text/Cp1252.h"
#include "common/text/PathText.h"
#include "common/text/ProfileFields.h"
#include "replace/ReplaceCommand.h"
#include "search/Problems.h"
#include "search/SearchCommand.h"

namespace trawlex {

ReplaceProfile ReadReplacePairs(std::string_view profileBytes) {
    const std::vector<QString> fields = ReadProfileTexts(profileBytes);
    ReplaceProfile profile;
    std::size_t index = 0;
    for (; index + 1 < fields.size(); index += 2) {
        if (fields[index].isEmpty()) {
            continue;  // an empty term would match everywhere
        }
        profile.pairs.push_back({fields[index], fields[index + 1]});
    }
    if (index < fields.size() && !fields[index].isEmpty()) {
        profile.unpairedTerm = fields[index];
    }
    return profile;
}

namespace {

CommandOutcome RunProfile(Form1& form, Ui& ui, ReplaceAction action) {
    if (form.ReplaceProfilePath.isEmpty() || form.ComErsatzlisten.text.isEmpty()) {
        return CommandOutcome::Completed;
    }
    const bool preview = action == ReplaceAction::Preview;
    const bool filled = preview && PreviewWritesPage(form)
                            ? RequireFields(ui, {{form.TexSuchort.text, u"Suchort"},
                                                 {form.ComDateifilter.text, u"Dateityp", true},
                                                 {form.TexZieldatei, u"Ergebnisdatei"}})
                            : RequireFields(ui, {{form.TexSuchort.text, u"Suchort"},
                                                 {form.ComDateifilter.text, u"Dateityp", true}});
    if (!filled || !FiltersOf(form, ui)) {
        return CommandOutcome::Refused;
    }
    const QString profilePath = form.ReplaceProfilePath + form.ComErsatzlisten.text;
    auto bytes = ReadProfileFile(NativePath(profilePath), profilePath);
    if (bytes) {
        bytes = RefuseNulBytes(std::move(bytes.value()), profilePath);
    }
    if (!bytes) {
        ui.ShowMessage(
            QStringLiteral("Das Ersatzprofil konnte nicht geladen werden.\n") + bytes.message(),
            MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    const ReplaceProfile profile = ReadReplacePairs(bytes.value());
    ReplaceJob job = JobFromForm(form, GetCompareMode(form),
                                 form.CheckRekursiv == 0 ? Scope::Flat : Scope::Tree);
    job.term.clear();
    job.replacement.clear();
    job.pairs = profile.pairs;
    job.action = action;
    if (preview) {
        MakePreview(job, form);
    }
    job.profileName = profilePath;
    job.kind = QStringLiteral("Ersatzprofil");
    if (preview) {
        BusyStart(form, ui, QStringLiteral("Vorschau ..."));
    }
    // All pairs are applied to each file in turn, in one walk: a later pair sees what an earlier
    // one inserted, just as if every pair walked the tree on its own, and each file is read,
    // journaled and rewritten once.
    const CommandOutcome outcome = ReplaceLocation(ui.Run(), job);
    if (preview) {
        BusyEnd(form, ui);
    }
    if (!Produced(outcome)) {
        return outcome;
    }
    if (profile.unpairedTerm && outcome != CommandOutcome::Stopped) {
        ui.ShowMessage(QStringLiteral("Im Ersatzprofil \u201E%1\u201C fehlt zum letzten "
                                      "Suchbegriff \u201E%2\u201C der Ersatzbegriff. Die "
                                      "vollst\u00E4ndigen Paare davor wurden %3.")
                           .arg(profilePath, *profile.unpairedTerm,
                                preview ? QStringLiteral("in der Vorschau gezeigt")
                                        : QStringLiteral("angewandt")),
                       MessageIcon::Warning);
    }
    if (preview) {
        ShowPreviewInBrowser(form, ui);
        return outcome;
    }
    if (outcome == CommandOutcome::Completed && profile.unpairedTerm) {
        return CommandOutcome::Incomplete;
    }
    return outcome;
}

}  // namespace

CommandOutcome butErsatzprofileAusführen_Click(Form1& form, Ui& ui) {
    return RunProfile(form, ui, ReplaceAction::Write);
}

CommandOutcome butErsatzprofilVorschau_Click(Form1& form, Ui& ui) {
    return RunProfile(form, ui, ReplaceAction::Preview);
}

}  // namespace trawlex
