#include "Startup.h"

#include "FileTypes.h"
#include "Form1.h"
#include "Settings.h"
#include "common/files/Listing.h"
#include "common/text/PathText.h"
#include "special/Codes.h"

#include <QDir>

namespace trawlex {

void FillFixedLists(Form1& form) {
    form.Timer1Enabled = false;
    form.BlinkPhase = false;
    form.ComDateifilter.list += FileTypeItems();
    form.ComboSonderzeichenSuchcode.list += SpecialCodeItems();
    form.ComboSonderzeichenErsetzcode.list += SpecialCodeItems();
    form.ComboSonderzeichenkombinationSuchbegriff.list += CombinationItems();
    form.CombosonderzeichenKombinationErsatzbegriff.list += CombinationItems();
}

void ApplyFirstStartDefaults(Form1& form) {
    // The home directory stands where a drive root stood.
    const QString home = QDir::homePath() + QLatin1Char('/');
    form.TexSuchort.text = home;
    form.TexZieldatei = home + QStringLiteral("Suchergebnis.htm");
    form.ComDateifilter.text = QStringLiteral("*.HTM");
}

void Form_Load(Form1& form, Ui& ui, const std::string& settingsPath) {
    FillFixedLists(form);

    DirectoryListing listing;
    if (!listing.FirstMatch(settingsPath, ListKind::NormalFiles).empty()) {
        LoadSettings(form, ui, settingsPath);
    } else {
        ApplyFirstStartDefaults(form);
    }
    FillProfileList(form.SearchProfilePath, form.ComSuchprofile);
    FillProfileList(form.ReplaceProfilePath, form.ComErsatzlisten);
}

void FillProfileList(QString& path, ComboField& list) {
    if (!path.isEmpty() && !path.endsWith(QLatin1Char(kSeparator))) {
        path += QLatin1Char(kSeparator);
    }
    const std::string directory = NativePath(path);
    DirectoryListing listing;
    if (listing.FirstMatch(directory, ListKind::FilesAndDirectories).empty()) {
        return;
    }
    for (std::string name = listing.FirstMatch(directory + "*.TXT", ListKind::NormalFiles);
         !name.empty(); name = listing.NextMatch()) {
        list.list.append(PathText(name));
    }
}

}  // namespace trawlex
