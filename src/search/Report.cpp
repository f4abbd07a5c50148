#include "Report.h"

#include "common/Regional.h"
#include "common/Standard.h"
#include "common/StopRequest.h"
#include "common/SystemError.h"
#include "common/text/Cp1252.h"
#include "common/text/PathText.h"
#include "common/text/TextEncoding.h"

#include <QStringDecoder>
#include <QStringList>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace trawlex {

void LeaveOutOwnReport(IdentitySet& seen, const QString& target) {
    struct stat info {};
    if (!target.isEmpty() && stat(NativePath(target).c_str(), &info) == 0 &&
        S_ISREG(info.st_mode)) {
        seen.Insert(info);
    }
}
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kSummaryRow = "<TR BGCOLOR=\"#d0d0d0\"><TD><B>";

// The reference a report writes for one of the four characters markup is made of; none for
// any other.
constexpr std::string_view ReferenceFor(char16_t character) {
    switch (character) {
        case u'&':
            return "&amp;";
        case u'<':
            return "&lt;";
        case u'>':
            return "&gt;";
        case u'"':
            return "&quot;";
        default:
            return {};
    }
}

QString HtmlEscaped(QStringView text) {
    // Most values hold none of the four characters: the text between them is taken whole
    // rather than a character at a time, which was a tenth of a search of many small files.
    QString escaped;
    escaped.reserve(text.size());
    qsizetype taken = 0;
    for (qsizetype at = 0; at < text.size(); ++at) {
        const std::string_view reference = ReferenceFor(text[at].unicode());
        if (reference.empty()) {
            continue;
        }
        escaped.append(text.sliced(taken, at - taken))
            .append(QLatin1StringView(reference.data(), static_cast<qsizetype>(reference.size())));
        taken = at + 1;
    }
    return escaped.append(text.sliced(taken));
}

// What EscapeValue makes of ASCII, which Windows-1252 holds as it stands: the four references of
// HtmlEscaped put in byte by byte, without the way through UTF-16 and back. Most paths, dates
// and numbers of a report are ASCII, and their rows were most of the taking thread's work.
void AppendEscapedAscii(std::string& out, char byte) {
    const std::string_view reference = ReferenceFor(static_cast<unsigned char>(byte));
    if (reference.empty()) {
        out += byte;
    } else {
        out += reference;
    }
}

std::string EscapedAscii(std::string_view ascii) {
    std::string escaped;
    escaped.reserve(ascii.size());
    for (const char byte : ascii) {
        AppendEscapedAscii(escaped, byte);
    }
    return escaped;
}

std::string AbsolutePath(std::string_view pathBytes) {
    if (!pathBytes.empty() && pathBytes.front() == kSeparator) {
        return std::string(pathBytes);
    }
    std::string absolute;
    if (char* current = getcwd(nullptr, 0)) {
        absolute = current;
        std::free(current);
    }
    return WithTrailingSeparator(absolute) + std::string(pathBytes);
}

std::string Line(std::string_view text) {
    std::string line(text);
    line += kLineEnd;
    return line;
}

Error WriteError(const QString& path, int code) {
    return Error{
        QStringLiteral("Die Ergebnisdatei \u201E%1\u201C kann nicht geschrieben werden: %2")
            .arg(path, SystemErrorText(code)),
        code};
}

// The platform's reason with the report named as the person knows it.
Error ReportError(const QString& path, const Error& error) {
    if (error.code == 0) {
        return error;
    }
    return WriteError(path, error.code);
}

// A report named as the standard output (or error) of the program, such as /dev/stdout: a
// terminal or a pipe the person reads the report from. Any other FIFO or device is refused, so
// that a report never waits for a reader that may never come.
bool IsStandardOutput(const struct stat& target) {
    for (const int standard : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat info {};
        if (fstat(standard, &info) == 0 && info.st_dev == target.st_dev &&
            info.st_ino == target.st_ino && info.st_rdev == target.st_rdev) {
            return true;
        }
    }
    return false;
}

QString KindOf(const struct stat& target) {
    if (S_ISFIFO(target.st_mode)) {
        return QStringLiteral("eine benannte Pipe (FIFO)");
    }
    if (S_ISCHR(target.st_mode) || S_ISBLK(target.st_mode)) {
        return QStringLiteral("ein Ger\u00E4t");
    }
    if (S_ISSOCK(target.st_mode)) {
        return QStringLiteral("ein Socket");
    }
    return QStringLiteral("keine Datei");
}

// Writes to a terminal or pipe that may be full. After Strg+C or SIGTERM a reader that goes on
// reading still gets the whole report, but one that has stopped reading holds the program up for
// a second at most.
Status WriteWaiting(int descriptor, std::string_view bytes) {
    constexpr int kTick = 100;  // milliseconds
    int waitedSinceStop = 0;
    while (!bytes.empty()) {
        const ssize_t written = write(descriptor, bytes.data(), bytes.size());
        if (written >= 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            waitedSinceStop = 0;
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return Error{QString(), errno};
        }
        pollfd ready{descriptor, POLLOUT, 0};
        if (poll(&ready, 1, kTick) < 0 && errno != EINTR) {
            return Error{QString(), errno};
        }
        if (StopRequested() && (waitedSinceStop += kTick) > 1000) {
            return Error{QString(), EINTR};
        }
    }
    return Success();
}

}  // namespace

std::string EscapeValue(QStringView text) {
    std::string escaped;
    escaped.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar character : text) {
        if (character.unicode() >= 0x80) {
            return EncodeCp1252WithReferences(HtmlEscaped(text));
        }
        AppendEscapedAscii(escaped, static_cast<char>(character.unicode()));
    }
    return escaped;
}

std::string EscapePathBytes(std::string_view pathBytes) {
    return IsAscii(pathBytes) ? EscapedAscii(pathBytes) : EscapeValue(PathText(pathBytes));
}

std::string EscapeTitle(std::string_view titleBytes) {
    std::string escaped;
    escaped.reserve(titleBytes.size());
    for (const char byte : titleBytes) {
        if (byte == '<') {
            escaped += "&lt;";
        } else if (byte == '>') {
            escaped += "&gt;";
        } else {
            escaped += byte;
        }
    }
    return escaped;
}

std::string TitleText(std::string_view titleBytes, TextEncoding encoding) {
    if (encoding == TextEncoding::Cp1252) {
        return EscapeTitle(titleBytes);
    }
    // The report is Windows-1252: what it cannot hold becomes a numeric reference.
    const QString title =
        QString::fromUtf8(titleBytes.data(), static_cast<qsizetype>(titleBytes.size()));
    return EscapeTitle(EncodeCp1252WithReferences(title));
}

QString ShownTitle(std::string_view titleBytes, TextEncoding encoding) {
    QString title =
        encoding == TextEncoding::Utf8
            ? QString::fromUtf8(titleBytes.data(), static_cast<qsizetype>(titleBytes.size()))
            : DecodeCp1252(titleBytes);
    static const std::pair<QLatin1StringView, QChar> kEntities[] = {
        {QLatin1StringView("&lt;"), u'<'},         {QLatin1StringView("&gt;"), u'>'},
        {QLatin1StringView("&quot;"), u'"'},       {QLatin1StringView("&nbsp;"), QChar(0xA0)},
        {QLatin1StringView("&auml;"), u'\u00E4'},  {QLatin1StringView("&ouml;"), u'\u00F6'},
        {QLatin1StringView("&uuml;"), u'\u00FC'},  {QLatin1StringView("&Auml;"), u'\u00C4'},
        {QLatin1StringView("&Ouml;"), u'\u00D6'},  {QLatin1StringView("&Uuml;"), u'\u00DC'},
        {QLatin1StringView("&szlig;"), u'\u00DF'},
    };
    if (title.contains(QLatin1Char('&'))) {
        for (const auto& [entity, character] : kEntities) {
            title.replace(entity, QString(character), Qt::CaseInsensitive);
        }
        // Last, so that "&amp;lt;" stays "&lt;".
        title.replace(QLatin1StringView("&amp;"), QStringLiteral("&"), Qt::CaseInsensitive);
    }
    return title.simplified();
}

std::string LinkTarget(std::string_view pathBytes) {
    // A browser turns a link's characters into UTF-8 and escapes them itself. What it cannot
    // take back is escaped here: line breaks and other control characters, the characters that
    // end a path in a URL, and each byte of a name that is not UTF-8.
    QString link;
    const auto escape = [&link](unsigned value) {
        link += QStringLiteral("%%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
    };
    const auto needsEscape = [](char16_t character) {
        return character < 0x20 || character == 0x7F || character == u'%' || character == u'#' ||
               character == u'?';
    };
    if (IsAscii(pathBytes)) {
        static constexpr std::string_view kHex = "0123456789ABCDEF";
        std::string escaped;
        escaped.reserve(pathBytes.size());
        for (const char byte : pathBytes) {
            const auto value = static_cast<unsigned char>(byte);
            if (needsEscape(value)) {
                escaped.append({'%', kHex[value >> 4], kHex[value & 0xF]});
            } else {
                AppendEscapedAscii(escaped, byte);
            }
        }
        return escaped;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text =
        decoder.decode(QByteArrayView(pathBytes.data(), static_cast<qsizetype>(pathBytes.size())));
    if (decoder.hasError()) {
        for (const char byte : pathBytes) {
            const auto value = static_cast<unsigned char>(byte);
            if (value >= 0x80 || needsEscape(value)) {
                escape(value);
            } else {
                link += QLatin1Char(byte);
            }
        }
    } else {
        qsizetype taken = 0;
        for (qsizetype at = 0; at < text.size(); ++at) {
            if (needsEscape(text[at].unicode())) {
                link.append(QStringView(text).sliced(taken, at - taken));
                escape(text[at].unicode());
                taken = at + 1;
            }
        }
        link.append(QStringView(text).sliced(taken));
    }
    return EscapeValue(link);
}

std::string FileLink(std::string_view pathBytes) {
    return "file://" + LinkTarget(AbsolutePath(pathBytes));
}

void WriteHtmlHead(std::string& out) {
    out += Line("<HTML>");
    out += Line("<HEAD>");
    out += Line("<meta http-equiv=" + Quote("Content-Type") +
                " content=" + Quote("text/html; charset=windows-1252") + ">");
    out += Line("<meta name=" + Quote("GENERATOR") + " content=" + Quote("Morvane") + ">");
    out += Line("</HEAD>");
}

std::string FilterRowsText(const FileFilters& filters) {
    std::string out;
    const auto row = [&out](QStringView label, QStringView value) {
        out += Line(std::string(kSummaryRow) + EscapeValue(label) +
                    "</B></TD><TD colspan=" + Quote("2") + ">" + EscapeValue(value) + "</TD></TR>");
    };
    // Each bound as it was given: "ab" the lower, "bis" (or "vor") the upper.
    const auto range = [](const QString& from, const QString& to, QStringView upper) {
        QStringList parts;
        if (!from.isEmpty()) {
            parts.append(QStringLiteral("ab ") + from);
        }
        if (!to.isEmpty()) {
            parts.append(upper.toString() + QLatin1Char(' ') + to);
        }
        return parts.join(QStringLiteral(", "));
    };
    if (!filters.excludeFiles.isEmpty()) {
        row(u"Ausnahmen:", filters.excludeFiles);
    }
    if (!filters.excludeDirectories.isEmpty()) {
        row(u"Ordner auslassen:", filters.excludeDirectories);
    }
    if (filters.wholeWord) {
        row(u"Nur ganze W\u00F6rter:", u"Ja");
    }
    if (filters.minSize || filters.maxSize) {
        row(u"Gr\u00F6\u00DFe:",
            range(filters.minSize ? SizeText(*filters.minSize) : QString(),
                  filters.maxSize ? SizeText(*filters.maxSize) : QString(), u"bis"));
    }
    if (filters.newer || filters.older) {
        row(u"Ge\u00E4ndert:",
            range(filters.newer ? FormatFileMoment(*filters.newer) : QString(),
                  filters.older ? FormatFileMoment(*filters.older) : QString(), u"vor"));
    }
    if (filters.skipBinary) {
        row(u"Bin\u00E4rdateien:", u"ausgelassen");
    }
    return out;
}

std::string PatternRowText() {
    return Line(std::string(kSummaryRow) + "Suchart:</B></TD><TD colspan=" + Quote("2") + ">" +
                EscapeValue(u"Regul\u00E4rer Ausdruck (Perl-Syntax)") + "</TD></TR>");
}

std::string ReportHeaderText(const ReportSummary& summary, std::time_t now) {
    std::string out;
    WriteHtmlHead(out);
    const std::string colspan = "<TD colspan=" + Quote("2");
    out += Line("<BODY><H1>Suchergebnis: </h1>");
    out += Line("<TABLE>");
    out += Line(std::string(kSummaryRow) + "Suchbegriff:</B></TD>" + colspan + ">" +
                EscapeValue(summary.term) + "</TD></TR>");
    if (summary.pattern) {
        out += PatternRowText();
    }
    out += Line(std::string(kSummaryRow) + "Suchpfad:</B></TD>" + colspan + ">" +
                EscapeValue(summary.location) + "</TD></TR>");
    out +=
        Line(std::string(kSummaryRow) + "Stand:</B></TD><TD>" + EscapeValue(FormatShortDate(now)) +
             "</TD><TD>" + EscapeValue(FormatLongTime(now)) + "</TD></TR>");
    out += Line(
        std::string(kSummaryRow) + "Gross- und Kleinschreibung:</B></td>" + colspan +
        (summary.mode == CompareMode::Exact ? ">Beachten</td></tr>" : ">Ignorieren</td></tr>"));
    out += Line(std::string(kSummaryRow) + "Dateifilter:</B></td>" + colspan + ">" +
                EscapeValue(summary.mask) + "</td></tr>");
    out += Line(std::string(kSummaryRow) + "Unterverzeichnisse:</B></TD>" + colspan +
                (summary.subdirectories ? ">Ja</TD></TR>" : ">Nein</TD></TR>"));
    out += FilterRowsText(summary.filters);
    out += Line("</TABLE><P>");
    out += Line("<TABLE>");
    out += Line("<TR BGCOLOR=" + Quote("#a0a0a0") +
                "><TD><B>Nr.</B></TD><TD><B>Datei(en):</B></TD><TD><B>1. Fund an "
                "Position:</B></TD><TD><B>" +
                Cp1252FromUtf8("Häufigkeit") +
                ":</B></TD><TD><B>Titel der HTML-Datei:</B></TD><TD><B>zuletzt " +
                Cp1252FromUtf8("geändert") + " am:</B></TD><TD><B>" + Cp1252FromUtf8("Dateilänge") +
                ":</B></TD></TR>");
    return out;
}

const std::string& MomentCell::Of(std::time_t moment) {
    if (moment_ != moment) {
        moment_ = moment;
        cell_ = EscapeValue(FormatFileMoment(moment));
    }
    return cell_;
}

std::string ResultRowText(const ResultRow& row, RowStyle style) {
    MomentCell moments;
    return ResultRowText(row, style, moments);
}

std::string ResultRowText(const ResultRow& row, RowStyle style, MomentCell& moments) {
    const std::string count = std::to_string(row.match.count);
    const std::string& date = moments.Of(row.modified);
    const std::string length = std::to_string(row.length);

    std::string out = "<TR BGCOLOR=" + Quote("#d0d0d0") + "><TD ALIGN=Right>" +
                      std::to_string(row.number) + "</td><td><a href=" + Quote(FileLink(row.path));
    out += ">" + EscapePathBytes(row.path) + "</A></TD><TD ALIGN=Right>" +
           std::to_string(row.match.firstPosition) + "</TD>";
    out += style == RowStyle::Flat ? "<TD>" + count + "</TD>" : TdCell(" " + count);
    if (row.match.title) {
        out += TdCell(TitleText(*row.match.title, row.match.encoding));
    } else {
        out += style == RowStyle::Flat ? std::string("<TD>&nbsp</TD>") : TdCell("&nbsp");
    }
    out += style == RowStyle::TreeTop ? "<TD>" + date + "</TD>" : TdCell(date);
    out += "<TD ALIGN=Right>" + length + "</TD></TR>";
    out += kLineEnd;
    return out;
}

std::string ReportFooterText(std::int64_t rows, std::int64_t filesExamined, std::int64_t bytes) {
    std::string out = Line("</TABLE><P>");
    out += Line("</P>Es gab <B>" + std::to_string(rows) + "</B> Fundstelle" +
                (rows == 1 ? " in <B>" : "n in <B>") + std::to_string(filesExamined) +
                "</B> durchsuchten Dateien, welche insgesamt <B>" +
                EscapeValue(FormatKBytes(bytes)) + "</B> KBytes enthalten.<P>");
    out += Line("</BODY></HTML>");
    return out;
}

Result<ReportFile> ReportFile::Create(const QString& path) {
    if (path.isEmpty()) {
        return ReportFile(std::nullopt, FileDescriptor(), path);
    }
    const std::string native = NativePath(path);
    struct stat existing {};
    if (stat(native.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode) &&
        !S_ISDIR(existing.st_mode)) {
        if (!IsStandardOutput(existing)) {
            return Error{QStringLiteral("Die Ergebnisdatei \u201E%1\u201C ist %2, keine "
                                        "gew\u00F6hnliche Datei; der Bericht wird nur in eine "
                                        "Datei oder auf die Standardausgabe geschrieben.")
                             .arg(path, KindOf(existing))};
        }
        // Never waits in open(): the descriptor stays non-blocking, and writes wait where a
        // signal ends the wait.
        FileDescriptor direct(open(native.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (direct.get() < 0) {
            return WriteError(path, errno);
        }
        return ReportFile(std::nullopt, std::move(direct), path);
    }
    auto replacing = ReplacingFile::Begin(native);
    if (!replacing) {
        return ReportError(path, replacing.error());
    }
    return ReportFile(std::move(replacing.value()), FileDescriptor(), path);
}

Status ReportFile::Append(std::string_view bytes) {
    if (path_.isEmpty()) {
        return Success();
    }
    if (replacing_) {
        if (auto written = replacing_->Append(bytes); !written) {
            return ReportError(path_, written.error());
        }
        return Success();
    }
    if (auto written = WriteWaiting(direct_.get(), bytes); !written) {
        return WriteError(path_, written.error().code);
    }
    return Success();
}

Status ReportFile::Finish() {
    if (!replacing_) {
        return Success();
    }
    if (auto done = replacing_->Commit(); !done) {
        return ReportError(path_, done.error());
    }
    return Success();
}

Result<ReportFile> WriteReportHeader(const ReportSummary& summary, const QString& target) {
    auto report = ReportFile::Create(target);
    if (!report) {
        return report;
    }
    if (auto written = report->Append(ReportHeaderText(summary, std::time(nullptr))); !written) {
        return written.error();
    }
    return report;
}

}  // namespace trawlex
