#include "TestSupport.h"
#include "common/files/ContentHash.h"
#include "common/text/Cp1252.h"
#include "common/text/TextEncoding.h"
#include "common/text/Utf16.h"
#include "replace/ApplyChanges.h"
#include "replace/ChangeList.h"
#include "replace/ChangeReview.h"
#include "replace/Ersatzroutinen.h"
#include "replace/UndoCommand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace trawlex {
namespace {

using test::FakeUi;
using test::ReadFile;
using test::TempTree;

std::vector<std::string> Lines(const std::string& path) {
    std::istringstream in(ReadFile(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) {
        out << line << '\n';
    }
}

// Texts over few words, so that terms meet, overlap and sit beside umlauts and line ends.
QString Text(std::mt19937& random) {
    static const QStringList words = {
        QStringLiteral("alt"), QStringLiteral("Alt"),    QStringLiteral("ALLT"),
        QStringLiteral("neu"), QStringLiteral("\u00E4"), QStringLiteral("\u00FC"),
        QStringLiteral(" "),   QStringLiteral("\r\n"),   QStringLiteral("\n"),
        QStringLiteral("x"),   QStringLiteral("altalt"), QStringLiteral("neu alt"),
    };
    QString text;
    for (int count = static_cast<int>(random() % 60); count > 0; --count) {
        text += words[static_cast<qsizetype>(random() % static_cast<unsigned>(words.size()))];
    }
    return text;
}

// How a file is written: in one of the 8-bit encodings, or in UTF-16 behind its mark.
struct Format {
    TextEncoding encoding = TextEncoding::Utf8;
    std::optional<ByteOrder> utf16;
};

Format FormatOf(std::string_view bytes) {
    return {DetectEncoding(bytes).encoding, Utf16Order(bytes)};
}

std::string Encoded(const QString& text, const Format& format) {
    if (format.utf16) {
        return EncodeUtf16(text, *format.utf16);
    }
    return format.encoding == TextEncoding::Utf8 ? text.toStdString() : EncodeCp1252(text).value();
}

struct Kind {
    const char* name;
    ReplaceJob job;
};

std::vector<Kind> Kinds() {
    const auto job = [](QString term, QString replacement, CompareMode mode, bool regex) {
        return ReplaceJob{.location = {},
                          .term = std::move(term),
                          .replacement = std::move(replacement),
                          .mask = QStringLiteral("*.txt"),
                          .mode = mode,
                          .scope = Scope::Tree,
                          .regex = regex};
    };
    ReplaceJob profile = job({}, {}, CompareMode::IgnoreCase, false);
    profile.pairs = {{QStringLiteral("alt"), QStringLiteral("neu")},
                     {QStringLiteral("neu neu"), QStringLiteral("X")},
                     {QStringLiteral("\u00FC"), QStringLiteral("ue")}};
    profile.profileName = QStringLiteral("profil.txt");
    return {
        {"term",
         job(QStringLiteral("alt"), QStringLiteral("ne\u00FC"), CompareMode::IgnoreCase, false)},
        {"umlaut", job(QStringLiteral("\u00E4"), QStringLiteral("ae"), CompareMode::Exact, false)},
        {"groups",
         job(QStringLiteral("(a)(l+)t"), QStringLiteral("$2<$1>"), CompareMode::IgnoreCase, true)},
        {"profile", profile},
        {"combination",
         job(QStringLiteral("\r\n"), QStringLiteral("\n"), CompareMode::Exact, false)},
    };
}

// The same files, in each encoding, in each of the trees given.
void Fill(std::mt19937& random, const std::vector<const TempTree*>& trees) {
    const Format formats[] = {{TextEncoding::Utf8, std::nullopt},
                              {TextEncoding::Cp1252, std::nullopt},
                              {TextEncoding::Utf8, ByteOrder::Little},
                              {TextEncoding::Utf8, ByteOrder::Big}};
    for (int file = 0; file < 10; ++file) {
        const QString text = Text(random);
        const Format& format = formats[file % 4];
        // Windows-1252 text needs no multi-byte sequence; UTF-8 text needs one to be read so,
        // and UTF-16 its mark.
        QString written = text;
        if (format.utf16) {
            written.prepend(QChar(0xFEFF));
        } else if (format.encoding == TextEncoding::Utf8) {
            written += QStringLiteral("\u00E4");
        }
        const std::string bytes = Encoded(written, format);
        const std::string name = (file < 5 ? "" : "unten/") + std::to_string(file) + ".txt";
        for (const TempTree* tree : trees) {
            tree->Write(name, bytes);
        }
    }
}

CommandOutcome Preview(FakeUi& ui, ReplaceJob job, const TempTree& tree, const std::string& list) {
    job.location = tree.RootText();
    job.action = ReplaceAction::Preview;
    job.changes = QString::fromStdString(list);
    return ReplaceLocation(ui, job);
}

// "alt" by "neu" in the location's text files.
ReplaceJob AltToNeu() {
    return {.location = {},
            .term = QStringLiteral("alt"),
            .replacement = QStringLiteral("neu"),
            .mask = QStringLiteral("*.txt")};
}

// The original with the listed changes made, in the file's own encoding.
std::string Expected(const std::string& original, std::vector<ListedChange> changes) {
    const Format format = FormatOf(original);
    std::sort(changes.begin(), changes.end(),
              [](const ListedChange& a, const ListedChange& b) { return a.offset > b.offset; });
    std::string result = original;
    for (const ListedChange& change : changes) {
        result.replace(change.offset, change.length, Encoded(change.after, format));
    }
    return result;
}

TEST(ChangeListTest, ApplyingAChosenSubsetWritesExactlyThoseChangesAndAllEqualsTheReplacement) {
    test::UseGermanLocale();
    std::mt19937 random(20261209);
    for (const Kind& kind : Kinds()) {
        for (int round = 0; round < 4; ++round) {
            SCOPED_TRACE(std::string(kind.name) + " " + std::to_string(round));
            TempTree chosen, all, replaced, lists;
            Fill(random, {&chosen, &all, &replaced});
            const auto originals = chosen.Files();
            FakeUi ui;
            const std::string chosenList = lists.Path("gewaehlt.jsonl");
            const std::string allList = lists.Path("alle.jsonl");
            ASSERT_EQ(Preview(ui, kind.job, chosen, chosenList), CommandOutcome::Completed)
                << ui.messages.join(u'\n').toStdString();
            ASSERT_EQ(Preview(ui, kind.job, all, allList), CommandOutcome::Completed);

            ReplaceJob write = kind.job;
            write.location = replaced.RootText();
            write.journal = false;
            ASSERT_EQ(ReplaceLocation(ui, write), CommandOutcome::Completed);
            ASSERT_EQ(ApplyChangeList(ui, {.changes = QString::fromStdString(allList)}),
                      CommandOutcome::Completed)
                << ui.messages.join(u'\n').toStdString();
            EXPECT_EQ(all.Files(), replaced.Files());

            // Every line parses, the numbers count over the whole list, and the rows say where
            // each file's changes start.
            std::vector<std::string> kept;
            std::map<std::string, std::vector<ListedChange>> keptByFile;
            std::int64_t number = 0;
            for (const std::string& line : Lines(chosenList)) {
                auto change = ParseChangeLine(line);
                ASSERT_TRUE(change) << line;
                EXPECT_EQ(change->number, ++number);
                const std::string relative = change->file.substr(chosen.Root().size());
                const std::string& original = originals.at(relative);
                EXPECT_EQ(change->fingerprint, ContentHash(original));
                EXPECT_EQ(
                    change->line,
                    1 + std::count(original.begin(),
                                   original.begin() + static_cast<std::ptrdiff_t>(change->offset),
                                   '\n'));
                if (random() % 2 == 0) {
                    kept.push_back(line);
                    keptByFile[relative].push_back(change.value());
                }
            }
            WriteLines(chosenList, kept);
            const CommandOutcome applied =
                ApplyChangeList(ui, {.changes = QString::fromStdString(chosenList)});
            EXPECT_EQ(applied,
                      kept.empty() ? CommandOutcome::NothingToDo : CommandOutcome::Completed);
            const auto now = chosen.Files();
            for (const auto& [relative, bytes] : originals) {
                const auto listed = keptByFile.find(relative);
                EXPECT_EQ(now.at(relative),
                          listed == keptByFile.end() ? bytes : Expected(bytes, listed->second))
                    << relative;
            }
            if (!kept.empty()) {
                Form1 form;
                EXPECT_EQ(UndoNewestRun(form, ui, DamagedRuns::Refuse), CommandOutcome::Completed);
                EXPECT_EQ(chosen.Files(), originals);
            }
        }
    }
}

TEST(ChangeListTest, PiecesListTheSameChangesAsTheWholeFile) {
    std::mt19937 random(7);
    for (const Kind& kind : Kinds()) {
        for (int round = 0; round < 6; ++round) {
            TempTree tree;
            Fill(random, {&tree});
            std::vector<ReplaceStep> steps;
            std::vector<ReplacePair> pairs = kind.job.pairs;
            if (pairs.empty()) {
                pairs.push_back({kind.job.term, kind.job.replacement});
            }
            for (const ReplacePair& pair : pairs) {
                steps.push_back(
                    ReplaceStep::Make(pair.term, pair.replacement, kind.job.mode, kind.job.regex)
                        .value());
            }
            const FileMask mask(QStringLiteral("*"));
            FakeUi ui;
            const LocationBounds bounds(tree.Root());
            TempTree lists;
            auto writer = ChangeListWriter::Create(lists.RootText() + QStringLiteral("l"));
            ReplaceRun run{steps, mask, ui, bounds, ReplaceAction::Preview};
            run.changeList = &writer.value();
            for (const auto& [relative, bytes] : tree.Files()) {
                const ReplaceTask task{tree.Path(relative), tree.Path(relative), std::nullopt};
                ReplaceBuffers buffers;
                FileOutcome whole = ReplaceInFile(task, run, buffers);
                FileOutcome pieces = PreviewInPieces(task, run, 3);
                ASSERT_EQ(whole.changes.has_value(), pieces.changes.has_value()) << relative;
                if (!whole.changes) {
                    continue;
                }
                std::string wholeLines, pieceLines;
                ASSERT_TRUE(whole.changes->WriteTo(1, [&](std::string_view line) {
                    wholeLines += line;
                    return Success();
                }));
                ASSERT_TRUE(pieces.changes->WriteTo(1, [&](std::string_view line) {
                    pieceLines += line;
                    return Success();
                }));
                EXPECT_EQ(wholeLines, pieceLines) << kind.name << " " << relative;
            }
        }
    }
}

// A file that is not as the preview saw it is left whole and named, the others are changed; a
// list with a line that is no change (after a good one) changes nothing at all.
TEST(ChangeListTest, AFileNotAsThePreviewSawItOrALineThatIsNoChangeIsRefused) {
    test::UseGermanLocale();
    struct Case {
        const char* name;
        // Changes the list's lines of a.txt, or a.txt itself, after the preview.
        std::function<void(std::vector<std::string>&, const TempTree&)> spoil;
        const char* named;
        std::string line = {};  // a third line, after an empty one, instead of the preview's
    };
    const auto replaceIn = [](std::string& line, const std::string& from, const std::string& to) {
        line.replace(line.find(from), from.size(), to);
    };
    const auto none = [](std::vector<std::string>&, const TempTree&) {};
    const std::vector<Case> cases = {
        {"edited since",
         [](std::vector<std::string>&, const TempTree& tree) {
             tree.Write("a.txt", "alt alt und mehr alt\n");
         },
         "seit der Vorschau ge\u00E4ndert"},
        {"before edited",
         [&](std::vector<std::string>& lines, const TempTree&) {
             replaceIn(lines[1], "\"before\": \"alt\"", "\"before\": \"xyz\"");
         },
         "an Byte 4 steht nicht \u201Exyz\u201C (\u00C4nderung 2)"},
        {"overlapping",
         [&](std::vector<std::string>& lines, const TempTree&) {
             replaceIn(lines[1], "\"length\": 3", "\"length\": 5");
         },
         "\u00C4nderungen 2 und 3 \u00FCberschneiden sich"},
        {"past the end",
         [&](std::vector<std::string>& lines, const TempTree&) {
             replaceIn(lines[2], "\"offset\": 8", "\"offset\": 80");
         },
         "reicht \u00FCber ihr Ende hinaus"},
        {"two fingerprints",
         [&](std::vector<std::string>& lines, const TempTree&) {
             const std::size_t at = lines[1].find("\"fingerprint\": \"") + 16;
             lines[1][at] = lines[1][at] == '0' ? '1' : '0';
         },
         "verschiedene Fingerabdr\u00FCcke"},
        {"no JSON", none, "ist kein JSON-Objekt", "kein JSON"},
        {"no fingerprint", none, "\u201Efingerprint\u201C",
         R"({"file": "a.txt", "fingerprint": "zz", "change": 1})"},
        {"line break inside", none, "",
         R"({"file": "a.txt", "fingerprint": "0123456789abcdef", "change": 1, "line": 1,
 "offset": -1, "length": 3, "before": "alt", "after": "neu"})"},
        {"offset no whole number", none, "\u201Eoffset\u201C (eine ganze Zahl ab 0)",
         R"({"file": "a.txt", "fingerprint": "0123456789abcdef", "change": 1, "line": 1, )"
         R"("offset": 1.5, "length": 3, "before": "alt", "after": "neu"})"},
        {"no after", none, "\u201Eafter\u201C",
         R"({"file": "a.txt", "fingerprint": "0123456789abcdef", "change": 1, "line": 1, )"
         R"("offset": 0, "length": 3, "before": "alt"})"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        TempTree tree, lists;
        tree.Write("a.txt", "alt alt alt\n");
        tree.Write("b.txt", "ein alt\n");
        FakeUi ui;
        const std::string list = lists.Path("l.jsonl");
        ASSERT_EQ(Preview(ui, AltToNeu(), tree, list), CommandOutcome::Completed);
        std::vector<std::string> lines = Lines(list);
        ASSERT_EQ(lines.size(), 4u);
        row.spoil(lines, tree);
        if (!row.line.empty()) {
            lines = {lines.front(), "", row.line};
        }
        WriteLines(list, lines);
        const std::string aBefore = ReadFile(tree.Path("a.txt"));
        ui.messages.clear();
        EXPECT_EQ(ApplyChangeList(ui, {.changes = QString::fromStdString(list)}),
                  row.line.empty() ? CommandOutcome::Incomplete : CommandOutcome::Invalid);
        EXPECT_EQ(ReadFile(tree.Path("a.txt")), aBefore);
        EXPECT_EQ(ReadFile(tree.Path("b.txt")), row.line.empty() ? "ein neu\n" : "ein alt\n");
        const QString said = ui.messages.join(u'\n');
        EXPECT_TRUE(said.contains(QString::fromUtf8(row.named))) << said.toStdString();
        EXPECT_EQ(said.contains(QStringLiteral("in Zeile 3 fehlerhaft")), !row.line.empty());
    }
}

// What the window shows of a change: its line around it, cut short far from it but never inside
// a character, and the changes a person keeps written as a list of their own.
TEST(ChangeListTest, ShownChangesKeepWholeCharactersAndChosenLinesMakeAList) {
    const QString umlauts = QString(70, QChar(0x00E4));  // two bytes each in UTF-8 and UTF-16
    const QString text = QStringLiteral("kurz alt\n") + umlauts + QStringLiteral(" alt ") +
                         umlauts + QStringLiteral("\nalt");
    const TempTree lists;
    const std::string list = lists.Path("l.jsonl");
    for (const Format& format : {Format{}, Format{TextEncoding::Utf8, ByteOrder::Little},
                                 Format{TextEncoding::Utf8, ByteOrder::Big}}) {
        SCOPED_TRACE(format.utf16 ? "UTF-16" : "UTF-8");
        const TempTree tree;
        tree.Write("a.txt", Encoded(format.utf16 ? QChar(0xFEFF) + text : text, format));
        FakeUi ui;
        const ReplaceJob job = AltToNeu();
        ASSERT_EQ(Preview(ui, job, tree, list), CommandOutcome::Completed);
        auto shown = ReadShownChanges(QString::fromStdString(list), 0, 3, tree.Path("a.txt"));
        ASSERT_TRUE(shown) << shown.message().toStdString();
        ASSERT_EQ(shown->size(), 3u);
        EXPECT_EQ(shown->at(0).lead, QStringLiteral("kurz "));
        EXPECT_EQ(shown->at(0).tail, QString());
        EXPECT_EQ(shown->at(1).line, 2);
        EXPECT_EQ(shown->at(1).lead, QString(39, QChar(0x00E4)) + QStringLiteral(" "));
        EXPECT_EQ(shown->at(1).before + QStringLiteral("|") + shown->at(1).after,
                  QStringLiteral("alt|neu"));
        EXPECT_EQ(shown->at(1).tail, QStringLiteral(" ") + QString(39, QChar(0x00E4)));
        EXPECT_EQ(shown->at(2).lead, QString());
    }

    const std::vector<std::string> lines = Lines(list);
    const auto second = static_cast<std::int64_t>(lines[0].size() + 1);
    const std::string chosen = lists.Path("auswahl.jsonl");
    ASSERT_TRUE(WriteChosenChanges(QString::fromStdString(list),
                                   {{0, 1, {}}, {second, 2, {false, true}}},
                                   QString::fromStdString(chosen)));
    EXPECT_EQ(Lines(chosen), (std::vector<std::string>{lines[0], lines[2]}));
}

}  // namespace
}  // namespace trawlex
