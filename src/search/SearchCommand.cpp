#include "SearchCommand.h"

#include "app/Form1.h"
#include "app/StatusLine.h"
#include "search/Suchroutinen.h"

namespace trawlex {

bool RequireSearchFields(const Form1& form, Ui& ui) {
    if (form.TexZieldatei.isEmpty() || form.TexSuchbegriff.text.isEmpty() ||
        form.ComDateifilter.text.isEmpty() || form.TexSuchort.text.isEmpty()) {
        ShowMissingValues(ui);
        return false;
    }
    return true;
}

void ShowMissingValues(Ui& ui) {
    ui.ShowMessage(QStringLiteral("Es fehlen leider Werte, damit die Suche gestartet werden kann!"),
                   MessageIcon::None);
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
                            form.TexZieldatei, form.ComDateifilter.text, mode)
            : SearchTree(form, ui, mode);
    BusyEnd(form, ui);
    if (outcome != CommandOutcome::Refused && outcome != CommandOutcome::Failed) {
        ShowResultInBrowser(form, ui);
    }
    return outcome;
}

}  // namespace trawlex
