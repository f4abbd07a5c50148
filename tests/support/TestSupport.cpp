#include "TestSupport.h"

#include "dialogs/Dialogs.h"

#include <QDir>
#include <QDirIterator>

#include <gtest/gtest.h>

#include <clocale>
#include <fstream>
#include <sstream>

namespace trawlex::test {

TempTree::TempTree() {
    EXPECT_TRUE(directory_.isValid());
}

std::string TempTree::Root() const {
    return directory_.path().toStdString() + '/';
}

QString TempTree::RootText() const {
    return directory_.path() + QLatin1Char('/');
}

std::string TempTree::Path(std::string_view relative) const {
    return Root() + std::string(relative);
}

std::map<std::string, std::string> TempTree::Files() const {
    std::map<std::string, std::string> files;
    QDirIterator it(RootText(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const std::string path = it.next().toStdString();
        files[path.substr(Root().size())] = ReadFile(path);
    }
    return files;
}

std::string TempTree::Write(std::string_view relative, std::string_view bytes) const {
    const std::string path = Path(relative);
    const std::size_t slash = path.rfind('/');
    QDir().mkpath(QString::fromStdString(path.substr(0, slash)));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << path;
    return path;
}

std::string TempTree::MakeDirectory(std::string_view relative) const {
    const std::string path = Path(relative);
    QDir().mkpath(QString::fromStdString(path));
    return path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

std::string Repeat(std::string_view piece, std::size_t times) {
    std::string text;
    for (std::size_t index = 0; index < times; ++index) {
        text += piece;
    }
    return text;
}

QString Home() {
    return QDir::homePath() + QLatin1Char('/');
}

void FakeUi::ShowMessage(const QString& text, MessageIcon) {
    messages.append(text);
}

Flow FakeUi::CheckStop() {
    ++yields;
    if (onYield) {
        onYield();
    }
    return yields == stopAfterYields ? Flow::Stop : Flow::Continue;
}

StopCheck FakeUi::WorkerStopCheck() {
    return StopCheck([this] {
        ++workerQuestions;
        return stopInsideFiles;
    });
}

bool FakeUi::StartDetached(const QString& program, const QStringList& arguments) {
    started.append((QStringList{program} + arguments).join(QLatin1Char('|')));
    return startSucceeds;
}

bool FakeUi::OpenWithDefaultApplication(const QString& path) {
    opened.append(path);
    return startSucceeds;
}

FileDialogAnswer FakeUi::AskOpenFile(const FileDialogRequest& request) {
    fileDialogs.push_back(request);
    return nextFileAnswer;
}

FileDialogAnswer FakeUi::AskSaveFile(const FileDialogRequest& request) {
    fileDialogs.push_back(request);
    ++saveDialogs;
    return nextFileAnswer;
}

void FakeUi::ShowLocationDialog(Form1& form, const QString& title) {
    locationDialogs.append(title);
    locationDialogStart = Form2_Load(form);
    for (const QString& directory : nextDirectories) {
        Dir1_Change(form, directory);
    }
}

std::time_t LocalMoment(int year, int month, int day, int hour, int minute, int second) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

void UseGermanLocale() {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        ADD_FAILURE() << "The locale de_DE.UTF-8 is missing; generate it with locale-gen.";
    }
}

CommandTest::CommandTest() {
    UseGermanLocale();
    form.TexSuchort.text = tree.RootText();
    form.TexZieldatei = QString::fromStdString(reports.Path("bericht.htm"));
}

}  // namespace trawlex::test
