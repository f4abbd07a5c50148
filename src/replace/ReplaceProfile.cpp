#include "ReplaceProfile.h"

#include "Ersatzroutinen.h"
#include "app/Form1.h"
#include "app/StatusLine.h"
#include "common/Cp1252.h"
#include "common/Listing.h"
#include "common/PathText.h"
#include "common/ProfileFields.h"
#include "common/Standard.h"
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

CommandOutcome butErsatzprofileAusführen_Click(Form1& form, Ui& ui) {
    if (form.ReplaceProfilePath.isEmpty() || form.ComErsatzlisten.text.isEmpty()) {
        return CommandOutcome::Completed;
    }
    if (form.TexSuchort.text.isEmpty() || form.ComDateifilter.text.isEmpty()) {
        ShowMissingValues(ui);
        return CommandOutcome::Refused;
    }
    const QString profilePath = form.ReplaceProfilePath + form.ComErsatzlisten.text;
    auto bytes = ReadWholeFile(NativePath(profilePath));
    if (!bytes) {
        ui.ShowMessage(
            QStringLiteral("Das Ersatzprofil konnte nicht geladen werden.\n") + bytes.message(),
            MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    const std::string directory = WithTrailingSeparator(NativePath(form.TexSuchort.text));
    auto top = GetFolder(directory);
    if (!top) {
        ui.ShowMessage(top.message(), MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    const ReplaceProfile profile = ReadReplacePairs(bytes.value());
    const CompareMode mode = GetCompareMode(form);
    const Scope scope = form.CheckRekursiv == 0 ? Scope::Flat : Scope::Tree;
    const FileMask mask(form.ComDateifilter.text);
    std::vector<QString> problems;
    Flow flow = Flow::Continue;
    for (const ReplacePair& pair : profile.pairs) {
        const TermMatcher matcher(pair.term, mode);
        const EncodedReplacement replacement(pair.replacement);
        ReplaceRun run{matcher, replacement, mask, ui, {}};
        flow = ReplaceWalk(directory, top.value(), scope, run);
        problems.insert(problems.end(), run.problems.begin(), run.problems.end());
        if (flow == Flow::Stop) {
            break;
        }
    }
    if (profile.unpairedTerm && flow != Flow::Stop) {
        ui.ShowMessage(QStringLiteral("Im Ersatzprofil \u201E%1\u201C fehlt zum letzten "
                                      "Suchbegriff \u201E%2\u201C der Ersatzbegriff. Die "
                                      "vollst\u00E4ndigen Paare davor wurden angewandt.")
                           .arg(profilePath, *profile.unpairedTerm),
                       MessageIcon::Warning);
    }
    ShowProblems(UnchangedFilesHeading(), problems, ui);
    if (flow == Flow::Stop) {
        return CommandOutcome::Stopped;
    }
    return problems.empty() && !profile.unpairedTerm ? CommandOutcome::Completed
                                                     : CommandOutcome::Incomplete;
}

}  // namespace trawlex
