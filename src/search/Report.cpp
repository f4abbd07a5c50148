#include "Report.h"

#include "app/Form1.h"
#include "common/Cp1252.h"
#include "common/PathText.h"
#include "common/Regional.h"
#include "common/Standard.h"
#include "common/SystemError.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace trawlex {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kSummaryRow = "<TR BGCOLOR=\"#d0d0d0\"><TD><B>";

QString HtmlEscaped(QStringView text) {
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar character : text) {
        switch (character.unicode()) {
            case u'&':
                escaped += QStringLiteral("&amp;");
                break;
            case u'<':
                escaped += QStringLiteral("&lt;");
                break;
            case u'>':
                escaped += QStringLiteral("&gt;");
                break;
            case u'"':
                escaped += QStringLiteral("&quot;");
                break;
            default:
                escaped += character;
        }
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
            .arg(path, SystemErrorText(code))};
}

}  // namespace

std::string EscapeValue(QStringView text) {
    return EncodeCp1252WithReferences(HtmlEscaped(text));
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

std::string FileLink(std::string_view pathBytes) {
    QString link = QStringLiteral("file://");
    for (const QChar character : PathText(AbsolutePath(pathBytes))) {
        if (character == u'%') {
            link += QStringLiteral("%25");
        } else if (character == u'#') {
            link += QStringLiteral("%23");
        } else if (character == u'?') {
            link += QStringLiteral("%3F");
        } else {
            link += character;
        }
    }
    return EscapeValue(link);
}

void WriteHtmlHead(std::string& out) {
    out += Line("<HTML>");
    out += Line("<HEAD>");
    out += Line("<meta http-equiv=" + Quote("Content-Type") +
                " content=" + Quote("text/html; charset=windows-1252") + ">");
    out += Line("<meta name=" + Quote("GENERATOR") + " content=" + Quote("Morvane") + ">");
    out += Line("</HEAD>");
}

std::string ReportHeaderText(const Form1& form, CompareMode mode, std::time_t now) {
    std::string out;
    WriteHtmlHead(out);
    const std::string colspan = "<TD colspan=" + Quote("2");
    out += Line("<BODY><H1>Suchergebnis: </h1>");
    out += Line("<TABLE>");
    out += Line(std::string(kSummaryRow) + "Suchbegriff:</B></TD>" + colspan + ">" +
                EscapeValue(form.TexSuchbegriff.text) + "</TD></TR>");
    out += Line(std::string(kSummaryRow) + "Suchpfad:</B></TD>" + colspan + ">" +
                EscapeValue(form.TexSuchort.text) + "</TD></TR>");
    out +=
        Line(std::string(kSummaryRow) + "Stand:</B></TD><TD>" + EscapeValue(FormatShortDate(now)) +
             "</TD><TD>" + EscapeValue(FormatLongTime(now)) + "</TD></TR>");
    out += Line(std::string(kSummaryRow) + "Gross- und Kleinschreibung:</B></td>" + colspan +
                (mode == CompareMode::Exact ? ">Beachten</td></tr>" : ">Ignorieren</td></tr>"));
    out += Line(std::string(kSummaryRow) + "Dateifilter:</B></td>" + colspan + ">" +
                EscapeValue(form.ComDateifilter.text) + "</td></tr>");
    out += Line(std::string(kSummaryRow) + "Unterverzeichnisse:</B></TD>" + colspan +
                (form.CheckRekursiv == 0 ? ">Nein</TD></TR>" : ">Ja</TD></TR>"));
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

std::string ResultRowText(const ResultRow& row, RowStyle style) {
    const std::string count = std::to_string(row.match.count);
    const std::string date = EscapeValue(FormatFileMoment(row.modified));
    const std::string length = std::to_string(row.length);

    std::string out = "<TR BGCOLOR=" + Quote("#d0d0d0") + "><TD ALIGN=Right>" +
                      std::to_string(row.number) + "</td><td><a href=" + Quote(FileLink(row.path));
    out += ">" + EscapeValue(PathText(row.path)) + "</A></TD><TD ALIGN=Right>" +
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
    const std::string native = NativePath(path);
    const int descriptor = open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        return WriteError(path, errno);
    }
    return ReportFile(descriptor, path);
}

ReportFile::ReportFile(ReportFile&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), path_(std::move(other.path_)) {}

ReportFile& ReportFile::operator=(ReportFile&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) {
            close(descriptor_);
        }
        descriptor_ = std::exchange(other.descriptor_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

ReportFile::~ReportFile() {
    if (descriptor_ >= 0) {
        close(descriptor_);
    }
}

Status ReportFile::Append(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(descriptor_, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return WriteError(path_, errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return Success();
}

Result<ReportFile> WriteReportHeader(const Form1& form, CompareMode mode, const QString& target) {
    auto report = ReportFile::Create(target);
    if (!report) {
        return report;
    }
    if (auto written = report->Append(ReportHeaderText(form, mode, std::time(nullptr))); !written) {
        return written.error();
    }
    return report;
}

}  // namespace trawlex
