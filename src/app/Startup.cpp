#include "Startup.h"

#include "FileTypes.h"
#include "Form1.h"

#include <QDir>

namespace trawlex {

void Form_Load(Form1& form) {
    form.Timer1Enabled = false;
    form.BlinkPhase = false;
    form.ComDateifilter.list += FileTypeItems();

    // First start: the home directory stands where a drive root stood.
    const QString home = QDir::homePath() + QLatin1Char('/');
    form.TexSuchort.text = home;
    form.TexZieldatei = home + QStringLiteral("Suchergebnis.htm");
    form.ComDateifilter.text = QStringLiteral("*.HTM");
}

}  // namespace trawlex
