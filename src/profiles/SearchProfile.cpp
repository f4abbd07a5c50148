#include "SearchProfile.h"

#include "app/Form1.h"
#include "app/StatusLine.h"
#include "common/Regional.h"
#include "common/Standard.h"
#include "common/files/DirectoryHandle.h"
#include "common/files/Listing.h"
#include "common/files/PathAccess.h"
#include "common/files/TreeWalk.h"
#include "common/files/WholeFile.h"
#include "common/text/Cp1252.h"
#include "common/text/PathText.h"
#include "common/text/ProfileFields.h"
#include "search/Matching.h"
#include "search/Problems.h"
#include "search/Report.h"
#include "search/SearchCommand.h"
#include "search/StreamMatching.h"
#include "search/Suchroutinen.h"

namespace trawlex {
namespace {

std::string Line(std::string text) {
    text += "\r\n";
    return text;
}

void ShowWarning(Ui& ui, const char16_t* text) {
    ui.ShowMessage(QString::fromUtf16(text), MessageIcon::Warning);
}

struct ProfileSearch {
    std::vector<TermMatcher> matchers;
    const std::vector<QString>& terms;
    std::vector<ProfileHit> hits;
    std::vector<std::string> unreadable;
    std::vector<std::string> stopped;  // files a pattern backtracked in without end
    IdentitySet seen;                  // a file reached again through a link is searched once
    RunProgress progress;
    FileBuffer buffer;
    RunView& view;
};

void TakeMatches(const std::string& path, const std::vector<FileMatch>& matches,
                 const struct stat& status, std::optional<std::string_view> title,
                 ProfileSearch& search) {
    for (std::size_t index = 0; index < matches.size(); ++index) {
        const FileMatch& match = matches[index];
        if (match.limitReached) {
            search.stopped.push_back(path);
        }
        if (match.IsHit()) {
            search.hits.push_back({path, search.terms[index], match.firstPosition, match.count});
            const std::optional<std::string_view> shown = match.title ? match.title : title;
            search.view.ShowFound({.number = static_cast<std::int64_t>(search.hits.size()),
                                   .path = path,
                                   .firstPosition = match.firstPosition,
                                   .count = match.count,
                                   .title = shown ? ShownTitle(*shown, match.encoding) : QString(),
                                   .modified = status.st_mtime,
                                   .length = static_cast<std::int64_t>(status.st_size),
                                   .term = static_cast<int>(index)});
        }
    }
}

// Matches every term against one file, read once; every hit becomes a row.
void SearchFile(const std::string& path, ProfileSearch& search) {
    auto opened = OpenRegularFile(path);
    if (!opened || !search.seen.Insert(opened->status)) {
        if (!opened) {
            search.unreadable.push_back(path);
        }
        return;
    }
    const auto size = static_cast<std::uint64_t>(opened->status.st_size);
    ++search.progress.files;
    search.progress.bytes += static_cast<std::int64_t>(size);
    if (size > kWholeReadLimit) {
        std::vector<const TermMatcher*> terms;
        for (const TermMatcher& matcher : search.matchers) {
            terms.push_back(&matcher);
        }
        auto streamed = MatchStreamed(opened->file.get(), path, terms, {.limit = size});
        if (!streamed) {
            search.unreadable.push_back(path);
            return;
        }
        TakeMatches(path, streamed->matches, opened->status, streamed->title, search);
        return;
    }
    if (!ReadOpenedInto(opened.value(), path, search.buffer)) {
        search.unreadable.push_back(path);
        return;
    }
    const std::string_view contents = search.buffer.View();
    const DetectedEncoding detected = DetectEncoding(contents);
    std::vector<FileMatch> matches;
    for (const TermMatcher& matcher : search.matchers) {
        matches.push_back(MatchContents(contents, detected, matcher));
    }
    TakeMatches(path, matches, opened->status, std::nullopt, search);
}

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

std::vector<QString> ReadSearchTerms(std::string_view profileBytes) {
    std::vector<QString> terms;
    for (QString& text : ReadProfileTexts(profileBytes)) {
        if (!text.isEmpty()) {
            terms.push_back(std::move(text));
        }
    }
    return terms;
}

std::string SearchProfileReportText(const Form1& form, const QString& profilePath,
                                    const std::vector<ProfileHit>& hits, std::time_t now) {
    const std::string row = "<TR BGCOLOR=" + Quote("#d0d0d0") + ">";
    const std::string colspan = "<TD colspan=" + Quote("2");
    std::string out;
    WriteHtmlHead(out);
    out += Line("<h1>Suchergebnis</h1>");
    out += Line("<table>");
    out += Line(row + "<td><b>Suchprofil:</b></td><td colspan=" + Quote("2") +
                "><a href=" + Quote(LinkTarget(NativePath(profilePath))) + ">" +
                EscapeValue(form.ComSuchprofile.text) + "</a></td></tr>");
    if (form.CheckRegex != 0) {
        out += PatternRowText();
    }
    out += Line(row + "<TD><B>Suchpfad:</B></TD>" + colspan + ">" +
                EscapeValue(form.TexSuchort.text) + "</TD></TR>");
    out += Line(row + "<TD><B>Stand:</B></TD><TD>" + EscapeValue(FormatShortDate(now)) +
                "</TD><TD>" + EscapeValue(FormatLongTime(now)) + "</TD></TR>");
    out += Line(row + "<TD><B>Gross- und Kleinschreibung:</B></td>" + colspan +
                (form.Optgrossklein ? ">Beachten</td></tr>" : ">Ignorieren</td></tr>"));
    out += Line(row + "<TD><B>Dateifilter:</B></td>" + colspan + ">" +
                EscapeValue(form.ComDateifilter.text) + "</td></tr>");
    out += Line(row + "<TD><B>Unterverzeichnisse:</B></TD>" + colspan + ">" +
                (form.CheckRekursiv != 0 ? "Ja" : "Nein") + "</TD></TR>");
    out += Line("</table><p>");
    out += Line("<table>");
    out += Line("<tr BGCOLOR=" + Quote("#a0a0a0") +
                "><td>Dateiname</td><td>Suchbegriff</td><td>1. Fundstelle</td><td>" +
                Cp1252FromUtf8("Häufigkeit") + "</td></tr>");
    for (const ProfileHit& hit : hits) {
        out += Line(row + "<td><a href=" + Quote(LinkTarget(hit.path)) + ">" +
                    EscapeValue(PathText(hit.path)) + "</a></td><td>" + EscapeValue(hit.term) +
                    "</td><td align=right>" + std::to_string(hit.firstPosition) +
                    "</td><td align=right>" + std::to_string(hit.count) + "</td></tr>");
    }
    out += Line("</table>");
    out += Line("</body></html>");
    return out;
}

CommandOutcome butSuchprofilausführen_Click(Form1& form, Ui& ui) {
    if (form.ComSuchprofile.text.isEmpty()) {
        ShowWarning(ui, u"Es ist leider kein Suchprofil eingestellt");
        return CommandOutcome::Refused;
    }
    const CompareMode mode = GetCompareMode(form);
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
    if (!RequireFields(ui, {{form.ComDateifilter.text, u"Dateityp", true},
                            {form.TexZieldatei, u"Ergebnisdatei"}})) {
        return CommandOutcome::Refused;
    }
    const std::vector<QString> terms = ReadSearchTerms(profile.value());
    if (!form.TexSuchort.text.endsWith(QLatin1Char(kSeparator))) {
        form.TexSuchort.text += QLatin1Char(kSeparator);
    }
    const std::string directory = NativePath(form.TexSuchort.text);

    BusyStart(form, ui, QStringLiteral("Suche ..."));
    auto folder = GetFolder(directory);
    if (!folder) {
        BusyEnd(form, ui);
        ui.ShowMessage(folder.message(), MessageIcon::Warning);
        return CommandOutcome::Refused;
    }
    ProfileSearch search{{}, terms, {}, {}, {}, {}, {}, {}, ui.Run()};
    search.matchers.reserve(terms.size());
    for (const QString& term : terms) {
        auto matcher = MatcherFor(term, mode, form.CheckRegex != 0);
        if (!matcher) {
            BusyEnd(form, ui);
            ui.ShowMessage(matcher.message(), MessageIcon::Warning);
            return CommandOutcome::Invalid;
        }
        search.matchers.push_back(std::move(matcher.value()));
    }
    LeaveOutOwnReport(search.seen, form.TexZieldatei);
    ui.Run().ResultsBegin({form.TexSuchort.text, QStringList(terms.begin(), terms.end()), mode,
                           form.CheckRegex != 0, true});
    // The files of the mask in the file-type field, the same mask the report names; with the
    // subdirectories, each directory is entered once, as in the recursive search.
    const FileMask mask(form.ComDateifilter.text);
    const auto searchWalk = [&search, &ui](TreeWalk& walk) {
        std::string path;
        bool going = true;
        while (going && walk.Next(path)) {
            const std::size_t hitsBefore = search.hits.size();
            SearchFile(path, search);
            search.progress.hits += search.hits.size() > hitsBefore ? 1 : 0;
            ui.Run().ShowProgress(search.progress);
            going = ui.Run().CheckStop() == Flow::Continue;
        }
        search.unreadable.insert(search.unreadable.end(), walk.Unreadable().begin(),
                                 walk.Unreadable().end());
        return going;
    };
    TreeWalk own = TreeWalk::FilesOf(directory, mask);
    bool stopped = !searchWalk(own);
    if (!stopped && form.CheckRekursiv != 0) {
        WalkGuard guard;
        guard.Enter(folder.value());
        TreeWalk below = TreeWalk::Below(folder.value(), mask, guard);
        stopped = !searchWalk(below);
    }
    BusyEnd(form, ui);

    const std::string report =
        SearchProfileReportText(form, profilePath, search.hits, std::time(nullptr));
    if (auto written = WriteFileReplacing(NativePath(form.TexZieldatei), report); !written) {
        ui.ShowMessage(written.message(), MessageIcon::Warning);
        return CommandOutcome::Failed;
    }
    ShowProblems(QStringLiteral("Diese Dateien konnten nicht gelesen werden und wurden "
                                "\u00FCbersprungen:"),
                 search.unreadable, ui.Run());
    ShowProblems(QStringLiteral("In diesen Dateien brach ein regul\u00E4rer Ausdruck des Profils "
                                "ab, weil er zu viele Wege ausprobieren m\u00FCsste; ihre "
                                "Fundstellen sind nicht vollst\u00E4ndig gez\u00E4hlt:"),
                 search.stopped, ui.Run());
    ShowResultInBrowser(form, ui);
    if (stopped) {
        ui.ShowMessage(QStringLiteral("Die Suche wurde angehalten: der Bericht nennt die "
                                      "Fundstellen in den Dateien bis dahin, die \u00FCbrigen "
                                      "wurden nicht durchsucht."),
                       MessageIcon::None);
        return CommandOutcome::Stopped;
    }
    return search.unreadable.empty() && search.stopped.empty() ? CommandOutcome::Completed
                                                               : CommandOutcome::Incomplete;
}

}  // namespace trawlex
