#include "ButtonCommands.h"

#include "app/Settings.h"
#include "dialogs/Dialogs.h"
#include "profiles/ProfileCommand.h"
#include "replace/ReplaceCommand.h"
#include "replace/ReplaceProfile.h"
#include "replace/UndoCommand.h"
#include "search/SearchCommand.h"
#include "special/SpecialCommands.h"

namespace trawlex {
namespace {

// The buttons that only open a dialog or start a program have no outcome of their own.
template <typename Handler>
Runner::Command Completing(Handler handler) {
    return [handler](Form1& form, Ui& ui) {
        handler(form, ui);
        return CommandOutcome::Completed;
    };
}

}  // namespace

std::vector<ButtonCommand> ButtonCommands(const std::string& settingsPath) {
    const std::string* settings = &settingsPath;
    using enum CommandKind;
    return {
        {u"butSuchen", butSuchen_Click, Run},
        {u"butErsetzen", butErsetzen_Click, ReplacesTerm},
        {u"butSuchenSonderzeichen", butSuchenSonderzeichen_Click, Run},
        {u"butKombinationenSuchen", butKombinationenSuchen_Click, Run},
        {u"butErsetzenSonderzeichen", butErsetzenSonderzeichen_Click, Run},
        {u"butKombinationenErsetzen", butKombinationenErsetzen_Click, Run},
        {u"butSuchprofilausführen", butSuchprofilausführen_Click, Run},
        {u"butErsatzprofileAusführen", butErsatzprofileAusführen_Click, Run},
        {u"butVorschau", butVorschau_Click, ReplacesTerm},
        {u"butErsatzprofilVorschau", butErsatzprofilVorschau_Click, Run},
        {u"butVorschauSonderzeichen", butVorschauSonderzeichen_Click, Run},
        {u"butVorschauKombinationen", butVorschauKombinationen_Click, Run},
        {u"butRückgängig", butRückgängig_Click, Run},
        // The directory dialog runs as a command too: the record holds the inputs while it is
        // open, and the window shows what it chose when it closes.
        {u"butSuchort", Completing(butSuchort_Click), Dialog},
        {u"butSuchprofilEinstellen", Completing(butSuchprofilEinstellen_Click), Dialog},
        {u"butErsatzprofilAuswählen", Completing(butErsatzprofilAuswählen_Click), Dialog},
        {u"butSaveSuchort", Completing([](Form1& form, Ui&) { butSaveSuchort_Click(form); }),
         Dialog},
        // The help page is looked for anew each time, so one installed meanwhile is found.
        {u"ButHelp",
         Completing([](Form1& form, Ui& ui) { ButHelp_Click(form, ui, HelpPagePath()); }), Dialog},
        {u"comHTMLBrowser", Completing(comHTMLBrowser_Click), Dialog},
        {u"butZieldatei", Completing(butZieldatei_Click), Dialog},
        {u"butEDIT", Completing(butEDIT_Click), Dialog},
        {u"butEDIT2", Completing(butEDIT2_Click), Dialog},
        {u"butcopyright", Completing([](Form1&, Ui& ui) { butcopyright_Click(ui); }), Dialog},
        {u"ComSaveIni",
         Completing([settings](Form1& form, Ui& ui) { ComSaveIni_Click(form, ui, *settings); }),
         Dialog},
    };
}

Runner::Command ApplyChosenCommand(QString list, std::vector<ChosenChanges> chosen,
                                   QString chosenList) {
    return [list = std::move(list), chosen = std::move(chosen), chosenList = std::move(chosenList)](
               Form1& form, Ui& ui) {
        if (auto written = WriteChosenChanges(list, chosen, chosenList); !written) {
            ui.ShowMessage(
                written.message() + QStringLiteral("\nEs wurde keine Datei ge\u00E4ndert."),
                MessageIcon::Warning);
            return CommandOutcome::Failed;
        }
        // The next preview writes its list where the window keeps it.
        const QString previewList = form.ChangesFile;
        form.ChangesFile = chosenList;
        const CommandOutcome outcome = butAusgewaehlteErsetzen_Click(form, ui);
        form.ChangesFile = previewList;
        return outcome;
    };
}

}  // namespace trawlex
