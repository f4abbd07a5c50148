#include "StatusLine.h"

#include "Form1.h"
#include "Ui.h"

namespace trawlex {

void BusyStart(Form1& form, Ui& ui, const QString& text) {
    form.Timer1Enabled = true;
    form.Status = text;
    ui.StatusChanged();
}

void BusyEnd(Form1& form, Ui& ui) {
    form.Timer1Enabled = false;
    form.StatusBackground = StatusColour::ButtonFace;
    form.Status = QStringLiteral("Bereit");
    ui.StatusChanged();
}

void Timer1_Timer(Form1& form, Ui& ui) {
    if (form.BlinkPhase) {
        form.BlinkPhase = false;
        form.StatusBackground = StatusColour::Orange;
    } else {
        form.StatusBackground = StatusColour::ButtonFace;
        form.BlinkPhase = true;
    }
    ui.StatusChanged();
}

CompareMode GetCompareMode(const Form1& form) {
    return form.Optgrossklein ? CompareMode::Exact : CompareMode::IgnoreCase;
}

void ShowResultInBrowser(const Form1& form, Ui& ui) {
    ShowInBrowser(form, ui, form.TexZieldatei);
}

void ShowInBrowser(const Form1& form, Ui& ui, const QString& page) {
    if (form.TexBrowser.isEmpty() || !form.OptBrowser) {
        return;
    }
    // The report path is the one argument, so blanks in either path cannot split it.
    if (!ui.StartDetached(form.TexBrowser, {page})) {
        ui.ShowMessage(QStringLiteral("Der Browser \u201E%1\u201C konnte nicht gestartet werden.")
                           .arg(form.TexBrowser),
                       MessageIcon::Warning);
    }
}

}  // namespace trawlex
