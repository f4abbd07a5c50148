#include "replace/UndoCommand.h"

#include "app/Form1.h"
#include "app/StatusLine.h"
#include "replace/Undo.h"

namespace trawlex {

CommandOutcome UndoNewestRun(Form1& form, Ui& ui, DamagedRuns damaged) {
    bool busy = false;
    const CommandOutcome outcome = TakeBackNewestRun(
        ui.Run(), {.damaged = damaged, .restoring = [&form, &ui, &busy] {
                       BusyStart(form, ui, QStringLiteral("R\u00FCckg\u00E4ngig ..."));
                       busy = true;
                   }});
    if (busy) {
        BusyEnd(form, ui);
    }
    return outcome;
}

CommandOutcome butRückgängig_Click(Form1& form, Ui& ui) {
    return UndoNewestRun(form, ui, DamagedRuns::Refuse);
}

}  // namespace trawlex
