// The command line's output for scripts, checked against the report of the same run and against
// the lines the test finds itself in the files it wrote.

#include "Cli.h"
#include "TestSupport.h"
#include "common/Regional.h"
#include "common/text/Cp1252.h"
#include "common/text/PathText.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <string>
#include <vector>

namespace trawlex {
namespace {

struct Output {
    int status = -1;
    std::string text;
};

// What the site's files hold, in three encodings, and the text they hold decoded.
struct SiteFile {
    std::string name;
    std::string bytes;
    QString text;
};

std::string Utf16Le(const QString& text) {
    std::string bytes = "\xFF\xFE";
    for (const QChar unit : text) {
        bytes += static_cast<char>(unit.unicode() & 0xFF);
        bytes += static_cast<char>(unit.unicode() >> 8);
    }
    return bytes;
}

std::vector<SiteFile> Site() {
    QString many;
    for (int line = 1; line <= 1003; ++line) {
        many += QStringLiteral("Zeile %1 Fundst\n").arg(line);
    }
    const QString utf16 = QStringLiteral("<title>UTF-16</title>\r\nzwei Fundst und FUNDST\r\n");
    return {
        {"seite.htm",
         "<TITLE>Gr\xF6\xDF"
         "e Seite</TITLE>\r\nEine Fundstelle\r\nkeine\r\n\tzwei: fundst Fundst",
         QStringLiteral(
             "<TITLE>Gr\u00F6\u00DFe Seite</TITLE>\r\nEine Fundstelle\r\nkeine\r\n\tzwei: "
             "fundst Fundst")},
        {"utf8.htm", "<title>\xC3\x84rger</title>\n\xC3\x84\xC3\x84 Fundst\n",
         QStringLiteral("<title>\u00C4rger</title>\n\u00C4\u00C4 Fundst\n")},
        {"unter/tief.htm", "Fundst am Anfang", QStringLiteral("Fundst am Anfang")},
        {"utf16.htm", Utf16Le(utf16), utf16},
        {"caf\xE9.htm", "ein Fundst", QStringLiteral("ein Fundst")},
        {"leer.htm", "nichts", QStringLiteral("nichts")},
        {"viele.htm", many.toStdString(), many},
    };
}

// The lines a person would find: each line (cut at line feeds, its CR dropped) that holds the
// term, with the column of its first occurrence.
QStringList ExpectedLines(const SiteFile& file, const QString& term, Qt::CaseSensitivity cs) {
    QStringList lines;
    const QStringList all = file.text.split(QLatin1Char('\n'));
    for (qsizetype index = 0; index < all.size(); ++index) {
        QString line = all[index];
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
        if (const qsizetype at = line.indexOf(term, 0, cs); at >= 0) {
            lines.append(QStringLiteral("%1:%2:%3").arg(index + 1).arg(at + 1).arg(line));
        }
    }
    return lines;
}

class ScriptOutputTest : public ::testing::Test {
protected:
    ScriptOutputTest() {
        test::UseGermanLocale();
        for (const SiteFile& file : site) {
            tree.Write(file.name, file.bytes);
        }
    }

    // Qt removes only the names it can decode.
    ~ScriptOutputTest() override { ::unlink(tree.Path("caf\xE9.htm").c_str()); }

    Output Run(std::vector<std::string> arguments) const {
        const std::string path = scratch.Path("stdout");
        const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        int status = 0;
        waitpid(cli.Start(arguments, std::string(), out), &status, 0);
        close(out);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(path)};
    }

    std::vector<std::string> Search(std::vector<std::string> more) const {
        std::vector<std::string> arguments = {"search", "--location",  tree.Root(),
                                              "--term", "Fundst",      "--mask",
                                              "*.htm",  "--recursive", "--quiet"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    }

    const SiteFile& FileAt(const std::string& path) const {
        for (const SiteFile& file : site) {
            if (tree.Path(file.name) == path) {
                return file;
            }
        }
        ADD_FAILURE() << path;
        return site.front();
    }

    const std::vector<SiteFile> site = Site();
    test::TempTree tree;
    test::TempTree scratch;
    test::Cli cli;
};

std::vector<QJsonObject> JsonLines(const std::string& text) {
    std::vector<QJsonObject> objects;
    for (const QByteArray& line : QByteArray::fromStdString(text).split('\n')) {
        if (line.isEmpty()) {
            continue;
        }
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        objects.push_back(document.object());
    }
    return objects;
}

// The cells of the report's rows, as text.
std::vector<QStringList> ReportRows(const std::string& report) {
    static const QRegularExpression rowPattern(QStringLiteral("<TR BGCOLOR=\"#d0d0d0\">(.*)</TR>"),
                                               QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression cellPattern(QStringLiteral("<td[^>]*>(.*?)</td>"),
                                                QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    std::vector<QStringList> rows;
    for (const QString& line : DecodeCp1252(report).split(QStringLiteral("\r\n"))) {
        const QRegularExpressionMatch row = rowPattern.match(line);
        if (!row.hasMatch() || line.contains(QStringLiteral("<B>"), Qt::CaseInsensitive)) {
            continue;  // the head's rows name a field in bold
        }
        QStringList cells;
        for (auto cell = cellPattern.globalMatch(row.captured(1)); cell.hasNext();) {
            cells.append(cell.next().captured(1).remove(tag).replace(QStringLiteral("&amp;"),
                                                                     QStringLiteral("&")));
        }
        rows.push_back(cells);
    }
    return rows;
}

// A name that is no UTF-8 comes as its bytes beside the path.
std::string PathOf(const QJsonObject& object) {
    return object.contains(u"path_bytes")
               ? QByteArray::fromHex(object[u"path_bytes"].toString().toLatin1()).toStdString()
               : object[u"path"].toString().toStdString();
}

std::time_t FromIso(const QString& text) {
    std::tm local{};
    EXPECT_TRUE(strptime(text.toLatin1().constData(), "%Y-%m-%dT%H:%M:%S", &local) != nullptr);
    local.tm_isdst = -1;
    return std::mktime(&local);
}

// Every field of every file object against the report's row and the file's lines, in both
// encodings and as UTF-16; the summary against the footer.
TEST_F(ScriptOutputTest, JsonSaysWhatTheReportSays) {
    const std::string report = scratch.Path("bericht.htm");
    const Output run = Run(Search({"--json", "--report", report}));
    ASSERT_EQ(run.status, 0) << cli.Errors();
    const std::vector<QJsonObject> objects = JsonLines(run.text);
    const std::vector<QStringList> rows = ReportRows(test::ReadFile(report));
    ASSERT_EQ(objects.size(), rows.size() + 1);
    ASSERT_EQ(rows.size(), 6U);
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const QJsonObject& object = objects[index];
        const QStringList& row = rows[index];
        ASSERT_EQ(row.size(), 7) << row.join(u'|').toStdString();
        EXPECT_EQ(object[u"type"].toString(), QStringLiteral("file"));
        const std::string path = PathOf(object);
        const SiteFile& file = FileAt(path);
        EXPECT_EQ(row[1], PathText(path));
        EXPECT_EQ(object[u"first"].toInteger(), row[2].toLongLong()) << path;
        EXPECT_EQ(object[u"count"].toInteger(), row[3].trimmed().toLongLong()) << path;
        EXPECT_EQ(object[u"title"].toString(), row[4] == u"&nbsp" ? QString() : row[4]) << path;
        EXPECT_EQ(FormatFileMoment(FromIso(object[u"modified"].toString())), row[5]) << path;
        EXPECT_EQ(object[u"size"].toInteger(), row[6].toLongLong());
        EXPECT_EQ(object[u"size"].toInteger(), static_cast<qint64>(file.bytes.size()));
        const QStringList expected =
            ExpectedLines(file, QStringLiteral("Fundst"), Qt::CaseSensitive);
        QStringList lines;
        for (const QJsonValue line : object[u"lines"].toArray()) {
            lines.append(QStringLiteral("%1:%2:%3")
                             .arg(line[u"line"].toInteger())
                             .arg(line[u"column"].toInteger())
                             .arg(line[u"text"].toString()));
        }
        EXPECT_EQ(lines, expected.mid(0, 1000)) << path;
        EXPECT_EQ(object[u"more_lines"].toInteger(),
                  std::max<qsizetype>(0, expected.size() - 1000));
    }
    EXPECT_EQ(objects[0][u"encoding"].toString(), QStringLiteral("windows-1252"));
    const QJsonObject& summary = objects.back();
    EXPECT_EQ(summary[u"type"].toString(), QStringLiteral("summary"));
    EXPECT_NE(
        test::ReadFile(report).find(
            "Es gab <B>" + std::to_string(summary[u"files_with_hits"].toInteger()) +
            "</B> Fundstellen in <B>" + std::to_string(summary[u"files_examined"].toInteger()) +
            "</B> durchsuchten Dateien, welche insgesamt <B>" +
            FormatKBytes(summary[u"bytes"].toInteger()).toStdString()),
        std::string::npos);
    EXPECT_TRUE(summary[u"problems"].toArray().isEmpty());

    // The name that is no UTF-8 is given with U+FFFD and its bytes.
    bool named = false;
    for (const QJsonObject& object : objects) {
        if (object.contains(u"path_bytes")) {
            named = object[u"path"].toString().endsWith(QStringLiteral("caf\uFFFD.htm"));
        }
    }
    EXPECT_TRUE(named);
    QStringList encodings;
    for (std::size_t index = 0; index < rows.size(); ++index) {
        encodings.append(objects[index][u"encoding"].toString());
    }
    EXPECT_TRUE(encodings.contains(QStringLiteral("utf-8")) &&
                encodings.contains(QStringLiteral("utf-16le")));
}

// --lines and -l give what the JSON gives, and no report is written unless one is named.
TEST_F(ScriptOutputTest, LinesAndPathsFollowTheJson) {
    const std::string settings =
        scratch.Write("Trawlex.INI", "[Trawlex]\r\nHTML-Browser=\r\nSearchPath=" + tree.Root() +
                                         "\r\nSearchKey=Fundst\r\nFileFilterMask=*.htm\r\n"
                                         "ReplaceKey=\r\nOutputFile=" +
                                         scratch.Path("nie.htm") +
                                         "\r\nTextOrBinarySearch=Binary\r\nRecursive=Yes\r\n");
    const Output json = Run({"search", "--settings", settings, "--json", "--ignore-case"});
    ASSERT_EQ(json.status, 0) << cli.Errors();
    std::string lines;
    std::string paths;
    for (const QJsonObject& object : JsonLines(json.text)) {
        if (object[u"type"].toString() != u"file") {
            continue;
        }
        const std::string path = PathOf(object);
        paths += path + '\n';
        for (const QJsonValue line : object[u"lines"].toArray()) {
            lines += path + ':' + std::to_string(line[u"line"].toInteger()) + ':' +
                     std::to_string(line[u"column"].toInteger()) + ':' +
                     line[u"text"].toString().toStdString() + '\n';
        }
    }
    EXPECT_EQ(test::ReadFile(scratch.Path("nie.htm")), "");
    EXPECT_NE(lines.find("seite.htm:4:8:\tzwei: fundst Fundst\n"), std::string::npos);
    const std::string base = "--settings=" + settings;
    EXPECT_EQ(Run({"search", base, "--ignore-case", "--lines"}).text, lines);
    EXPECT_EQ(Run({"search", base, "--ignore-case", "-l"}).text, paths);
    std::string nul = paths;
    std::replace(nul.begin(), nul.end(), '\n', '\0');
    EXPECT_EQ(Run({"search", base, "--ignore-case", "-l", "-0"}).text, nul);
    EXPECT_EQ(test::ReadFile(scratch.Path("nie.htm")), "");
}

// A profile gives one object per file and term, as its report has one row each.
TEST_F(ScriptOutputTest, ProfileRowsNameTheirTerm) {
    const std::string profile = scratch.Write("suche.txt", "Fundst\r\nzwei\r\n");
    const std::string report = scratch.Path("profil.htm");
    const Output run = Run({"search-profile", "--profile", profile, "--location", tree.Root(),
                            "--mask", "seite.htm", "--json", "--report", report});
    ASSERT_EQ(run.status, 0) << cli.Errors();
    const std::vector<QJsonObject> objects = JsonLines(run.text);
    const std::vector<QStringList> rows = ReportRows(test::ReadFile(report));
    ASSERT_EQ(rows.size(), 2U);
    ASSERT_EQ(objects.size(), 3U);
    for (std::size_t index = 0; index < rows.size(); ++index) {
        EXPECT_EQ(
            QStringList({objects[index][u"path"].toString(), objects[index][u"term"].toString(),
                         QString::number(objects[index][u"first"].toInteger()),
                         QString::number(objects[index][u"count"].toInteger())}),
            rows[index]);
    }
    EXPECT_EQ(objects[1][u"lines"].toArray().first()[u"text"].toString(),
              QStringLiteral("\tzwei: fundst Fundst"));
    EXPECT_EQ(Run({"search-profile", "--profile", profile, "--location", tree.Root(), "--mask",
                   "seite.htm", "-l"})
                  .text,
              tree.Path("seite.htm") + "\n");
}

// Previewing, replacing and applying say per file what changed, and the problems at the end.
TEST_F(ScriptOutputTest, ReplacementsTellTheirFiles) {
    const std::string list = scratch.Path("liste.jsonl");
    const std::vector<std::string> replace = {"replace",   "--location",    tree.Root(), "--term",
                                              "Fundst",    "--replacement", "Treffer",   "--mask",
                                              "seite.htm", "--json",        "--quiet"};
    std::vector<std::string> preview = replace;
    preview.insert(preview.end(), {"--preview", "--changes", list});
    const std::string path = "\"path\": \"" + tree.Path("seite.htm") + "\"";
    const std::string summary =
        "{\"type\": \"summary\", \"files_examined\": 1, \"files_changed\": ";
    const std::string bytes = std::to_string(site.front().bytes.size());
    const std::string previewed = "{\"type\": \"would_change\", " + path +
                                  ", \"replacements\": 2}\n" + summary + "1, \"bytes\": " + bytes +
                                  ", \"problems\": []}\n";
    // Without a list or a page the preview only prints.
    std::vector<std::string> printed = replace;
    printed.push_back("--preview");
    EXPECT_EQ(Run(printed).text, previewed);
    EXPECT_EQ(Run(preview).text, previewed);
    EXPECT_EQ(Run(replace).text, "{\"type\": \"changed\", " + path + ", \"replacements\": 2}\n" +
                                     summary + "1, \"bytes\": " + bytes + ", \"problems\": []}\n");
    // The list no longer fits the file: it is left and named.
    const Output apply = Run({"apply", "--changes", list, "--json", "--quiet"});
    EXPECT_EQ(apply.status, 1);
    const std::vector<QJsonObject> objects = JsonLines(apply.text);
    ASSERT_EQ(objects.size(), 1U);
    EXPECT_EQ(objects[0][u"files_changed"].toInteger(), 0);
    ASSERT_EQ(objects[0][u"problems"].toArray().size(), 1);
    EXPECT_TRUE(
        objects[0][u"problems"][0][u"reason"].toString().contains(QStringLiteral("seite.htm")));
}

// A file a search could not finish is named in the summary, with its path and why.
TEST_F(ScriptOutputTest, SummaryNamesTheProblemFiles) {
    const std::string path = tree.Write("x.txt", std::string(40, 'x'));
    const Output run = Run({"search", "--location", tree.Root(), "--term", "(x+x+)+[yz]", "--regex",
                            "--mask", "*.txt", "--json", "--quiet"});
    EXPECT_EQ(run.status, 1);
    const std::vector<QJsonObject> objects = JsonLines(run.text);
    ASSERT_EQ(objects.size(), 1U);
    const QJsonArray problems = objects[0][u"problems"].toArray();
    ASSERT_EQ(problems.size(), 1);
    EXPECT_EQ(problems[0][u"path"].toString().toStdString(), path);
    EXPECT_TRUE(problems[0][u"reason"].toString().contains(QStringLiteral("brach ab")));
}

TEST_F(ScriptOutputTest, OutputFormsAreChosenOnce) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {Search({"--json", "--lines"}), "--json und --lines"},
        {Search({"-l", "--json"}), "--json und --files-with-matches"},
        {Search({"-0"}), "-0 (--null)"},
        {Search({}), "--report (oder --json"},
    };
    for (const auto& [arguments, named] : cases) {
        EXPECT_EQ(Run(arguments).status, 2);
        EXPECT_NE(cli.Errors().find(named), std::string::npos) << cli.Errors();
    }
}

}  // namespace
}  // namespace trawlex
