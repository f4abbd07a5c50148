#include "ReplaceCommand.h"

#include "Ersatzroutinen.h"
#include "app/Form1.h"
#include "app/StatusLine.h"
#include "search/SearchCommand.h"

namespace trawlex {

CommandOutcome butErsetzen_Click(Form1& form, Ui& ui) {
    if (!RequireSearchFields(form, ui)) {
        return CommandOutcome::Refused;
    }
    BusyStart(form, ui, QStringLiteral("Ersetze ..."));
    const CompareMode mode = GetCompareMode(form);
    const CommandOutcome outcome =
        form.CheckRekursiv == 0
            ? ReplaceDirFlat(ui, form.TexSuchort.text, form.TexSuchbegriff.text,
                             form.TexErsatzbegriff, form.ComDateifilter.text, mode)
            : ReplaceTree(form, ui, mode);
    BusyEnd(form, ui);
    return outcome;
}

}  // namespace trawlex
