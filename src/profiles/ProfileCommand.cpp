#include "profiles/ProfileCommand.h"

#include "app/Form1.h"
#include "app/FormFilters.h"
#include "app/StatusLine.h"
#include "common/files/Listing.h"
#include "common/files/PathAccess.h"
#include "common/text/PathText.h"
#include "common/text/ProfileFields.h"
#include "profiles/SearchProfile.h"
#include "search/SearchCommand.h"

#include <sys/stat.h>

namespace trawlex {
namespace {

// Why a profile path lists no file: the listing skips hidden files and anything that is no file.
QString NotListedReason(const QString& profilePath) {
    struct stat info {};
    const std::string native = NativePath(profilePath);
    if (StatPath(native, info) != 0) {
        return QStringLiteral("Die Datei \u201E%1\u201C gibt es nicht.").arg(profilePath);
    }
    if (S_ISDIR(info.st_mode)) {
        return QStringLiteral("\u201E%1\u201C ist ein Verzeichnis, keine Profildatei.")
            .arg(profilePath);
    }
    if (!S_ISREG(info.st_mode)) {
        return QStringLiteral("\u201E%1\u201C ist keine gew\u00F6hnliche Datei.").arg(profilePath);
    }
    return QStringLiteral(
               "Die Datei \u201E%1\u201C ist versteckt (ihr Name beginnt mit "
               "\u201E.\u201C).")
        .arg(profilePath);
}

}  // namespace

CommandOutcome butSuchprofilausführen_Click(Form1& form, Ui& ui) {
    if (form.ComSuchprofile.text.isEmpty()) {
        ui.ShowMessage(QStringLiteral("Es ist leider kein Suchprofil eingestellt"),
                       MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    const QString profilePath = form.SearchProfilePath + form.ComSuchprofile.text;
    DirectoryListing listing;
    const bool listed = !listing.FirstMatch(NativePath(profilePath), ListKind::NormalFiles).empty();
    auto profile = listed ? ReadProfileFile(NativePath(profilePath), profilePath)
                          : Result<std::string>(Error{NotListedReason(profilePath)});
    if (profile) {
        profile = RefuseNulBytes(std::move(profile.value()), profilePath);
    }
    if (!profile) {
        ui.ShowMessage(
            QStringLiteral("Das Suchprofil konnte nicht geladen werden.\n") + profile.message(),
            MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    if (!RequireFields(ui, {{form.ComDateifilter.text, u"Dateityp", true}, ReportField(form)}) ||
        !FiltersOf(form, ui)) {
        return CommandOutcome::Refused;
    }
    // The field keeps the separator after the run: the report names the location with it.
    if (!form.TexSuchort.text.endsWith(QLatin1Char(kSeparator))) {
        form.TexSuchort.text += QLatin1Char(kSeparator);
    }
    const bool regex = form.CheckRegex != 0;
    const FileFilters filters = CheckedFilters(form);
    const ProfileJob job{.location = form.TexSuchort.text,
                         .terms = ReadSearchTerms(profile.value()),
                         .target = ReportTarget(form),
                         .mask = form.ComDateifilter.text,
                         .mode = GetCompareMode(form),
                         .scope = form.CheckRekursiv != 0 ? Scope::Tree : Scope::Flat,
                         .regex = regex,
                         .filters = filters,
                         .summary = {.profileName = form.ComSuchprofile.text,
                                     .profilePath = profilePath,
                                     .location = form.TexSuchort.text,
                                     .mask = form.ComDateifilter.text,
                                     .matchCase = form.Optgrossklein,
                                     .subdirectories = form.CheckRekursiv != 0,
                                     .pattern = regex,
                                     .filters = filters}};
    BusyStart(form, ui, QStringLiteral("Suche ..."));
    const CommandOutcome outcome = SearchWithProfile(ui.Run(), job);
    BusyEnd(form, ui);
    if (!Produced(outcome)) {
        return outcome;
    }
    if (form.ReportWritten) {
        ShowResultInBrowser(form, ui);
    }
    if (outcome == CommandOutcome::Stopped) {
        ui.ShowMessage(form.ReportWritten
                           ? QStringLiteral("Die Suche wurde angehalten: der Bericht nennt die "
                                            "Fundstellen in den Dateien bis dahin, die "
                                            "\u00FCbrigen wurden nicht durchsucht.")
                           : QStringLiteral("Die Suche wurde angehalten, die \u00FCbrigen "
                                            "Dateien wurden nicht durchsucht."),
                       MessageIcon::None);
    }
    return outcome;
}

}  // namespace trawlex
